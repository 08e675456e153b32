#pragma once

// The program's resources: the dialog templates IDD_MAIN and IDD_ABOUT and the icon IDI_APP.

#include "platform/window/resources.h"

namespace vanthe {

const platform::ModuleResources& ProgramResources();

// The About box's text: product and version, an empty line, and the notice.
extern const char kAboutText[];

} // namespace vanthe
