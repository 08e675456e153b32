#pragma once

// ".enx" marks an encrypted file: it is appended when encrypting and removed when decrypting.

#include <string>

namespace vanthe {

inline constexpr char kEncryptedMarker[] = ".enx";
inline constexpr std::size_t kEncryptedMarkerLength = sizeof kEncryptedMarker - 1;

// True when the path's last four bytes are the marker in any ASCII case.
bool HasEncryptedMarker(const std::string& path);

// The naming rule shared by both programs: a ".enx" source is decrypted into its name without
// the marker, anything else is encrypted into its name with the marker appended.
struct Proposal {
    int mode = 0; // 0 encrypt, 1 decrypt
    std::string destination;
};
Proposal ProposeFor(const std::string& source);
// The destination for a mode the user chose: decrypting a source without the marker, or one
// that leaves no name without it (".enx", "..enx"), has none to propose (empty), and encrypting
// always appends it.
std::string ProposeFor(const std::string& source, int mode);

} // namespace vanthe
