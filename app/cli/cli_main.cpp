// vanthe-cli: the encryption engine for scripts and servers.

#include "app/cli/cli_options.h"
#include "app/cli/error_meaning.h"
#include "app/cli/password_input.h"
#include "app/cli/progress_meter.h"
#include "engine/file_transform.h"
#include "platform/files/file_api.h"
#include "res/version.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace vanthe;
using namespace vanthe::cli;

constexpr int kExitFailed = 1;
constexpr int kExitRefused = 2;

// The temporary output, for the signal handler to remove; empty when there is none.
char temporaryPath[8192] = {};

void RemoveTemporary() {
    if (temporaryPath[0] != '\0') {
        ::unlink(temporaryPath);
        temporaryPath[0] = '\0';
    }
}

extern "C" void OnTerminatingSignal(int signal) {
    RemoveTemporary();
    RestoreTerminal();
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

void InstallSignalHandlers() {
    struct sigaction action {};
    action.sa_handler = OnTerminatingSignal;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
        sigaction(signal, &action, nullptr);
    }
}

int Refuse(const std::string& reason) {
    std::fprintf(stderr, "vanthe-cli: %s\n", reason.c_str());
    return kExitRefused;
}

std::string FolderOf(const std::string& path) {
    std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Gives the finished temporary file its final name; without `replace` an existing file (even
// one that appeared during the job) is kept.
bool Publish(const std::string& destination, bool replace, int& error) {
    mode_t mask = ::umask(0);
    ::umask(mask);
    ::chmod(temporaryPath, 0666 & ~mask);

    sigset_t all;
    sigset_t previous;
    sigfillset(&all);
    ::sigprocmask(SIG_BLOCK, &all, &previous);
    int result = 0;
    if (replace) {
        result = ::rename(temporaryPath, destination.c_str());
    } else {
        result =
            ::renameat2(AT_FDCWD, temporaryPath, AT_FDCWD, destination.c_str(), RENAME_NOREPLACE);
        if (result != 0 && (errno == EINVAL || errno == ENOSYS)) {
            // The file system cannot refuse atomically; a hard link can.
            result = ::link(temporaryPath, destination.c_str());
            if (result == 0) {
                ::unlink(temporaryPath);
            }
        }
    }
    error = errno;
    if (result == 0) {
        temporaryPath[0] = '\0';
    }
    ::sigprocmask(SIG_SETMASK, &previous, nullptr);
    return result == 0;
}

int Run(const Options& options) {
    const std::string& source = options.source;
    const std::string& destination = options.destination;

    struct stat sourceInfo {};
    if (::stat(source.c_str(), &sourceInfo) != 0) {
        return Refuse(source + ": " + std::strerror(errno));
    }
    if (!S_ISREG(sourceInfo.st_mode)) {
        return Refuse(source + ": not a regular file");
    }
    struct stat destinationInfo {};
    bool destinationExists = ::lstat(destination.c_str(), &destinationInfo) == 0;
    if (::stat(destination.c_str(), &destinationInfo) == 0) {
        if (destinationInfo.st_dev == sourceInfo.st_dev &&
            destinationInfo.st_ino == sourceInfo.st_ino) {
            return Refuse(destination + ": is the source file itself");
        }
        if (S_ISDIR(destinationInfo.st_mode)) {
            return Refuse(destination + ": is a directory");
        }
    }
    if (destinationExists && !options.force) {
        return Refuse(destination + ": exists (use --force to replace it)");
    }

    InstallSignalHandlers();
    std::string password;
    std::string reason;
    bool havePassword = options.passwordFile.empty()
                            ? AskPassword(options.command == Command::Encrypt, password, reason)
                            : ReadPasswordFile(options.passwordFile, password, reason);
    if (!havePassword) {
        return Refuse(reason);
    }
    if (password.empty()) {
        return Refuse("the password is empty");
    }

    std::string pattern = FolderOf(destination) + "/." + NameOf(destination) + ".XXXXXX";
    if (pattern.size() >= sizeof temporaryPath) {
        platform::SecureZeroMemory(password.data(), password.size());
        return Refuse(destination + ": name too long");
    }
    std::memcpy(temporaryPath, pattern.c_str(), pattern.size() + 1);
    int fd = ::mkstemp(temporaryPath);
    if (fd < 0) {
        int error = errno;
        temporaryPath[0] = '\0';
        platform::SecureZeroMemory(password.data(), password.size());
        return Refuse("cannot create a file in " + FolderOf(destination) + ": " +
                      std::strerror(error));
    }
    ::close(fd);

    bool showProgress = !options.quiet && ::isatty(STDERR_FILENO) != 0;
    ProgressMeter meter(static_cast<std::uint64_t>(sourceInfo.st_size), showProgress);
    FileTransform job;
    job.notifyWindow = meter.window();
    bool ok = job.Transform(source, temporaryPath, password,
                            options.command == Command::Encrypt ? kModeEncrypt : kModeDecrypt);
    platform::SecureZeroMemory(password.data(), password.size());
    if (!ok) {
        RemoveTemporary();
        std::string meaning = ErrorMeaning(job.errorText);
        std::fprintf(stderr, "vanthe-cli: %s%s%s%s\n", job.errorText.c_str(),
                     meaning.empty() ? "" : " (", meaning.c_str(), meaning.empty() ? "" : ")");
        return kExitFailed;
    }
    int error = 0;
    if (!Publish(destination, options.force, error)) {
        RemoveTemporary();
        if (error == EEXIST) {
            return Refuse(destination + ": exists (use --force to replace it)");
        }
        std::fprintf(stderr, "vanthe-cli: cannot write %s: %s\n", destination.c_str(),
                     std::strerror(error));
        return kExitFailed;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    std::string reason;
    if (!ParseOptions(argc, argv, options, reason)) {
        std::fprintf(stderr, "vanthe-cli: %s\nTry 'vanthe-cli --help'.\n", reason.c_str());
        return kExitRefused;
    }
    switch (options.command) {
    case Command::Help:
        std::fputs(kUsage, stdout);
        return 0;
    case Command::Version:
        std::printf("vanthe-cli %s\n", kVersionText);
        return 0;
    default:
        return Run(options);
    }
}
