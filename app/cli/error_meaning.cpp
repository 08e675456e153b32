#include "app/cli/error_meaning.h"

#include "platform/crypto/crypt_api.h"
#include "platform/files/file_api.h"

#include <cstdlib>
#include <cstring>

namespace vanthe::cli {

namespace {

std::string SystemMeaning(unsigned long number) {
    if (number == platform::ERROR_SHARING_VIOLATION) {
        return "the file is open as the source";
    }
    return std::strerror(static_cast<int>(number));
}

std::string ServiceMeaning(platform::HRESULT code) {
    switch (code) {
    case platform::NTE_BAD_ALGID:
        return "algorithm not available";
    case platform::NTE_BAD_KEY:
        return "bad key";
    case platform::NTE_BAD_DATA:
        return "bad data";
    case platform::NTE_BAD_FLAGS:
        return "bad flags";
    case platform::NTE_NO_MEMORY:
        return "out of memory";
    case platform::NTE_PROVIDER_DLL_FAIL:
        return "the OpenSSL legacy provider (RC4, MD5) could not be loaded";
    default:
        if ((code & 0xFFFF0000u) == 0x80070000u) {
            return SystemMeaning(code & 0xFFFFu);
        }
        return "crypto service failure";
    }
}

} // namespace

std::string ErrorMeaning(const std::string& errorText) {
    if (std::size_t at = errorText.find("error: "); at != std::string::npos) {
        return SystemMeaning(std::strtoul(errorText.c_str() + at + 7, nullptr, 10));
    }
    if (std::size_t at = errorText.find("HR"); at != std::string::npos) {
        const char* digits = errorText.c_str() + at + 2;
        if (*digits == ':') {
            ++digits;
        }
        return ServiceMeaning(static_cast<platform::HRESULT>(std::strtoul(digits, nullptr, 16)));
    }
    return {};
}

} // namespace vanthe::cli
