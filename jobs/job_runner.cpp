#include "jobs/job_runner.h"

#include "engine/file_transform.h"
#include "engine/text_format.h"
#include "jobs/job_request.h"
#include "platform/files/file_api.h"
#include "platform/window/dialogs.h"

#include <atomic>
#include <thread>

namespace vanthe {

using namespace platform;

JobRequest jobRequest;

namespace {

std::atomic<bool> jobUnderWay{false};
std::atomic<int> runningWorkers{0};

void Wipe(std::string& secret) {
    SecureZeroMemory(secret.data(), secret.size());
    secret.clear();
}

} // namespace

void OnRun(HWND dialog, const std::string& sourcePath, const std::string& destinationPath,
           const std::string& password, int mode) {
    std::string message;
    if (sourcePath.empty()) {
        message = "Source file name is missed.";
    } else if (destinationPath.empty()) {
        message = "Destination file name is missed.";
    } else if (password.empty()) {
        message = "Password is missed.";
    } else if (!FileExists(sourcePath.c_str())) {
        message = FormatText("File '%s' does not exist.", sourcePath.c_str());
    } else if (jobUnderWay.exchange(true)) {
        // Two jobs must never write the same destination at once.
        return;
    } else {
        jobRequest.source = sourcePath;
        jobRequest.destination = destinationPath;
        jobRequest.password = password;
        jobRequest.window = dialog;
        jobRequest.mode = mode;
        runningWorkers.fetch_add(1);
        HANDLE thread = CreateThread(nullptr, 0, &JobThreadProc, &jobRequest, 0, nullptr);
        if (thread == nullptr) {
            message =
                FormatText("Cannot create thread. Error: %d", static_cast<int>(GetLastError()));
            runningWorkers.fetch_sub(1);
            Wipe(jobRequest.password);
            jobUnderWay.store(false);
        } else {
            CloseHandle(thread);
        }
    }
    if (!message.empty()) {
        MessageBox(dialog, message.c_str(), "", MB_OK);
    }
}

DWORD JobThreadProc(void* parameter) {
    auto* request = static_cast<JobRequest*>(parameter);
    FileTransform transform;
    transform.notifyWindow = request->window;
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
    if (!ok) {
        message = transform.errorText;
    }
    if (!message.empty()) {
        MessageBox(owner, message.c_str(), "Error", MB_OK | MB_ICONERROR);
    }
    runningWorkers.fetch_sub(1);
    return 0;
}

bool JobUnderWay() {
    return jobUnderWay.load();
}

int RunningWorkers() {
    return runningWorkers.load();
}

bool WaitForWorkers(std::chrono::milliseconds timeout) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (runningWorkers.load() > 0) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

} // namespace vanthe
