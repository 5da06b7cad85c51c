#include <gtest/gtest.h>
#include <sys/utsname.h>

#include <cstdio>
#include <string>
#include <thread>

#include "platform/automutex.h"
#include "platform/log.h"
#include "platform/system.h"
#include "platform/text.h"
#include "tests/support/test_support.h"

using korvel_test::ReadFile;
using korvel_test::TempDir;
using korvel_test::WriteFile;

namespace {
int Ini(const TempDir& dir, const wchar_t* section, const wchar_t* key, int def) {
    return GetPrivateProfileInt(section, key, def, dir.WSub("KorDebugConfig.ini"));
}
}  // namespace

TEST(ProfileIntTest, ReadsIntegersWithTheWindowsRules) {
    TempDir dir;
    EXPECT_EQ(7, Ini(dir, L"root", L"show_info_view", 7));  // no file
    WriteFile(dir.Sub("KorDebugConfig.ini"),
              "; debug settings\n"
              "[other]\n"
              "show_info_view=5\n"
              "[ Root ]\n"
              "show_info_view = 1\n"
              "SETUP_TEST_MODE=12ab\n"
              "setup_test_language=abc\n"
              "negative=-3\n"
              "empty=\n"
              "quoted=\"42\"\n"
              "spaced =   9   \n");
    EXPECT_EQ(1, Ini(dir, L"root", L"show_info_view", 7));
    EXPECT_EQ(12, Ini(dir, L"ROOT", L"setup_test_mode", 7));     // leading digits only
    EXPECT_EQ(0, Ini(dir, L"root", L"setup_test_language", 7));  // no digits
    EXPECT_EQ(-3, Ini(dir, L"root", L"negative", 7));
    EXPECT_EQ(7, Ini(dir, L"root", L"empty", 7));  // an empty value counts as missing
    EXPECT_EQ(42, Ini(dir, L"root", L"quoted", 7));
    EXPECT_EQ(9, Ini(dir, L"root", L"spaced", 7));
    EXPECT_EQ(7, Ini(dir, L"root", L"absent", 7));
    EXPECT_EQ(7, Ini(dir, L"nosection", L"show_info_view", 7));
    EXPECT_EQ(5, Ini(dir, L"other", L"show_info_view", 7));
}

TEST(SystemTest, WindowsVersionLineCarriesTheKernelNumbers) {
    TempDir dir;
    const std::string path = dir.Sub("install.log");
    ILog::GetInstance()->InitLog(Utf8ToWide(path));
    EXPECT_TRUE(IsWindows7OrLater());
    EXPECT_TRUE(IsVistaOrLater());
    struct utsname u;
    ASSERT_EQ(0, uname(&u));
    int major = -1;
    int minor = -1;
    ASSERT_EQ(2, sscanf(u.release, "%d.%d", &major, &minor));
    const std::string expected =
        " : Window Version : " + std::to_string(major) + "," + std::to_string(minor) + "\n";
    EXPECT_NE(std::string::npos, ReadFile(path).find(expected)) << ReadFile(path);
}

TEST(SystemTest, ModulePathAndEnvironment) {
    const std::wstring self = GetModuleFilePath();
    EXPECT_EQ(L"platform_tests", self.substr(self.find_last_of(L'/') + 1));
    std::string value = "untouched";
    EXPECT_FALSE(GetEnvironmentVariableA("KORVEL_SURELY_UNSET_VARIABLE", value));
    EXPECT_EQ("untouched", value);
    korvel_test::ScopedEnv set("KORVEL_TEST_VALUE", "v=1");
    EXPECT_TRUE(GetEnvironmentVariableA("KORVEL_TEST_VALUE", value));
    EXPECT_EQ("v=1", value);
}

TEST(SystemTest, AutoMutexLocksForItsScopeAndAcceptsNull) {
    std::recursive_mutex m;
    {
        AutoMutex hold(&m);
        std::thread other([&m] { EXPECT_FALSE(m.try_lock()); });
        other.join();
        AutoMutex again(&m);  // the same thread may enter again, as with a Win32 mutex
    }
    std::thread other([&m] {
        EXPECT_TRUE(m.try_lock());
        m.unlock();
    });
    other.join();
    AutoMutex none(nullptr);
}
