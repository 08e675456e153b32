#pragma once

// Starting a job from the dialog's action button, and the worker that runs it.

#include "platform/base_types.h"
#include "platform/window/window_types.h"

#include <chrono>
#include <string>

namespace vanthe {

// The field a refused start leaves the focus in.
enum class FieldToFix { None, Destination, Password };

// Checks the fields in their fixed order and starts a worker, or shows why not in a box
// owned by the dialog. An existing destination is replaced only when the user says so.
// A click while a job is under way starts nothing.
FieldToFix OnRun(platform::HWND dialog, const std::string& sourcePath,
                 const std::string& destinationPath, const std::string& password, int mode);

// The worker: copies the request, runs the transform, and shows a failure in an "Error" box.
platform::DWORD JobThreadProc(void* request);

// True from a job's start until its transform has returned.
bool JobUnderWay();
// Workers that have not yet ended (one may still be showing its "Error" box).
int RunningWorkers();
// Waits until no worker runs; false when the time ran out first.
bool WaitForWorkers(std::chrono::milliseconds timeout);

} // namespace vanthe
