// File names beyond ASCII: packed by korvel-pack and by 7-Zip, installed
// byte for byte and name for name whatever locale the tools start in.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/text.h"
#include "tests/install/install_fixture.h"
#include "tests/support/test_support.h"

using namespace korvel_test;

namespace {

// The locales a user's program may start in: plain C, C with UTF-8, and no
// locale variables at all (what a desktop launcher may hand over).
const char* const kNoLocale =
    "env -u LANG -u LANGUAGE -u LC_ALL -u LC_CTYPE -u LC_MESSAGES -u LC_COLLATE";
const std::vector<std::string> kLocales = {std::string(kNoLocale) + " LC_ALL=C",
                                           std::string(kNoLocale) + " LC_ALL=C.UTF-8", kNoLocale};

class PackNames : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(0, RunCommand("command -v 7zz").status) << "7zz (Debian package 7zip) missing";
        WriteNonAsciiPayload(dir.Sub("payload"));
        WriteFile(dir.Sub("uninstall.exe"), "MZ uninstaller");
    }

    std::string Facts() const {
        return " --uninstaller " + ShellQuote(dir.Sub("uninstall.exe")) +
               " --registry-name 'Korvel 12' --short-name 'Korvel 12' --version 12.0.0.2"
               " --product-name Korvel --release-date 2020-10-15 --web-address"
               " https://www.example.com/ --publisher '(c) Korvel' --x64 --level 1 --mtime 0";
    }

    // Installs the package as the installer does, in the given locale, and
    // compares the tree with the payload.
    void ExpectInstallsIntact(const std::string& package, const std::string& environment,
                              const std::string& label) {
        const std::string out = dir.Sub("out " + std::to_string(++m_runs));
        const ToolRun r =
            RunPack("extract " + ShellQuote(package) + " " + ShellQuote(out), environment);
        ASSERT_EQ(0, r.status) << label << ": " << r.out;
        std::vector<std::string> expected = ListFiles(dir.Sub("payload"));
        for (const std::string& f : expected)
            EXPECT_EQ(ReadFile(dir.Sub("payload/" + f)), ReadFile(out + "/" + f)) << label << f;
        expected.insert(expected.end(), {"uninstall.exe", "uninstall.exe.bin", "uninstall.list"});
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(expected, ListFiles(out)) << label;
    }

    TempDir dir;
    TempDir temp;
    ScopedEnv tmpdir{"TMPDIR", temp.path().c_str()};
    int m_runs = 0;
};

TEST_F(PackNames, BuiltByKorvelPackInstallsNameForNameInEveryLocale) {
    std::string first;
    for (size_t i = 0; i < kLocales.size(); ++i) {
        const std::string package = dir.Sub("k" + std::to_string(i) + ".exe");
        const ToolRun build = RunPack("build --payload " + ShellQuote(dir.Sub("payload")) +
                                          Facts() + " -o " + ShellQuote(package),
                                      kLocales[i], true);
        ASSERT_EQ(0, build.status) << kLocales[i] << ": " << build.out;
        // The locale the builder ran in leaves no trace in the package.
        if (first.empty())
            first = ReadFile(package);
        EXPECT_EQ(first, ReadFile(package)) << kLocales[i];
        for (const std::string& locale : kLocales)
            ExpectInstallsIntact(package, locale,
                                 "built in " + kLocales[i] + ", installed in " + locale + ": ");
    }
    // 7-Zip reads the same names back from the archive's UTF-16.
    const ToolRun list = RunCommand("cd " + ShellQuote(dir.path()) +
                                    " && tail -c +4161 k0.exe > k0.7z && LC_ALL=C.UTF-8 7zz l -slt "
                                    "k0.7z | grep '^Path = '");
    for (const std::string& name : NonAsciiPayloadNames())
        EXPECT_NE(std::string::npos, list.out.find("Path = " + name + "\n")) << name;
}

TEST_F(PackNames, MadeBySevenZipInstallsNameForNameInEveryLocale) {
    const ToolRun zip = RunCommand("cd " + ShellQuote(dir.Sub("payload")) +
                                   " && LC_ALL=C.UTF-8 7zz a -t7z -bd ../payload.7z . >/dev/null");
    ASSERT_EQ(0, zip.status);
    const std::string package = dir.Sub("z.exe");
    const ToolRun build = RunPack("build --payload-7z " + ShellQuote(dir.Sub("payload.7z")) +
                                      Facts() + " -o " + ShellQuote(package),
                                  kLocales[0], true);
    ASSERT_EQ(0, build.status) << build.out;
    for (const std::string& locale : kLocales)
        ExpectInstallsIntact(package, locale, "installed in " + locale + ": ");
}

TEST_F(PackNames, NameThatIsNotUtf8IsRefusedWithItsPath) {
    WriteFile(dir.Sub("payload/Handbuch f\xFCr Latin-1.txt"), "x");
    const std::string package = dir.Sub("bad.exe");
    const ToolRun build = RunPack("build --payload " + ShellQuote(dir.Sub("payload")) + Facts() +
                                      " -o " + ShellQuote(package),
                                  kLocales[1], true);
    EXPECT_EQ(1, build.status);
    EXPECT_NE(std::string::npos,
              build.out.find("file name is not valid UTF-8: " + dir.Sub("payload") +
                             "/Handbuch f\\xFCr Latin-1.txt"))
        << build.out;
    struct stat st;
    EXPECT_NE(0, stat(package.c_str(), &st));  // nothing written
}

TEST(Utf8Text, WellFormedOnly) {
    for (const std::string& name : NonAsciiPayloadNames())
        EXPECT_TRUE(IsValidUtf8(name)) << name;
    EXPECT_TRUE(IsValidUtf8(""));
    EXPECT_TRUE(IsValidUtf8("\xF4\x8F\xBF\xBF"));   // U+10FFFF
    EXPECT_FALSE(IsValidUtf8("f\xFCr"));            // Latin-1
    EXPECT_FALSE(IsValidUtf8("\xC3"));              // cut short
    EXPECT_FALSE(IsValidUtf8("\xC0\xAF"));          // overlong "/"
    EXPECT_FALSE(IsValidUtf8("\xE0\x80\xAF"));      // overlong "/"
    EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));      // a surrogate
    EXPECT_FALSE(IsValidUtf8("\xF4\x90\x80\x80"));  // beyond U+10FFFF
    EXPECT_FALSE(IsValidUtf8("\xE6\x97x"));         // continuation missing
}

}  // namespace
