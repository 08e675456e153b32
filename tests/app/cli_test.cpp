#include "support/test_files.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <poll.h>
#include <pty.h>
#include <random>
#include <signal.h>
#include <string>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

using testing_support::Bytes;
using testing_support::FilesIn;
using testing_support::HoldsAnUnnamedFile;
using testing_support::LoadVectors;
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
    std::string input;                    // standard input
    std::string inputFile;                // a file for standard input instead of the pipe
    std::string output;                   // a file for standard output instead of the pipe
    bool outputInPlace = false;           // that file opened as `1<>file` does: not truncated
    std::vector<std::string> environment; // NAME=value added to the child's
    bool errorToTerminal = false;         // standard error a terminal (a pseudo-terminal)
    unsigned short terminalColumns = 0;   // its width; 0: none told
    std::optional<rlim_t> fileSize;       // RLIMIT_FSIZE for the child; SIGXFSZ keeps its default
    std::optional<rlim_t> openFiles;      // RLIMIT_NOFILE for the child
    std::optional<rlim_t> addressSpace;   // RLIMIT_AS for the child (ulimit -v)
    bool outputUnread = false;            // standard output's reader gone before the first write
    bool nonBlocking = false; // the input and output pipes left O_NONBLOCK, as some parents do
    std::vector<int> ignoredSignals; // set to SIG_IGN for the child, as `nohup` does
    std::string folder;              // the child's working folder, when not this one's
    // Run as the user nobody with room for this many more threads (the test must run as root).
    std::optional<rlim_t> moreThreads;
    // Called with the child's pid while it runs; may signal it.
    std::function<void(pid_t)> whileRunning;
};

// A literal's bytes, the NULs in it included.
template <std::size_t N>
std::string Raw(const char (&text)[N]) {
    return std::string(text, N - 1);
}

constexpr uid_t kNobody = 65534;

// How many threads the user runs now: the limit on threads counts them all.
rlim_t ThreadsOf(uid_t user) {
    rlim_t threads = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        std::ifstream status(entry.path() / "status");
        std::string line;
        bool theirs = false;
        while (std::getline(status, line)) {
            if (line.rfind("Uid:", 0) == 0) {
                theirs = std::stoul(line.substr(4)) == user;
            } else if (theirs && line.rfind("Threads:", 0) == 0) {
                threads += std::stoul(line.substr(8));
            }
        }
    }
    return threads;
}

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

// The program where another user can run it: the build tree may lie in a folder only its
// owner can enter (a clone in a folder made by mktemp -d), so that user gets a copy of it,
// and of the sanitizers' suppression files, which would otherwise stop it before it starts.
struct ProgramCopy {
    std::string folder;
    std::string path;
    std::vector<std::string> environment; // sanitizer options naming the copied files
    ProgramCopy() {
        // Beside the tests' own folders, which that user enters as well.
        std::string pattern =
            (std::filesystem::temp_directory_path() / "vanthe-cli-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr || ::chmod(pattern.c_str(), 0755) != 0) {
            return;
        }
        folder = pattern;
        path = Copied(VANTHE_CLI_PATH, "vanthe-cli", 0755);
        for (const char* name : {"TSAN_OPTIONS", "LSAN_OPTIONS"}) {
            const char* options = std::getenv(name);
            std::string value = options != nullptr ? options : "";
            const std::string key = "suppressions=";
            std::size_t start = value.find(key);
            if (start == std::string::npos) {
                continue;
            }
            start += key.size();
            std::size_t end = std::min(value.find(':', start), value.size());
            std::string original = value.substr(start, end - start);
            value.replace(start, end - start, Copied(original, std::string(name) + ".supp", 0644));
            environment.push_back(std::string(name) + "=" + value);
        }
    }
    ~ProgramCopy() {
        for (const std::string& file : files) {
            ::unlink(file.c_str());
        }
        ::rmdir(folder.c_str());
    }
    std::string Copied(const std::string& from, const std::string& name, mode_t mode) {
        std::string to = folder + "/" + name;
        WriteBytes(to, ReadBytes(from));
        ::chmod(to.c_str(), mode);
        files.push_back(to);
        return to;
    }
    std::vector<std::string> files;
};

const ProgramCopy& ProgramForAnyone() {
    static const ProgramCopy copy;
    return copy;
}

Outcome RunCli(const std::vector<std::string>& args, const RunOptions& run = {}) {
    int in[2], out[2], err[2];
    EXPECT_EQ(::pipe(in), 0);
    EXPECT_EQ(::pipe(out), 0);
    if (run.errorToTerminal) {
        winsize size{24, run.terminalColumns, 0, 0};
        EXPECT_EQ(::openpty(&err[0], &err[1], nullptr, nullptr, &size), 0);
    } else {
        EXPECT_EQ(::pipe(err), 0);
    }
    std::vector<char*> argv;
    std::string program = run.moreThreads ? ProgramForAnyone().path : std::string(VANTHE_CLI_PATH);
    argv.push_back(program.data());
    std::vector<std::string> copies = args;
    for (auto& arg : copies) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    // The program may end without reading all its input; that must not end the test.
    ::signal(SIGPIPE, SIG_IGN);
    pid_t pid = ::fork();
    if (pid == 0) {
        // Whatever the test runner ignores (a background job ignores SIGINT and SIGQUIT), the
        // program starts with the signals' usual meaning unless a test asks otherwise.
        for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE, SIGUSR1, SIGUSR2, SIGALRM}) {
            ::signal(signal, SIG_DFL);
        }
        for (int signal : run.ignoredSignals) {
            ::signal(signal, SIG_IGN);
        }
        if (run.inputFile.empty()) {
            ::dup2(in[0], 0);
        } else {
            ::dup2(::open(run.inputFile.c_str(), O_RDONLY), 0);
        }
        if (run.output.empty()) {
            ::dup2(out[1], 1);
        } else {
            int file = ::open(run.output.c_str(),
                              run.outputInPlace ? O_RDWR : O_WRONLY | O_CREAT | O_TRUNC, 0600);
            ::dup2(file, 1);
        }
        ::dup2(err[1], 2);
        if (run.nonBlocking) {
            for (int fd : {0, 1}) {
                ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
            }
        }
        for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) {
            ::close(fd);
        }
        if (!run.folder.empty() && ::chdir(run.folder.c_str()) != 0) {
            ::_exit(126);
        }
        ::setsid(); // no controlling terminal: the password must come from a file
        for (const std::string& variable : run.environment) {
            ::putenv(const_cast<char*>(variable.c_str()));
        }
        if (run.moreThreads) {
            for (const std::string& variable : ProgramForAnyone().environment) {
                ::putenv(const_cast<char*>(variable.c_str()));
            }
            rlimit limit{};
            ::getrlimit(RLIMIT_NPROC, &limit);
            limit.rlim_cur = ThreadsOf(kNobody) + *run.moreThreads;
            if (::setrlimit(RLIMIT_NPROC, &limit) != 0) {
                ::_exit(120);
            }
            if (::setgid(kNobody) != 0) {
                ::_exit(121);
            }
            if (::setuid(kNobody) != 0) {
                ::_exit(122);
            }
        }
        if (run.openFiles) {
            rlimit limit{*run.openFiles, *run.openFiles};
            ::setrlimit(RLIMIT_NOFILE, &limit);
        }
        if (run.fileSize) {
            rlimit limit{*run.fileSize, *run.fileSize};
            ::setrlimit(RLIMIT_FSIZE, &limit);
        }
        if (run.addressSpace) {
            rlimit limit{*run.addressSpace, *run.addressSpace};
            ::setrlimit(RLIMIT_AS, &limit);
        }
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    ::close(err[1]);
    if (run.outputUnread) {
        ::close(out[0]);
    }
    // Standard input is fed on a thread of its own, so a large input cannot block on a full
    // pipe while the program's output waits to be read.
    std::thread feeder([&] {
        std::size_t at = 0;
        while (at < run.input.size()) {
            ssize_t n = ::write(in[1], run.input.data() + at, run.input.size() - at);
            if (n <= 0) {
                break;
            }
            at += static_cast<std::size_t>(n);
        }
        ::close(in[1]);
    });
    if (run.whileRunning) {
        run.whileRunning(pid);
    }
    Outcome outcome;
    std::thread errors([&] { outcome.err = Drain(err[0]); });
    if (!run.outputUnread) {
        outcome.out = Drain(out[0]);
        ::close(out[0]);
    }
    errors.join();
    feeder.join();
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

class Cli : public ::testing::Test {
protected:
    void SetUp() override {
        WriteBytes(dir / "password", Bytes{'a', '\n'});
        passwordFile = dir / "password";
    }
    // The known answer of the pattern input of `size` bytes under the password "a".
    static Bytes KnownAnswer(const std::string& size) {
        return ReadBytes(VANTHE_TEST_DATA_DIR "/vectors/outputs/p01__pattern-" + size + ".enc");
    }
    static Bytes KnownInput(const std::string& size) {
        return ReadBytes(VANTHE_TEST_DATA_DIR "/vectors/inputs/pattern-" + size + ".bin");
    }
    static std::string Text(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }
    static bool Has(const std::string& text, const std::string& part) {
        return text.find(part) != std::string::npos;
    }
    mode_t ModeOf(const std::string& path) {
        struct stat info {};
        EXPECT_EQ(::lstat(path.c_str(), &info), 0) << path;
        return info.st_mode;
    }
    TempDir dir;
    std::string passwordFile;
};

