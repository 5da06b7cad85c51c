#include <gtest/gtest.h>

#include <cwctype>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "lang/lang.h"
#include "lang/lang_tables.h"

namespace {

const std::wstring kHost = kWebHostPlaceholder;

std::vector<const wchar_t*> TextsById(const LangTable& table) {
    std::vector<const wchar_t*> texts(kLangStringCount, nullptr);
    for (size_t i = 0; i < table.count; ++i) {
        const LangString& entry = table.strings[i];
        if (entry.id >= 0 && entry.id < kLangStringCount)
            texts[entry.id] = entry.text;
    }
    return texts;
}

// The parts a translation must carry over unchanged, in order of appearance:
// the product placeholder, the countdown marker, printf conversions and the
// web host's placeholder.
std::vector<std::wstring> Placeholders(const std::wstring& text) {
    std::vector<std::wstring> found;
    for (size_t pos = 0; pos < text.size();) {
        bool matched = false;
        for (const std::wstring& token :
             {std::wstring(kProductNamePlaceholder), std::wstring(L"XXX"), kHost}) {
            if (text.compare(pos, token.size(), token) == 0) {
                found.push_back(token);
                pos += token.size();
                matched = true;
                break;
            }
        }
        if (matched)
            continue;
        if (text[pos] == L'%') {
            size_t end = pos + 1;
            while (end < text.size() && !std::iswalpha(text[end]) && text[end] != L'%')
                ++end;
            found.push_back(text.substr(pos, end + 1 - pos));
            pos = end + 1;
            continue;
        }
        ++pos;
    }
    return found;
}

class EveryTable : public ::testing::TestWithParam<LanguageInfo> {};

TEST_P(EveryTable, HoldsEachIdOnce) {
    const LangTable& table = *GetParam().table;
    std::set<int> ids;
    for (size_t i = 0; i < table.count; ++i) {
        const int id = table.strings[i].id;
        EXPECT_TRUE(id >= 0 && id < kLangStringCount) << id;
        EXPECT_TRUE(ids.insert(id).second) << "id " << id << " twice";
    }
    EXPECT_EQ(static_cast<size_t>(kLangStringCount), ids.size());
}

TEST_P(EveryTable, TextsAreCleanAndTranslated) {
    const std::vector<const wchar_t*> texts = TextsById(*GetParam().table);
    const std::vector<const wchar_t*> english = TextsById(kEnglishTable);
    int same = 0;
    for (int id = 0; id < kLangStringCount; ++id) {
        ASSERT_NE(nullptr, texts[id]) << id;
        const std::wstring text = texts[id];
        EXPECT_FALSE(text.empty()) << id;
        EXPECT_FALSE(std::iswspace(text.front()) || std::iswspace(text.back())) << id;
        // U+FFFD would mean the source was read in the wrong encoding.
        EXPECT_EQ(std::wstring::npos, text.find(L'\uFFFD')) << id;
        EXPECT_EQ(std::wstring::npos, text.find(L'\n')) << id;
        if (text == english[id])
            ++same;
    }
    // Words such as "OK" or "Online" may stay, a copied table may not.
    if (GetParam().table != &kEnglishTable) {
        EXPECT_LE(same, 5) << "texts equal to English";
    }
}

TEST_P(EveryTable, PlaceholdersAndHostAsInEnglish) {
    const std::vector<const wchar_t*> texts = TextsById(*GetParam().table);
    const std::vector<const wchar_t*> english = TextsById(kEnglishTable);
    for (int id = 0; id < kLangStringCount; ++id) {
        ASSERT_NE(nullptr, texts[id]) << id;
        EXPECT_EQ(Placeholders(english[id]), Placeholders(texts[id])) << "id " << id;
    }
    // Both download-failure texts name the web host exactly once.
    for (int id : {41, 42}) {
        const std::wstring text = texts[id];
        const size_t first = text.find(kHost);
        ASSERT_NE(std::wstring::npos, first) << id;
        EXPECT_EQ(std::wstring::npos, text.find(kHost, first + 1)) << id;
    }
}

INSTANTIATE_TEST_SUITE_P(AllLanguages, EveryTable, ::testing::ValuesIn(kLanguages),
                         [](const ::testing::TestParamInfo<LanguageInfo>& info) {
                             std::string name;
                             for (const char* p = info.param.name; *p; ++p) {
                                 if (std::isalnum(static_cast<unsigned char>(*p)))
                                     name += *p;
                             }
                             return name;
                         });

TEST(EnglishTable, KeepsTheShippedTexts) {
    const std::vector<const wchar_t*> texts = TextsById(kEnglishTable);
    EXPECT_STREQ(L"Windows XP is not suppoeted anymore.", texts[28]);
    EXPECT_EQ(
        std::wstring(L"Download failed, please retry or download the offline installer from ") +
            kHost + L".",
        texts[41]);
    EXPECT_EQ(std::wstring(L"The Online Installer is out of date, please download the latest "
                           L"version at ") +
                  kHost + L".",
              texts[42]);
    EXPECT_STREQ(L"Installation will start automatically in XXX seconds.", texts[49]);
    EXPECT_STREQ(L"official", texts[51]);
}

// The named ids the installer looks up stand for the texts their names say.
TEST(EnglishTable, NamedIdsHoldTheirTexts) {
    const std::vector<const wchar_t*> texts = TextsById(kEnglishTable);
    const std::pair<LangStringId, const wchar_t*> named[] = {
        {kStrInstall, L"Click to Install"},
        {kStrCustom, L"Custom"},
        {kStrAccept, L"Accept"},
        {kStrLicence, L"User License Agreement"},
        {kStrDesktopShortcut, L"Create a desktop shortcut"},
        {kStrJoin, L"Join"},
        {kStrExperienceProgram, L"User Experience Improvement Program"},
        {kStrStartProduct, L"Start __PRODUCT_NAME__"},
        {kStrOk, L"OK"},
        {kStrTryAgain, L"Try Again"},
        {kStrSelectFolder, L"Select a folder from the list below, and then click OK."},
        {kStrVistaUnsupported, L"Windows Vista is not supported anymore."},
        {kStrInvalidPath, L"The installation path is invalid."},
        {kStrNoFreeSpace, L"There is not enough free space on the selected drive."},
        {kStrUninstallApplication, L"Uninstall Application"},
        {kStrApplication, L"Application"},
        {kStrHomepage, L"Homepage"},
        {kStrCheckingData, L"Checking data, please wait..."},
        {kStrGatheringInfo, L"Gathering download information..."},
        {kStrProductOnline, L"__PRODUCT_NAME__ Online"},
        {kStrUninstallProduct, L"Uninstall __PRODUCT_NAME__"},
        {kStrCountdown, L"Installation will start automatically in XXX seconds."},
        {kStrDownloading, L"Downloading setup file..."},
        {kStrOfficial, L"official"},
    };
    for (const auto& [id, text] : named) {
        EXPECT_STREQ(text, texts.at(id)) << "id " << id;
    }
    EXPECT_EQ(0u, std::wstring(texts.at(kStr64BitOnly)).find(L"Oops! This version"));
    EXPECT_EQ(0u, std::wstring(texts.at(kStrDownloadFailed)).find(L"Download failed"));
    EXPECT_EQ(0u, std::wstring(texts.at(kStrOutOfDate)).find(L"The Online Installer is out"));
}

TEST(LanguageList, NamesAreUniqueAndEnglishFirst) {
    std::set<std::string> names;
    std::set<const LangTable*> tables;
    for (const auto& language : kLanguages) {
        names.insert(language.name);
        tables.insert(language.table);
    }
    EXPECT_EQ(kLanguageCount, names.size());
    EXPECT_EQ(kLanguageCount, tables.size());
    EXPECT_STREQ("English", kLanguages[0].name);
}

}  // namespace
