#include "jobs/job_runner.h"

#include "engine/failure_meaning.h"
#include "engine/file_transform.h"
#include "engine/password_bytes.h"
#include "engine/text_format.h"
#include "jobs/job_messages.h"
#include "jobs/job_request.h"
#include "platform/files/file_api.h"
#include "platform/files/safe_output.h"
#include "platform/files/strings.h"
#include "platform/files/threads.h"
#include "platform/text/code_page.h"
#include "platform/text/text_convert.h"
#include "platform/window/dialogs.h"
#include "platform/window/message_box.h"
#include "platform/window/window_state.h"

#include <atomic>
#include <condition_variable>
#include <mutex>

namespace vanthe {

using namespace platform;

JobRequest jobRequest;

namespace {

std::atomic<bool> jobUnderWay{false};
std::atomic<int> runningWorkers{0};
std::mutex workersMutex;
std::condition_variable workersEnded;

void WorkerEnded() {
    std::lock_guard lock(workersMutex);
    runningWorkers.fetch_sub(1);
    workersEnded.notify_all();
}

void Wipe(std::string& secret) {
    SecureZeroMemory(secret.data(), secret.size());
    secret.clear();
}

} // namespace

FieldToFix OnRun(HWND dialog, const std::string& sourcePath, const std::string& destinationPath,
                 const std::string& password, int mode) {
    std::string message;
    bool replace = false;
    PasswordBytes bytes;
    // The converted password is a secret too: only the request keeps a copy.
    struct WipeOnReturn {
        std::string& secret;
        ~WipeOnReturn() { Wipe(secret); }
    } wipe{bytes.bytes};
    UINT codePage = 0;
    if (sourcePath.empty()) {
        message = "Source file name is missed.";
    } else if (destinationPath.empty()) {
        message = "Destination file name is missed.";
    } else if (password.empty()) {
        message = "Password is missed.";
    } else if (!FileExists(sourcePath.c_str())) {
        message = FileMissingText(sourcePath);
    } else if (JobUnderWay()) {
        return FieldToFix::None;
    } else if (!CodePageFromEnvironment(&codePage, &message)) {
        // An unknown VANTHE_CODEPAGE: the message says so.
    } else if (bytes = PasswordForCodePage(password, codePage, mode == 0); !bytes.ok) {
        // The way on, which the dialog has no field for.
        const std::string text =
            bytes.errorText + (bytes.unrepresentable
                                   ? "\n\nVANTHE_CODEPAGE=N in the environment chooses another "
                                     "code page (65001 keeps the password's UTF-8 bytes)."
                                   : "");
        MessageBox(dialog, text.c_str(), "", MB_OK);
        return FieldToFix::Password;
    } else if (DestinationState(destinationPath.c_str(), sourcePath.c_str()) ==
               Existing::RegularFile) {
        // The source itself, or a destination that is no regular file, is refused by the job.
        std::string question = FormatText("File '%s' already exists.\nDo you want to replace it?",
                                          destinationPath.c_str());
        if (MessageBox(dialog, question.c_str(), "Vanthe",
                       MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) != IDYES) {
            return FieldToFix::Destination;
        }
        replace = true;
    }
    if (!message.empty()) {
        MessageBox(dialog, message.c_str(), "", MB_OK);
        return FieldToFix::None;
    }
    if (jobUnderWay.exchange(true)) {
        // Two jobs must never write the same destination at once.
        return FieldToFix::None;
    }
    {
        RECT client{};
        GetClientRect(dialog, &client);
        jobRequest.source = sourcePath;
        jobRequest.destination = destinationPath;
        // The worker hashes the bytes Windows would: the password in the ANSI code page.
        jobRequest.password = bytes.bytes;
        jobRequest.window = dialog;
        jobRequest.mode = mode;
        jobRequest.replace = replace;
        jobRequest.rows = client.bottom;
        jobRequest.codePage = IsAscii(password) ? 0 : codePage;
        runningWorkers.fetch_add(1);
        HANDLE thread = CreateThread(nullptr, 0, &JobThreadProc, &jobRequest, 0, nullptr);
        if (thread == nullptr) {
            message =
                FormatText("Cannot create thread. Error: %d", static_cast<int>(GetLastError()));
            WorkerEnded();
            Wipe(jobRequest.password);
            jobUnderWay.store(false);
        } else {
            CloseHandle(thread);
            // Until the job shows its fill: its files may keep it waiting (another program's
            // lease on one, a slow network mount), with nothing else to show for it.
            ShowWorkingPointer(TRUE);
        }
    }
    if (!message.empty()) {
        MessageBox(dialog, message.c_str(), "", MB_OK);
    }
    return FieldToFix::None;
}

DWORD JobThreadProc(void* parameter) {
    auto* request = static_cast<JobRequest*>(parameter);
    WindowJobObserver observer(request->window, request->rows, request->codePage);
    FileTransform transform;
    transform.observer = &observer;
    transform.replaceExisting = request->replace;
    HWND owner = request->window;
    std::string message;
    std::string source = request->source;
    std::string destination = request->destination;
    std::string password = request->password;
    int mode = request->mode;
    Wipe(request->password);

    bool ok = mode != 0 ? transform.DecryptFile(source, destination, password)
                        : transform.EncryptFile(source, destination, password);
    Wipe(password);
    jobUnderWay.store(false);
    // A result the user declined to write was their answer, not an error to report.
    if (!ok && transform.failure.step != JobStep::WrongPassword &&
        transform.failure.step != JobStep::NotEncrypted &&
        transform.failure.step != JobStep::PasswordUnchecked) {
        // The short text alone gives a bare number; what it means follows it.
        message = transform.errorText;
        const std::string meaning = FailureMeaning(transform.failure);
        if (!meaning.empty()) {
            message += "\n\n" + meaning;
        }
    }
    if (!message.empty()) {
        MessageBox(owner, message.c_str(), "Error", MB_OK | MB_ICONERROR);
    }
    WorkerEnded();
    return 0;
}

bool JobUnderWay() {
    return jobUnderWay.load();
}

int RunningWorkers() {
    return runningWorkers.load();
}

bool WaitForWorkers(std::chrono::milliseconds timeout) {
    std::unique_lock lock(workersMutex);
    return workersEnded.wait_for(lock, timeout, [] { return runningWorkers.load() == 0; });
}

} // namespace vanthe
