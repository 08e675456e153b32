// vanthe: the dialog.

#include "app/gui/command_line.h"
#include "app/gui/win_main.h"
#include "jobs/job_runner.h"
#include "platform/files/command_line.h"
#include "platform/files/file_api.h"
#include "platform/files/safe_output.h"
#include "platform/window/resources.h"
#include "platform/window/startup.h"
#include "res/program_resources.h"
#include "res/version.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/prctl.h>
#include <unistd.h>

namespace {

// Help and version are what was asked for: when they cannot be written, that is a failure.
int PrintInfo(const std::string& text) {
    std::fputs(text.c_str(), stdout);
    if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
        std::fprintf(stderr, "vanthe: cannot write to standard output: %s\n", std::strerror(errno));
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (!platform::OccupyClosedStandardDescriptors()) {
        return 1;
    }
    switch (vanthe::FindInfoRequest(argc, argv)) {
    case vanthe::InfoRequest::Help:
        return PrintInfo(vanthe::UsageText());
    case vanthe::InfoRequest::Version:
        return PrintInfo(std::string("vanthe ") + vanthe::kVersionText + "\n");
    case vanthe::InfoRequest::None:
        break;
    }
    // No core dump may carry the password or the key, and no other process of the user may
    // read this one's memory.
    ::prctl(PR_SET_DUMPABLE, 0);
    // A job killed by a signal leaves no temporary file, and past a file-size limit a write
    // fails like any other.
    platform::CleanUpResultsOnFatalSignals(nullptr);
    platform::SetDisplayLostHandler(&platform::RemoveUnpublishedResults);
    platform::SetApplicationArguments(argc, argv);
    platform::SetCurrentProcessExplicitAppUserModelID(vanthe::kDesktopFileName);
    // The resources travel inside the executable; registering them makes them the module's.
    platform::RegisterModuleResources(vanthe::ProgramResources());
    platform::SetCommandLine(vanthe::BuildCommandLine(argc, argv).c_str());
    const char* commandLine = platform::GetCommandLine();
    if (commandLine == nullptr) {
        return 255;
    }
    int exitCode =
        vanthe::WinMain(platform::GetModuleHandle(nullptr), vanthe::FindCommandTail(commandLine));
    if (vanthe::RunningWorkers() > 0) {
        // A worker still runs: end the process around it, as leaving the program would,
        // rather than destroy what it uses under it.
        std::fflush(nullptr);
        ::_exit(exitCode & 0xFF);
    }
    return exitCode & 0xFF;
}
