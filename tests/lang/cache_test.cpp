#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "lang/lang.h"
#include "tests/lang/lang_fixture.h"

namespace {

// Readers on several threads look up every id many times at once, as the UI
// thread, the install worker and the painters do. Each must get the complete
// filled-in text, and one id must always come back as the same string.
TEST(LangStringCache, ConcurrentReadersShareOneText) {
    korvel_test::CapturedLog log;
    LanguageStrings lang(log.log());
    lang.Select(L"Korvel 12", 0x0407, 0);

    constexpr int kThreads = 6;
    constexpr int kRounds = 200;
    std::vector<std::vector<const wchar_t*>> seen(kThreads);
    std::vector<std::vector<std::wstring>> texts(kThreads);
    std::atomic<int> ready{0};
    std::vector<std::thread> readers;
    for (int t = 0; t < kThreads; ++t) {
        readers.emplace_back([&, t] {
            ready.fetch_add(1);
            while (ready.load() < kThreads) {
            }
            seen[t].assign(kLangStringCount + 1, nullptr);
            texts[t].resize(kLangStringCount + 1);
            for (int round = 0; round < kRounds; ++round) {
                // Each thread walks the ids from another start so that they meet.
                for (int k = 0; k <= kLangStringCount; ++k) {
                    const int id = (k + t * 9) % (kLangStringCount + 1);
                    const wchar_t* text = lang.GetString(id);
                    if (round == 0) {
                        seen[t][id] = text;
                        texts[t][id] = text;  // reads the cached text while others look up
                    } else if (seen[t][id] != text) {
                        seen[t][id] = nullptr;  // reported below
                    }
                }
            }
        });
    }
    for (auto& reader : readers)
        reader.join();

    for (int t = 0; t < kThreads; ++t) {
        for (int id = 0; id <= kLangStringCount; ++id) {
            ASSERT_NE(nullptr, seen[t][id]) << "thread " << t << " id " << id;
            EXPECT_EQ(seen[0][id], seen[t][id]) << "id " << id;
            EXPECT_EQ(texts[0][id], texts[t][id]) << "id " << id;
        }
    }
    EXPECT_EQ(L"Korvel 12 starten", texts[0][9]);
    EXPECT_EQ(L"UnKnow", texts[0][kLangStringCount]);
    EXPECT_EQ(std::wstring::npos, texts[0][47].find(kProductNamePlaceholder));
}

// The web host reaches the texts as a value: filled in where set, the
// placeholder otherwise, and a later host gives the text a string of its own
// while the one handed out before stays as it was.
TEST(LangStringCache, WebHostIsFilledInFromTheGivenValue) {
    korvel_test::CapturedLog log;
    LanguageStrings lang(log.log());
    lang.Select(L"Korvel 12", 0x0409, 0);
    EXPECT_NE(std::wstring::npos, std::wstring(lang.GetString(42)).find(kWebHostPlaceholder));

    lang.SetWebHost(L"www.vendor.test");
    const wchar_t* first = lang.GetString(41);
    EXPECT_EQ(
        L"Download failed, please retry or download the offline installer from "
        L"www.vendor.test.",
        std::wstring(first));
    lang.SetWebHost(L"__WEB_HOST__.mirror");  // a value holding the placeholder cannot loop
    EXPECT_EQ(
        L"The Online Installer is out of date, please download the latest version at "
        L"__WEB_HOST__.mirror.",
        std::wstring(lang.GetString(42)));
    EXPECT_EQ(
        L"Download failed, please retry or download the offline installer from "
        L"www.vendor.test.",
        std::wstring(first));
}

}  // namespace
