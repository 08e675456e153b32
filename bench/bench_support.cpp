#include "bench/bench_support.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <random>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace bench {

using namespace platform;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double Median(std::vector<double> values) {
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

namespace {

std::vector<char*> ArgvOf(const std::vector<std::string>& argv) {
    std::vector<char*> out;
    for (const std::string& word : argv) {
        out.push_back(const_cast<char*>(word.c_str()));
    }
    out.push_back(nullptr);
    return out;
}

double Seconds(const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}

} // namespace

ChildRun RunChild(const std::vector<std::string>& argv, double timeoutSeconds, int outputFd) {
    ChildRun run;
    std::vector<char*> words = ArgvOf(argv);
    Clock::time_point start = Clock::now();
    pid_t pid = fork();
    if (pid < 0) {
        return run;
    }
    if (pid == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        int out = outputFd >= 0 ? outputFd : ::open("/dev/null", O_WRONLY);
        ::dup2(out, STDOUT_FILENO);
        ::dup2(out, STDERR_FILENO);
        execvp(words[0], words.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    for (;;) {
        pid_t done = wait4(pid, &status, timeoutSeconds > 0 ? WNOHANG : 0, &usage);
        if (done == pid) {
            break;
        }
        if (done < 0 && errno != EINTR) {
            return run;
        }
        if (timeoutSeconds > 0 && SecondsSince(start) > timeoutSeconds) {
            ::kill(pid, SIGKILL);
            wait4(pid, &status, 0, &usage);
            run.timedOut = true;
            break;
        }
        if (done == 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }
    run.seconds = SecondsSince(start);
    run.cpuSeconds = Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
    run.peakKiB = usage.ru_maxrss;
    run.ok = !run.timedOut && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return run;
}

int StartChild(const std::vector<std::string>& argv) {
    std::vector<char*> words = ArgvOf(argv);
    pid_t pid = fork();
    if (pid == 0) {
        // It must not outlive a benchmark that is interrupted.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        int null = ::open("/dev/null", O_RDWR);
        ::dup2(null, STDOUT_FILENO);
        ::dup2(null, STDERR_FILENO);
        execvp(words[0], words.data());
        _exit(127);
    }
    return pid;
}

void StopChild(int pid) {
    if (pid > 0) {
        ::kill(pid, SIGKILL);
        int status = 0;
        waitpid(pid, &status, 0);
    }
}

ScratchDir::ScratchDir() {
    std::error_code error;
    std::string base = std::filesystem::temp_directory_path(error).string();
    std::string pattern = (base.empty() ? std::string("/tmp") : base) + "/vanthe-bench-XXXXXX";
    if (mkdtemp(pattern.data()) != nullptr) {
        path_ = pattern;
    }
}

ScratchDir::~ScratchDir() {
    if (!path_.empty()) {
        std::error_code error;
        std::filesystem::remove_all(path_, error);
    }
}

bool WriteRandomFile(const std::string& path, std::uint64_t bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    std::mt19937_64 random(42);
    std::vector<std::uint64_t> block(1 << 16);
    std::uint64_t left = bytes;
    while (left > 0 && out) {
        for (auto& word : block) {
            word = random();
        }
        std::uint64_t n = std::min<std::uint64_t>(left, block.size() * sizeof block[0]);
        out.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(n));
        left -= n;
    }
    return static_cast<bool>(out.flush());
}

bool WriteSparseFile(const std::string& path, std::uint64_t bytes) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        return false;
    }
    bool ok = ::ftruncate(fd, static_cast<off_t>(bytes)) == 0;
    return ::close(fd) == 0 && ok;
}

bool WriteText(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    return static_cast<bool>(out.flush());
}

bool WriteBytes(const std::string& path, const std::vector<unsigned char>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out.flush());
}

bool ReadThrough(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    std::vector<char> buffer(1 << 20);
    ssize_t n;
    while ((n = ::read(fd, buffer.data(), buffer.size())) > 0) {
    }
    ::close(fd);
    return n == 0;
}

bool ReadWhole(const std::string& path, std::vector<unsigned char>& bytes) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) {
        return false;
    }
    bytes.resize(static_cast<std::size_t>(in.tellg()));
    in.seekg(0);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(in);
}

bool SameFiles(const std::string& a, const std::string& b) {
    std::ifstream x(a, std::ios::binary);
    std::ifstream y(b, std::ios::binary);
    if (!x || !y) {
        return false;
    }
    std::vector<char> p(1 << 20);
    std::vector<char> q(1 << 20);
    for (;;) {
        x.read(p.data(), static_cast<std::streamsize>(p.size()));
        y.read(q.data(), static_cast<std::streamsize>(q.size()));
        if (x.gcount() != y.gcount() || !std::equal(p.begin(), p.begin() + x.gcount(), q.begin())) {
            return false;
        }
        if (x.gcount() == 0) {
            return true;
        }
    }
}

Keystream::Keystream(const std::string& password) {
    HCRYPTPROV provider = nullptr;
    if (CryptAcquireContext(&provider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT) !=
        S_OK) {
        return;
    }
    provider_ = provider;
    HCRYPTHASH hash = nullptr;
    HCRYPTKEY key = nullptr;
    if (CryptCreateHash(provider, CALG_MD5, nullptr, 0, &hash) == S_OK &&
        CryptHashData(hash, reinterpret_cast<const unsigned char*>(password.data()),
                      static_cast<DWORD>(password.size()), 0) == S_OK &&
        CryptDeriveKey(provider, CALG_RC4, hash, 0x00280001, &key) == S_OK) {
        key_ = key;
    }
    if (hash != nullptr) {
        CryptDestroyHash(hash);
    }
}

Keystream::~Keystream() {
    if (key_ != nullptr) {
        CryptDestroyKey(key_);
    }
    if (provider_ != nullptr) {
        CryptReleaseContext(provider_, 0);
    }
}

bool Keystream::Apply(unsigned char* data, std::uint32_t size, bool final) {
    DWORD inOut = size;
    return CryptEncrypt(key_, nullptr, final, 0, data, &inOut, size) == S_OK;
}

std::string LoadAverage() {
    std::ifstream in("/proc/loadavg");
    double one = 0;
    double five = 0;
    double fifteen = 0;
    in >> one >> five >> fifteen;
    char text[96];
    std::snprintf(text, sizeof text, "load average %.2f %.2f %.2f", one, five, fifteen);
    return text;
}

} // namespace bench
