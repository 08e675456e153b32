#include "ui/app_module.h"

#include "platform/window/resources.h"

namespace vanthe {

AppModule appModule;

platform::HINSTANCE AppModule::resourceInstance() const {
    return instance_ != nullptr ? instance_ : platform::GetModuleHandle(nullptr);
}

} // namespace vanthe
