#pragma once

// The command line of vanthe-cli: what to do with which files, and how.

#include <string>
#include <vector>

namespace vanthe::cli {

enum class Command { Encrypt, Decrypt, Help, Version };

// The name of standard input as a SOURCE, of standard output as the destination.
inline constexpr char kStandardStream[] = "-";

struct Options {
    Command command = Command::Help;
    std::vector<std::string> sources;
    std::string output;       // empty: each SOURCE's own destination; "-": standard output
    std::string passwordFile; // empty: asked at the terminal; "-": standard input
    int codePage = 0;         // 0: not chosen on the command line
    bool noCheck = false;
    bool force = false;
    unsigned jobs = 0; // files at once; 0: as many as there are processors
    bool quiet = false;
};

// Fills `options` from argv. False with a one-line reason when the words are not a valid
// call; everything that can be judged from the words alone is judged here, before any work.
bool ParseOptions(int argc, char** argv, Options& options, std::string& reason);

extern const char kUsage[];

} // namespace vanthe::cli
