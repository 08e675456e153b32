#pragma once

// The command line of vanthe-cli.

#include <string>

namespace vanthe::cli {

enum class Command { Encrypt, Decrypt, Help, Version };

struct Options {
    Command command = Command::Help;
    std::string passwordFile; // empty: ask at the terminal; "-": standard input
    bool force = false;
    bool quiet = false;
    std::string source;
    std::string destination;
};

// Fills `options` from argv; false with a one-line reason when the words are not a valid call.
bool ParseOptions(int argc, char** argv, Options& options, std::string& reason);

extern const char kUsage[];

} // namespace vanthe::cli