TEST_F(Cli, HelpVersionAndTheirOutput) {
    Outcome help = RunCli({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(Has(help.out, "Usage: vanthe-cli encrypt [OPTIONS] SOURCE...")) << help.out;
    EXPECT_TRUE(Has(help.out, "Security:"));
    EXPECT_TRUE(Has(help.out, "vanthe-cli decrypt -p old.txt -o - file.enx | age -p -o file.age"));
    EXPECT_EQ(RunCli({"decrypt", "-h"}).out, help.out);
    for (const char* word : {"--version", "-V"}) {
        Outcome version = RunCli({word});
        EXPECT_EQ(version.exitCode, 0);
        EXPECT_EQ(version.out, "vanthe-cli 2.0.0.1\n");
    }
    // Output that cannot be written is a failure, not a success.
    RunOptions full;
    full.output = "/dev/full";
    for (const char* word : {"--help", "--version"}) {
        Outcome outcome = RunCli({word}, full);
        EXPECT_EQ(outcome.exitCode, 2) << word;
        EXPECT_TRUE(Has(outcome.err, "No space left on device")) << outcome.err;
    }
}

TEST_F(Cli, UsageErrorsComeBeforeAnyWork) {
    WriteBytes(dir / "plain.txt", Pattern(10));
    WriteBytes(dir / "other", Pattern(10));
    const std::string plain = dir / "plain.txt";
    struct Case {
        std::vector<std::string> args;
        const char* says;
    } cases[] = {
        {{}, "missing command"},
        {{"scramble", plain}, "unknown command 'scramble'"},
        {{"encrypt"}, "missing SOURCE"},
        {{"encrypt", "--bogus", plain}, "--bogus"},
        {{"encrypt", "-p", passwordFile, "-x"}, "-x (a file whose name starts with '-' is given"},
        {{"encrypt", "-p", passwordFile, "-o", dir / "out", plain, dir / "other"},
         "one SOURCE only"},
        {{"encrypt", "-p", passwordFile, "-"}, "needs -o"},
        {{"encrypt", "-p", "-", "-o", dir / "out", "-"}, "both the password and the data"},
        {{"encrypt", "-p", "/dev/stdin", "-o", dir / "out", "-"},
         "standard input cannot hold both the password and the data"},
        {{"encrypt", "--password-file"}, "--password-file"},
        {{"encrypt", "-p", "", plain}, "needs a FILE"},
        {{"encrypt", "-p", passwordFile, "-o", dir / "a", "--output", dir / "b", plain},
         "--output is given more than once"},
        {{"encrypt", "--force=no", plain}, "--force takes no value"},
        {{"decrypt", "--no-check=false", plain}, "--no-check takes no value"},
        {{"encrypt", "-j", "0", plain}, "--jobs"},
        {{"encrypt", "--jobs=two", plain}, "--jobs"},
        {{"encrypt", "--codepage", "1234", plain}, "unknown code page '1234'"},
        {{"encrypt", "--codepage", "cp1252", plain}, "unknown code page"},
        {{"encrypt", "--codepage", "", plain}, "--codepage needs a number N"},
        // Nothing after '=' is no value, and the next argument is not taken for one.
        {{"encrypt", "--codepage=", "1252", plain}, "--codepage needs a value after '='"},
        {{"encrypt", "--output=", "-p", passwordFile, plain}, "--output needs a value after '='"},
        {{"decrypt", "-p", passwordFile, plain}, "no .enx ending"},
        {{"encrypt", "-p", passwordFile, plain, dir.path() + "/./plain.txt"}, "both be written to"},
        // What the user gave is shown, never handed to the terminal as its control sequences.
        {{"\x1b[31mscramble\a", plain}, "unknown command '\\x1B[31mscramble\\x07'"},
        {{"encrypt", "--x\x1b[2J", plain}, "--x\\x1B[2J"},
        {{"encrypt", "-j", "\x1b]0;title\a", plain}, "not '\\x1B]0;title\\x07'"},
        {{"encrypt", "--codepage", "\x1b[5m", plain}, "unknown code page '\\x1B[5m'"},
        {{"encrypt", "-p", dir / "no\x1b[31mfile", plain}, "no\\x1B[31mfile: No such file"},
        // A file so named, in a folder the user globs.
        {{"encrypt", "--\x1b[2J\x1b]0;owned\a=", plain}, "--\\x1B[2J\\x1B]0;owned\\x07 needs"},
    };
    for (const auto& c : cases) {
        Outcome outcome = RunCli(c.args);
        EXPECT_EQ(outcome.exitCode, 2) << outcome.err;
        EXPECT_TRUE(Has(outcome.err, "vanthe-cli: ") && Has(outcome.err, c.says)) << outcome.err;
        EXPECT_FALSE(Has(outcome.err, "\x1b") || Has(outcome.err, "\a")) << outcome.err;
    }
    RunOptions badVariable;
    badVariable.environment = {"VANTHE_CODEPAGE=utf8\x1b[5m"};
    Outcome variable = RunCli({"encrypt", "-p", passwordFile, plain}, badVariable);
    EXPECT_EQ(variable.exitCode, 2);
    EXPECT_TRUE(Has(variable.err, "VANTHE_CODEPAGE")) << variable.err;
    EXPECT_TRUE(Has(variable.err, "utf8\\x1B[5m")) << variable.err;
    EXPECT_EQ(FilesIn(dir.path()), (std::vector<std::string>{"other", "password", "plain.txt"}));
}

TEST_F(Cli, EncryptsToTheKnownAnswerAndDecryptsBack) {
    WriteBytes(dir / "report.doc", KnownInput("004096"));
    Outcome encrypted = RunCli({"encrypt", "--password-file", passwordFile, dir / "report.doc"});
    ASSERT_EQ(encrypted.exitCode, 0) << encrypted.err;
    EXPECT_EQ(encrypted.err, ""); // not a terminal: no progress
    EXPECT_EQ(ReadBytes(dir / "report.doc.enx"), KnownAnswer("004096"));

    ASSERT_EQ(::rename((dir / "report.doc.enx").c_str(), (dir / "copy.ENX").c_str()), 0);
    Outcome decrypted = RunCli({"decrypt", "--password-file=" + passwordFile, dir / "copy.ENX"});
    ASSERT_EQ(decrypted.exitCode, 0) << decrypted.err;
    EXPECT_EQ(ReadBytes(dir / "copy"), KnownInput("004096"));
}

TEST_F(Cli, PipesBothWaysGiveTheKnownAnswers) {
    for (const auto& vector : LoadVectors()) {
        SCOPED_TRACE(vector.output);
        WriteBytes(dir / "pw", Bytes(vector.password.begin(), vector.password.end()));
        const std::string input = Text(ReadBytes(vector.input));
        const std::string answer = Text(ReadBytes(vector.output));
        // Standard input to standard output, both ways.
        Outcome encrypted = RunCli({"encrypt", "-p", dir / "pw", "-o", "-", "-"}, WithInput(input));
        ASSERT_EQ(encrypted.exitCode, 0) << encrypted.err;
        EXPECT_EQ(encrypted.out, answer);
        Outcome decrypted =
            RunCli({"decrypt", "-p", dir / "pw", "--no-check", "-o", "-", "-"}, WithInput(answer));
        ASSERT_EQ(decrypted.exitCode, 0) << decrypted.err;
        EXPECT_EQ(decrypted.out, input);
        // A file to standard output, and standard input to a file.
        Outcome toPipe =
            RunCli({"decrypt", "-p", dir / "pw", "--no-check", "-o", "-", vector.output});
        EXPECT_EQ(toPipe.out, input);
        Outcome fromPipe =
            RunCli({"encrypt", "-p", dir / "pw", "-f", "-o", dir / "from-pipe.enx", "-"},
                   WithInput(input));
        ASSERT_EQ(fromPipe.exitCode, 0) << fromPipe.err;
        EXPECT_EQ(Text(ReadBytes(dir / "from-pipe.enx")), answer);
    }
}

TEST_F(Cli, PipesLeftNonBlockingAreWaitedFor) {
    // Both pipes fill up or run dry while the other end is slow: the program waits for them,
    // as it would for pipes that block, instead of ending the stream early.
    const std::string plain = Text(Pattern(1024 * 1024));
    RunOptions slow = WithInput(plain);
    slow.nonBlocking = true;
    slow.whileRunning = [](pid_t) { std::this_thread::sleep_for(std::chrono::milliseconds(300)); };
    Outcome encrypted = RunCli({"encrypt", "-p", passwordFile, "-o", "-", "-"}, slow);
    ASSERT_EQ(encrypted.exitCode, 0) << encrypted.err;
    slow.input = encrypted.out;
    Outcome decrypted = RunCli({"decrypt", "-p", passwordFile, "--no-check", "-o", "-", "-"}, slow);
    ASSERT_EQ(decrypted.exitCode, 0) << decrypted.err;
    EXPECT_EQ(decrypted.out.size(), plain.size());
    EXPECT_TRUE(decrypted.out == plain);
}

TEST_F(Cli, AReaderThatLeavesEndsThePipelineQuietly) {
    // As after `| head`: the program ends by SIGPIPE, as the pipeline's other members do, and
    // says nothing.
    WriteBytes(dir / "plain", Pattern(1024 * 1024));
    RunOptions unread;
    unread.outputUnread = true;
    Outcome outcome =
        RunCli({"decrypt", "-p", passwordFile, "--no-check", "-o", "-", dir / "plain"}, unread);
    EXPECT_EQ(outcome.signal, SIGPIPE) << "exit " << outcome.exitCode;
    EXPECT_EQ(outcome.err, "");
    // Any other write error to standard output is still reported.
    RunOptions full;
    full.output = "/dev/full";
    Outcome noRoom = RunCli({"encrypt", "-p", passwordFile, "-o", "-", dir / "plain"}, full);
    EXPECT_EQ(noRoom.exitCode, 1);
    EXPECT_EQ(noRoom.err, "vanthe-cli: standard output: write error: No space left on device\n");
}

TEST_F(Cli, AtTheLimitsOfThreadsAndOpenFilesEveryFileIsStillDone) {
    // A container or a user at its limit of processes: the jobs cannot all have threads of
    // their own for reading and writing, and must do that work themselves.
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root to run as another user under a limit of threads";
    }
    ::chmod(dir.path().c_str(), 0777);
    ::chmod(passwordFile.c_str(), 0644);
    std::vector<std::string> args = {"encrypt", "-q", "-j", "8", "-p", passwordFile};
    for (int i = 0; i < 8; ++i) {
        const std::string source = dir / ("plain-" + std::to_string(i));
        WriteBytes(source, Pattern(300 * 1024 + static_cast<std::size_t>(i)));
        ::chmod(source.c_str(), 0644);
        args.push_back(source);
    }
    RunOptions limited;
    limited.moreThreads = 2;
    Outcome outcome = RunCli(args, limited);
    EXPECT_EQ(outcome.exitCode, 0) << outcome.err;
    EXPECT_EQ(outcome.err, "");
    // And with room for few open files, fewer jobs run at once.
    args[1] = "-qf";
    RunOptions fewFiles;
    fewFiles.openFiles = 12;
    Outcome few = RunCli(args, fewFiles);
    EXPECT_EQ(few.exitCode, 0) << few.err;
    EXPECT_EQ(few.err, "");
    for (int i = 0; i < 8; ++i) {
        const std::string source = dir / ("plain-" + std::to_string(i));
        Outcome back = RunCli({"decrypt", "-p", passwordFile, "-o", "-", source + ".enx"});
        EXPECT_TRUE(back.out == Text(ReadBytes(source))) << source << ": " << back.err;
    }
}

TEST_F(Cli, AFileNamedDashEnxDecryptsIntoAFileNamedDash) {
    // "--" and a glob bring the name; only a "-" typed after -o means standard output.
    WriteBytes(dir / "-.enx", KnownAnswer("004096"));
    RunOptions here;
    here.folder = dir.path();
    Outcome outcome = RunCli({"decrypt", "-p", passwordFile, "--", "-.enx"}, here);
    EXPECT_EQ(outcome.exitCode, 0) << outcome.err;
    EXPECT_EQ(outcome.out, "");
    EXPECT_EQ(ReadBytes(dir / "-"), KnownInput("004096"));
}

TEST_F(Cli, StandardOutputOnTheSourceItselfIsRefused) {
    // `vanthe-cli encrypt -o - f 1<>f` would overwrite f as it is read, and so would standard
    // input on that file; the source must stay as it was.
    const Bytes plain = Pattern(100000);
    WriteBytes(dir / "plain", plain);
    for (bool fromStandardInput : {false, true}) {
        RunOptions inPlace;
        inPlace.output = dir / "plain";
        inPlace.outputInPlace = true;
        if (fromStandardInput) {
            inPlace.inputFile = dir / "plain";
        }
        Outcome outcome = RunCli(
            {"encrypt", "-p", passwordFile, "-o", "-", fromStandardInput ? "-" : dir / "plain"},
            inPlace);
        EXPECT_EQ(outcome.exitCode, 2) << outcome.err;
        EXPECT_NE(outcome.err.find("standard output is the source file itself"), std::string::npos)
            << outcome.err;
        EXPECT_EQ(ReadBytes(dir / "plain"), plain);
    }
    // The same file named as the destination of standard input, even with --force.
    RunOptions fromIt;
    fromIt.inputFile = dir / "plain";
    Outcome named = RunCli({"encrypt", "-f", "-p", passwordFile, "-o", dir / "plain", "-"}, fromIt);
    EXPECT_EQ(named.exitCode, 2) << named.err;
    EXPECT_TRUE(Has(named.err, "plain: is the source file itself")) << named.err;
    EXPECT_EQ(ReadBytes(dir / "plain"), plain);
}

TEST_F(Cli, NamedPipesAreReadAsStandardInputIs) {
    // A name for a pipe, as a shell's <(command) gives one.
    Outcome named = RunCli({"encrypt", "-p", passwordFile, "-o", dir / "named.enx", "/dev/stdin"},
                           WithInput(Text(KnownInput("004096"))));
    ASSERT_EQ(named.exitCode, 0) << named.err;
    EXPECT_EQ(ReadBytes(dir / "named.enx"), KnownAnswer("004096"));

    // A FIFO whose writer waits before the program starts: only the job's own open may meet
    // it, and more than a pipe's buffer passes through.
    const Bytes plain = Pattern(300 * 1024 + 7);
    WriteBytes(dir / "plain", plain);
    ASSERT_EQ(RunCli({"encrypt", "-p", passwordFile, dir / "plain"}).exitCode, 0);
    const std::string fifo = dir / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::atomic<bool> done{false};
    std::thread writer([&] {
        WriteBytes(fifo, ReadBytes(dir / "plain.enx"));
        // Frees a reader that a faulty program left waiting: the test fails instead of hanging.
        while (!done) {
            int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0) {
                ::close(fd);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    Outcome decrypted = RunCli({"decrypt", "-p", passwordFile, "-o", dir / "back", fifo});
    // Nor can one FIFO carry the password and then the data.
    Outcome both = RunCli({"encrypt", "-p", fifo, "-o", dir / "both", fifo});
    done = true;
    writer.join();
    ASSERT_EQ(decrypted.exitCode, 0) << decrypted.err;
    EXPECT_EQ(ReadBytes(dir / "back"), plain);
    EXPECT_EQ(both.exitCode, 2);
    EXPECT_TRUE(Has(both.err, fifo + " cannot hold both the password and the data")) << both.err;

    // A password handed over through a FIFO by a shell whose writer waits before the program
    // starts: the program must open it once only, or the writer's password may go to an open
    // that closes at once, and the program waits for another writer.
    const std::string passwordFifo = dir / "password-fifo";
    ASSERT_EQ(::mkfifo(passwordFifo.c_str(), 0600), 0);
    WriteBytes(dir / "pw", Bytes{'p', 'w', '\n'});
    ASSERT_EQ(
        RunCli({"encrypt", "-p", dir / "pw", "-o", dir / "by-file.enx", dir / "plain"}).exitCode,
        0);
    const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(::inotify_add_watch(watch, passwordFifo.c_str(), IN_OPEN | IN_CLOSE_NOWRITE), 0);
    std::atomic<bool> given{false};
    std::thread shell(
        [&] { (void)std::system(("printf 'pw\\n' > '" + passwordFifo + "'").c_str()); });
    std::thread freer([&] {
        // Frees a reader left waiting: the test fails instead of hanging.
        for (int waited = 0; !given; ++waited) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            int fd = waited >= 50 ? ::open(passwordFifo.c_str(), O_WRONLY | O_NONBLOCK) : -1;
            if (fd >= 0) {
                ::close(fd);
            }
        }
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    Outcome fromFifo =
        RunCli({"encrypt", "-p", passwordFifo, "-o", dir / "by-fifo.enx", dir / "plain"});
    given = true;
    shell.join();
    freer.join();
    // Its opens are watched too, so that two closes in a row are not told as one.
    int readerCloses = 0;
    alignas(inotify_event) char events[4096];
    for (ssize_t got; (got = ::read(watch, events, sizeof events)) > 0;) {
        for (char* at = events; at < events + got;) {
            const auto* event = reinterpret_cast<const inotify_event*>(at);
            readerCloses += (event->mask & IN_CLOSE_NOWRITE) != 0 ? 1 : 0;
            at += sizeof(inotify_event) + event->len;
        }
    }
    ::close(watch);
    ASSERT_EQ(fromFifo.exitCode, 0) << fromFifo.err;
    EXPECT_EQ(ReadBytes(dir / "by-fifo.enx"), ReadBytes(dir / "by-file.enx"));
    EXPECT_EQ(readerCloses, 1);

    // Without -o there is no place beside such a name for the result.
    Outcome unnamed = RunCli({"encrypt", "-p", passwordFile, "/dev/stdin"}, WithInput("data"));
    EXPECT_EQ(unnamed.exitCode, 2);
    EXPECT_EQ(unnamed.err,
              "vanthe-cli: /dev/stdin: is a pipe or device; name its destination with -o\n");
}

// vanthe-cli with a pseudo-terminal for its controlling terminal and standard streams, as
// started from a shell.
class AtTerminal {
public:
    explicit AtTerminal(std::vector<std::string> args) {
        EXPECT_EQ(::openpty(&master_, &slave_, nullptr, nullptr, nullptr), 0);
        std::string program = VANTHE_CLI_PATH;
        std::vector<char*> argv{program.data()};
        for (std::string& arg : args) {
            argv.push_back(arg.data());
        }
        argv.push_back(nullptr);
        pid = ::fork();
        if (pid == 0) {
            ::setsid();
            ::ioctl(slave_, TIOCSCTTY, 0);
            for (int fd = 0; fd < 3; ++fd) {
                ::dup2(slave_, fd);
            }
            ::close(master_);
            ::close(slave_);
            ::execv(program.c_str(), argv.data());
            ::_exit(127);
        }
    }
    ~AtTerminal() {
        ::close(master_);
        ::close(slave_);
    }
    AtTerminal(const AtTerminal&) = delete;
    AtTerminal& operator=(const AtTerminal&) = delete;

    // Collects what the program shows until `wanted` appears or time is up.
    bool ReadUntil(const std::string& wanted, int seconds = 10) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        while (screen.find(wanted) == std::string::npos &&
               std::chrono::steady_clock::now() < until) {
            pollfd ready{master_, POLLIN, 0};
            char buffer[256];
            if (::poll(&ready, 1, 100) > 0) {
                ssize_t n = ::read(master_, buffer, sizeof buffer);
                if (n <= 0) {
                    break;
                }
                screen.append(buffer, static_cast<std::size_t>(n));
            }
        }
        return screen.find(wanted) != std::string::npos;
    }
    bool Echoing() const {
        termios modes{};
        ::tcgetattr(slave_, &modes);
        return (modes.c_lflag & ECHO) != 0;
    }
    void SetEcho() const {
        termios modes{};
        ::tcgetattr(slave_, &modes);
        modes.c_lflag |= ECHO;
        ::tcsetattr(slave_, TCSANOW, &modes);
    }
    void Type(const std::string& text) const { (void)!::write(master_, text.data(), text.size()); }
    // The program's exit status, once it ended; what it left on the screen is in `screen`.
    int Wait() {
        int status = 0;
        EXPECT_EQ(::waitpid(pid, &status, 0), pid);
        ReadUntil("what is left on the screen", 1);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    pid_t pid = -1;
    std::string screen;

private:
    int master_ = -1;
    int slave_ = -1;
};

// Types a password at the prompt and its repetition, and expects the program to end well
// without having shown it.
void AnswerBothPrompts(AtTerminal& terminal) {
    terminal.Type("typed secret\n");
    ASSERT_TRUE(terminal.ReadUntil("Repeat password: ")) << terminal.screen;
    terminal.Type("typed secret\n");
    EXPECT_EQ(terminal.Wait(), 0) << terminal.screen;
    EXPECT_EQ(terminal.screen.find("secret"), std::string::npos) << terminal.screen;
}

TEST_F(Cli, ThePromptHidesTheTypingAgainWhenTheProgramContinues) {
#if defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "ThreadSanitizer holds a signal's handler until the blocked read returns";
#endif
    WriteBytes(dir / "plain", Pattern(1000));
    AtTerminal terminal({"encrypt", "-q", dir / "plain"});
    ASSERT_TRUE(terminal.ReadUntil("Password: ")) << terminal.screen;
    EXPECT_FALSE(terminal.Echoing());
    // What Ctrl-Z and fg do: the program stops, the shell turns the echo back on for itself,
    // and the program continues at its prompt. What was typed before is dropped and the
    // prompt shown again, so the answer starts afresh.
    terminal.Type("half typed");
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    int status = 0;
    ::kill(terminal.pid, SIGSTOP);
    ASSERT_EQ(::waitpid(terminal.pid, &status, WUNTRACED), terminal.pid);
    ASSERT_TRUE(WIFSTOPPED(status));
    terminal.SetEcho();
    ::kill(terminal.pid, SIGCONT);
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (terminal.Echoing() && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_FALSE(terminal.Echoing());
    ASSERT_TRUE(terminal.ReadUntil("Password: Password: ")) << terminal.screen;
    AnswerBothPrompts(terminal);
    EXPECT_TRUE(terminal.Echoing()); // given back at the end
    EXPECT_TRUE(PathExists(dir / "plain.enx"));
}

TEST_F(Cli, DataTypedAtTheTerminalIsAskedFor) {
    // `-` at a shell reads what is typed: the program says so rather than seem to hang.
    AtTerminal terminal({"encrypt", "-p", passwordFile, "-o", dir / "typed.enx", "-"});
    ASSERT_TRUE(terminal.ReadUntil("reading the data from the terminal; end it with Ctrl-D"))
        << terminal.screen;
    terminal.Type("typed\n\x04");
    EXPECT_EQ(terminal.Wait(), 0) << terminal.screen;
    Outcome back =
        RunCli({"decrypt", "-p", passwordFile, "--no-check", "-o", "-", dir / "typed.enx"});
    EXPECT_EQ(back.out, "typed\n");
}

TEST_F(Cli, APasswordFileThatIsTheTerminalAsksAsThePromptDoes) {
    // `-p -` or `-p /dev/tty` typed at a shell: the password is asked without echo, and twice
    // when encrypting, not read from a terminal that shows it.
    WriteBytes(dir / "plain", Pattern(1000));
    for (const char* terminalName : {"-", "/dev/tty", "/dev/stdin"}) {
        ::unlink((dir / "plain.enx").c_str());
        AtTerminal terminal({"encrypt", "-q", "-p", terminalName, dir / "plain"});
        ASSERT_TRUE(terminal.ReadUntil("Password: ")) << terminalName << terminal.screen;
        EXPECT_FALSE(terminal.Echoing()) << terminalName;
        AnswerBothPrompts(terminal);
        EXPECT_TRUE(PathExists(dir / "plain.enx")) << terminalName;
    }
}

TEST_F(Cli, PasswordIsTheFirstLineOfStandardInputWithoutItsEnding) {
    WriteBytes(dir / "in", Pattern(1025));
    for (std::string input : {"abc\n", "abc\r\nsecond line\n", "abc"}) {
        Outcome outcome =
            RunCli({"encrypt", "-f", "-p", "-", "-o", dir / "out", dir / "in"}, WithInput(input));
        ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
        EXPECT_EQ(ReadBytes(dir / "out"),
                  ReadBytes(VANTHE_TEST_DATA_DIR "/vectors/outputs/p02__pattern-001025.enc"));
    }
}

TEST_F(Cli, PasswordLinesAreLimited) {
    WriteBytes(dir / "plain", Pattern(100));
    // The most the dialog's field holds: 32,767 characters, here Cyrillic ones, two bytes each.
    std::string cyrillic;
    for (int i = 0; i < 32767; ++i) {
        cyrillic += "\xd0\xb6";
    }
    WriteBytes(dir / "cyrillic", Bytes(cyrillic.begin(), cyrillic.end()));
    RunOptions russian;
    russian.environment = {"VANTHE_CODEPAGE=1251"};
    EXPECT_EQ(RunCli({"encrypt", "-p", dir / "cyrillic", dir / "plain"}, russian).exitCode, 0);
    // One character more is refused for encrypting: the dialog could never open the file.
    Outcome tooMany =
        RunCli({"encrypt", "-f", "-p", "-", dir / "plain"}, WithInput(std::string(32768, 'a')));
    EXPECT_EQ(tooMany.exitCode, 2);
    EXPECT_EQ(tooMany.err, "vanthe-cli: standard input: the password is longer than the 32767 "
                           "characters the dialog's password field holds\n");
    // The field counts a character beyond the Basic Multilingual Plane as two.
    std::string faces;
    for (int i = 0; i < 16384; ++i) {
        faces += "\xf0\x9f\x98\x80";
    }
    EXPECT_EQ(RunCli({"encrypt", "-f", "-p", "-", dir / "plain"}, WithInput(faces)).exitCode, 2);
    // Decrypting takes the longest line read, with a Windows line ending, so a file encrypted
    // under such a password before still opens.
    std::string longest(98304, 'x');
    Outcome taken =
        RunCli({"decrypt", "--no-check", "-p", "-", "-o", dir / "out", dir / "plain.enx"},
               WithInput(longest + "\r\n"));
    EXPECT_EQ(taken.exitCode, 0) << taken.err;
    Outcome tooLong =
        RunCli({"encrypt", "-f", "-p", "-", dir / "plain"}, WithInput(longest + "y\n"));
    EXPECT_EQ(tooLong.exitCode, 2);
    EXPECT_TRUE(Has(tooLong.err, "longer than 98304 bytes")) << tooLong.err;
    // An endless file is refused at once instead of read for ever.
    Outcome endless = RunCli({"encrypt", "-f", "-p", "/dev/zero", dir / "plain"});
    EXPECT_EQ(endless.exitCode, 2);
    EXPECT_EQ(endless.err, "vanthe-cli: /dev/zero: the password line is longer than 98304 bytes\n");
    // A binary file given by mistake: no typed password holds a NUL byte.
    Outcome binary =
        RunCli({"encrypt", "-f", "-p", "-", dir / "plain"}, WithInput(Raw("secret\0junk\n")));
    EXPECT_EQ(binary.exitCode, 2);
    EXPECT_EQ(binary.err, "vanthe-cli: standard input: the password line holds a NUL byte; a "
                          "typed password never does\n");
    // Lines ended by CR alone, or a doubled ending: no one could type that password again.
    for (const char* lines : {"secret\rnext\r", "secret\r\r\n"}) {
        Outcome crossed =
            RunCli({"encrypt", "-f", "-p", "-", dir / "plain"}, WithInput(std::string(lines)));
        EXPECT_EQ(crossed.exitCode, 2);
        EXPECT_EQ(crossed.err, "vanthe-cli: standard input: the password line holds a carriage "
                               "return; end its lines with LF or CR LF\n");
        // What was encrypted under such a line before still opens.
        Outcome opened =
            RunCli({"decrypt", "-f", "--no-check", "-p", "-", "-o", dir / "out", dir / "plain.enx"},
                   WithInput(std::string(lines)));
        EXPECT_EQ(opened.exitCode, 0) << opened.err;
    }
}

TEST_F(Cli, PasswordFilesSavedOnWindowsGiveTheirPassword) {
    WriteBytes(dir / "plain", Pattern(5000));
    // "Pä€", then a second line, as Notepad and PowerShell save it: plain UTF-8, UTF-8 with a
    // byte-order mark, and UTF-16 of either byte order with one.
    const std::string files[] = {
        "P\xc3\xa4\xe2\x82\xac\r\nnext\r\n",
        "\xef\xbb\xbfP\xc3\xa4\xe2\x82\xac\r\nnext\r\n",
        Raw("\xff\xfeP\0\xe4\0\xac\x20\r\0\n\0n\0"),
        Raw("\xfe\xff\0P\0\xe4\x20\xac\0\r\0\n\0n"),
        Raw("\xff\xfeP\0\xe4\0\xac\x20"), // no line ending at all
    };
    std::vector<Bytes> results;
    for (const std::string& file : files) {
        WriteBytes(dir / "pw", Bytes(file.begin(), file.end()));
        Outcome outcome = RunCli({"encrypt", "-f", "--codepage", "1252", "-p", dir / "pw", "-o",
                                  dir / "out", dir / "plain"});
        ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
        results.push_back(ReadBytes(dir / "out"));
    }
    for (const Bytes& result : results) {
        EXPECT_EQ(result, results[0]);
    }
    // The same file from standard input, and what the bytes of code page 1252 give.
    Outcome piped =
        RunCli({"encrypt", "--codepage", "1252", "-p", "-", "-o", dir / "piped", dir / "plain"},
               WithInput(files[2]));
    ASSERT_EQ(piped.exitCode, 0) << piped.err;
    EXPECT_EQ(ReadBytes(dir / "piped"), results[0]);
    WriteBytes(dir / "pw", Bytes{'P', 0xe4, 0x80, '\n'});
    ASSERT_EQ(RunCli({"encrypt", "-p", dir / "pw", "-o", dir / "raw", dir / "plain"}).exitCode, 0);
    EXPECT_EQ(ReadBytes(dir / "raw"), results[0]);

    // A lone surrogate is no text.
    WriteBytes(dir / "pw", Bytes{0xff, 0xfe, 'P', 0, 0x3d, 0xd8, '\n', 0});
    Outcome broken = RunCli({"encrypt", "-f", "-p", dir / "pw", "-o", dir / "out", dir / "plain"});
    EXPECT_EQ(broken.exitCode, 2);
    EXPECT_TRUE(Has(broken.err, "marked as UTF-16, but its first line is not UTF-16 text"))
        << broken.err;
}

TEST_F(Cli, SeveralSourcesEachGetTheirOwnDestination) {
    WriteBytes(dir / "one.txt", KnownInput("001023"));
    WriteBytes(dir / "two.txt", KnownInput("004096"));
    Outcome outcome =
        RunCli({"encrypt", "--force", "-p", passwordFile, dir / "one.txt", dir / "two.txt"});
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
    EXPECT_EQ(ReadBytes(dir / "one.txt"), KnownInput("001023"));
    EXPECT_EQ(ReadBytes(dir / "two.txt"), KnownInput("004096"));
    EXPECT_EQ(ReadBytes(dir / "one.txt.enx"), KnownAnswer("001023"));
    EXPECT_EQ(ReadBytes(dir / "two.txt.enx"), KnownAnswer("004096"));
}

TEST_F(Cli, JobsOneAndTwoGiveIdenticalResults) {
    const char* sizes[] = {"000000", "000001", "001023", "001024", "001025", "004096"};
    std::vector<std::string> results;
    for (const char* jobs : {"1", "2"}) {
        std::string folder = dir / (std::string("jobs") + jobs);
        ::mkdir(folder.c_str(), 0700);
        std::vector<std::string> args = {"decrypt", "--no-check", "-j", jobs, "-p", passwordFile};
        for (const char* size : sizes) {
            WriteBytes(folder + "/" + size + ".enx", KnownAnswer(size));
            args.push_back(folder + "/" + size + ".enx");
        }
        Outcome outcome = RunCli(args);
        ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
        for (const char* size : sizes) {
            EXPECT_EQ(ReadBytes(folder + "/" + size), KnownInput(size)) << jobs << " " << size;
        }
    }
}

TEST_F(Cli, ASourceThatCannotBeReadIsReportedAndTheOthersAreDone) {
    WriteBytes(dir / "a", Pattern(3000));
    WriteBytes(dir / "c", Pattern(5000));
    ::mkdir((dir / "folder").c_str(), 0700);
    Outcome batch = RunCli(
        {"encrypt", "-p", passwordFile, dir / "a", dir / "missing", dir / "folder", dir / "c"});
    EXPECT_EQ(batch.exitCode, 1);
    EXPECT_TRUE(Has(batch.err, "vanthe-cli: " + dir / "missing" + ": cannot open: No such file"))
        << batch.err;
    EXPECT_TRUE(Has(batch.err, dir / "folder" + ": is a directory")) << batch.err;
    EXPECT_EQ(ReadBytes(dir / "a.enx").size(), 3000u);
    EXPECT_EQ(ReadBytes(dir / "c.enx").size(), 5000u);

    // Decrypting a folder's every file: one that was never encrypted keeps none of the others
    // from being done.
    ASSERT_EQ(::rename((dir / "a.enx").c_str(), (dir / "a-copy.enx").c_str()), 0);
    WriteBytes(dir / ".enx", Pattern(10));
    Outcome mixed = RunCli({"decrypt", "-p", passwordFile, "--no-check", dir / "README",
                            dir / "a-copy.enx", dir / ".enx"});
    EXPECT_EQ(mixed.exitCode, 1);
    EXPECT_TRUE(Has(mixed.err, dir / "README" + ": has no .enx ending")) << mixed.err;
    EXPECT_TRUE(Has(mixed.err, dir / ".enx" + ": leaves no name")) << mixed.err;
    EXPECT_EQ(ReadBytes(dir / "a-copy"), Pattern(3000));

    // Alone, such a source is refused before the password is asked: without a terminal the
    // question would have been the complaint.
    Outcome alone = RunCli({"encrypt", dir / "missing"});
    EXPECT_EQ(alone.exitCode, 2);
    EXPECT_EQ(alone.err,
              "vanthe-cli: " + dir / "missing" + ": cannot open: No such file or directory\n");
    EXPECT_FALSE(PathExists(dir / "missing.enx"));
}

TEST_F(Cli, AFileAnotherProgramHoldsALeaseOnIsReadOnceItLetsGo) {
    // A file server holds leases on the files its clients have open, and lets go when asked.
    WriteBytes(dir / "shared", Pattern(3000));
    for (const std::string& name : {dir / "shared", passwordFile}) {
        const int held = ::open(name.c_str(), O_RDONLY);
        ASSERT_GE(held, 0);
        if (::fcntl(held, F_SETLEASE, F_WRLCK) != 0) {
            ::close(held);
            GTEST_SKIP() << "the file system gives no leases here";
        }
        ::signal(SIGIO, SIG_IGN);
        std::thread holder([held] {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            ::fcntl(held, F_SETLEASE, F_UNLCK);
            ::close(held);
        });
        Outcome outcome = RunCli({"encrypt", "-f", "-p", passwordFile, dir / "shared"});
        holder.join();
        ::signal(SIGIO, SIG_DFL);
        EXPECT_EQ(outcome.exitCode, 0) << outcome.err;
        EXPECT_EQ(ReadBytes(dir / "shared.enx").size(), 3000u);
        // The wait, up to the system's lease-break time, must not look like a hang.
        EXPECT_TRUE(
            Has(outcome.err, name + ": another program holds it open; waiting for it to let go"))
            << outcome.err;
    }
}

TEST_F(Cli, AFolderThatTakesNoNewFileIsReportedForEachFile) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root to run as a user who may not write in the folder";
    }
    ::chmod(dir.path().c_str(), 0755);
    ::chmod(passwordFile.c_str(), 0644);
    for (const char* name : {"a", "b"}) {
        WriteBytes(dir / name, Pattern(100));
        ::chmod((dir / name).c_str(), 0644);
    }
    RunOptions asNobody;
    asNobody.moreThreads = 64;
    Outcome outcome = RunCli({"encrypt", "-p", passwordFile, dir / "a", dir / "b"}, asNobody);
    EXPECT_EQ(outcome.exitCode, 1);
    for (const char* name : {"a", "b"}) {
        EXPECT_TRUE(Has(outcome.err, dir / name + ".enx: cannot create a file in " + dir.path() +
                                         ": Permission denied"))
            << outcome.err;
    }
}

TEST_F(Cli, AnotherUsersFileInAStickyFolderIsRefusedWithoutAdviceToForceIt) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root to run as a user who may not replace root's file";
    }
    ::chmod(dir.path().c_str(), 0755);
    ::chmod(passwordFile.c_str(), 0644);
    const std::string shared = dir / "shared";
    ASSERT_EQ(::mkdir(shared.c_str(), 0777), 0);
    ASSERT_EQ(::chmod(shared.c_str(), 01777), 0);
    const std::string source = shared + "/notes";
    WriteBytes(source, Pattern(100));
    WriteBytes(source + ".enx", Pattern(7));
    ::chmod(source.c_str(), 0644);
    ::chmod((source + ".enx").c_str(), 0666);
    RunOptions asNobody;
    asNobody.moreThreads = 64;
    for (bool force : {false, true}) {
        std::vector<std::string> args{"encrypt", "-p", passwordFile, source};
        if (force) {
            args.push_back("--force");
        }
        Outcome outcome = RunCli(args, asNobody);
        EXPECT_EQ(outcome.exitCode, 2);
        EXPECT_EQ(outcome.err,
                  "vanthe-cli: " + source +
                      ".enx: exists and cannot be replaced: Operation not permitted\n");
        EXPECT_EQ(ReadBytes(source + ".enx"), Pattern(7));
    }
}

TEST_F(Cli, RefusalsWriteNothing) {
    WriteBytes(dir / "plain", Pattern(3000));
    WriteBytes(dir / "empty-password", Bytes{'\n', 'x'});
    WriteBytes(dir / "taken", Pattern(7));
    ASSERT_EQ(::symlink((dir / "plain").c_str(), (dir / "soft").c_str()), 0);
    ASSERT_EQ(::link((dir / "plain").c_str(), (dir / "hard").c_str()), 0);
    const std::string p = "--password-file=" + passwordFile;
    struct Case {
        std::vector<std::string> args;
        const char* says;
    } cases[] = {
        {{"encrypt", p, "-f", "-o", dir / "plain", dir / "plain"}, "source file itself"},
        {{"encrypt", p, "-f", "-o", dir / "hard", dir / "plain"}, "source file itself"},
        {{"encrypt", p, "-o", dir / "taken", dir / "plain"}, "exists (use --force"},
        // Replacing it would lose the password the result is encrypted under.
        {{"encrypt", p, "-f", "-o", passwordFile, dir / "plain"}, "is the password file"},
        {{"encrypt", "--password-file", dir / "empty-password", dir / "plain"},
         "password is empty"},
        {{"encrypt", dir / "plain"}, "no terminal"},
        {{"encrypt", p, "-o", dir / "no/such/folder/out", dir / "plain"}, "cannot create"},
        {{"encrypt", p, "-o", dir.path() + "/", dir / "plain"}, "names a folder; -o takes a file"},
    };
    for (const auto& c : cases) {
        Outcome outcome = RunCli(c.args);
        EXPECT_EQ(outcome.exitCode, 2) << outcome.err;
        EXPECT_TRUE(Has(outcome.err, c.says)) << outcome.err;
    }
    EXPECT_EQ(ReadBytes(dir / "plain"), Pattern(3000));
    EXPECT_EQ(ReadBytes(dir / "taken"), Pattern(7));
    // On standard input the password file is the password file still.
    RunOptions fromIt;
    fromIt.inputFile = passwordFile;
    Outcome piped = RunCli({"encrypt", "-f", "-p", "-", "-o", passwordFile, dir / "plain"}, fromIt);
    EXPECT_EQ(piped.exitCode, 2) << piped.err;
    EXPECT_TRUE(Has(piped.err, "is the password file")) << piped.err;
    EXPECT_EQ(ReadBytes(passwordFile), (Bytes{'a', '\n'}));
    EXPECT_EQ(FilesIn(dir.path()), (std::vector<std::string>{"empty-password", "hard", "password",
                                                             "plain", "soft", "taken"}));
}

TEST_F(Cli, OneJobsResultIsNeverAnothersSource) {
    // Which a.enx would a.enx.enx hold, the one there before or the one just made? That would
    // hang on the jobs' order and threads, so the call is refused.
    WriteBytes(dir / "a", Pattern(3000));
    WriteBytes(dir / "a.enx", Pattern(5));
    for (const std::vector<std::string>& sources :
         {std::vector<std::string>{dir / "a", dir / "a.enx"}, {dir / "a.enx", dir / "a"}}) {
        std::vector<std::string> args = {"encrypt", "-f", "-j", "1", "-p", passwordFile};
        args.insert(args.end(), sources.begin(), sources.end());
        Outcome outcome = RunCli(args);
        EXPECT_EQ(outcome.exitCode, 2);
        EXPECT_EQ(outcome.err, "vanthe-cli: " + dir / "a.enx" + " is the destination of " +
                                   dir / "a" + " and a source as well; give them in two calls\n");
    }
    EXPECT_EQ(ReadBytes(dir / "a.enx"), Pattern(5));
    EXPECT_EQ(FilesIn(dir.path()), (std::vector<std::string>{"a", "a.enx", "password"}));
}

TEST_F(Cli, ANameOfAnOpenFileNeedsItsDestinationNamed) {
    // /dev/stdin of a file redirected in is that file, but a result beside that name would
    // land in /dev.
    WriteBytes(dir / "plain", Pattern(3000));
    RunOptions redirected;
    redirected.inputFile = dir / "plain";
    for (const char* name : {"/dev/stdin", "/proc/self/fd/0"}) {
        Outcome outcome = RunCli({"encrypt", "-p", passwordFile, name}, redirected);
        EXPECT_EQ(outcome.exitCode, 2) << name;
        EXPECT_TRUE(Has(outcome.err, "which takes no files; name its destination with -o"))
            << outcome.err;
        ::unlink((std::string(name) + ".enx").c_str()); // had it been made
    }
    Outcome named =
        RunCli({"encrypt", "-p", passwordFile, "-o", dir / "out.enx", "/dev/stdin"}, redirected);
    ASSERT_EQ(named.exitCode, 0) << named.err;
    EXPECT_EQ(ReadBytes(dir / "out.enx").size(), 3000u);
    // /dev/shm is a folder like any other.
    char shared[] = "/dev/shm/vanthe-test-XXXXXX";
    if (::mkdtemp(shared) != nullptr) {
        const std::string inMemory = std::string(shared) + "/plain";
        WriteBytes(inMemory, Pattern(10));
        Outcome beside = RunCli({"encrypt", "-p", passwordFile, inMemory});
        EXPECT_EQ(beside.exitCode, 0) << beside.err;
        EXPECT_EQ(ReadBytes(inMemory + ".enx").size(), 10u);
        std::filesystem::remove_all(shared);
    }
}

TEST_F(Cli, ForceReplacesOnlyARegularFile) {
    WriteBytes(dir / "plain", Pattern(100));
    WriteBytes(dir / "plain.enx", Pattern(5));
    Outcome replaced = RunCli({"encrypt", "--force", "-p", passwordFile, dir / "plain"});
    ASSERT_EQ(replaced.exitCode, 0) << replaced.err;
    EXPECT_EQ(ReadBytes(dir / "plain.enx").size(), 100u);

    WriteBytes(dir / "victim", Pattern(9));
    ASSERT_EQ(::symlink((dir / "victim").c_str(), (dir / "link").c_str()), 0);
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    std::vector<std::string> nodes = {"link", "fifo"};
    // A device node needs the right to make one; without it that case is left out.
    if (::mknod((dir / "device").c_str(), S_IFCHR | 0600, makedev(1, 3)) == 0) {
        nodes.push_back("device");
    }
    for (const std::string& node : nodes) {
        mode_t before = ModeOf(dir / node);
        Outcome outcome =
            RunCli({"encrypt", "-f", "-p", passwordFile, "-o", dir / node, dir / "plain"});
        EXPECT_EQ(outcome.exitCode, 2) << node;
        EXPECT_TRUE(Has(outcome.err, "not a regular file")) << outcome.err;
        EXPECT_EQ(ModeOf(dir / node), before) << node;
    }
    EXPECT_EQ(ReadBytes(dir / "victim"), Pattern(9));
    // Standard output named as a file is refused with the way to it.
    Outcome named = RunCli({"encrypt", "-p", passwordFile, "-o", "/dev/stdout", dir / "plain"});
    EXPECT_EQ(named.exitCode, 2);
    EXPECT_TRUE(Has(named.err, "use -o -")) << named.err;
    EXPECT_TRUE(named.out.empty());
}

TEST_F(Cli, ATerminalShowsOneProgressLineForTheBatch) {
    // Sparse sources read fast but take long enough to encrypt for the meter to draw.
    for (const char* name : {"one", "two"}) {
        int fd = ::open((dir / name).c_str(), O_CREAT | O_WRONLY, 0600);
        ASSERT_EQ(::ftruncate(fd, 96LL * 1024 * 1024), 0);
        ::close(fd);
    }
    RunOptions terminal;
    terminal.errorToTerminal = true;
    terminal.environment = {"TERM=xterm-256color"};
    Outcome batch =
        RunCli({"encrypt", "-j", "2", "-p", passwordFile, dir / "one", dir / "two"}, terminal);
    ASSERT_EQ(batch.exitCode, 0) << batch.err;
    // One line, redrawn in place and cleared at the end.
    EXPECT_EQ(batch.err.find('\n'), std::string::npos) << batch.err;
    EXPECT_TRUE(Has(batch.err, "/2 files  ") && Has(batch.err, " of 201.3 MB  ") &&
                Has(batch.err, "MB/s") && Has(batch.err, " left"))
        << batch.err;
    EXPECT_TRUE(batch.err.ends_with("\r\033[K")) << batch.err;

    // A stream has no total: bytes and speed only.
    terminal.inputFile = dir / "one";
    Outcome stream =
        RunCli({"encrypt", "-f", "-p", passwordFile, "-o", dir / "s.enx", "-"}, terminal);
    ASSERT_EQ(stream.exitCode, 0) << stream.err;
    EXPECT_TRUE(Has(stream.err, "MB/s")) << stream.err;
    EXPECT_FALSE(Has(stream.err, " of ") || Has(stream.err, "left") || Has(stream.err, "files"))
        << stream.err;

    // In a narrow terminal the line is cut short rather than wrapped onto the next row.
    terminal.inputFile.clear();
    terminal.terminalColumns = 30;
    Outcome narrow = RunCli(
        {"encrypt", "-f", "-j", "2", "-p", passwordFile, dir / "one", dir / "two"}, terminal);
    ASSERT_EQ(narrow.exitCode, 0) << narrow.err;
    EXPECT_TRUE(Has(narrow.err, "/2 files")) << narrow.err;
    for (std::size_t at = narrow.err.find('\r'); at != std::string::npos;) {
        std::size_t next = narrow.err.find('\r', at + 1);
        std::string drawn =
            narrow.err.substr(at + 1, next == std::string::npos ? next : next - at - 1);
        if (drawn.ends_with("\033[K")) {
            drawn.resize(drawn.size() - 3);
        }
        EXPECT_LT(drawn.size(), 30u) << drawn;
        at = next;
    }

    // A terminal that knows no control sequences (an editor's shell buffer) is sent none: the
    // line is blanked with spaces.
    terminal.terminalColumns = 0;
    terminal.environment = {"TERM=dumb"};
    Outcome dumb = RunCli(
        {"encrypt", "-f", "-j", "2", "-p", passwordFile, dir / "one", dir / "two"}, terminal);
    ASSERT_EQ(dumb.exitCode, 0) << dumb.err;
    EXPECT_TRUE(Has(dumb.err, "/2 files")) << dumb.err;
    EXPECT_FALSE(Has(dumb.err, "\033")) << dumb.err;
    EXPECT_TRUE(dumb.err.ends_with(" \r")) << dumb.err;

    Outcome quiet = RunCli({"encrypt", "-q", "-f", "-p", passwordFile, dir / "one"}, terminal);
    EXPECT_EQ(quiet.exitCode, 0);
    EXPECT_EQ(quiet.err, "");
}

TEST_F(Cli, ResultsKeepTheSourcesPermissions) {
    ::umask(022);
    for (mode_t mode : {0600, 0640, 0755}) {
        std::string name = dir / ("file-" + std::to_string(mode));
        WriteBytes(name, Pattern(2000));
        ASSERT_EQ(::chmod(name.c_str(), mode), 0);
        ASSERT_EQ(RunCli({"encrypt", "-p", passwordFile, name}).exitCode, 0);
        EXPECT_EQ(ModeOf(name + ".enx") & 07777, mode);
        ASSERT_EQ(::rename((name + ".enx").c_str(), (name + "-copy.enx").c_str()), 0);
        ASSERT_EQ(
            RunCli({"decrypt", "--no-check", "-p", passwordFile, name + "-copy.enx"}).exitCode, 0);
        EXPECT_EQ(ModeOf(name + "-copy") & 07777, mode);
    }
    // A pipe is made 0600 whatever it carries: a result read from one is made as the shell's
    // `>` would make it, so a backup piped in can be read by whom the umask lets read it.
    Outcome piped =
        RunCli({"encrypt", "-p", passwordFile, "-o", dir / "piped.enx", "-"}, WithInput("data"));
    ASSERT_EQ(piped.exitCode, 0) << piped.err;
    EXPECT_EQ(ModeOf(dir / "piped.enx") & 07777, 0644u);
}

TEST_F(Cli, LongAndStrangeNames) {
    // The longest name a folder takes, made by appending .enx.
    std::string stem = dir / std::string(251, 'n');
    WriteBytes(stem, Pattern(1500));
    Outcome longest = RunCli({"encrypt", "-p", passwordFile, stem});
    EXPECT_EQ(longest.exitCode, 0) << longest.err;
    EXPECT_EQ(ReadBytes(stem + ".enx").size(), 1500u);

    // A source whose path one call still takes, and a destination whose path is too long for
    // one (PATH_MAX) but not its folder or name: the one already there is seen and replaced
    // only with --force.
    std::string deep = dir.path();
    while (deep.size() + 200 < 4000) {
        deep += "/" + std::string(199, 'd');
        ASSERT_EQ(::mkdir(deep.c_str(), 0700), 0);
    }
    deep += "/" + std::string(4036 - deep.size() - 1, 'e');
    ASSERT_EQ(::mkdir(deep.c_str(), 0700), 0);
    const std::string name(56, 'f');
    WriteBytes(deep + "/" + name, Pattern(700));
    const int folder = ::open(deep.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    const int existing = ::openat(folder, (name + ".enx").c_str(), O_WRONLY | O_CREAT, 0600);
    ASSERT_GE(existing, 0);
    ::close(existing);
    Outcome kept = RunCli({"encrypt", "-p", passwordFile, deep + "/" + name});
    EXPECT_EQ(kept.exitCode, 2);
    EXPECT_EQ(kept.err,
              "vanthe-cli: " + deep + "/" + name + ".enx: exists (use --force to replace it)\n");
    Outcome replaced = RunCli({"encrypt", "-p", passwordFile, "-f", deep + "/" + name});
    EXPECT_EQ(replaced.exitCode, 0) << replaced.err;
    struct stat result {};
    EXPECT_EQ(::fstatat(folder, (name + ".enx").c_str(), &result, 0), 0);
    EXPECT_EQ(result.st_size, 700);
    ::unlinkat(folder, (name + ".enx").c_str(), 0);
    ::close(folder);
    // One byte more, and the refusal names the destination rather than its folder.
    WriteBytes(stem + "n", Pattern(10));
    Outcome tooLong = RunCli({"encrypt", "-p", passwordFile, stem + "n"});
    EXPECT_EQ(tooLong.exitCode, 2);
    EXPECT_EQ(tooLong.err, "vanthe-cli: " + stem +
                               "n.enx: cannot create: File name too long "
                               "(256 bytes; this folder takes 255)\n");

    // A name that would drive the terminal is printed with its control characters escaped.
    std::string strange = dir / "a\x1b[31mred\nline\x9b";
    WriteBytes(strange, Pattern(10));
    WriteBytes(strange + ".enx", Pattern(10));
    Outcome refused = RunCli({"encrypt", "-p", passwordFile, strange});
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_EQ(refused.err,
              "vanthe-cli: " + dir.path() +
                  "/a\\x1B[31mred\\nline\\x9B.enx: exists (use --force to replace it)\n");
}

TEST_F(Cli, AFileSizeLimitFailsTheJobAndKeepsTheOldDestination) {
    WriteBytes(dir / "plain", Pattern(1024 * 1024));
    WriteBytes(dir / "plain.enx", Pattern(5));
    // SIGXFSZ keeps its default action (ending the process) in the child.
    Outcome outcome = RunCli({"encrypt", "--force", "-p", passwordFile, dir / "plain"},
                             WithFileSizeLimit(64 * 1024));
    EXPECT_EQ(outcome.exitCode, 1) << "signal " << outcome.signal;
    EXPECT_EQ(outcome.err, "vanthe-cli: " + dir / "plain.enx" + ": write error: File too large\n");
    EXPECT_EQ(ReadBytes(dir / "plain.enx"), Pattern(5));
    EXPECT_EQ(FilesIn(dir.path()), (std::vector<std::string>{"password", "plain", "plain.enx"}));
}

TEST_F(Cli, AWrongPasswordWritesNothing) {
    // Text is plainly not random; its ciphertext under another password decrypts to noise.
    std::string text;
    for (int line = 0; text.size() < 20000; ++line) {
        text += "line " + std::to_string(line) + " of an ordinary text file\n";
    }
    WriteBytes(dir / "notes.txt", Bytes(text.begin(), text.end()));
    ASSERT_EQ(RunCli({"encrypt", "-p", passwordFile, dir / "notes.txt"}).exitCode, 0);
    ASSERT_EQ(::unlink((dir / "notes.txt").c_str()), 0);
    WriteBytes(dir / "notes.txt", Pattern(3));

    WriteBytes(dir / "wrong", Bytes{'b', '\n'});
    Outcome wrong = RunCli({"decrypt", "-f", "-p", dir / "wrong", dir / "notes.txt.enx"});
    EXPECT_EQ(wrong.exitCode, 1);
    EXPECT_TRUE(Has(wrong.err, "password is probably wrong")) << wrong.err;
    EXPECT_FALSE(Has(wrong.err, "code page")) << wrong.err; // an ASCII password
    EXPECT_EQ(ReadBytes(dir / "notes.txt"), Pattern(3));
    Outcome toPipe = RunCli({"decrypt", "-p", dir / "wrong", "-o", "-", dir / "notes.txt.enx"});
    EXPECT_EQ(toPipe.exitCode, 1);
    EXPECT_EQ(toPipe.out, "");

    WriteBytes(dir / "accented", Bytes{0xC3, 0xA9, '\n'});
    Outcome accented = RunCli({"decrypt", "-f", "-p", dir / "accented", dir / "notes.txt.enx"});
    EXPECT_EQ(accented.exitCode, 1);
    EXPECT_TRUE(Has(accented.err, "code page") && Has(accented.err, "--codepage")) << accented.err;

    Outcome anyway =
        RunCli({"decrypt", "-f", "--no-check", "-p", dir / "wrong", dir / "notes.txt.enx"});
    EXPECT_EQ(anyway.exitCode, 0) << anyway.err;
    EXPECT_EQ(ReadBytes(dir / "notes.txt").size(), text.size());
}

TEST_F(Cli, DecryptingAFileNeverEncryptedSaysSo) {
    const Bytes picture = ReadBytes(VANTHE_TEST_DATA_DIR "/corpus/image.png");
    WriteBytes(dir / "image.png", picture);
    Outcome outcome = RunCli({"decrypt", "-p", passwordFile, "-o", dir / "out", dir / "image.png"});
    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_TRUE(Has(outcome.err, "image.png: does not look encrypted")) << outcome.err;
    EXPECT_FALSE(Has(outcome.err, "password")) << outcome.err;
    EXPECT_FALSE(testing_support::PathExists(dir / "out"));
    EXPECT_EQ(ReadBytes(dir / "image.png"), picture);
}

TEST_F(Cli, WithoutTheFileTypeDatabaseAPictureIsNotCalledAWrongPassword) {
    // Only the database tells a PNG from random bytes: without it the password cannot be
    // checked, which is what is said, not that it is wrong.
    const Bytes picture = ReadBytes(VANTHE_TEST_DATA_DIR "/corpus/image.png");
    WriteBytes(dir / "image.png", picture);
    ASSERT_EQ(RunCli({"encrypt", "-p", passwordFile, dir / "image.png"}).exitCode, 0);
    ASSERT_EQ(::unlink((dir / "image.png").c_str()), 0);
    RunOptions missing;
    missing.environment = {"MAGIC=/nonexistent/magic"};
    Outcome refused = RunCli({"decrypt", "-p", passwordFile, dir / "image.png.enx"}, missing);
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(Has(refused.err, "cannot check the password") && Has(refused.err, "--no-check"))
        << refused.err;
    EXPECT_FALSE(Has(refused.err, "probably wrong")) << refused.err;
    EXPECT_FALSE(PathExists(dir / "image.png"));
    Outcome anyway =
        RunCli({"decrypt", "--no-check", "-p", passwordFile, dir / "image.png.enx"}, missing);
    EXPECT_EQ(anyway.exitCode, 0) << anyway.err;
    EXPECT_EQ(ReadBytes(dir / "image.png"), picture);
}

TEST_F(Cli, ShortOfMemoryAWrongPasswordIsNeverWrittenNorARightOneBlamed) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the sanitizers reserve more address space than any limit here allows";
#endif
    // A program of the system: libmagic knows it, and judging it asks for memory. Under a
    // limit of address space (ulimit -v, or a server that does not overcommit) some allocation
    // of the judge fails at one limit or another; a judge that cannot judge must not let the
    // data through, nor blame the password.
    const Bytes program = ReadBytes("/bin/sh");
    WriteBytes(dir / "program", program);
    WriteBytes(dir / "wrong", Bytes{'w', 'r', 'o', 'n', 'g', '\n'});
    ASSERT_EQ(RunCli({"encrypt", "-p", passwordFile, dir / "program"}).exitCode, 0);
    int uncheckable = 0;
    for (rlim_t kib = 8 * 1024; kib <= 32 * 1024; kib += 100) {
        RunOptions limited;
        limited.addressSpace = kib * 1024;
        const std::string result = dir / "result";
        Outcome wrong = RunCli(
            {"decrypt", "-q", "-p", dir / "wrong", "-o", result, dir / "program.enx"}, limited);
        EXPECT_NE(wrong.exitCode, 0) << kib << " KiB";
        EXPECT_FALSE(PathExists(result)) << kib << " KiB";
        ::unlink(result.c_str());
        Outcome right = RunCli(
            {"decrypt", "-q", "-p", passwordFile, "-o", result, dir / "program.enx"}, limited);
        EXPECT_FALSE(Has(right.err, "probably wrong")) << kib << " KiB: " << right.err;
        if (right.exitCode == 0) {
            EXPECT_EQ(ReadBytes(result), program) << kib << " KiB";
        }
        ::unlink(result.c_str());
        uncheckable += Has(wrong.err, "cannot check the password: out of memory") ? 1 : 0;
    }
    // The limits above do reach the judge.
    EXPECT_GT(uncheckable, 0);
}

TEST_F(Cli, AResultTooShortToJudgeIsWrittenWithANoteUnlessItIsText) {
    const std::string pin = "my bank PIN is 1234\n";
    WriteBytes(dir / "pin.txt", Bytes(pin.begin(), pin.end()));
    ASSERT_EQ(RunCli({"encrypt", "-p", passwordFile, dir / "pin.txt"}).exitCode, 0);
    Outcome right = RunCli({"decrypt", "-p", passwordFile, "-o", "-", dir / "pin.txt.enx"});
    EXPECT_EQ(right.exitCode, 0);
    EXPECT_EQ(right.out, pin);
    EXPECT_EQ(right.err, "");
    WriteBytes(dir / "wrong", Bytes{'b', '\n'});
    Outcome wrong = RunCli({"decrypt", "-p", dir / "wrong", "-o", "-", dir / "pin.txt.enx"});
    EXPECT_EQ(wrong.exitCode, 0);
    EXPECT_EQ(wrong.out.size(), pin.size());
    EXPECT_EQ(wrong.err, "vanthe-cli: standard output: written, but too short to tell whether the "
                         "password was right (under 128 bytes, and no text)\n");
    // Asked not to check, it says nothing.
    Outcome unchecked =
        RunCli({"decrypt", "--no-check", "-p", dir / "wrong", "-o", "-", dir / "pin.txt.enx"});
    EXPECT_EQ(unchecked.err, "");
}

TEST_F(Cli, SignalsTheCallerIgnoresStayIgnored) {
    // `nohup`: a hangup mid-job does not end it.
    int fd = ::open((dir / "big").c_str(), O_CREAT | O_WRONLY, 0600);
    ASSERT_EQ(::ftruncate(fd, 256LL * 1024 * 1024), 0);
    ::close(fd);
    RunOptions nohup = WhileRunning([&](pid_t pid) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!HoldsAnUnnamedFile(pid) && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        ::kill(pid, SIGHUP);
    });
    nohup.ignoredSignals = {SIGHUP};
    Outcome hungUp = RunCli({"encrypt", "-p", passwordFile, dir / "big"}, nohup);
    EXPECT_EQ(hungUp.exitCode, 0) << "signal " << hungUp.signal << ": " << hungUp.err;
    EXPECT_EQ(std::filesystem::file_size(dir / "big.enx"), 256u * 1024 * 1024);
    // An ignored SIGPIPE asks for a write error when the reader leaves, as it gets from cat.
    WriteBytes(dir / "plain", Pattern(1024 * 1024));
    RunOptions unread;
    unread.outputUnread = true;
    unread.ignoredSignals = {SIGPIPE};
    Outcome left = RunCli({"encrypt", "-p", passwordFile, "-o", "-", dir / "plain"}, unread);
    EXPECT_EQ(left.exitCode, 1) << "signal " << left.signal;
    EXPECT_NE(left.err.find("Broken pipe"), std::string::npos) << left.err;
}

TEST_F(Cli, EachTerminatingSignalLeavesNothingBehind) {
#if defined(__SANITIZE_THREAD__)
    // Measured: about one signal in eighty was taken and never handled, while without the
    // sanitizer none of 840 was; the other builds run this test.
    GTEST_SKIP() << "ThreadSanitizer holds a signal's handler for later and at times drops it";
#endif
    // A sparse source reads fast but takes long enough to encrypt to be caught mid-way.
    int fd = ::open((dir / "big").c_str(), O_CREAT | O_WRONLY, 0600);
    ASSERT_EQ(::ftruncate(fd, 768LL * 1024 * 1024), 0);
    ::close(fd);
    WriteBytes(dir / "big.enx", Pattern(5));
    for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE, SIGUSR1, SIGUSR2, SIGALRM}) {
        SCOPED_TRACE(::strsignal(signal));
        bool sent = false;
        Outcome outcome = RunCli(
            {"encrypt", "--force", "-p", passwordFile, dir / "big"}, WhileRunning([&](pid_t pid) {
                auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
                while (std::chrono::steady_clock::now() < deadline) {
                    if (HoldsAnUnnamedFile(pid) || FilesIn(dir.path()).size() > 3) {
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

TEST_F(Cli, ABatchStoppedAtAnyMomentLeavesNoHiddenResult) {
    // Ctrl-C on a batch that replaces its destinations: whichever job thread takes the signal,
    // a result on its way to its name (linked under a hidden name a moment before it replaces
    // the old file) goes with it. Many small files keep results at that step all the time.
    std::vector<std::string> sources;
    for (int i = 0; i < 200; ++i) {
        sources.push_back(dir / ("s" + std::to_string(i)));
        WriteBytes(sources.back(), Pattern(64 + static_cast<std::size_t>(i)));
        WriteBytes(sources.back() + ".enx", Pattern(3));
    }
    std::vector<std::string> args = {"encrypt", "-q", "-f", "-j", "8", "-p", passwordFile};
    args.insert(args.end(), sources.begin(), sources.end());
    std::mt19937 random(7);
    for (int run = 0; run < 30; ++run) {
        const auto delay = std::chrono::microseconds(random() % 40000);
        RunCli(args, WhileRunning([&](pid_t pid) {
                   std::this_thread::sleep_for(delay);
                   ::kill(pid, SIGINT);
               }));
        for (const std::string& name : FilesIn(dir.path())) {
            ASSERT_NE(name.rfind(".vanthe-", 0), 0U) << "run " << run << ": " << name;
        }
    }
}

TEST_F(Cli, APasswordTypedInALocaleThatIsNotUtf8IsReadInItsCharacterSet) {
    // A Russian locale in KOI8-R, made here, since few systems install one.
    const std::string locales = dir / "locales";
    ASSERT_EQ(::mkdir(locales.c_str(), 0700), 0);
    const std::string make =
        "localedef -i ru_RU -f KOI8-R " + locales + "/ru_RU.KOI8-R 2>/dev/null";
    if (std::system(make.c_str()) != 0) {
        GTEST_SKIP() << "localedef cannot make ru_RU.KOI8-R here";
    }
    ::setenv("LOCPATH", locales.c_str(), 1);
    ::setenv("LC_ALL", "ru_RU.KOI8-R", 1);
    // "пароль" as a KOI8-R terminal sends it; the file was made on Windows in code page 1251.
    const std::string vectors = VANTHE_TEST_DATA_DIR "/vectors/codepage";
    AtTerminal terminal({"decrypt", "-q", "-o", dir / "out", vectors + "/outputs/cp1251-01.enx"});
    ::unsetenv("LC_ALL");
    ::unsetenv("LOCPATH");
    ASSERT_TRUE(terminal.ReadUntil("Password: ")) << terminal.screen;
    terminal.Type("\xd0\xc1\xd2\xcf\xcc\xd8\n");
    EXPECT_EQ(terminal.Wait(), 0) << terminal.screen;
    EXPECT_EQ(ReadBytes(dir / "out"), ReadBytes(vectors + "/inputs/pattern-001025.bin"));
}

TEST_F(Cli, PasswordsAreHashedInTheCodePageWindowsWouldUse) {
    const std::string vectors = VANTHE_TEST_DATA_DIR "/vectors/codepage";
    const Bytes plain = ReadBytes(vectors + "/inputs/pattern-001025.bin");
    // "Pässwörd" as typed here (UTF-8), and as its file line would hold it in code page 1252.
    WriteBytes(dir / "typed", Bytes{'P', 0xC3, 0xA4, 's', 's', 'w', 0xC3, 0xB6, 'r', 'd', '\n'});
    WriteBytes(dir / "legacy", Bytes{'P', 0xE4, 's', 's', 'w', 0xF6, 'r', 'd', '\n'});
    struct Case {
        std::string passwordFile;
        std::vector<std::string> environment;
        std::vector<std::string> extra;
    } opening[] = {
        {dir / "typed", {"LC_ALL=de_DE.UTF-8"}, {}},
        {dir / "typed", {"LC_ALL=C", "VANTHE_CODEPAGE=1252"}, {}},
        {dir / "typed", {"VANTHE_CODEPAGE=1251"}, {"--codepage", "1252"}},
        {dir / "legacy", {"LC_ALL=ru_RU.UTF-8"}, {}}, // bytes that are no UTF-8 stand as they are
    };
    for (const Case& c : opening) {
        std::vector<std::string> args{"decrypt", "-q", "-p", c.passwordFile, "-o", "-"};
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        args.push_back(vectors + "/outputs/cp1252-00.enx");
        RunOptions run;
        run.environment = c.environment;
        Outcome outcome = RunCli(args, run);
        EXPECT_EQ(outcome.exitCode, 0) << outcome.err;
        EXPECT_EQ(Bytes(outcome.out.begin(), outcome.out.end()), plain) << c.environment.front();
    }

    // A wrong one from bytes that stood as they are says so, not which code page it was in.
    Outcome wrong = RunCli(
        {"decrypt", "-q", "-p", dir / "legacy", "-o", "-", vectors + "/outputs/cp1251-01.enx"});
    EXPECT_EQ(wrong.exitCode, 1);
    EXPECT_TRUE(Has(wrong.err, "its bytes were hashed as they stand")) << wrong.err;

    // Encrypting refuses what the code page lacks, before anything is written.
    WriteBytes(dir / "plain", plain);
    RunOptions cyrillic;
    cyrillic.environment = {"VANTHE_CODEPAGE=1251"};
    Outcome refused = RunCli({"encrypt", "-p", dir / "typed", dir / "plain"}, cyrillic);
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_TRUE(Has(refused.err, "The password contains characters that code page 1251 cannot "
                                 "represent.") &&
                Has(refused.err, "--codepage"))
        << refused.err;
    EXPECT_FALSE(testing_support::PathExists(dir / "plain.enx"));

    RunOptions german;
    german.environment = {"LC_ALL=de_DE.UTF-8"};
    ASSERT_EQ(RunCli({"encrypt", "-p", dir / "typed", dir / "plain"}, german).exitCode, 0);
    EXPECT_EQ(ReadBytes(dir / "plain.enx"), ReadBytes(vectors + "/outputs/cp1252-00.enx"));
}

TEST_F(Cli, JapaneseKeysTypedHereAreHashedAsTypedOnWindows) {
    // Input here gives the wave dash U+301C, the minus sign U+2212 and the yen sign U+00A5 for
    // keys that type U+FF5E, U+FF0D and a backslash on Windows, which code page 932 stores as
    // 81 60, 81 7C and 5C.
    const Bytes plain = Pattern(3000);
    WriteBytes(dir / "plain", plain);
    WriteBytes(dir / "windows", Bytes{'p', 0x81, 0x60, 0x81, 0x7C, 0x5C, '\n'});
    ASSERT_EQ(RunCli({"encrypt", "-q", "-p", dir / "windows", "-o", dir / "made-on-windows",
                      dir / "plain"})
                  .exitCode,
              0);
    WriteBytes(dir / "typed", Bytes{'p', 0xE3, 0x80, 0x9C, 0xE2, 0x88, 0x92, 0xC2, 0xA5, '\n'});
    Outcome encrypted =
        RunCli({"encrypt", "-q", "--codepage", "932", "-p", dir / "typed", dir / "plain"});
    EXPECT_EQ(encrypted.exitCode, 0) << encrypted.err;
    EXPECT_EQ(ReadBytes(dir / "plain.enx"), ReadBytes(dir / "made-on-windows"));
    Outcome decrypted = RunCli({"decrypt", "-q", "--codepage", "932", "-p", dir / "typed", "-o",
                                "-", dir / "made-on-windows"});
    EXPECT_EQ(decrypted.exitCode, 0) << decrypted.err;
    EXPECT_EQ(Bytes(decrypted.out.begin(), decrypted.out.end()), plain);
}

} // namespace
