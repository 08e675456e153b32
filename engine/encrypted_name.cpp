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
    if (!HasEncryptedMarker(source)) {
        return {0, source + kEncryptedMarker};
    }
    return {1, source.substr(0, source.size() - kEncryptedMarkerLength)};
}

} // namespace vanthe
