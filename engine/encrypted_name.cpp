#include "engine/encrypted_name.h"

#include "platform/files/file_api.h"

namespace vanthe {

bool HasEncryptedMarker(const std::string& path) {
    // A path shorter than the marker is compared whole, so it never matches.
    std::string tail = path.size() < kEncryptedMarkerLength
                           ? path
                           : path.substr(path.size() - kEncryptedMarkerLength);
    return platform::lstrcmpi(tail.c_str(), kEncryptedMarker) == 0;
}

} // namespace vanthe
