#include <gtest/gtest.h>

#include "platform/system.h"
#include "tests/lang/lang_fixture.h"

using korvel_test::LocaleEnv;

namespace {

struct LocaleCase {
    const char* lang;
    const char* language;  // LANGUAGE; null for unset
    LANGID expected;
};

// The locale environment as the language selection sees it, with the forms
// desktops actually set: territory, codeset, modifier, script tags, BCP 47.
TEST(UserLanguageFromLocale, MapsToWindowsIds) {
    const LocaleCase cases[] = {
        {"de_DE.UTF-8", nullptr, 0x0407},
        {"de_AT.UTF-8", nullptr, 0x0C07},
        {"zh_CN.UTF-8", nullptr, 0x0804},
        {"zh_TW.UTF-8", nullptr, 0x0404},
        {"zh_SG.UTF-8", nullptr, 0x1004},
        {"zh_HK.UTF-8", nullptr, 0x0C04},
        {"ca_ES.UTF-8@valencia", nullptr, 0x0403},
        {"nb_NO.UTF-8", nullptr, 0x0414},
        {"no_NO", nullptr, 0x0414},
        {"nn_NO.UTF-8", nullptr, 0x0814},
        {"zh_Hant", nullptr, 0x0404},
        {"zh_Hant_TW.UTF-8", nullptr, 0x0404},
        {"zh_Hans_CN", nullptr, 0x0804},
        {"C.UTF-8", nullptr, 0x0409},
        {"xx_YY", nullptr, 0x0409},
        {"en_US.UTF-8", "zh-TW", 0x0404},
        {"en_US.UTF-8", "zh-Hant", 0x0404},
        {"en_US.UTF-8", "nn:nb", 0x0814},
        {"en_US.UTF-8", "xx:pt_BR:de", 0x0416},  // first known entry of the list
        {"ja_JP.UTF-8", "", 0x0411},             // an empty LANGUAGE is skipped
    };
    for (const LocaleCase& c : cases) {
        SCOPED_TRACE(std::string(c.lang) + " / " + (c.language ? c.language : "-"));
        LocaleEnv env(c.lang, c.language);
        EXPECT_EQ(c.expected, GetUserDefaultUILanguage());
    }
}

TEST(UserLanguageFromLocale, LcAllOverridesLang) {
    LocaleEnv env("de_DE.UTF-8");
    korvel_test::ScopedEnv all("LC_ALL", "it_IT.UTF-8");
    EXPECT_EQ(0x0410, GetUserDefaultUILanguage());
}

}  // namespace
