#pragma once

// One job: the source read in 1024-byte chunks, each passed in place through the cipher and
// written to a new file beside the destination, which takes the destination's name only when
// the whole job succeeded.

#include "engine/job_events.h"

#include <string>

namespace vanthe {

inline constexpr int kModeEncrypt = 0;
inline constexpr int kModeDecrypt = 1;

class FileTransform {
public:
    bool EncryptFile(const std::string& source, const std::string& destination,
                     const std::string& password);
    bool DecryptFile(const std::string& source, const std::string& destination,
                     const std::string& password);
    // Mode 0 encrypts, anything else decrypts. On false, errorText holds the text the dialog
    // shows and failure says which step failed with which code.
    bool Transform(const std::string& source, const std::string& destination,
                   const std::string& password, int mode);

    std::string errorText;
    JobFailure failure;
    JobObserver* observer = nullptr;
    // An existing regular destination is replaced only when this is set.
    bool replaceExisting = false;
    // Decrypting judges the first plaintext before anything is written under its name.
    bool checkPlausibility = true;
    // Set by a decryption that succeeded with a result too short to judge, and not text: the
    // password may have been wrong without a sign.
    bool passwordUnchecked = false;
    // Streams instead of named files; the names are then used in nothing but messages.
    // Standard output gets the result as it is made: there is nothing to replace.
    bool sourceIsStandardInput = false;
    bool destinationIsStandardOutput = false;
    // A pipe or device named by `source` (a FIFO, a shell's <(...)), read as standard input is.
    bool sourceIsNamedStream = false;
};

} // namespace vanthe
