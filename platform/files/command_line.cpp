#include "platform/files/command_line.h"

#include <string>

namespace platform {

namespace {
std::string commandLine;
bool commandLineSet = false;
} // namespace

void SetCommandLine(const char* text) {
    commandLineSet = text != nullptr;
    commandLine = text != nullptr ? text : "";
}

const char* GetCommandLine() {
    return commandLineSet ? commandLine.c_str() : nullptr;
}

} // namespace platform
