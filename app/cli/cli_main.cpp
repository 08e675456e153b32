// vanthe-cli: the encryption engine for scripts, servers and pipelines.

#include "app/cli/cli_options.h"
#include "app/cli/failure_text.h"
#include "app/cli/job_plan.h"
#include "app/cli/password_bytes.h"
#include "app/cli/password_input.h"
#include "app/cli/printable_name.h"
#include "app/cli/progress_meter.h"
#include "engine/file_transform.h"
#include "platform/content/plausibility.h"
#include "platform/files/safe_output.h"
#include "platform/files/strings.h"
#include "res/version.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using namespace vanthe;
using namespace vanthe::cli;

constexpr int kExitFailed = 1;
constexpr int kExitRefused = 2;

void Say(const std::string& line) {
    std::fprintf(stderr, "vanthe-cli: %s\n", line.c_str());
}

int Refuse(const std::string& reason) {
    Say(reason);
    return kExitRefused;
}

// Help and version go to standard output; a failure to write them is an error, not a success.
int Print(const std::string& text) {
    std::fputs(text.c_str(), stdout);
    if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
        return Refuse(std::string("cannot write to standard output: ") + std::strerror(errno));
    }
    return 0;
}

unsigned DefaultJobs() {
    long processors = ::sysconf(_SC_NPROCESSORS_ONLN);
    return processors > 0 ? static_cast<unsigned>(processors) : 1;
}

// A job holds up to four descriptors at once (its source, its folder, its result, and a wake-up
// for a pipe); under a low limit of open files, fewer jobs run at once instead of failing.
unsigned JobsTheDescriptorsAllow(unsigned wanted) {
    constexpr rlim_t kPerJob = 4;
    constexpr rlim_t kReserved = 8; // standard streams, the password file, the program's own
    rlimit files{};
    if (::getrlimit(RLIMIT_NOFILE, &files) != 0 || files.rlim_cur == RLIM_INFINITY) {
        return wanted;
    }
    rlim_t room = files.rlim_cur > kReserved ? (files.rlim_cur - kReserved) / kPerJob : 0;
    return static_cast<unsigned>(std::clamp<rlim_t>(room, 1, wanted));
}

// Whether the caller started the program with SIGPIPE ignored, which asks for a write error.
bool PipeSignalIgnored() {
    struct sigaction inherited {};
    return ::sigaction(SIGPIPE, nullptr, &inherited) == 0 && inherited.sa_handler == SIG_IGN;
}

// The reader of standard output went away, as `| head` does on purpose: like the other
// members of a pipeline, the program then ends without a word, by SIGPIPE, unless the caller
// ignores that signal.
bool ReaderLeft(const PlannedJob& job, const JobFailure& failure) {
    static const bool reported = PipeSignalIgnored();
    return !reported && job.toStandardOutput && failure.step == JobStep::Write &&
           failure.code == EPIPE;
}

// Runs the jobs, up to `threads` at once; each failure is reported with its file's name.
// Returns the number of jobs that failed.
std::size_t RunJobs(const Options& options, const JobPlan& plan, const PasswordBytes& password,
                    ProgressMeter& meter, unsigned threads, bool& readerLeft) {
    const int mode = options.command == Command::Encrypt ? kModeEncrypt : kModeDecrypt;
    std::atomic<std::size_t> next{0};
    std::atomic<std::size_t> failed{0};
    std::atomic<bool> left{false};
    // `counted`: the job's failure was counted, before anything that may still run out of
    // memory.
    auto runJob = [&](const PlannedJob& job, bool& counted) {
        ProgressMeter::Job observer(meter);
        FileTransform transform;
        transform.observer = &observer;
        transform.replaceExisting = options.force;
        transform.checkPlausibility = !options.noCheck;
        transform.sourceIsStandardInput = job.fromStandardInput;
        transform.sourceIsNamedStream = job.fromNamedStream;
        transform.destinationIsStandardOutput = job.toStandardOutput;
        if (!options.quiet && !job.fromStandardInput && !job.fromNamedStream &&
            HeldByAnotherProgram(job.source)) {
            // Else the wait, up to the lease-break time, looks like a hang.
            meter.Say(Printable(job.source) + ": another program holds it open; waiting for it to "
                                              "let go");
        }
        if (!transform.Transform(job.source, job.destination, password.bytes, mode)) {
            ++failed;
            counted = true;
            if (ReaderLeft(job, transform.failure)) {
                left = true;
                return;
            }
            std::string source = job.fromStandardInput ? "standard input" : Printable(job.source);
            std::string destination =
                job.toStandardOutput ? "standard output" : Printable(job.destination);
            meter.Say(DescribeFailure(transform.failure, source, destination, password));
        } else if (transform.passwordUnchecked) {
            // Not a failure: the right password gives such a file as well.
            meter.Say((job.toStandardOutput ? "standard output" : Printable(job.destination)) +
                      ": written, but too short to tell whether the password was right (under " +
                      std::to_string(platform::kSmallestJudgedSample) + " bytes, and no text)");
        }
    };
    auto work = [&] {
        for (std::size_t i = next++; i < plan.jobs.size(); i = next++) {
            bool counted = false;
            try {
                runJob(plan.jobs[i], counted);
            } catch (const std::bad_alloc&) {
                // The job's files were closed on the way out, and its result took no name.
                failed += counted ? 0 : 1;
                try {
                    meter.Say(Printable(plan.jobs[i].source) + ": out of memory");
                } catch (const std::bad_alloc&) {
                    std::fputs("vanthe-cli: out of memory\n", stderr);
                }
            }
        }
    };
    // Each file is one key stream, so files, not chunks, are what runs in parallel.
    std::vector<std::thread> workers;
    for (unsigned i = 1; i < threads && i < plan.jobs.size(); ++i) {
        try {
            workers.emplace_back(work);
        } catch (const std::system_error&) {
            break; // fewer threads do the same work
        }
    }
    work();
    for (std::thread& worker : workers) {
        worker.join();
    }
    readerLeft = left;
    return failed;
}

