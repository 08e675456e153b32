#pragma once

// Process-wide start-up of the window system.

#include "platform/window/window_types.h"

namespace platform {

struct INITCOMMONCONTROLSEX {
    DWORD dwSize = 0; // 8
    DWORD dwICC = 0;
};

inline constexpr DWORD ICC_BAR_CLASSES = 0x00000004;

// The arguments the toolkit's application object is built with; both must outlive it.
void SetApplicationArguments(int& argc, char** argv);

// Creates the toolkit's application object if there is none. FALSE when no display can be
// opened: one line on standard error says so, and dialogs then fail with -1.
BOOL InitCommonControlsEx(const INITCOMMONCONTROLSEX* init);

// Called when the display's connection breaks, just before the toolkit ends the process: on
// Wayland it does so with _exit, which nothing else in the process sees. The handler may run
// on any thread and must do no more than a signal handler may.
void SetDisplayLostHandler(void (*handler)());

// The name desktops know the program's windows by: the base name of its desktop file
// ("org.vanthe.Vanthe"), which docks and Wayland compositors match to the launcher and its
// icon. Call before InitCommonControlsEx.
HRESULT SetCurrentProcessExplicitAppUserModelID(const char* appId);

namespace detail {

// The application object is created on first need. False when no display can be opened (one
// line on standard error says so, once) or when a non-widget application object exists.
bool EnsureApplication();
// Whether an application object exists and was usable; callable from any thread.
bool HaveApplication();
bool IsGuiThread(); // also false while there is no usable application object

} // namespace detail

} // namespace platform
