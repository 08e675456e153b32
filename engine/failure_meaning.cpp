#include "engine/failure_meaning.h"

#include "platform/crypto/crypt_api.h"
#include "platform/files/file_api.h"
#include "platform/files/safe_output.h"

#include <cerrno>
#include <cstdio>
#include <system_error>

namespace vanthe {

std::string SystemMeaning(std::uint32_t number) {
    // Not strerror: jobs fail on threads of their own.
    return std::generic_category().message(static_cast<int>(number));
}

std::string ServiceMeaning(std::uint32_t code) {
    switch (code) {
    case platform::NTE_BAD_ALGID:
        return "algorithm not available";
    case platform::NTE_BAD_KEY:
        return "bad key";
    case platform::NTE_BAD_DATA:
        return "bad data";
    case platform::NTE_NO_MEMORY:
        return "out of memory";
    case platform::NTE_PROVIDER_DLL_FAIL:
        return "the OpenSSL legacy provider (RC4, MD5) could not be loaded";
    default:
        if ((code & 0xFFFF0000u) == 0x80070000u) {
            return SystemMeaning(code & 0xFFFFu);
        }
        char hex[16];
        std::snprintf(hex, sizeof hex, "HR:%X", code);
        return std::string("crypto service failure, ") + hex;
    }
}

std::string FailureMeaning(const JobFailure& failure) {
    const std::uint32_t code = failure.code;
    switch (failure.step) {
    case JobStep::CryptoContext:
        return "The crypto service cannot start: " + ServiceMeaning(code) + ".";
    case JobStep::SetKey:
        return "The key cannot be made: " + ServiceMeaning(code) + ".";
    case JobStep::OpenSource:
        if (code == EINVAL) {
            // What the files layer says of a pipe or device, which could be read for ever.
            return "The source is a pipe or device, not a file.";
        }
        return "The source cannot be opened: " + SystemMeaning(code) + ".";
    case JobStep::SizeSource:
        return "The source's size cannot be read: " + SystemMeaning(code) + ".";
    case JobStep::SameFile:
        return "The destination is the source file itself.";
    case JobStep::DestinationKind:
        return "The destination exists and is not a regular file; it was left as it is.";
    case JobStep::CreateDestination:
        if (code == ENAMETOOLONG) {
            return "The destination cannot be created: " + SystemMeaning(code) + ".";
        }
        return "No file can be made in the destination's folder: " + SystemMeaning(code) + ".";
    case JobStep::Read:
        return "The source cannot be read: " + SystemMeaning(code) + ".";
    case JobStep::SourceChanged:
        if (code == platform::ERROR_FILE_INVALID) {
            return "The source changed while it was read (another program wrote to it, or "
                   "changed its permissions, links or times). Try again when it is left alone.";
        }
        return "Whether the source changed while it was read cannot be told: " +
               SystemMeaning(code) + ".";
    case JobStep::Cipher:
        return "The cipher failed: " + ServiceMeaning(code) + ".";
    case JobStep::Write:
        return "The destination cannot be written: " + SystemMeaning(code) + ".";
    case JobStep::Publish:
        if (code == EEXIST) {
            return "The destination appeared meanwhile and was kept.";
        }
        if (code == platform::ERROR_CANT_ACCESS_FILE) {
            return "The destination appeared meanwhile and is not a regular file; it was left "
                   "as it is.";
        }
        return "The result cannot take the destination's name: " + SystemMeaning(code) + ".";
    case JobStep::WrongPassword:
    case JobStep::NotEncrypted:
    case JobStep::PasswordUnchecked:
    case JobStep::None:
        break;
    }
    return {};
}

} // namespace vanthe
