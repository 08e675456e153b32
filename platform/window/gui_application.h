#pragma once

// The toolkit's application object and its thread. Internal to the layer.

#include "platform/window/window_types.h"

#include <string>

class QApplication;

namespace platform::detail {

// The application object, created on first need. Null when no display can be opened (one
// line on standard error says so, once) or when a non-widget application object exists.
QApplication* EnsureApplication();
// Whether an application object exists and was usable; callable from any thread.
bool HaveApplication();
bool IsGuiThread();
void StoreArguments(int& argc, char** argv);
void StoreDisplayLostHandler(void (*handler)());
// Given to the application object when it is made, or at once if it exists.
void StoreDesktopFileName(const std::string& name);
std::string ProgramName();

} // namespace platform::detail
