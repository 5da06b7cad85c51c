#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "lang/lang.h"
#include "lang/lang_tables.h"
#include "tests/lang/lang_fixture.h"

using korvel_test::CapturedLog;
using korvel_test::LocaleEnv;

namespace {

const wchar_t kTitle[] = L"Korvel 12";

const LanguageInfo& ByName(const std::string& name) {
    for (const auto& language : kLanguages) {
        if (name == language.name)
            return language;
    }
    ADD_FAILURE() << "no language " << name;
    return kLanguages[0];
}

struct SelectionCase {
    LANGID langId;
    const char* name;
    const char* logLine;
};

class SelectionTable : public ::testing::TestWithParam<SelectionCase> {};

// Name, log line and loaded texts for every row of the selection rules,
// including the sub-language split of Chinese and the Catalan fallback.
TEST_P(SelectionTable, PicksTableNameAndLogLine) {
    const SelectionCase& c = GetParam();
    CapturedLog log;
    LanguageStrings lang(log.log());
    EXPECT_EQ(1, lang.Select(kTitle, c.langId, 0));

    EXPECT_EQ(c.name, lang.GetName());
    EXPECT_EQ(std::vector<std::string>{c.logLine}, log.Messages());
    const LanguageInfo& expected = ByName(c.name);
    for (size_t i = 0; i < expected.table->count; ++i) {
        const LangString& entry = expected.table->strings[i];
        if (std::wstring(entry.text).find(kProductNamePlaceholder) == std::wstring::npos) {
            EXPECT_STREQ(entry.text, lang.GetString(entry.id)) << entry.id;
        }
    }
    EXPECT_EQ(expected.metrics[1], lang.GetMetric(1));
}

INSTANTIATE_TEST_SUITE_P(
    AllRules, SelectionTable,
    ::testing::Values(
        SelectionCase{0x0407, "German", "Language is DE(DeGuo), id = 1031"},
        SelectionCase{0x0C07, "German", "Language is DE(DeGuo), id = 3079"},
        SelectionCase{0x0804, "Chinese(Simplified)", "Language is CHS(JianTi), id = 2052"},
        SelectionCase{0x0404, "Chinese(Traditional)", "Language is ZH(FanTi), id = 1028"},
        SelectionCase{0x1004, "Chinese(Traditional)", "Language is ZH(FanTi), id = 4100"},
        SelectionCase{0x0C04, "Chinese(Traditional)", "Language is ZH(FanTi), id = 3076"},
        SelectionCase{0x1404, "Chinese(Traditional)", "Language is ZH(FanTi), id = 5124"},
        SelectionCase{0x0403, "Spanish", "Language is CATALA(XiBanYa), id = 1027"},
        SelectionCase{0x0C0A, "Spanish", "Language is SPANISH(XiBanYa), id = 3082"},
        SelectionCase{0x080A, "Spanish", "Language is SPANISH(XiBanYa), id = 2058"},
        SelectionCase{0x0405, "Czech", "Language is CZ(JieKe), id = 1029"},
        SelectionCase{0x040C, "French", "Language is FR(FaGuo), id = 1036"},
        SelectionCase{0x040E, "Hungarian", "Language is HU(XiongYaLi), id = 1038"},
        SelectionCase{0x0410, "Italian", "Language is IT(YiDaLi), id = 1040"},
        SelectionCase{0x0411, "Japanese", "Language is JP(RiBen), id = 1041"},
        SelectionCase{0x0413, "Dutch", "Language is NL(HeLan), id = 1043"},
        SelectionCase{0x0414, "Norwegian", "Language is NO(NuoWei), id = 1044"},
        SelectionCase{0x0814, "Norwegian", "Language is NO(NuoWei), id = 2068"},
        SelectionCase{0x0415, "Polish", "Language is PL(BoLan), id = 1045"},
        SelectionCase{0x0416, "Portuguese", "Language is PT(PuTaoYa), id = 1046"},
        SelectionCase{0x0816, "Portuguese", "Language is PT(PuTaoYa), id = 2070"},
        SelectionCase{0x0419, "Russian", "Language is RU(ErLuoSi), id = 1049"},
        SelectionCase{0x041D, "Swedish", "Language is SVE(RuiDian), id = 1053"},
        SelectionCase{0x0409, "English", "Language is EN, id = 1033"},
        SelectionCase{0x0412, "English", "Language is EN, id = 1042"},    // Korean: no table
        SelectionCase{0x0406, "English", "Language is EN, id = 1030"},    // Danish: no table
        SelectionCase{0x041B, "English", "Language is EN, id = 1051"}));  // Slovak: no table

// Name and log lines of a fresh selection.
struct Outcome {
    std::string name;
    std::vector<std::string> log;
};

Outcome SelectWith(LANGID langId, int testLanguage) {
    CapturedLog log;
    LanguageStrings lang(log.log());
    lang.Select(kTitle, langId, testLanguage);
    return {lang.GetName(), log.Messages()};
}

TEST(LanguageSelection, DebugOverrideReplacesEveryOtherSource) {
    LocaleEnv env("de_DE.UTF-8");
    Outcome forced = SelectWith(0, 1041);
    EXPECT_EQ("Japanese", forced.name);
    EXPECT_EQ(std::vector<std::string>{"Language is JP(RiBen), id = 1041"}, forced.log);
    // Also over an id the caller gave.
    EXPECT_EQ("Japanese", SelectWith(0x040C, 1041).name);

    // An override naming no table gives English, not the system's German.
    Outcome unlisted = SelectWith(0, 0x0412);
    EXPECT_EQ("English", unlisted.name);
    EXPECT_EQ(std::vector<std::string>{"Language is EN, id = 1042"}, unlisted.log);

    Outcome none = SelectWith(0, 0);  // no override: the locale counts
    EXPECT_EQ("German", none.name);
    EXPECT_EQ(std::vector<std::string>{"Language is DE(DeGuo), id = 1031"}, none.log);
}

// Id 0 means "the user's language", taken from the locale environment.
TEST(LanguageSelection, SystemLanguageFromLocale) {
    struct Case {
        const char* lang;
        const char* language;  // LANGUAGE, null for unset
        const char* name;
    };
    const Case cases[] = {
        {"zh_CN.UTF-8", nullptr, "Chinese(Simplified)"},
        {"zh_TW.UTF-8", nullptr, "Chinese(Traditional)"},
        {"zh_SG.UTF-8", nullptr, "Chinese(Traditional)"},
        {"ca_ES.UTF-8", nullptr, "Spanish"},
        {"nn_NO.UTF-8", nullptr, "Norwegian"},
        {"pt_BR.UTF-8", nullptr, "Portuguese"},
        {"C", nullptr, "English"},
        {"de_DE.UTF-8", "sv_SE:de", "Swedish"},  // LANGUAGE comes first
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lang);
        LocaleEnv env(c.lang, c.language);
        EXPECT_EQ(c.name, SelectWith(0, 0).name);
    }
}

