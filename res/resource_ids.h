#pragma once

// Identifiers of the program's resources, commands and controls.

namespace vanthe {

inline constexpr int IDD_ABOUT = 100;
inline constexpr int IDI_APP = 128;
inline constexpr int IDD_MAIN = 129;
inline constexpr int ID_SYS_ABOUT = 256;

inline constexpr int IDC_SOURCE = 1000;
inline constexpr int IDC_BROWSE_SOURCE = 1001;
inline constexpr int IDC_MODE_ENCRYPT = 1002;
inline constexpr int IDC_MODE_DECRYPT = 1003;
inline constexpr int IDC_DESTINATION = 1004;
inline constexpr int IDC_BROWSE_DESTINATION = 1005;
inline constexpr int IDC_PASSWORD = 1006;
inline constexpr int IDC_RUN = 1007;

} // namespace vanthe
