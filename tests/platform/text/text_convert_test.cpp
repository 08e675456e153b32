#include "platform/text/code_page.h"
#include "platform/text/text_convert.h"
#include "support/test_files.h"

#include <gtest/gtest.h>
#include <locale.h>
#include <string>
#include <thread>
#include <vector>

using namespace platform;

namespace {

std::string Bytes(const std::string& hex) {
    const testing_support::Bytes bytes = testing_support::FromHex(hex);
    return std::string(bytes.begin(), bytes.end());
}

// The password's bytes in the code page, or the fault's name when the conversion fails.
std::string Convert(UINT codePage, DWORD flags, const std::string& utf8) {
    std::string bytes = "left over";
    const TextFault fault = Utf8ToMultiByte(codePage, flags, utf8, &bytes);
    if (fault != TextFault::None) {
        EXPECT_TRUE(bytes.empty());
        return std::string("fault ") + std::to_string(static_cast<int>(fault));
    }
    return bytes;
}

std::string Fault(TextFault fault) {
    return "fault " + std::to_string(static_cast<int>(fault));
}

TEST(Utf8ToMultiByte, PasswordsInEachCodePageBothWays) {
    struct Case {
        UINT codePage;
        const char* text;
        const char* hex;
    };
    const std::vector<Case> cases = {
        {1252, "Pässwörd", "50e4737377f67264"},
        {1252, "Café crème", "436166e9206372e86d65"},
        {1250, "Zażółć", "5a61bff3b3e6"},
        {1251, "пароль", "efe0f0eeebfc"},
        {1253, "Ελληνικά", "c5ebebe7ede9eadc"},
        {1254, "şifre", "fe69667265"},
        {1255, "סיסמה", "f1e9f1eee4"},
        {1256, "كلمة", "dfe1e3c9"},
        {1257, "slaptažodis", "736c61707461fe6f646973"},
        {874, "รหัส", "c3cbd1ca"},
        {932, "パスワード", "83708358838f815b8368"},
        {936, "密码", "c3dcc2eb"},
        {949, "암호", "becfc8a3"},
        {950, "密碼", "b14bbd58"},
    };
    for (const Case& c : cases) {
        for (DWORD flags : {DWORD{0}, WC_NO_BEST_FIT_CHARS}) {
            EXPECT_EQ(Convert(c.codePage, flags, c.text), Bytes(c.hex))
                << c.codePage << " " << c.text;
        }
        std::string utf8;
        ASSERT_EQ(MultiByteToUtf8(c.codePage, Bytes(c.hex), &utf8), TextFault::None) << c.codePage;
        EXPECT_EQ(utf8, c.text);
    }
}

TEST(Utf8ToMultiByte, AsciiIsTheSameBytesInEveryCodePage) {
    const std::string ascii = " !\"#$%&'()*+,-./0123456789:;<=>?@ABCXYZ[]^_`abcxyz{|}~\t";
    for (UINT codePage : {874U, 932U, 936U, 949U, 950U, 1250U, 1251U, 1252U, 1253U, 1254U, 1255U,
                          1256U, 1257U, 1258U, 65001U}) {
        EXPECT_EQ(Convert(codePage, 0, ascii), ascii) << codePage;
        EXPECT_EQ(Convert(codePage, WC_NO_BEST_FIT_CHARS, ascii), ascii) << codePage;
    }
    // The Japanese and Korean code pages keep 0x5C as the backslash byte.
    EXPECT_EQ(Convert(932, WC_NO_BEST_FIT_CHARS, "C:\\"), "C:\\");
}

TEST(Utf8ToMultiByte, StrictModeRefusesWhatTheCodePageLacks) {
    struct Case {
        UINT codePage;
        const char* text;
        char32_t character;
    };
    const std::vector<Case> cases = {
        {1252, "Ĉapelo", U'Ĉ'},
        {1252, "zł", U'ł'},
        {1252, "pass😀", U'😀'},
        {1251, "Pässwörd", U'ä'},
        {1250, "日本", U'日'},
        {932, "Ĉ", U'Ĉ'},
        {936, "ア〜", U'〜'},
        {1258, "mật", U'ậ'},
        {1252, "a→b", U'→'},
        // The system converter maps these on its own (to 0x5C and 0x8160), as Windows' best
        // fit does; strict mode must refuse them too.
        {932, "¥100", U'¥'},
        {932, "〜", U'〜'},
    };
    for (const Case& c : cases) {
        std::string bytes = "left over";
        char32_t character = 0;
        EXPECT_EQ(Utf8ToMultiByte(c.codePage, WC_NO_BEST_FIT_CHARS, c.text, &bytes, &character),
                  TextFault::Unrepresentable)
            << c.codePage << " " << c.text;
        EXPECT_EQ(character, c.character) << c.text;
        EXPECT_TRUE(bytes.empty());
    }
}

TEST(Utf8ToMultiByte, DefaultModeUsesBestFitLettersElseOneQuestionMark) {
    EXPECT_EQ(Convert(1252, 0, "Ĉapelo"), "Capelo");
    EXPECT_EQ(Convert(1252, 0, "zł"), "zl");
    EXPECT_EQ(Convert(1252, 0, "Erdős"), "Erdos");
    EXPECT_EQ(Convert(1252, 0, "Zażółć"), "Zaz\xf3lc");
    EXPECT_EQ(Convert(1251, 0, "Łódź"), "Lodz");
    EXPECT_EQ(Convert(932, 0, "Ĉ"), "C");
    // No letter to fall back on: one "?" per character, a character outside the BMP included.
    EXPECT_EQ(Convert(1252, 0, "Ω日😀x"), "???x");
    EXPECT_EQ(Convert(1251, 0, "日本"), "??");
    // A transliteration of more than one letter is not a best fit.
    EXPECT_EQ(Convert(1252, 0, "a→b"), "a?b");
    EXPECT_EQ(Convert(1250, 0, "Œuvre"), "?uvre");
    EXPECT_EQ(Convert(1258, 0, "mật"), "m?t");
    // What the code page has is taken as it is, and the converter's own mappings stay.
    EXPECT_EQ(Convert(1250, 0, "ł"), "\xb3");
    EXPECT_EQ(Convert(932, 0, "¥"), "\\");
}

TEST(Utf8ToMultiByte, Utf8CodePageKeepsTheBytes) {
    for (const char* text : {"Pässwörd", "пароль😀", "日本語", ""}) {
        EXPECT_EQ(Convert(CP_UTF8, 0, text), text);
        EXPECT_EQ(Convert(CP_UTF8, WC_NO_BEST_FIT_CHARS, text), text);
    }
}

TEST(Utf8ToMultiByte, InvalidInputIsAnErrorInEveryMode) {
    const std::string invalid[] = {
        "\xc3",             // cut short
        "ab\x80",           // stray continuation byte
        "\xc0\xaf",         // overlong slash
        "\xe0\x80\xaf",     // overlong slash
        "\xed\xa0\x80",     // surrogate
        "\xf4\x90\x80\x80", // above U+10FFFF
        "\xfe",             // never in UTF-8
        "P\xe4sswort",      // Latin-1, not UTF-8
    };
    for (const std::string& text : invalid) {
        EXPECT_FALSE(IsValidUtf8(text));
        for (UINT codePage : {1252U, 932U, CP_UTF8}) {
            for (DWORD flags : {DWORD{0}, WC_NO_BEST_FIT_CHARS}) {
                EXPECT_EQ(Convert(codePage, flags, text), Fault(TextFault::InvalidUtf8));
            }
        }
    }
    for (const std::string text : {"", "abc", "Pässwörd", "\xf4\x8f\xbf\xbf", "\xef\xbb\xbf"}) {
        EXPECT_TRUE(IsValidUtf8(text)) << text;
    }
    EXPECT_EQ(Convert(437, 0, "abc"), Fault(TextFault::InvalidCodePage));
    EXPECT_EQ(Convert(1252, 0x80, "abc"), Fault(TextFault::InvalidFlags));
}

TEST(MultiByteToUtf8, RefusesBytesThatAreNotTextInTheCodePage) {
    std::string utf8 = "left over";
    EXPECT_EQ(MultiByteToUtf8(932, "ab\x83", &utf8), TextFault::InvalidBytes);
    EXPECT_TRUE(utf8.empty());
    EXPECT_EQ(MultiByteToUtf8(CP_UTF8, "\xc3", &utf8), TextFault::InvalidBytes);
    EXPECT_EQ(MultiByteToUtf8(437, "abc", &utf8), TextFault::InvalidCodePage);
    ASSERT_EQ(MultiByteToUtf8(1252, "\x80\xe4", &utf8), TextFault::None);
    EXPECT_EQ(utf8, "€ä");
}

TEST(Utf16ToUtf8, ReadsBothByteOrdersAndRefusesBrokenText) {
    std::string utf8 = "left over";
    // "Pä€" and U+1F511, a surrogate pair.
    ASSERT_EQ(Utf16ToUtf8(std::string("P\0\xe4\0\xac\x20\x3d\xd8\x11\xdd", 10), false, &utf8),
              TextFault::None);
    EXPECT_EQ(utf8, "Pä€\xf0\x9f\x94\x91");
    ASSERT_EQ(Utf16ToUtf8(std::string("\0P\0\xe4", 4), true, &utf8), TextFault::None);
    EXPECT_EQ(utf8, "Pä");
    for (const std::string& broken : {std::string("P\0a", 3), std::string("\x3d\xd8P\0", 4)}) {
        utf8 = "left over";
        EXPECT_EQ(Utf16ToUtf8(broken, false, &utf8), TextFault::InvalidBytes);
        EXPECT_TRUE(utf8.empty());
    }
}

TEST(Utf8ToMultiByte, LeavesTheThreadLocaleAsItWas) {
    const locale_t before = uselocale(locale_t{});
    EXPECT_EQ(Convert(1252, 0, "ł"), "l");
    EXPECT_EQ(uselocale(locale_t{}), before);
}

TEST(Utf8ToMultiByte, ThreadsConvertAtTheSameTime) {
    std::vector<std::thread> threads;
    std::vector<int> wrong(4, 0);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t, &wrong] {
            for (int i = 0; i < 50; ++i) {
                std::string bytes;
                const bool strict = (i + t) % 2 == 0;
                const TextFault fault =
                    Utf8ToMultiByte(1252, strict ? WC_NO_BEST_FIT_CHARS : 0, "Erdős Pál", &bytes);
                const bool right = strict ? fault == TextFault::Unrepresentable
                                          : fault == TextFault::None && bytes == "Erdos P\xe1l";
                wrong[static_cast<std::size_t>(t)] += right ? 0 : 1;
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(wrong, std::vector<int>(4, 0));
}

TEST(TextFaultText, SaysWhatWentWrong) {
    EXPECT_STREQ(TextFaultText(TextFault::Unrepresentable),
                 "The text contains characters that the code page cannot represent.");
    EXPECT_STREQ(TextFaultText(TextFault::InvalidUtf8), "The text is not valid UTF-8.");
}

} // namespace
