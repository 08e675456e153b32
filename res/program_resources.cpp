#include "res/program_resources.h"

#include "res/icon_data.h"
#include "res/resource_ids.h"
#include "res/version.h"

#include <cstddef>

namespace vanthe {

const char kAboutText[] =
    "Vanthe Application v" VANTHE_RELEASE_TEXT "\n\n(C) 2026 Vanthe\nAll rights reserved.";

namespace {

using namespace platform;

// The controls' styles.
constexpr DWORD kControl = WS_CHILD | WS_VISIBLE;
constexpr DWORD kFileEdit = kControl | WS_TABSTOP | ES_AUTOHSCROLL;
constexpr DWORD kPasswordEdit = kFileEdit | ES_PASSWORD;
constexpr DWORD kFlatButton = kControl | WS_TABSTOP | BS_FLAT;
constexpr DWORD kLabel = kControl | WS_GROUP | SS_LEFT;
constexpr DWORD kMainDialog = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | DS_SETFONT;
constexpr DWORD kAboutDialog = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT;

// Rectangles in dialog units: x, y, width, height.
const DialogItemTemplate kMainItems[] = {
    {"EDIT", "", IDC_SOURCE, kFileEdit, WS_EX_STATICEDGE | WS_EX_ACCEPTFILES, 7, 24, 213, 12},
    {"BUTTON", ". . .", IDC_BROWSE_SOURCE, kFlatButton, 0, 223, 23, 16, 14},
    // The modes are one tab stop, so the keyboard reaches them: Tab, then the arrows.
    {"BUTTON", "Encrypt", IDC_MODE_ENCRYPT,
     kControl | WS_GROUP | WS_TABSTOP | BS_FLAT | BS_AUTORADIOBUTTON, 0, 54, 42, 40, 10},
    {"BUTTON", "Decrypt", IDC_MODE_DECRYPT, kControl | BS_FLAT | BS_AUTORADIOBUTTON, 0, 149, 42, 41,
     10},
    // A new group, so the arrows keep to the modes.
    {"EDIT", "", IDC_DESTINATION, kFileEdit | WS_GROUP, WS_EX_STATICEDGE, 7, 63, 213, 12},
    {"BUTTON", ". . .", IDC_BROWSE_DESTINATION, kFlatButton, 0, 223, 62, 16, 14},
    {"EDIT", "", IDC_PASSWORD, kPasswordEdit, WS_EX_STATICEDGE, 7, 91, 213, 13},
    {"BUTTON", "Encrypt", IDC_RUN, kFlatButton, 0, 104, 117, 37, 14},
    {"STATIC", "Source File", -1, kLabel, 0, 8, 11, 36, 8},
    {"STATIC", "Destination File", -1, kLabel, 0, 8, 51, 49, 8},
    {"STATIC", "Password", -1, kLabel, 0, 8, 80, 32, 8},
};

const DialogItemTemplate kAboutItems[] = {
    {"BUTTON", "OK", IDOK, kControl | WS_TABSTOP | BS_DEFPUSHBUTTON, 0, 130, 81, 50, 14},
    {"STATIC", kAboutText, -1, kControl | WS_GROUP | SS_CENTER, 0, 25, 47, 78, 41},
    {"STATIC", "#128", -1, kControl | SS_ICON, 0, 55, 19, 20, 20},
    {"BUTTON", "", -1, kControl | BS_GROUPBOX, 0, 7, 7, 115, 88},
};

const DialogTemplate kDialogs[] = {
    {IDD_MAIN, "Vanthe", kMainDialog, 0, 0, 0, 246, 145, "Microsoft Sans Serif", 8, 400,
     kMainItems},
    {IDD_ABOUT, "About", kAboutDialog, 0, 0, 0, 187, 102, "MS Sans Serif", 8, 0, kAboutItems},
};

const platform::IconImage kAppIconImages[] = {
    {icon_data::icon16, icon_data::icon16Size},   {icon_data::icon24, icon_data::icon24Size},
    {icon_data::icon32, icon_data::icon32Size},   {icon_data::icon48, icon_data::icon48Size},
    {icon_data::icon64, icon_data::icon64Size},   {icon_data::icon128, icon_data::icon128Size},
    {icon_data::icon256, icon_data::icon256Size},
};

const platform::IconResource kIcons[] = {
    {IDI_APP, kAppIconImages},
};

} // namespace

const platform::ModuleResources& ProgramResources() {
    static const platform::ModuleResources resources{kDialogs, kIcons};
    return resources;
}

} // namespace vanthe