TEST(LanguageSelection, NothingBeforeSelect) {
    LanguageStrings lang;
    EXPECT_STREQ(L"UnKnow", lang.GetString(0));
    EXPECT_STREQ(L"UnKnow", lang.GetString(9));
    EXPECT_EQ(0, lang.GetMetric(0));
    EXPECT_EQ(0, lang.GetMetric(5));
    EXPECT_EQ("", lang.GetName());
}

TEST(LanguageStrings, UnknownIdsAfterSelect) {
    CapturedLog log;
    LanguageStrings lang(log.log());
    lang.Select(kTitle, 0x0407, 0);
    EXPECT_STREQ(L"UnKnow", lang.GetString(52));
    EXPECT_STREQ(L"UnKnow", lang.GetString(-1));
    EXPECT_STREQ(L"UnKnow", lang.GetString(1000));
    EXPECT_STRNE(L"UnKnow", lang.GetString(51));
}

TEST(LanguageStrings, ProductNameFilledIn) {
    CapturedLog log;
    LanguageStrings lang(log.log());
    lang.Select(kTitle, 0x0409, 0);
    EXPECT_STREQ(L"Start Korvel 12", lang.GetString(9));
    EXPECT_STREQ(L"Are you sure you want to quit Korvel 12 installation?", lang.GetString(10));
    EXPECT_STREQ(L"Korvel 12 Online", lang.GetString(46));
    EXPECT_STREQ(L"Click to Install", lang.GetString(0));

    // The first name given stays; later selections change only the language.
    lang.Select(L"Other", 0x0407, 0);
    EXPECT_STREQ(L"Korvel 12 starten", lang.GetString(9));
    lang.Select(nullptr, 0x0409, 0);
    EXPECT_STREQ(L"Start Korvel 12", lang.GetString(9));
}

