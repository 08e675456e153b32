// vanthe-cli: the encryption engine for scripts and servers.

#include "app/cli/cli_options.h"
#include "app/cli/error_meaning.h"
#include "app/cli/password_input.h"
#include "app/cli/progress_meter.h"
#include "engine/file_transform.h"
#include "platform/files/file_api.h"
#include "platform/files/strings.h"
#include "platform/files/safe_output.h"
#include "res/version.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace vanthe;
using namespace vanthe::cli;

constexpr int kExitFailed = 1;
constexpr int kExitRefused = 2;

extern "C" void OnTerminatingSignal(int signal) {
    platform::RemoveUnpublishedResults();
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
    std::string folder = std::filesystem::path(destination).parent_path().string();
    if (::access(folder.empty() ? "." : folder.c_str(), W_OK | X_OK) != 0) {
        return Refuse("cannot create a file in " + folder + ": " + std::strerror(errno));
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

    bool showProgress = !options.quiet && ::isatty(STDERR_FILENO) != 0;
    ProgressMeter meter(static_cast<std::uint64_t>(sourceInfo.st_size), showProgress);
    FileTransform job;
    job.observer = &meter;
    job.replaceExisting = options.force;
    bool ok = job.Transform(source, destination, password,
                            options.command == Command::Encrypt ? kModeEncrypt : kModeDecrypt);
    platform::SecureZeroMemory(password.data(), password.size());
    if (!ok) {
        if (job.failure.step == JobStep::Publish && job.failure.code == EEXIST) {
            return Refuse(destination + ": exists (use --force to replace it)");
        }
        std::string meaning = ErrorMeaning(job.errorText);
        std::fprintf(stderr, "vanthe-cli: %s%s%s%s\n", job.errorText.c_str(),
                     meaning.empty() ? "" : " (", meaning.c_str(), meaning.empty() ? "" : ")");
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
