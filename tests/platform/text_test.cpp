#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/resource.h"
#include "platform/text.h"

TEST(TextTest, FormatSizeBoundaries) {
    char buf[32];
    EXPECT_STREQ("0Byte", FormatSize(0, buf, sizeof(buf)));
    EXPECT_STREQ("1024Byte", FormatSize(1024, buf, sizeof(buf)));
    EXPECT_STREQ("1.00KB", FormatSize(1025, buf, sizeof(buf)));
    EXPECT_STREQ("1024.00KB", FormatSize(1048576, buf, sizeof(buf)));
    EXPECT_STREQ("1.00MB", FormatSize(1048577, buf, sizeof(buf)));
    EXPECT_STREQ("4096.00MB", FormatSize(0xFFFFFFFFu, buf, sizeof(buf)));
}

TEST(TextTest, FormatSizeClearsAndRespectsTheBuffer) {
    char buf[6];
    memset(buf, 'z', sizeof(buf));
    EXPECT_EQ(buf, FormatSize(1048577, buf, sizeof(buf)));
    EXPECT_STREQ("1.00M", buf);  // cut, still terminated
    char big[16];
    memset(big, 'z', sizeof(big));
    FormatSize(7, big, sizeof(big));
    for (size_t i = 5; i < sizeof(big); ++i)
        EXPECT_EQ(0, big[i]) << i;
}

TEST(TextTest, Base64OfRfc4648Vectors) {
    EXPECT_EQ("", Base64Encode("", 0));
    EXPECT_EQ("YQ==", Base64Encode("a", 1));
    EXPECT_EQ("YWI=", Base64Encode("ab", 2));
    EXPECT_EQ("YWJj", Base64Encode("abc", 3));
    EXPECT_EQ("Zm9vYmFy", Base64Encode("foobar", 6));
    const unsigned char high[] = {0xFB, 0xFF, 0xFE, 0x00};
    EXPECT_EQ("+//+AA==", Base64Encode(high, sizeof(high)));
    const std::string longer(100, 'x');
    EXPECT_EQ(136u, Base64Encode(longer.data(), longer.size()).size());  // no line breaks
}

TEST(TextTest, ReplaceAllContinuesAfterTheReplacement) {
    EXPECT_EQ("aaaa", ReplaceAll(std::string("aa"), "a", "aa"));  // does not loop
    EXPECT_EQ("x-x-x", ReplaceAll(std::string("x x x"), " ", "-"));
    EXPECT_EQ("b", ReplaceAll(std::string("aaab"), "a", ""));
    EXPECT_EQ("abc", ReplaceAll(std::string("abc"), "", "z"));
    EXPECT_EQ("1%202", ReplaceAll(std::string("1 2"), " ", "%20"));
    EXPECT_EQ(L"C:/x/y", ReplaceAll(std::wstring(L"C:\\x\\y"), L"\\", L"/"));
    EXPECT_EQ(L"\\\\\\\\", ReplaceAll(std::wstring(L"\\\\"), L"\\", L"\\\\"));
}

TEST(TextTest, RandomIdsAreFreshEveryCall) {
    std::set<std::string> seen;
    for (int i = 0; i < 20; ++i) {
        const std::string id = NewRandomId();
        ASSERT_EQ(32u, id.size());
        for (char c : id)
            EXPECT_TRUE(isdigit(static_cast<unsigned char>(c)) || (c >= 'a' && c <= 'f')) << id;
        seen.insert(id);
    }
    EXPECT_EQ(20u, seen.size());
    // A new thread starts no fixed sequence either.
    std::string a;
    std::string b;
    std::thread([&a] { a = NewRandomId(); }).join();
    std::thread([&b] { b = NewRandomId(); }).join();
    EXPECT_NE(a, b);
}

TEST(TextTest, Md5MatchesRfc1321) {
    EXPECT_EQ("900150983cd24fb0d6963f7d28e17f72", Md5Hex("abc", 3));
    EXPECT_EQ("D41D8CD98F00B204E9800998ECF8427E", Md5Hex("", 0, true));
}

TEST(TextTest, NarrowTextIsUtf8) {
    const std::wstring wide = L"K\u00f6rvel \u4e2d\u6587 \U0001F600";
    const std::string utf8 = "K\xC3\xB6rvel \xE4\xB8\xAD\xE6\x96\x87 \xF0\x9F\x98\x80";
    EXPECT_EQ(utf8, WideToOem(wide));
    EXPECT_EQ(wide, AnsiToWide(utf8));
    EXPECT_EQ(wide, Utf8ToWide(WideToUtf8(wide)));
    // Broken input becomes replacement characters, never a crash or a lost tail.
    EXPECT_EQ(L"a\uFFFDb", Utf8ToWide("a\xC3"
                                      "b"));
    EXPECT_EQ(L"x\uFFFD\uFFFD", Utf8ToWide("x\xE4\xB8"));  // cut at the end
}

TEST(TextTest, EqualsNoCaseIgnoresAsciiCaseOnly) {
    EXPECT_TRUE(EqualsNoCase(std::string("Korvel.EXE"), std::string("korvel.exe")));
    EXPECT_FALSE(EqualsNoCase(std::string("korvel.exe"), std::string("korvel.ex")));
    EXPECT_TRUE(EqualsNoCase(std::wstring(L"LiveUpdate.exe"), std::wstring(L"LIVEUPDATE.EXE")));
    EXPECT_FALSE(EqualsNoCase(std::string("a@"), std::string("a`")));
}

TEST(ResourceTest, TextResourcesByIdAndTypeWithoutCase) {
    static const char kXml[] = "<cfg/>";
    static const char kWithNul[] = {'a', 'b', '\0', 'c'};
    static const char kEmpty[] = "";
    RegisterResource(9501, L"XML", kXml, sizeof(kXml) - 1);
    RegisterResource(9502, L"TXT", kWithNul, sizeof(kWithNul));
    RegisterResource(9503, L"TXT", kEmpty, 0);
    std::string out = "untouched";
    EXPECT_TRUE(LoadResourceText(9501, L"xml", out));
    EXPECT_EQ("<cfg/>", out);
    EXPECT_TRUE(LoadResourceText(9502, L"txt", out));
    EXPECT_EQ("ab", out);  // read as a NUL-terminated string
    out = "untouched";
    EXPECT_FALSE(LoadResourceText(9503, L"TXT", out));
    EXPECT_FALSE(LoadResourceText(9501, L"TXT", out));
    EXPECT_FALSE(LoadResourceText(9999, L"XML", out));
    EXPECT_EQ("untouched", out);
    ResourceBlob blob;
    ASSERT_TRUE(FindResourceBlob(9502, L"Txt", blob));
    EXPECT_EQ(4u, blob.size);
}
