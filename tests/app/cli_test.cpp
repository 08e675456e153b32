#include "support/test_files.h"

#include <algorithm>
#include <chrono>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <poll.h>
#include <signal.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

using testing_support::Bytes;
using testing_support::PathExists;
using testing_support::Pattern;
using testing_support::ReadBytes;
using testing_support::TempDir;
using testing_support::WriteBytes;

namespace {

struct Outcome {
    int exitCode = -1; // -1 when ended by a signal
    int signal = 0;
    std::string out;
    std::string err;
};

struct RunOptions {
    std::string input;              // standard input
    std::optional<rlim_t> fileSize; // RLIMIT_FSIZE for the child
    // Called with the child's pid while it runs; may signal it.
    std::function<void(pid_t)> whileRunning;
};

RunOptions WithInput(std::string input) {
    RunOptions run;
    run.input = std::move(input);
    return run;
}

RunOptions WithFileSizeLimit(rlim_t bytes) {
    RunOptions run;
    run.fileSize = bytes;
    return run;
}

RunOptions WhileRunning(std::function<void(pid_t)> action) {
    RunOptions run;
    run.whileRunning = std::move(action);
    return run;
}

std::string Drain(int fd) {
    std::string text;
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0) {
        text.append(buffer, static_cast<std::size_t>(n));
    }
    return text;
}

