#pragma once

// ".enx" marks an encrypted file: it is appended when encrypting and removed when decrypting.

#include <string>

namespace vanthe {

inline constexpr char kEncryptedMarker[] = ".enx";
inline constexpr std::size_t kEncryptedMarkerLength = sizeof kEncryptedMarker - 1;

// True when the path's last four bytes are the marker in any ASCII case.
bool HasEncryptedMarker(const std::string& path);

} // namespace vanthe
