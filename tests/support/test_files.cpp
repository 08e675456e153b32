#include "support/test_files.h"

#include <algorithm>
#include <cstdlib>
#include <dirent.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <unistd.h>

namespace testing_support {

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vanthe-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

Bytes ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

bool PathExists(const std::string& path) {
    std::error_code ignored;
    return std::filesystem::exists(std::filesystem::symlink_status(path, ignored));
}

std::vector<std::string> FilesIn(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (dirent* entry = ::readdir(dir)) {
            std::string name = entry->d_name;
            if (name != "." && name != "..") {
                names.push_back(name);
            }
        }
        ::closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool HoldsAnUnnamedFile(int pid) {
    std::string fds = "/proc/" + std::to_string(pid) + "/fd";
    bool found = false;
    if (DIR* dir = ::opendir(fds.c_str())) {
        while (dirent* entry = ::readdir(dir)) {
            char target[4096];
            ssize_t n = ::readlink((fds + "/" + entry->d_name).c_str(), target, sizeof target);
            found = found ||
                    (n > 0 && std::string(target, static_cast<std::size_t>(n)).find("(deleted)") !=
                                  std::string::npos);
        }
        ::closedir(dir);
    }
    return found;
}

Bytes Pattern(std::size_t size) {
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<unsigned char>((i * 7 + 3) % 256);
    }
    return bytes;
}

Bytes FromHex(const std::string& hex) {
    Bytes bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes.push_back(static_cast<unsigned char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    }
    return bytes;
}

std::vector<Vector> LoadVectors() {
    const std::string root = VANTHE_TEST_DATA_DIR "/vectors/";
    std::ifstream table(root + "vectors.tsv");
    std::vector<Vector> vectors;
    std::string line;
    std::getline(table, line); // column names
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string passwordHex, input, output;
        fields >> passwordHex >> input >> output;
        Bytes password = FromHex(passwordHex);
        vectors.push_back(
            {std::string(password.begin(), password.end()), root + input, root + output});
    }
    if (vectors.empty()) {
        throw std::runtime_error("no known-answer vectors under " + root);
    }
    return vectors;
}

} // namespace testing_support
