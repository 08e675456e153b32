#pragma once

// Resources as data: dialog templates and icons live in the program as constant tables of
// these types, and a module instance handle names one registered table.

#include "platform/window/window_types.h"

#include <cstddef>
#include <span>

namespace platform {

// One control of a dialog template. Rectangles are in dialog units. The class is "EDIT",
// "BUTTON" or "STATIC"; an SS_ICON static names its icon resource in text as "#<id>".
struct DialogItemTemplate {
    const char* windowClass = "";
    const char* text = "";
    int id = 0;
    DWORD style = 0;
    DWORD exStyle = 0;
    short x = 0;
    short y = 0;
    short cx = 0;
    short cy = 0;
};

// A dialog template: the window's own properties and its controls in z-order (the initial
// tab order). The font is used when style has DS_SETFONT.
struct DialogTemplate {
    int id = 0;
    const char* caption = "";
    DWORD style = 0;
    DWORD exStyle = 0;
    short x = 0;
    short y = 0;
    short cx = 0;
    short cy = 0;
    const char* fontFace = "";
    WORD pointSize = 0;
    WORD weight = 0;
    std::span<const DialogItemTemplate> items;
};

// One image of an icon resource: the bytes of a PNG file.
struct IconImage {
    const unsigned char* data = nullptr;
    std::size_t size = 0;
};

struct IconResource {
    int id = 0;
    std::span<const IconImage> images;
};

struct ModuleResources {
    std::span<const DialogTemplate> dialogs;
    std::span<const IconResource> icons;
};

using HMODULE = HINSTANCE;

// Registers a table of resources, which must outlive its use (static data). The first table
// registered is the process's own module: GetModuleHandle(nullptr) returns it.
HINSTANCE RegisterModuleResources(const ModuleResources& resources);
HMODULE GetModuleHandle(const char* moduleName);

namespace detail {

// The template with that id in the module (null instance: the process's module), or null.
const DialogTemplate* FindDialogTemplate(HINSTANCE instance, int templateId);
const IconResource* FindIconResource(HINSTANCE instance, int iconId);

} // namespace detail

} // namespace platform
