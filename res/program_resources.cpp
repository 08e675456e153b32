#include "res/program_resources.h"

#include "res/icon_data.h"
#include "res/resource_ids.h"

#include <cstddef>

namespace vanthe {

const char kAboutText[] = "Vanthe Application v2.0\n\n(C) 2026 Vanthe\nAll rights reserved.";

namespace {

using platform::DialogItemTemplate;
using platform::DialogTemplate;

// Rectangles in dialog units: x, y, width, height.
const DialogItemTemplate kMainItems[] = {
    {"EDIT", "", IDC_SOURCE, 0x50010080, 0x00020010, 7, 24, 213, 12},
    {"BUTTON", ". . .", IDC_BROWSE_SOURCE, 0x50018000, 0, 223, 23, 16, 14},
    {"BUTTON", "Encrypt", IDC_MODE_ENCRYPT, 0x50028009, 0, 54, 42, 40, 10},
    {"BUTTON", "Decrypt", IDC_MODE_DECRYPT, 0x50008009, 0, 149, 42, 41, 10},
    {"EDIT", "", IDC_DESTINATION, 0x50010080, 0x00020000, 7, 63, 213, 12},
    {"BUTTON", ". . .", IDC_BROWSE_DESTINATION, 0x50018000, 0, 223, 62, 16, 14},
    {"EDIT", "", IDC_PASSWORD, 0x500100A0, 0x00020000, 7, 91, 213, 13},
    {"BUTTON", "Encrypt", IDC_RUN, 0x50018000, 0, 104, 117, 37, 14},
    {"STATIC", "Source File", -1, 0x50020000, 0, 8, 11, 36, 8},
    {"STATIC", "Destination File", -1, 0x50020000, 0, 8, 51, 49, 8},
    {"STATIC", "Password", -1, 0x50020000, 0, 8, 80, 32, 8},
};

const DialogItemTemplate kAboutItems[] = {
    {"BUTTON", "OK", 1, 0x50010001, 0, 130, 81, 50, 14},
    {"STATIC", kAboutText, -1, 0x50020001, 0, 25, 47, 78, 41},
    {"STATIC", "#128", -1, 0x50000003, 0, 55, 19, 20, 20},
    {"BUTTON", "", -1, 0x50000007, 0, 7, 7, 115, 88},
};

const DialogTemplate kDialogs[] = {
    {IDD_MAIN, "Vanthe", 0x00CA0040, 0, 0, 0, 246, 145, "Microsoft Sans Serif", 8, 400, kMainItems},
    {IDD_ABOUT, "About", 0x80C800C0, 0, 0, 0, 187, 102, "MS Sans Serif", 8, 0, kAboutItems},
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