TEST(LanguageStrings, ProductNameEdgeCases) {
    {
        CapturedLog log;
        LanguageStrings lang(log.log());
        lang.Select(nullptr, 0x0409, 0);  // no name: the placeholder goes away
        EXPECT_STREQ(L"Start ", lang.GetString(9));
        EXPECT_STREQ(L"Uninstall ", lang.GetString(47));
    }
    {
        CapturedLog log;
        LanguageStrings lang(log.log());
        lang.Select(L"", 0x0409, 0);  // an empty name counts as given
        lang.Select(L"Late", 0x0409, 0);
        EXPECT_STREQ(L"Start ", lang.GetString(9));
    }
    {
        // A name that contains the placeholder is inserted once, not expanded again.
        CapturedLog log;
        LanguageStrings lang(log.log());
        lang.Select(L"__PRODUCT_NAME__ X", 0x0409, 0);
        EXPECT_STREQ(L"Start __PRODUCT_NAME__ X", lang.GetString(9));
    }
}

TEST(LanguageStrings, ReturnedTextsStayValidAcrossSelections) {
    CapturedLog log;
    LanguageStrings lang(log.log());
    lang.Select(kTitle, 0x0409, 0);
    const wchar_t* english = lang.GetString(9);
    EXPECT_EQ(english, lang.GetString(9));  // the same text is handed out once

    lang.Select(kTitle, 0x0411, 0);
    const wchar_t* japanese = lang.GetString(9);
    EXPECT_STREQ(L"Korvel 12 を起動", japanese);
    // The earlier pointer still holds the earlier text (a reader may hold it).
    EXPECT_STREQ(L"Start Korvel 12", english);
    EXPECT_STREQ(L"Installation will start automatically in XXX seconds.",
                 (lang.Select(kTitle, 0x0409, 0), lang.GetString(49)));
}

TEST(LanguageMetrics, PerLanguageWidths) {
    for (const auto& language : kLanguages) {
        SCOPED_TRACE(language.name);
        EXPECT_EQ(180, language.metrics[5]);
    }
    CapturedLog log;
    LanguageStrings lang(log.log());
    lang.Select(kTitle, 0x0419, 0);
    const int russian[] = {88, 360, 143, 400, 180, 180};
    for (int i = 0; i < kLangMetricCount; ++i)
        EXPECT_EQ(russian[i], lang.GetMetric(i)) << i;
    EXPECT_EQ(0, lang.GetMetric(6));
    EXPECT_EQ(0, lang.GetMetric(-1));

    lang.Select(kTitle, 0x0411, 0);
    EXPECT_EQ(320, lang.GetMetric(4));
    lang.Select(kTitle, 0x0414, 0);
    EXPECT_EQ(200, lang.GetMetric(4));
}

// The process-wide functions the installer window uses.
TEST(ProcessWideLanguage, SelectAndLookUp) {
    LocaleEnv env("fr_FR.UTF-8");
    EXPECT_EQ(1, SelectLanguage(kTitle, 0, 0));
    EXPECT_EQ("French", GetLanguageName());
    EXPECT_STREQ(L"Démarrer Korvel 12", GetLangString(9));
    EXPECT_STREQ(L"UnKnow", GetLangString(52));
    EXPECT_EQ(85, GetLangMetric(0));
    EXPECT_EQ(0, GetLangMetric(6));
}

}  // namespace
