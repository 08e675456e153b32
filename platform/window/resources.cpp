#include "platform/window/resources.h"

#include <QtGlobal>
#include <cstdint>
#include <mutex>
#include <vector>

namespace platform {

namespace {

std::mutex modulesMutex;
std::vector<ModuleResources>& Modules() {
    static std::vector<ModuleResources> modules;
    return modules;
}

// Instance handles count from 1, so the null handle names no table.
const ModuleResources* ModuleOf(HINSTANCE instance) {
    std::vector<ModuleResources>& modules = Modules();
    std::uintptr_t index = reinterpret_cast<std::uintptr_t>(instance);
    if (index == 0) {
        index = 1;
    }
    return index <= modules.size() ? &modules[index - 1] : nullptr;
}

} // namespace

HINSTANCE RegisterModuleResources(const ModuleResources& resources) {
    std::lock_guard lock(modulesMutex);
    try {
        Modules().push_back(resources);
    } catch (...) {
        qWarning("vanthe: RegisterModuleResources: the toolkit threw; the call fails instead");
        return nullptr;
    }
    return reinterpret_cast<HINSTANCE>(static_cast<std::uintptr_t>(Modules().size()));
}

HMODULE GetModuleHandle(const char* moduleName) {
    std::lock_guard lock(modulesMutex);
    if (moduleName != nullptr || Modules().empty()) {
        return nullptr;
    }
    return reinterpret_cast<HINSTANCE>(std::uintptr_t{1});
}

const DialogTemplate* detail::FindDialogTemplate(HINSTANCE instance, int templateId) {
    std::lock_guard lock(modulesMutex);
    const ModuleResources* module = ModuleOf(instance);
    if (module == nullptr) {
        return nullptr;
    }
    for (const DialogTemplate& dialog : module->dialogs) {
        if (dialog.id == templateId) {
            return &dialog;
        }
    }
    return nullptr;
}

const IconResource* detail::FindIconResource(HINSTANCE instance, int iconId) {
    std::lock_guard lock(modulesMutex);
    const ModuleResources* module = ModuleOf(instance);
    if (module == nullptr) {
        return nullptr;
    }
    for (const IconResource& icon : module->icons) {
        if (icon.id == iconId) {
            return &icon;
        }
    }
    return nullptr;
}

} // namespace platform
