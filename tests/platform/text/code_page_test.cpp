#include "platform/text/code_page.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <utility>
#include <vector>

using namespace platform;

namespace {

TEST(CodePageForLocaleName, FollowsWindowsTableByLanguage) {
    const std::vector<std::pair<const char*, UINT>> cases = {
        {"de_DE.UTF-8", 1252}, {"en_US", 1252},
        {"fr_CA.utf8", 1252},  {"pt_BR", 1252},
        {"nb_NO.UTF-8", 1252}, {"pl_PL.UTF-8", 1250},
        {"cs_CZ", 1250},       {"hu_HU.ISO-8859-2", 1250},
        {"ro_RO", 1250},       {"hr_HR", 1250},
        {"sq_AL", 1250},       {"ru_RU", 1251},
        {"uk_UA.UTF-8", 1251}, {"bg_BG.CP1251", 1251},
        {"be_BY", 1251},       {"kk_KZ", 1251},
        {"el_GR.UTF-8", 1253}, {"tr_TR", 1254},
        {"he_IL.UTF-8", 1255}, {"iw_IL", 1255},
        {"ar_EG", 1256},       {"fa_IR", 1256},
        {"ur_PK", 1256},       {"et_EE", 1257},
        {"lv_LV", 1257},       {"lt_LT.UTF-8", 1257},
        {"vi_VN", 1258},       {"th_TH.TIS-620", 874},
        {"ja_JP.eucJP", 932},  {"ja_JP.UTF-8", 932},
        {"ko_KR.EUC-KR", 949},
    };
    for (const auto& [name, codePage] : cases) {
        EXPECT_EQ(CodePageForLocaleName(name), codePage) << name;
    }
}

TEST(CodePageForLocaleName, ChineseDependsOnTerritory) {
    EXPECT_EQ(CodePageForLocaleName("zh_CN.UTF-8"), 936U);
    EXPECT_EQ(CodePageForLocaleName("zh_SG.GBK"), 936U);
    EXPECT_EQ(CodePageForLocaleName("zh"), 936U);
    EXPECT_EQ(CodePageForLocaleName("zh_TW.Big5"), 950U);
    EXPECT_EQ(CodePageForLocaleName("zh_HK.UTF-8"), 950U);
    EXPECT_EQ(CodePageForLocaleName("zh_MO"), 950U);
    EXPECT_EQ(CodePageForLocaleName("zh-tw"), 950U);
}

TEST(CodePageForLocaleName, ScriptFollowsTheModifierOrTheLinuxDefault) {
    EXPECT_EQ(CodePageForLocaleName("sr_RS"), 1251U);
    EXPECT_EQ(CodePageForLocaleName("sr_RS.UTF-8@latin"), 1250U);
    EXPECT_EQ(CodePageForLocaleName("sr_RS@latin"), 1250U);
    EXPECT_EQ(CodePageForLocaleName("sr_ME.UTF-8"), 1250U);
    EXPECT_EQ(CodePageForLocaleName("bs_BA.UTF-8"), 1250U);
    EXPECT_EQ(CodePageForLocaleName("bs_BA@cyrillic"), 1251U);
    EXPECT_EQ(CodePageForLocaleName("uz_UZ.UTF-8"), 1254U);
    EXPECT_EQ(CodePageForLocaleName("uz_UZ.UTF-8@cyrillic"), 1251U);
    EXPECT_EQ(CodePageForLocaleName("az_AZ"), 1254U);
    // A modifier that names no script changes nothing.
    EXPECT_EQ(CodePageForLocaleName("ca_ES.UTF-8@valencia"), 1252U);
    EXPECT_EQ(CodePageForLocaleName("de_DE@euro"), 1252U);
}

TEST(CodePageForLocaleName, NamesWithoutTerritoryOrInAnyCase) {
    EXPECT_EQ(CodePageForLocaleName("ru"), 1251U);
    EXPECT_EQ(CodePageForLocaleName("ja"), 932U);
    EXPECT_EQ(CodePageForLocaleName("el.UTF-8"), 1253U);
    EXPECT_EQ(CodePageForLocaleName("RU_ru.utf8"), 1251U);
}

TEST(CodePageForLocaleName, AnythingElseIsWesternEuropean) {
    for (const char* name : {"C", "POSIX", "C.UTF-8", "", "klingon", "xx_YY.UTF-8", "_", ".", "@",
                             "/usr/lib/locale/ru_RU", "hi_IN", "ka_GE"}) {
        EXPECT_EQ(CodePageForLocaleName(name), 1252U) << '"' << name << '"';
    }
}

TEST(IsValidCodePage, AcceptsTheAnsiCodePagesAndUtf8Only) {
    for (UINT codePage : {874U, 932U, 936U, 949U, 950U, 1250U, 1251U, 1252U, 1253U, 1254U, 1255U,
                          1256U, 1257U, 1258U, 65001U}) {
        EXPECT_TRUE(IsValidCodePage(codePage)) << codePage;
    }
    for (UINT codePage : {0U, 1U, 437U, 850U, 1200U, 1249U, 1259U, 20127U, 65000U, 65002U}) {
        EXPECT_FALSE(IsValidCodePage(codePage)) << codePage;
    }
}

TEST(ParseCodePage, ReadsValidNumbersAndNamesTheBadOnes) {
    UINT codePage = 0;
    std::string errorText;
    ASSERT_TRUE(ParseCodePage("932", &codePage, &errorText));
    EXPECT_EQ(codePage, 932U);
    ASSERT_TRUE(ParseCodePage(" 65001 ", &codePage, &errorText));
    EXPECT_EQ(codePage, 65001U);
    for (const char* text :
         {"", "437", "abc", "12x", "-1252", "+1252", "1252.0", "99999999999999", "0x4e4"}) {
        codePage = 7;
        EXPECT_FALSE(ParseCodePage(text, &codePage, &errorText)) << text;
        EXPECT_EQ(codePage, 7U) << text;
    }
    ParseCodePage("437", &codePage, &errorText);
    EXPECT_EQ(errorText,
              "Unknown code page \"437\": use 874, 932, 936, 949, 950, 1250 to 1258, or 65001 "
              "for UTF-8.");
}

// Sets the locale variables and VANTHE_CODEPAGE for one test and puts them back afterwards.
class Environment : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : kNames) {
            const char* value = std::getenv(name);
            saved_.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
            unsetenv(name);
        }
    }
    void TearDown() override {
        for (const auto& [name, value] : saved_) {
            if (value) {
                setenv(name, value->c_str(), 1);
            } else {
                unsetenv(name);
            }
        }
    }
    static void Set(const char* name, const char* value) { setenv(name, value, 1); }

    static constexpr const char* kNames[] = {"LC_ALL", "LC_CTYPE", "LANG", "VANTHE_CODEPAGE"};
    std::vector<std::pair<const char*, std::optional<std::string>>> saved_;
};

