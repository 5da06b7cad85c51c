// Shortcuts as desktop entries: what each set holds, their quoting, and that
// desktops accept them.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>

#include "install/shortcuts.h"
#include "platform/folders.h"
#include "platform/log.h"
#include "platform/registry.h"
#include "platform/system.h"
#include "platform/text.h"
#include "tests/install/install_fixture.h"
#include "tests/support/test_support.h"

using namespace korvel_test;

namespace {

ShortcutTexts EnglishTexts() {
    return {L"Uninstall Application", L"Application", L"Homepage", L"Korvel 12 Online",
            L"Uninstall Korvel 12"};
}

bool Validates(const std::string& path) {
    const std::string cmd = "desktop-file-validate '" + path + "' >/dev/null 2>&1";
    return system(cmd.c_str()) == 0;
}

class ShortcutTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* sub :
             {"/home/Desktop", "/home/.local/share/applications", "/system-share/applications"})
            CreateFolderChain(Utf8ToWide(home.dir().path() + sub));
        set.strProgramFolder = Utf8ToWide(home.dir().path() + "/Program Files/Korvel 12");
        set.strMainExe = L"Korvel64.exe";
        set.strDisplayName = L"Korvel 12 (x64)";
        set.strWebAddress = L"https://www.example.com/home?v=12.0.0.2";
        set.bDesktop = true;
    }
    std::string Desktop(const std::string& name) { return home.home() + "/Desktop/" + name; }
    std::string Menu(const std::string& name) {
        return home.home() + "/.local/share/applications/Korvel 12 (x64)/" + name;
    }
    std::string Common(const std::string& name) {
        return home.dir().path() + "/system-share/applications/Korvel 12 (x64)/" + name;
    }

    SandboxHome home;
    ShortcutSet set;
    InstallProductFacts facts = KorvelFacts(true);
};

TEST_F(ShortcutTest, ProductSetIsCompleteValidAndExecutable) {
    CreateProductIcons(set, EnglishTexts(), MakePackageHeader(facts), facts);
    const std::vector<std::string> menu = {
        "Korvel 12 (x64).desktop", "Korvel 12 Mini (x64).desktop", "Korvel 12 Online.desktop",
        "Uninstall Korvel 12.desktop"};
    EXPECT_EQ((std::vector<std::string>{"Korvel 12 (x64).desktop", "Korvel 12 Mini (x64).desktop"}),
              ListFiles(home.home() + "/Desktop"));
    EXPECT_EQ(menu, ListFiles(home.home() + "/.local/share/applications/Korvel 12 (x64)"));
    EXPECT_EQ(menu, ListFiles(home.dir().path() + "/system-share/applications/Korvel 12 (x64)"));
    for (const std::string& f : {Desktop(menu[0]), Desktop(menu[1]), Menu(menu[0]), Menu(menu[1]),
                                 Menu(menu[2]), Menu(menu[3]), Common(menu[2])}) {
        EXPECT_TRUE(Validates(f)) << f;
        struct stat st;
        ASSERT_EQ(0, stat(f.c_str(), &st));
        EXPECT_EQ(0755u, st.st_mode & 0777) << f;
    }
    const std::string program = WideToUtf8(set.strProgramFolder);
    EXPECT_EQ("[Desktop Entry]\nType=Application\nExec=\"" + program +
                  "/Korvel64.exe\" --minimode\nPath=" + program + "\nIcon=" + program +
                  "/KorvelMini64.ico\nComment=Korvel 12 Mini (x64)Application\n"
                  "Name=Korvel 12 Mini (x64)\n",
              ReadFile(Menu(menu[1])));
    EXPECT_EQ(
        "[Desktop Entry]\nType=Link\nURL=https://www.example.com/home?v=12.0.0.2\n"
        "Comment=Korvel 12 (x64)Homepage\nName=Korvel 12 Online\n",
        ReadFile(Menu(menu[2])));
    EXPECT_NE(std::string::npos,
              ReadFile(Menu(menu[3])).find("Comment=Korvel 12 (x64)Uninstall Application\n"));

    DeleteProductIcons(set.strDisplayName, MakePackageHeader(facts), facts);
    EXPECT_TRUE(ListFiles(home.home() + "/Desktop").empty());
    EXPECT_FALSE(PathFileExists(Utf8ToWide(Menu(""))));
}

