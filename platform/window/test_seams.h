#pragma once

// Seams for tests: values the layer otherwise takes from the system.

#include "platform/window/window_types.h"

namespace platform {

// Makes GetVersion and GetVersionEx report this version (for example 4.0, a release without
// layered windows) until reset.
void SetReportedVersionForTesting(DWORD major, DWORD minor);
void ResetReportedVersionForTesting();

} // namespace platform
