#pragma once

// The process's command line as one string, as the dialog's entry reads it.

namespace platform {

void SetCommandLine(const char* commandLine);
// Null when none was set.
const char* GetCommandLine();

} // namespace platform
