#include "engine/encrypted_name.h"

#include "platform/files/file_api.h"
#include "platform/files/strings.h"

namespace vanthe {

bool HasEncryptedMarker(const std::string& path) {
    // A path shorter than the marker is compared whole, so it never matches.
    std::string tail = path.size() < kEncryptedMarkerLength
                           ? path
                           : path.substr(path.size() - kEncryptedMarkerLength);
    return platform::lstrcmpi(tail.c_str(), kEncryptedMarker) == 0;
}

Proposal ProposeFor(const std::string& source) {
    const int mode = HasEncryptedMarker(source) ? 1 : 0;
    return {mode, ProposeFor(source, mode)};
}

std::string ProposeFor(const std::string& source, int mode) {
    if (mode == 0) {
        return source + kEncryptedMarker;
    }
    if (!HasEncryptedMarker(source)) {
        return {};
    }
    // A file named only ".enx" (or "..enx") leaves no name: its folder is no destination.
    std::string destination = source.substr(0, source.size() - kEncryptedMarkerLength);
    const std::string name = platform::NameOf(destination);
    return name.empty() || name == "." || name == ".." ? std::string() : destination;
}

} // namespace vanthe
