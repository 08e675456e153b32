#include "platform/text/code_page.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdlib>

namespace platform {

namespace {

enum class Script { Default, Latin, Cyrillic };

struct LanguageCodePage {
    std::string_view language;
    UINT codePage;
};

// Windows' ANSI code page by language, for every language whose code page is not 1252; all
// other languages (and names that are not languages) get 1252, as on Windows.
constexpr std::array kLanguages{
    LanguageCodePage{"cs", 1250},  LanguageCodePage{"hr", 1250}, LanguageCodePage{"hu", 1250},
    LanguageCodePage{"pl", 1250},  LanguageCodePage{"ro", 1250}, LanguageCodePage{"mo", 1250},
    LanguageCodePage{"sk", 1250},  LanguageCodePage{"sl", 1250}, LanguageCodePage{"sq", 1250},
    LanguageCodePage{"sh", 1250},  LanguageCodePage{"tk", 1250}, LanguageCodePage{"ba", 1251},
    LanguageCodePage{"bg", 1251},  LanguageCodePage{"kk", 1251}, LanguageCodePage{"ky", 1251},
    LanguageCodePage{"mk", 1251},  LanguageCodePage{"mn", 1251}, LanguageCodePage{"ru", 1251},
    LanguageCodePage{"sah", 1251}, LanguageCodePage{"tg", 1251}, LanguageCodePage{"tt", 1251},
    LanguageCodePage{"uk", 1251},  LanguageCodePage{"el", 1253}, LanguageCodePage{"tr", 1254},
    LanguageCodePage{"he", 1255},  LanguageCodePage{"iw", 1255}, LanguageCodePage{"ar", 1256},
    LanguageCodePage{"ckb", 1256}, LanguageCodePage{"fa", 1256}, LanguageCodePage{"prs", 1256},
    LanguageCodePage{"ug", 1256},  LanguageCodePage{"ur", 1256}, LanguageCodePage{"et", 1257},
    LanguageCodePage{"lt", 1257},  LanguageCodePage{"lv", 1257}, LanguageCodePage{"vi", 1258},
    LanguageCodePage{"th", 874},   LanguageCodePage{"ja", 932},  LanguageCodePage{"ko", 949},
};

constexpr std::array<UINT, 15> kValidCodePages{874,  932,  936,  949,  950,  1250, 1251,   1252,
                                               1253, 1254, 1255, 1256, 1257, 1258, CP_UTF8};

std::string Lowercase(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(), [](char c) {
        return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    });
    return lower;
}

// Languages written in two scripts: the script a Linux locale of that language uses unless
// its modifier names the other, and Windows' code page for each script.
UINT CodePageForScript(std::string_view language, Script script) {
    struct TwoScripts {
        std::string_view language;
        Script linuxDefault;
        UINT latin;
        UINT cyrillic;
    };
    constexpr std::array kTwoScripts{
        TwoScripts{"sr", Script::Cyrillic, 1250, 1251}, TwoScripts{"bs", Script::Latin, 1250, 1251},
        TwoScripts{"az", Script::Latin, 1254, 1251},    TwoScripts{"uz", Script::Latin, 1254, 1251},
        TwoScripts{"be", Script::Cyrillic, 1250, 1251},
    };
    for (const TwoScripts& entry : kTwoScripts) {
        if (entry.language == language) {
            if (script == Script::Default) {
                script = entry.linuxDefault;
            }
            return script == Script::Latin ? entry.latin : entry.cyrillic;
        }
    }
    return 0;
}

} // namespace

UINT CodePageForLocaleName(std::string_view localeName) {
    // language[_territory][.codeset][@modifier]
    std::string_view modifier;
    if (std::size_t at = localeName.find('@'); at != std::string_view::npos) {
        modifier = localeName.substr(at + 1);
        localeName = localeName.substr(0, at);
    }
    if (std::size_t dot = localeName.find('.'); dot != std::string_view::npos) {
        localeName = localeName.substr(0, dot);
    }
    std::string_view territory;
    if (std::size_t separator = localeName.find_first_of("_-");
        separator != std::string_view::npos) {
        territory = localeName.substr(separator + 1);
        localeName = localeName.substr(0, separator);
    }
    const std::string language = Lowercase(localeName);
    const std::string lowerModifier = Lowercase(modifier);
    const std::string upperTerritory = [&] {
        std::string upper(territory);
        std::transform(upper.begin(), upper.end(), upper.begin(), [](char c) {
            return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
        });
        return upper;
    }();

    if (language == "zh") {
        const bool traditional =
            upperTerritory == "TW" || upperTerritory == "HK" || upperTerritory == "MO";
        return traditional ? 950 : 936;
    }
    Script script = Script::Default;
    if (lowerModifier == "latin") {
        script = Script::Latin;
    } else if (lowerModifier == "cyrillic") {
        script = Script::Cyrillic;
    } else if (language == "sr" && (upperTerritory == "ME")) {
        script = Script::Latin; // Montenegro's Linux locale is written in Latin letters
    }
    if (UINT codePage = CodePageForScript(language, script); codePage != 0) {
        return codePage;
    }
    for (const LanguageCodePage& entry : kLanguages) {
        if (entry.language == language) {
            return entry.codePage;
        }
    }
    return 1252;
}

std::string LocaleNameFromEnvironment() {
    for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value == nullptr || *value == '\0') {
            continue;
        }
        // A character set alone names no language: macOS sends LC_CTYPE=UTF-8 over ssh, and
        // the C library passes it over too.
        const std::string lower = Lowercase(value);
        if (lower == "utf-8" || lower == "utf8") {
            continue;
        }
        return value;
    }
    return {};
}

UINT GetACP() {
    return CodePageForLocaleName(LocaleNameFromEnvironment());
}

bool IsValidCodePage(UINT codePage) {
    return std::find(kValidCodePages.begin(), kValidCodePages.end(), codePage) !=
           kValidCodePages.end();
}

bool ParseCodePage(std::string_view text, UINT* codePage, std::string* errorText) {
    std::string_view trimmed = text;
    while (!trimmed.empty() && (trimmed.front() == ' ' || trimmed.front() == '\t')) {
        trimmed.remove_prefix(1);
    }
    while (!trimmed.empty() && (trimmed.back() == ' ' || trimmed.back() == '\t')) {
        trimmed.remove_suffix(1);
    }
    UINT value = 0;
    const char* end = trimmed.data() + trimmed.size();
    auto [next, failure] = std::from_chars(trimmed.data(), end, value);
    if (trimmed.empty() || failure != std::errc() || next != end || !IsValidCodePage(value)) {
        *errorText = "Unknown code page \"" + std::string(text) +
                     "\": use 874, 932, 936, 949, 950, 1250 to 1258, or 65001 for UTF-8.";
        return false;
    }
    *codePage = value;
    return true;
}

bool CodePageFromEnvironment(UINT* codePage, std::string* errorText) {
    const char* override = std::getenv("VANTHE_CODEPAGE");
    if (override == nullptr || *override == '\0') {
        *codePage = GetACP();
        return true;
    }
    std::string parseError;
    if (!ParseCodePage(override, codePage, &parseError)) {
        *errorText = "VANTHE_CODEPAGE: " + parseError;
        return false;
    }
    return true;
}

} // namespace platform
