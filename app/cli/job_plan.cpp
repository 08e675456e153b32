#include "app/cli/job_plan.h"

#include "app/cli/failure_text.h"
#include "app/cli/printable_name.h"
#include "engine/encrypted_name.h"
#include "platform/files/safe_output.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <string_view>
#include <sys/stat.h>
#include <system_error>
#include <tuple>
#include <unistd.h>
#include <utility>

namespace vanthe::cli {

namespace {

// Where a destination's name lives: two names for one entry of one folder are one file.
using Slot = std::tuple<dev_t, ino_t, std::string>;

std::string NameOf(const std::string& path) {
    return std::filesystem::path(path).filename().string();
}

// What an open that may not wait gets for a file another program holds a lease on.
bool IsLeaseRefusal(int error) {
    return error == EAGAIN || error == EWOULDBLOCK;
}

// The refusal of a source that cannot be read, or an empty text.
std::string CheckSource(const std::string& source, PlannedJob& job) {
    struct stat info {};
    if (::stat(source.c_str(), &info) != 0) {
        return Printable(source) + ": cannot open: " + std::strerror(errno);
    }
    if (S_ISDIR(info.st_mode)) {
        return Printable(source) + ": is a directory";
    }
    job.fromNamedStream = !S_ISREG(info.st_mode);
    job.sizeHint = job.fromNamedStream ? 0 : static_cast<std::uint64_t>(info.st_size);
    if (S_ISFIFO(info.st_mode)) {
        // Not opened here: a writer that found this open as its reader would write into it, or
        // fail with EPIPE when it closed.
        return {};
    }
    // Opened only to learn that it may be read. O_NONBLOCK: the open of a device, a modem's say,
    // must not hold the call here.
    int fd = ::open(source.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0 && IsLeaseRefusal(errno) && S_ISREG(info.st_mode)) {
        // Another program holds a lease on it, which the job's own open waits for.
        return {};
    }
    if (fd < 0) {
        return Printable(source) + ": cannot open: " + std::strerror(errno);
    }
    ::close(fd);
    return {};
}

// What a name on the command line ("-": standard input) is, for telling two names of one file.
bool Identify(const std::string& name, struct stat& info) {
    return name == kStandardStream ? ::fstat(STDIN_FILENO, &info) == 0
                                   : ::stat(name.c_str(), &info) == 0;
}

bool SameFile(const struct stat& first, const struct stat& second) {
    return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

// True when `path` and the stream `source` are one open file or pipe: reading the password
// from it would take the data's first bytes with it.
bool SameStream(const std::string& path, const std::string& source) {
    struct stat first {};
    struct stat second {};
    return Identify(path, first) && Identify(source, second) && SameFile(first, second);
}

std::string CheckDestination(const PlannedJob& job, bool force, const std::string& passwordFile) {
    std::string name = Printable(job.destination);
    // Replacing the file the password came from could lose the only copy of the password,
    // also when it came in on standard input (`-p - <pw`).
    if (!passwordFile.empty() && SameStream(passwordFile, job.destination)) {
        return name + ": is the password file; left as it is";
    }
    // Standard input redirected from the destination, as with `-o f - <f`.
    if (job.fromStandardInput && SameStream(kStandardStream, job.destination)) {
        return name + ": is the source file itself";
    }
    switch (platform::DestinationState(job.destination.c_str(),
                                       job.fromStandardInput ? nullptr : job.source.c_str())) {
    case platform::Existing::Source:
        return name + ": is the source file itself";
    case platform::Existing::NotRegular:
        // /dev/stdout and its kin name the terminal or pipe as a file; "-" is the way to it.
        if (job.destination.rfind("/dev/", 0) == 0 || job.destination.rfind("/proc/", 0) == 0) {
            return name + ": is not a regular file; to write to standard output, use -o -";
        }
        return name + ": exists and is not a regular file; left as it is";
    case platform::Existing::RegularFile:
        // Not the advice to force what would be refused all the same.
        if (platform::ReplacementRefused(job.destination.c_str())) {
            return name + ": exists and cannot be replaced: " + std::strerror(EPERM);
        }
        if (!force) {
            return name + ": exists (use --force to replace it)";
        }
        break;
    case platform::Existing::Nothing:
        break;
    }
    std::string folder = FolderOf(job.destination);
    struct stat info {};
    if (::stat(folder.c_str(), &info) != 0) {
        return name + ": cannot create a file in " + Printable(folder) + ": " +
               std::strerror(errno);
    }
    if (!S_ISDIR(info.st_mode)) {
        return name + ": cannot create a file in " + Printable(folder) + ": " +
               std::strerror(ENOTDIR);
    }
    // Appending .enx can make a name longer than the folder takes (255 bytes on most file
    // systems, 143 on some encrypted ones): say so by the name, before any work.
    const std::size_t length = NameOf(job.destination).size();
    const long longest = length > _POSIX_NAME_MAX ? ::pathconf(folder.c_str(), _PC_NAME_MAX) : -1;
    if (longest > 0 && length > static_cast<std::size_t>(longest)) {
        return name + ": cannot create: " + std::strerror(ENAMETOOLONG) + " (" +
               std::to_string(length) + " bytes; this folder takes " + std::to_string(longest) +
               ")";
    }
    return {};
}

// True when standard output is the source's own file, as after `1<>file`: the result would
// overwrite the source while it is read.
bool OutputIsSource(const std::string& source) {
    struct stat output {};
    struct stat input {};
    return ::fstat(STDOUT_FILENO, &output) == 0 && S_ISREG(output.st_mode) &&
           Identify(source, input) && SameFile(input, output);
}

// True when `path` is the name of an open file, as /dev/stdin, /dev/fd/3 and /proc/self/fd/0
// are: its folder is /dev itself, or lies in /proc or /sys. /dev/shm is a folder like others.
bool InSystemFolder(const std::string& path) {
    std::error_code error;
    const std::string folder =
        std::filesystem::canonical(std::filesystem::absolute(FolderOf(path), error), error)
            .string();
    if (folder == "/dev") {
        return true;
    }
    for (const std::string_view root : {"/proc", "/sys"}) {
        if (folder.rfind(root, 0) == 0 &&
            (folder.size() == root.size() || folder[root.size()] == '/')) {
            return true;
        }
    }
    return false;
}

// A result that is another job's source would be read before or after it is written, as the
// jobs' order and threads have it; the call is refused instead.
bool ReadsNoResult(const JobPlan& plan, std::string& reason) {
    std::map<std::pair<dev_t, ino_t>, const PlannedJob*> readers;
    for (const PlannedJob& job : plan.jobs) {
        struct stat info {};
        if (Identify(job.source, info)) {
            readers.emplace(std::pair{info.st_dev, info.st_ino}, &job);
        }
    }
    for (const PlannedJob& job : plan.jobs) {
        struct stat info {};
        if (job.toStandardOutput || ::stat(job.destination.c_str(), &info) != 0) {
            continue;
        }
        auto reader = readers.find({info.st_dev, info.st_ino});
        if (reader != readers.end() && reader->second != &job) {
            reason = Printable(job.destination) + " is the destination of " +
                     Printable(job.source) + " and a source as well; give them in two calls";
            return false;
        }
    }
    return true;
}

} // namespace

bool PlanJobs(const Options& options, JobPlan& plan, std::string& reason) {
    plan = JobPlan{};
    bool encrypting = options.command == Command::Encrypt;
    std::map<Slot, std::string> destinations;
    for (const std::string& source : options.sources) {
        PlannedJob job;
        job.source = source;
        job.fromStandardInput = source == kStandardStream;
        if (!options.output.empty()) {
            job.destination = options.output;
        } else if (encrypting) {
            job.destination = source + kEncryptedMarker;
        } else {
            Proposal proposal = ProposeFor(source);
            if (proposal.mode != 1) {
                // One such file among others (`decrypt *` beside a README) spoils nothing.
                plan.refusals.push_back(Printable(source) +
                                        ": has no .enx ending; name its destination with -o");
                continue;
            }
            job.destination = proposal.destination;
        }
        // Only a "-" the user gave: a file named "-.enx" decrypts into a file named "-".
        job.toStandardOutput = options.output == kStandardStream;
        if (job.toStandardOutput && ::isatty(STDOUT_FILENO) != 0) {
            reason = "standard output is a terminal; redirect it or name a file with -o";
            return false;
        }
        if (job.toStandardOutput && OutputIsSource(source)) {
            reason = (job.fromStandardInput ? std::string("standard input") : Printable(source)) +
                     ": standard output is the source file itself";
            return false;
        }
        if (job.destination.empty() || job.destination.back() == '/') {
            if (options.output.empty()) {
                plan.refusals.push_back(Printable(source) +
                                        ": leaves no name for its destination; use -o");
                continue;
            }
            reason = Printable(options.output) + ": names a folder; -o takes a file name";
            return false;
        }

        if (!job.fromStandardInput) {
            std::string refusal = CheckSource(source, job);
            // The name of a shell's <(...) gives no place for a file beside it.
            if (refusal.empty() && job.fromNamedStream && options.output.empty()) {
                refusal = Printable(source) + ": is a pipe or device; name its destination with -o";
            }
            // /dev/stdin or /dev/fd/3 redirected from a file is that file, but nothing may be
            // made beside its name.
            if (refusal.empty() && options.output.empty() && InSystemFolder(source)) {
                refusal = Printable(source) + ": lies in " + Printable(FolderOf(source)) +
                          ", which takes no files; name its destination with -o";
            }
            if (refusal.empty() && !job.toStandardOutput) {
                refusal = CheckDestination(job, options.force, options.passwordFile);
            }
            if (!refusal.empty()) {
                plan.refusals.push_back(refusal);
                continue;
            }
            plan.sizesKnown = plan.sizesKnown && !job.fromNamedStream;
        } else {
            plan.sizesKnown = false;
            if (!job.toStandardOutput) {
                std::string refusal = CheckDestination(job, options.force, options.passwordFile);
                if (!refusal.empty()) {
                    plan.refusals.push_back(refusal);
                    continue;
                }
            }
        }

        if ((job.fromStandardInput || job.fromNamedStream) && !options.passwordFile.empty() &&
            SameStream(options.passwordFile, source)) {
            reason = (job.fromStandardInput ? std::string("standard input") : Printable(source)) +
                     " cannot hold both the password and the data";
            return false;
        }
        if (!job.toStandardOutput) {
            // Two jobs writing one file would race for it; the batch is refused instead.
            struct stat folder {};
            if (::stat(FolderOf(job.destination).c_str(), &folder) == 0) {
                Slot slot{folder.st_dev, folder.st_ino, NameOf(job.destination)};
                auto [at, added] = destinations.emplace(slot, source);
                if (!added) {
                    reason = Printable(at->second) + " and " + Printable(source) +
                             " would both be written to " + Printable(job.destination);
                    return false;
                }
            }
        }
        plan.jobs.push_back(std::move(job));
    }
    return ReadsNoResult(plan, reason);
}

bool HeldByAnotherProgram(const std::string& source) {
    // Only a regular file takes a lease. Opening and closing a named pipe would take what its
    // writer put in and leave the reader's own open waiting for another writer.
    struct stat info {};
    if (::stat(source.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return false;
    }
    // An open that may not wait asks the holder to let go, as the job's own open would.
    int fd = ::open(source.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        return IsLeaseRefusal(errno);
    }
    ::close(fd);
    return false;
}

} // namespace vanthe::cli