int Run(const Options& options) {
    JobPlan plan;
    std::string reason;
    if (!PlanJobs(options, plan, reason)) {
        return Refuse(reason);
    }
    for (const std::string& refusal : plan.refusals) {
        Say(refusal);
    }
    if (plan.jobs.empty()) {
        return kExitRefused;
    }
    int codePage = 0;
    if (!ChooseCodePage(options.codePage, codePage, reason)) {
        return Refuse(reason);
    }

    const bool encrypting = options.command == Command::Encrypt;
    std::string text;
    bool fromFile = !options.passwordFile.empty() && !NamesATerminal(options.passwordFile);
    if (fromFile && !options.quiet && options.passwordFile != "-" &&
        HeldByAnotherProgram(options.passwordFile)) {
        // Its open waits as a source's does.
        Say(Printable(options.passwordFile) +
            ": another program holds it open; waiting for it to let go");
    }
    bool havePassword = fromFile ? ReadPasswordFile(options.passwordFile, text, reason)
                                 : AskPassword(encrypting, text, reason);
    if (!havePassword) {
        return Refuse(reason);
    }
    const std::string passwordSource = options.passwordFile == "-"
                                           ? std::string("standard input")
                                           : Printable(options.passwordFile);
    if (text.empty()) {
        return Refuse(fromFile ? passwordSource + ": the password is empty"
                               : std::string("the password is empty"));
    }
    if (encrypting && fromFile && text.find('\r') != std::string::npos) {
        // A file with old Mac line ends (CR alone), or a line ending doubled to "\r\r\n": the
        // password would take in what no one can type. Decrypting still takes the line as it
        // is, so files encrypted under such a line before still open.
        platform::SecureZeroMemory(text.data(), text.size());
        return Refuse(passwordSource +
                      ": the password line holds a carriage return; end its lines with LF or "
                      "CR LF");
    }
    if (encrypting && DialogCharacters(text) > kDialogPasswordCharacters) {
        platform::SecureZeroMemory(text.data(), text.size());
        return Refuse((fromFile ? passwordSource + ": " : std::string()) +
                      "the password is longer than the " +
                      std::to_string(kDialogPasswordCharacters) +
                      " characters the dialog's password field holds");
    }
    PasswordBytes password;
    bool converted =
        ToPasswordBytes(text, fromFile ? PasswordOrigin::FileLine : PasswordOrigin::Typed, codePage,
                        encrypting, password);
    platform::SecureZeroMemory(text.data(), text.size());
    if (!converted) {
        Wipe(password);
        Say(password.errorText);
        Say("--codepage N chooses another code page (65001 keeps the password's UTF-8 bytes)");
        return kExitRefused;
    }

    // Data typed at the terminal is read without a prompt: say so, or the program seems to hang;
    // a progress line would be drawn over what is typed.
    const bool dataFromTerminal =
        ::isatty(STDIN_FILENO) != 0 &&
        std::any_of(plan.jobs.begin(), plan.jobs.end(),
                    [](const PlannedJob& job) { return job.fromStandardInput; });
    if (dataFromTerminal && !options.quiet) {
        Say("reading the data from the terminal; end it with Ctrl-D");
    }
    bool showProgress = !options.quiet && !dataFromTerminal && ::isatty(STDERR_FILENO) != 0;
    std::uint64_t total = 0;
    for (const PlannedJob& job : plan.jobs) {
        total += job.sizeHint;
    }
    std::size_t failed = 0;
    bool readerLeft = false;
    {
        ProgressMeter meter(showProgress, plan.jobs.size(), total, plan.sizesKnown);
        failed = RunJobs(options, plan, password, meter,
                         JobsTheDescriptorsAllow(options.jobs != 0 ? options.jobs : DefaultJobs()),
                         readerLeft);
    }
    Wipe(password);
    if (readerLeft) {
        std::signal(SIGPIPE, SIG_DFL);
        std::raise(SIGPIPE);
    }
    return failed == 0 && plan.refusals.empty() ? 0 : kExitFailed;
}

} // namespace

int main(int argc, char** argv) {
    if (!platform::OccupyClosedStandardDescriptors()) {
        return kExitRefused;
    }
    // No core dump of a password or a key, and no other process of the user reading them.
    ::prctl(PR_SET_DUMPABLE, 0);
    // A signal that ends the program removes the unpublished results and gives the terminal
    // its echo back; past a file-size limit a write fails like any other.
    platform::CleanUpResultsOnFatalSignals(&RestoreTerminal);

    Options options;
    std::string reason;
    if (!ParseOptions(argc, argv, options, reason)) {
        Say(reason);
        std::fputs("Try 'vanthe-cli --help'.\n", stderr);
        return kExitRefused;
    }
    switch (options.command) {
    case Command::Help:
        return Print(kUsage);
    case Command::Version:
        return Print(std::string("vanthe-cli ") + kVersionText + "\n");
    default:
        try {
            return Run(options);
        } catch (const std::bad_alloc&) {
            std::fputs("vanthe-cli: out of memory\n", stderr);
            return kExitFailed;
        }
    }
}
