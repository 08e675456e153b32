#include "engine/password_bytes.h"

#include "engine/text_format.h"
#include "platform/text/text_convert.h"

namespace vanthe {

using namespace platform;

std::string UnrepresentablePasswordText(UINT codePage) {
    return FormatText("The password contains characters that code page %d cannot represent.",
                      static_cast<int>(codePage));
}

PasswordBytes PasswordForCodePage(const std::string& utf8, UINT codePage, bool encrypting) {
    PasswordBytes result;
    TextFault fault =
        Utf8ToMultiByte(codePage, encrypting ? WC_NO_BEST_FIT_CHARS : 0, utf8, &result.bytes);
    if (fault == TextFault::None) {
        result.ok = true;
    } else if (fault == TextFault::Unrepresentable) {
        result.unrepresentable = true;
        result.errorText = UnrepresentablePasswordText(codePage);
    } else {
        result.errorText = TextFaultText(fault);
    }
    return result;
}

} // namespace vanthe
