#pragma once

// The application module: the instance that dialog templates and icons are loaded from.

#include "platform/window/window_types.h"

namespace vanthe {

class AppModule {
public:
    void Init(platform::HINSTANCE instance) { instance_ = instance; }
    void Term() { instance_ = nullptr; }
    // The process's own module until Init names another.
    platform::HINSTANCE resourceInstance() const;

private:
    platform::HINSTANCE instance_ = nullptr;
};

extern AppModule appModule;

} // namespace vanthe
