#pragma once

// Files for tests: a scratch folder removed afterwards, whole-file reads and writes, and the
// shared known-answer vectors.

#include <cstdint>
#include <string>
#include <vector>

namespace testing_support {

using Bytes = std::vector<unsigned char>;

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

Bytes ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const Bytes& bytes);
bool PathExists(const std::string& path);
// The names in a folder, sorted, without "." and "..".
std::vector<std::string> FilesIn(const std::string& folder);
// True while the process holds open a file that has no name (a result not yet published).
bool HoldsAnUnnamedFile(int pid);
// Bytes i = (i*7+3) mod 256, the pattern of the vector inputs.
Bytes Pattern(std::size_t size);
Bytes FromHex(const std::string& hex);

struct Vector {
    std::string password;
    std::string input;  // absolute path
    std::string output; // absolute path
};
std::vector<Vector> LoadVectors();

} // namespace testing_support