TEST_F(Environment, LcAllBeatsLcCtypeBeatsLang) {
    EXPECT_EQ(LocaleNameFromEnvironment(), "");
    EXPECT_EQ(GetACP(), 1252U);
    Set("LANG", "ru_RU.UTF-8");
    EXPECT_EQ(GetACP(), 1251U);
    Set("LC_CTYPE", "ja_JP.UTF-8");
    EXPECT_EQ(GetACP(), 932U);
    Set("LC_ALL", "el_GR.UTF-8");
    EXPECT_EQ(LocaleNameFromEnvironment(), "el_GR.UTF-8");
    EXPECT_EQ(GetACP(), 1253U);
    // An empty variable counts as unset, as it does for the C library.
    Set("LC_ALL", "");
    EXPECT_EQ(GetACP(), 932U);
    Set("LC_CTYPE", "");
    EXPECT_EQ(GetACP(), 1251U);
    // A character set alone, as macOS sends it over ssh, names no language: LANG still counts.
    Set("LC_CTYPE", "UTF-8");
    EXPECT_EQ(GetACP(), 1251U);
}

TEST_F(Environment, OverrideVariableBeatsTheLocale) {
    Set("LANG", "ru_RU.UTF-8");
    UINT codePage = 0;
    std::string errorText;
    ASSERT_TRUE(CodePageFromEnvironment(&codePage, &errorText));
    EXPECT_EQ(codePage, 1251U);
    Set("VANTHE_CODEPAGE", "1250");
    ASSERT_TRUE(CodePageFromEnvironment(&codePage, &errorText));
    EXPECT_EQ(codePage, 1250U);
    Set("VANTHE_CODEPAGE", "65001");
    ASSERT_TRUE(CodePageFromEnvironment(&codePage, &errorText));
    EXPECT_EQ(codePage, 65001U);
    EXPECT_EQ(GetACP(), 1251U) << "GetACP reads the locale alone";
    Set("VANTHE_CODEPAGE", "");
    ASSERT_TRUE(CodePageFromEnvironment(&codePage, &errorText));
    EXPECT_EQ(codePage, 1251U);
}

TEST_F(Environment, UnknownOverrideIsAnErrorNotAFallback) {
    Set("LANG", "de_DE.UTF-8");
    for (const char* value : {"437", "utf8", "1252abc", "CP1252"}) {
        Set("VANTHE_CODEPAGE", value);
        UINT codePage = 0;
        std::string errorText;
        EXPECT_FALSE(CodePageFromEnvironment(&codePage, &errorText)) << value;
        EXPECT_EQ(codePage, 0U);
        EXPECT_EQ(errorText, std::string("VANTHE_CODEPAGE: Unknown code page \"") + value +
                                 "\": use 874, 932, 936, 949, 950, 1250 to 1258, or 65001 for "
                                 "UTF-8.");
    }
}

} // namespace
