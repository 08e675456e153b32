#pragma once

// What the benchmarks share: child processes timed with their CPU and peak memory, scratch
// files, the key stream through the crypto layer, medians, and the machine's load.

#include "platform/crypto/crypt_api.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace bench {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start);
double Median(std::vector<double> values);

struct ChildRun {
    bool ok = false; // exited with status 0 in time
    bool timedOut = false;
    double seconds = 0;    // wall clock
    double cpuSeconds = 0; // user + system, all of its threads
    long peakKiB = 0;      // peak resident size
};

// Runs argv[0] (searched in PATH) with its output and errors thrown away, or written to
// outputFd when that is not -1; a child still running after timeoutSeconds (0: none) is killed.
ChildRun RunChild(const std::vector<std::string>& argv, double timeoutSeconds = 0,
                  int outputFd = -1);

// Starts a child that runs until StopChild; -1 when it could not be started.
int StartChild(const std::vector<std::string>& argv);
void StopChild(int pid);

// A scratch folder under TMPDIR (or /tmp), removed with everything in it on destruction.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    bool ok() const { return !path_.empty(); }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

bool WriteRandomFile(const std::string& path, std::uint64_t bytes);
// A file of that size with no blocks: it reads as zeros.
bool WriteSparseFile(const std::string& path, std::uint64_t bytes);
bool WriteText(const std::string& path, const std::string& text);
bool WriteBytes(const std::string& path, const std::vector<unsigned char>& bytes);
// Reads the file once so that it sits in the page cache; false if it cannot be read.
bool ReadThrough(const std::string& path);
bool ReadWhole(const std::string& path, std::vector<unsigned char>& bytes);
bool SameFiles(const std::string& a, const std::string& b);

// The RC4 stream of a password, through the program's crypto layer.
class Keystream {
public:
    explicit Keystream(const std::string& password);
    ~Keystream();
    Keystream(const Keystream&) = delete;
    Keystream& operator=(const Keystream&) = delete;
    bool ok() const { return key_ != nullptr; }
    bool Apply(unsigned char* data, std::uint32_t size, bool final);

private:
    platform::HCRYPTPROV provider_ = nullptr;
    platform::HCRYPTKEY key_ = nullptr;
};

// "load average 1.02 0.98 0.80" from /proc/loadavg.
std::string LoadAverage();

} // namespace bench