TEST_F(ShortcutTest, ClearedDesktopBoxLeavesOnlyTheStartMenus) {
    set.bDesktop = false;
    InstallProductFacts x86 = KorvelFacts(false);
    set.strDisplayName = L"Korvel 12";
    set.strMainExe = L"Korvel.exe";
    CreateProductIcons(set, EnglishTexts(), MakePackageHeader(x86), x86);
    EXPECT_TRUE(ListFiles(home.home() + "/Desktop").empty());
    const std::string menu = home.home() + "/.local/share/applications/Korvel 12";
    EXPECT_EQ((std::vector<std::string>{"Korvel 12 Mini.desktop", "Korvel 12 Online.desktop",
                                        "Korvel 12.desktop", "Uninstall Korvel 12.desktop"}),
              ListFiles(menu));
    EXPECT_NE(std::string::npos,
              ReadFile(menu + "/Korvel 12 Mini.desktop").find("/KorvelMini.ico\n"));
}

TEST_F(ShortcutTest, ExecQuotesReservedCharactersAndStillValidates) {
    const std::string entry = BuildDesktopEntry(L"/opt/a b/run$1.exe", L"/opt/a b", L"Odd", nullptr,
                                                nullptr, L"--name \"x y\" 50% plain");
    EXPECT_NE(std::string::npos,
              entry.find("\nExec=\"/opt/a b/run\\\\$1.exe\" --name \"x y\" 50%% plain\n"));
    EXPECT_NE(std::string::npos, entry.find("\nIcon=/opt/a b/run$1.exe\n"));
    WriteFile(home.home() + "/odd.desktop", entry);
    EXPECT_TRUE(Validates(home.home() + "/odd.desktop"));
}

TEST_F(ShortcutTest, MissingFolderKindAndNullArgumentsAreRefused) {
    EXPECT_EQ(E_FAIL, CreateShortcut(L"/bin/true", nullptr, L"x", kFolderPinnedTaskbar, nullptr,
                                     nullptr, nullptr, nullptr));
    EXPECT_EQ(E_POINTER, CreateShortcut(nullptr, nullptr, L"x", kFolderDesktop, nullptr, nullptr,
                                        nullptr, nullptr));
    EXPECT_EQ(E_POINTER, CreateShortcut(L"/bin/true", nullptr, nullptr, kFolderDesktop, nullptr,
                                        nullptr, nullptr, nullptr));
    EXPECT_TRUE(ListFiles(home.home() + "/Desktop").empty());
    EXPECT_EQ(S_OK, CreateShortcut(L"/bin/true", Utf8ToWide(home.home()).c_str(), L"given",
                                   kFolderGiven, L"sub/deeper", nullptr, nullptr, nullptr));
    EXPECT_TRUE(PathFileExists(Utf8ToWide(home.home() + "/sub/deeper/given.desktop")));
}

std::string IconSize() {
    CMyRegKey key;
    std::string v = "<missing>";
    if (key.Open(HKEY_CURRENT_USER, "Control Panel\\Desktop\\WindowMetrics", KEY_READ) ==
        ERROR_SUCCESS)
        key.QueryString("Shell Icon Size", v);
    return v;
}

TEST_F(ShortcutTest, RefreshIconsStepsTheSizeUpAndBack) {
    {
        CMyRegKey key;
        ASSERT_EQ(ERROR_SUCCESS,
                  key.Create(HKEY_CURRENT_USER, "Control Panel\\Desktop\\WindowMetrics"));
    }
    std::string during;
    RefreshIcons([&] { during = IconSize(); });
    EXPECT_EQ("33", during);  // a missing value counts as 32
    EXPECT_EQ("32", IconSize());
    {
        CMyRegKey key;
        key.Create(HKEY_CURRENT_USER, "Control Panel\\Desktop\\WindowMetrics");
        key.SetString("Shell Icon Size", "48");
    }
    RefreshIcons([&] { during = IconSize(); });
    EXPECT_EQ("49", during);
    EXPECT_EQ("48", IconSize());
}

TEST(RefreshIcons, WithoutTheKeyNothingIsWritten) {
    SandboxHome home;
    RefreshIcons([] {});
    EXPECT_EQ("<missing>", IconSize());
}

}  // namespace