Outcome RunCli(const std::vector<std::string>& args, const RunOptions& run = {}) {
    int in[2], out[2], err[2];
    EXPECT_EQ(::pipe(in), 0);
    EXPECT_EQ(::pipe(out), 0);
    EXPECT_EQ(::pipe(err), 0);
    std::vector<char*> argv;
    std::string program = VANTHE_CLI_PATH;
    argv.push_back(program.data());
    std::vector<std::string> copies = args;
    for (auto& arg : copies) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(in[0], 0);
        ::dup2(out[1], 1);
        ::dup2(err[1], 2);
        for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) {
            ::close(fd);
        }
        ::setsid(); // no controlling terminal: the password must come from a file
        if (run.fileSize) {
            ::signal(SIGXFSZ, SIG_IGN);
            rlimit limit{*run.fileSize, *run.fileSize};
            ::setrlimit(RLIMIT_FSIZE, &limit);
        }
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    ::close(err[1]);
    (void)!::write(in[1], run.input.data(), run.input.size());
    ::close(in[1]);
    if (run.whileRunning) {
        run.whileRunning(pid);
    }
    Outcome outcome;
    outcome.out = Drain(out[0]);
    outcome.err = Drain(err[0]);
    ::close(out[0]);
    ::close(err[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (WIFEXITED(status)) {
        outcome.exitCode = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        outcome.signal = WTERMSIG(status);
    }
    return outcome;
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

class Cli : public ::testing::Test {
protected:
    void SetUp() override {
        WriteBytes(dir / "password", Bytes{'a', '\n'});
        passwordFile = dir / "password";
    }
    TempDir dir;
    std::string passwordFile;
};

TEST_F(Cli, HelpAndVersion) {
    Outcome help = RunCli({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("vanthe-cli encrypt"), std::string::npos);
    Outcome version = RunCli({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, "vanthe-cli 2.0.0.1\n");
}

TEST_F(Cli, UsageErrorsExitWithTwo) {
    WriteBytes(dir / "plain.txt", Pattern(10));
    for (const auto& args : std::vector<std::vector<std::string>>{
             {},
             {"scramble", "x"},
             {"encrypt"},
             {"encrypt", "--bogus", dir / "plain.txt"},
             {"encrypt", "a", "b", "c"},
             {"encrypt", "--password-file"},
             {"decrypt", "--password-file", passwordFile, dir / "plain.txt"},
         }) {
        Outcome outcome = RunCli(args);
        EXPECT_EQ(outcome.exitCode, 2) << outcome.err;
        EXPECT_NE(outcome.err.find("vanthe-cli: "), std::string::npos);
    }
    EXPECT_EQ(FilesIn(dir.path()), (std::vector<std::string>{"password", "plain.txt"}));
}

TEST_F(Cli, EncryptsToTheKnownAnswerAndDecryptsBack) {
    std::string input = VANTHE_TEST_DATA_DIR "/vectors/inputs/pattern-004096.bin";
    WriteBytes(dir / "report.doc", ReadBytes(input));
    Outcome encrypted = RunCli({"encrypt", "--password-file", passwordFile, dir / "report.doc"});
    ASSERT_EQ(encrypted.exitCode, 0) << encrypted.err;
    EXPECT_EQ(encrypted.err, ""); // not a terminal: no progress
    EXPECT_EQ(ReadBytes(dir / "report.doc.enx"),
              ReadBytes(VANTHE_TEST_DATA_DIR "/vectors/outputs/p01__pattern-004096.enc"));

    ASSERT_EQ(::rename((dir / "report.doc.enx").c_str(), (dir / "copy.ENX").c_str()), 0);
    Outcome decrypted = RunCli({"decrypt", "--password-file=" + passwordFile, dir / "copy.ENX"});
    ASSERT_EQ(decrypted.exitCode, 0) << decrypted.err;
    EXPECT_EQ(ReadBytes(dir / "copy"), ReadBytes(input));
}

TEST_F(Cli, PasswordIsTheFirstLineOfStandardInputWithoutItsEnding) {
    WriteBytes(dir / "in", Pattern(1025));
    for (std::string input : {"abc\n", "abc\r\nsecond line\n", "abc"}) {
        Outcome outcome =
            RunCli({"encrypt", "--force", "--password-file", "-", dir / "in", dir / "out"},
                   WithInput(input));
        ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
        EXPECT_EQ(ReadBytes(dir / "out"),
                  ReadBytes(VANTHE_TEST_DATA_DIR "/vectors/outputs/p02__pattern-001025.enc"));
    }
}

TEST_F(Cli, RefusalsWriteNothing) {
    WriteBytes(dir / "plain", Pattern(3000));
    WriteBytes(dir / "empty-password", Bytes{'\n', 'x'});
    WriteBytes(dir / "taken", Pattern(7));
    ASSERT_EQ(::symlink((dir / "plain").c_str(), (dir / "soft").c_str()), 0);
    ASSERT_EQ(::link((dir / "plain").c_str(), (dir / "hard").c_str()), 0);
    ::mkdir((dir / "folder").c_str(), 0700);
    const std::string p = "--password-file=" + passwordFile;
    struct Case {
        std::vector<std::string> args;
        const char* says;
    } cases[] = {
        {{"encrypt", p, dir / "missing"}, "No such file"},
        {{"encrypt", p, dir / "folder"}, "not a regular file"},
        {{"encrypt", p, "--force", dir / "plain", dir / "plain"}, "source file itself"},
        {{"encrypt", p, "--force", dir / "plain", dir / "soft"}, "source file itself"},
        {{"encrypt", p, "--force", dir / "plain", dir / "hard"}, "source file itself"},
        {{"encrypt", p, "--force", dir / "plain", dir.path() + "/./plain"}, "source file itself"},
        {{"encrypt", p, dir / "plain", dir / "taken"}, "--force"},
        {{"encrypt", p, "--force", dir / "plain", dir / "folder"}, "is a directory"},
        {{"encrypt", "--password-file", dir / "empty-password", dir / "plain"},
         "password is empty"},
        {{"encrypt", dir / "plain"}, "terminal"},
        {{"encrypt", p, dir / "plain", dir / "no/such/folder/out"}, "cannot create"},
    };
    for (const auto& c : cases) {
        Outcome outcome = RunCli(c.args);
        EXPECT_EQ(outcome.exitCode, 2) << c.args.back();
        EXPECT_NE(outcome.err.find(c.says), std::string::npos) << outcome.err;
    }
    EXPECT_EQ(ReadBytes(dir / "plain"), Pattern(3000));
    EXPECT_EQ(ReadBytes(dir / "taken"), Pattern(7));
    EXPECT_EQ(FilesIn(dir.path()),
              (std::vector<std::string>{"empty-password", "folder", "hard", "password", "plain",
                                        "soft", "taken"}));
}

TEST_F(Cli, ForceReplacesAnExistingDestination) {
    WriteBytes(dir / "plain", Pattern(100));
    WriteBytes(dir / "plain.enx", Pattern(5));
    Outcome outcome =
        RunCli({"encrypt", "--force", "--password-file", passwordFile, dir / "plain"});
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
    EXPECT_EQ(ReadBytes(dir / "plain.enx").size(), 100u);
}

TEST_F(Cli, FailedJobExitsWithOneAndLeavesTheOldDestination) {
    WriteBytes(dir / "plain", Pattern(1024 * 1024));
    WriteBytes(dir / "plain.enx", Pattern(5));
    Outcome outcome = RunCli({"encrypt", "--force", "--password-file", passwordFile, dir / "plain"},
                             WithFileSizeLimit(64 * 1024));
    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_EQ(outcome.err, "vanthe-cli: Encryption error: 27. (File too large)\n");
    EXPECT_EQ(ReadBytes(dir / "plain.enx"), Pattern(5));
    EXPECT_EQ(FilesIn(dir.path()), (std::vector<std::string>{"password", "plain", "plain.enx"}));
}

// True once the process holds a file open that has no name yet: its result.
bool WritesAnUnnamedFile(pid_t pid) {
    std::string fds = "/proc/" + std::to_string(pid) + "/fd";
    DIR* dir = ::opendir(fds.c_str());
    if (dir == nullptr) {
        return false;
    }
    bool found = false;
    while (dirent* entry = ::readdir(dir)) {
        char target[4096];
        std::string link = fds + "/" + entry->d_name;
        ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
        if (n > 0 && std::string(target, static_cast<std::size_t>(n)).find("(deleted)") !=
                         std::string::npos) {
            found = true;
        }
    }
    ::closedir(dir);
    return found;
}

TEST_F(Cli, InterruptionLeavesNoPartialFile) {
    // A sparse source reads fast but takes long enough to encrypt to be caught mid-way.
    int fd = ::open((dir / "big").c_str(), O_CREAT | O_WRONLY, 0600);
    ASSERT_EQ(::ftruncate(fd, 768LL * 1024 * 1024), 0);
    ::close(fd);
    WriteBytes(dir / "big.enx", Pattern(5));
    for (int signal : {SIGINT, SIGTERM}) {
        bool sent = false;
        Outcome outcome =
            RunCli({"encrypt", "--force", "--password-file", passwordFile, dir / "big"},
                   WhileRunning([&](pid_t pid) {
                       auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
                       while (std::chrono::steady_clock::now() < deadline) {
                           if (WritesAnUnnamedFile(pid)) {
                               std::this_thread::sleep_for(std::chrono::milliseconds(20));
                               ::kill(pid, signal);
                               sent = true;
                               return;
                           }
                           std::this_thread::sleep_for(std::chrono::milliseconds(1));
                       }
                   }));
        ASSERT_TRUE(sent);
        EXPECT_EQ(outcome.signal, signal) << "exit code " << outcome.exitCode;
        EXPECT_EQ(ReadBytes(dir / "big.enx"), Pattern(5));
        EXPECT_EQ(FilesIn(dir.path()), (std::vector<std::string>{"big", "big.enx", "password"}));
    }
}

} // namespace
