#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/folders.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "tests/support/test_support.h"

using korvel_test::SandboxHome;
using korvel_test::ScopedEnv;

namespace {
const char kUninstall[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Korvel 12 (x64)";
constexpr DWORD kRead64 = KEY_READ | KEY_WOW64_64KEY;  // 0x20119

bool KeyExists(HKEY root, const char* path, DWORD access = kRead64) {
    CMyRegKey k;
    return k.Open(root, path, access) == ERROR_SUCCESS;
}
}  // namespace

TEST(RegistryTest, StoreLocationFollowsTheEnvironment) {
    SandboxHome sandbox;
    const std::string file = sandbox.dir().Sub("registry.db");
    EXPECT_EQ(file, GetRegistryStorePath());
    CMyRegKey k;
    ASSERT_EQ(ERROR_SUCCESS, k.Create(HKEY_CURRENT_USER, "Software\\Korvel"));
    EXPECT_TRUE(PathFileExists(Utf8ToWide(file)));

    // Without the variable: below XDG_DATA_HOME, folders created on first use.
    ScopedEnv unset("KORVEL_REGISTRY_DB", nullptr);
    const std::string fallback = sandbox.home() + "/.local/share/korvel/registry.db";
    EXPECT_EQ(fallback, GetRegistryStorePath());
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, "Software\\Korvel"));  // another store
    ASSERT_EQ(ERROR_SUCCESS, k.Create(HKEY_CURRENT_USER, "Software\\Other"));
    EXPECT_TRUE(PathFileExists(Utf8ToWide(fallback)));
}

TEST(RegistryTest, CreateMakesMissingParentsAndOpenNeverCreates) {
    SandboxHome sandbox;
    CMyRegKey k;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, k.Open(HKEY_CURRENT_USER, "Software\\A\\B", KEY_READ));
    EXPECT_FALSE(k.IsOpen());
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, k.Open(HKEY_CURRENT_USER, "Software\\A", KEY_READ));
    ASSERT_EQ(ERROR_SUCCESS, k.Create(HKEY_CURRENT_USER, "Software\\A\\B\\C"));
    EXPECT_TRUE(k.IsOpen());
    EXPECT_EQ("Software\\A\\B\\C", k.GetSubKey());
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, "Software\\A"));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, "Software\\A\\B"));
    EXPECT_EQ(ERROR_SUCCESS, k.Close());
    EXPECT_FALSE(k.IsOpen());
    EXPECT_EQ(ERROR_INVALID_HANDLE, k.SetDword("x", 1));
    EXPECT_EQ(ERROR_INVALID_HANDLE, k.Create(reinterpret_cast<HKEY>(uintptr_t{42}), "x"));
}

TEST(RegistryTest, ReadingThroughCreateLeavesAnEmptyKeyBehind) {
    SandboxHome sandbox;
    {
        CMyRegKey k;
        ASSERT_EQ(ERROR_SUCCESS, k.Create(HKEY_LOCAL_MACHINE, kUninstall));
        int flag = 77;
        EXPECT_EQ(ERROR_FILE_NOT_FOUND, k.QueryDword("cfg_flag", flag));
        EXPECT_EQ(77, flag);  // untouched when missing
        std::string s = "unchanged";
        EXPECT_EQ(ERROR_FILE_NOT_FOUND, k.QueryString("InstallLocation", s));
        EXPECT_EQ("unchanged", s);
    }
    CMyRegKey again;
    ASSERT_EQ(ERROR_SUCCESS, again.Open(HKEY_LOCAL_MACHINE, kUninstall, KEY_READ));
    RegKeyInfo info;
    ASSERT_EQ(ERROR_SUCCESS, again.QueryInfo(info));
    EXPECT_EQ(0u, info.nValues);
    EXPECT_EQ(0u, info.nSubKeys);
}

TEST(RegistryTest, ThirtyTwoBitViewOfMachineSoftwareIsRedirected) {
    SandboxHome sandbox;
    CMyRegKey k;
    ASSERT_EQ(ERROR_SUCCESS, k.Create(HKEY_LOCAL_MACHINE, "Software\\Korvel\\Korvel 12"));
    ASSERT_EQ(ERROR_SUCCESS, k.SetString("InstallPath", "/opt/korvel"));
    k.Close();

    // The 64-bit view sees it only below WOW6432Node.
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, "Software\\Korvel\\Korvel 12"));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\WOW6432Node\\Korvel\\Korvel 12"));
    // The 32-bit view (no flag, or KEY_WOW64_32KEY) finds it under its own name,
    // and a path already naming WOW6432Node is not redirected twice.
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\korvel\\KORVEL 12", KEY_READ));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, "Software\\Korvel", KEY_READ | KEY_WOW64_32KEY));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, "Software\\Wow6432Node\\Korvel", KEY_READ));

    // A 64-bit product's key written elsewhere is reached only with KEY_WOW64_64KEY.
    CMyRegKey native;
    ASSERT_EQ(ERROR_SUCCESS,
              native.Open(HKEY_LOCAL_MACHINE, "SOFTWARE", KEY_ALL_ACCESS | KEY_WOW64_64KEY));
    char name[256];
    ASSERT_EQ(ERROR_SUCCESS, native.EnumKey(0, name));
    EXPECT_STREQ("WOW6432Node", name);
    EXPECT_EQ(ERROR_NO_MORE_ITEMS, native.EnumKey(1, name));

    // Keys outside SOFTWARE and the user hive are shared by both views.
    ASSERT_EQ(ERROR_SUCCESS, k.Create(HKEY_LOCAL_MACHINE, "SYSTEM\\Korvel"));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, "SYSTEM\\Korvel"));
    ASSERT_EQ(ERROR_SUCCESS, k.Create(HKEY_CURRENT_USER, "Software\\Korvel"));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, "Software\\Korvel"));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, "Software\\WOW6432Node\\Korvel"));
}

TEST(RegistryTest, StringsKeepTheirNulAndTheTwoHundredByteLimit) {
    SandboxHome sandbox;
    CMyRegKey k;
    ASSERT_EQ(ERROR_SUCCESS, k.Create(HKEY_LOCAL_MACHINE, kUninstall));
    ASSERT_EQ(ERROR_SUCCESS, k.SetString("DisplayName", "abc"));
    DWORD size = 0;
    EXPECT_EQ(ERROR_SUCCESS, k.QueryValue("DisplayName", nullptr, &size));
    EXPECT_EQ(4u, size);
    char raw[8] = {'x', 'x', 'x', 'x', 'x'};
    size = sizeof(raw);
    EXPECT_EQ(ERROR_SUCCESS, k.QueryValue("DisplayName", raw, &size));
    EXPECT_EQ(4u, size);
    EXPECT_EQ(0, memcmp(raw, "abc\0", 4));

    const std::string fits(199, 'f');  // 200 bytes with the NUL
    ASSERT_EQ(ERROR_SUCCESS, k.SetString("Fits", fits.c_str()));
    std::string out;
    EXPECT_EQ(ERROR_SUCCESS, k.QueryString("Fits", out));
    EXPECT_EQ(fits, out);
    ASSERT_EQ(ERROR_SUCCESS, k.SetString("TooLong", std::string(200, 't').c_str()));
    out = "before";
    EXPECT_EQ(ERROR_MORE_DATA, k.QueryString("TooLong", out));
    EXPECT_EQ("before", out);

    // Non-ASCII text is stored as UTF-8 bytes.
    ASSERT_EQ(ERROR_SUCCESS, k.SetString("Publisher", "K\xC3\xB6rvel"));
    EXPECT_EQ(ERROR_SUCCESS, k.QueryValue("Publisher", nullptr, &size));
    EXPECT_EQ(8u, size);  // K, two bytes for o-umlaut, rvel, NUL
}

TEST(RegistryTest, DwordQueriesFollowTheTypeRules) {
    SandboxHome sandbox;
    CMyRegKey k;
    ASSERT_EQ(ERROR_SUCCESS, k.Create(HKEY_LOCAL_MACHINE, kUninstall));
    ASSERT_EQ(ERROR_SUCCESS, k.SetDword("cfg_flag", 0xFFFFFFFEu));
    int v = 0;
    EXPECT_EQ(ERROR_SUCCESS, k.QueryDword("cfg_flag", v));
    EXPECT_EQ(-2, v);
    v = 0;
    EXPECT_EQ(ERROR_SUCCESS, k.QueryDwordStrict("cfg_flag", v));
    EXPECT_EQ(-2, v);
    DWORD size = 4;
    unsigned char raw[4];
    EXPECT_EQ(-1, k.QueryValue("cfg_flag", raw, &size));  // success, but not a string type
    EXPECT_EQ(0, memcmp(raw, "\xFE\xFF\xFF\xFF", 4));     // little-endian

    // A REG_SZ of 4 bytes: the plain query takes its bytes, the strict one refuses.
    ASSERT_EQ(ERROR_SUCCESS, k.SetString("text", "abc"));
    v = 0;
    EXPECT_EQ(ERROR_SUCCESS, k.QueryDword("text", v));
    EXPECT_EQ(0x00636261, v);
    v = 0;
    EXPECT_EQ(-1, k.QueryDwordStrict("text", v));
    EXPECT_EQ(0x00636261, v);  // already written
    // Shorter than 4 bytes: not a DWORD for the strict query.
    ASSERT_EQ(ERROR_SUCCESS, k.SetString("short", "a"));
    EXPECT_EQ(-1, k.QueryDwordStrict("short", v));
    EXPECT_EQ('a', v);
    // More than 4 bytes do not fit.
    ASSERT_EQ(ERROR_SUCCESS, k.SetString("long", "abcdef"));
    v = 5;
    EXPECT_EQ(ERROR_MORE_DATA, k.QueryDword("long", v));
    EXPECT_EQ(5, v);
    // A DWORD read as a string gives the text of its bytes.
    ASSERT_EQ(ERROR_SUCCESS, k.SetDword("num", 0x00434241));
    std::string s;
    EXPECT_EQ(ERROR_SUCCESS, k.QueryString("num", s));
    EXPECT_EQ("ABC", s);
}

TEST(RegistryTest, RawQueryReportsTheSizeNeeded) {
    SandboxHome sandbox;
    CMyRegKey k;
    ASSERT_EQ(ERROR_SUCCESS, k.Create(HKEY_CURRENT_USER, "Software\\Korvel"));
    ASSERT_EQ(ERROR_SUCCESS, k.SetString("s", "hello"));
    char small[3];
    DWORD size = sizeof(small);
    EXPECT_EQ(ERROR_MORE_DATA, k.QueryValue("s", small, &size));
    EXPECT_EQ(6u, size);
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, k.QueryValue("missing", small, &size));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, k.QueryValue("s", small, nullptr));
}

TEST(RegistryTest, NamesCompareWithoutCaseAndKeepTheirSpelling) {
    SandboxHome sandbox;
    CMyRegKey k;
    ASSERT_EQ(ERROR_SUCCESS, k.Create(HKEY_CURRENT_USER, "Software\\Korvel\\MixedCase"));
    ASSERT_EQ(ERROR_SUCCESS, k.SetString("InstallLocation", "/first"));
    ASSERT_EQ(ERROR_SUCCESS, k.SetString("INSTALLLOCATION", "/second"));
    std::string s;
    EXPECT_EQ(ERROR_SUCCESS, k.QueryString("installlocation", s));
    EXPECT_EQ("/second", s);
    RegKeyInfo info;
    ASSERT_EQ(ERROR_SUCCESS, k.QueryInfo(info));
    EXPECT_EQ(1u, info.nValues);

    CMyRegKey same;
    ASSERT_EQ(ERROR_SUCCESS, same.Create(HKEY_CURRENT_USER, "SOFTWARE\\KORVEL\\MIXEDCASE"));
    EXPECT_EQ(ERROR_SUCCESS, same.QueryString("InstallLocation", s));
    CMyRegKey parent;
    ASSERT_EQ(ERROR_SUCCESS, parent.Open(HKEY_CURRENT_USER, "software\\korvel", KEY_READ));
    char name[256];
    ASSERT_EQ(ERROR_SUCCESS, parent.EnumKey(0, name));
    EXPECT_STREQ("MixedCase", name);  // the first spelling is kept
    EXPECT_EQ(ERROR_NO_MORE_ITEMS, parent.EnumKey(1, name));
}

TEST(RegistryTest, QueryInfoAndEnumerationDescribeTheKey) {
    SandboxHome sandbox;
    CMyRegKey k;
    ASSERT_EQ(ERROR_SUCCESS, k.Create(HKEY_CURRENT_USER, "Software\\Enum"));
    for (const char* sub : {"beta", "Alpha", "gamma-longest"}) {
        CMyRegKey child;
        ASSERT_EQ(ERROR_SUCCESS,
                  child.Create(HKEY_CURRENT_USER, (std::string("Software\\Enum\\") + sub).c_str()));
    }
    ASSERT_EQ(ERROR_SUCCESS, k.SetString("name-of-eleven", "0123456789"));
    ASSERT_EQ(ERROR_SUCCESS, k.SetDword("d", 1));
    RegKeyInfo info;
    ASSERT_EQ(ERROR_SUCCESS, k.QueryInfo(info));
    EXPECT_EQ(3u, info.nSubKeys);
    EXPECT_EQ(13u, info.nMaxSubKeyLen);
    EXPECT_EQ(2u, info.nValues);
    EXPECT_EQ(14u, info.nMaxValueNameLen);
    EXPECT_EQ(11u, info.nMaxValueLen);
    EXPECT_STREQ("", info.szClass);

    std::vector<std::string> names;
    char name[256];
    for (DWORD i = 0; k.EnumKey(i, name) == ERROR_SUCCESS; ++i)
        names.push_back(name);
    EXPECT_EQ((std::vector<std::string>{"Alpha", "beta", "gamma-longest"}), names);
    EXPECT_EQ(ERROR_NO_MORE_ITEMS, k.EnumKey(3, name));
    EXPECT_EQ(ERROR_INVALID_PARAMETER,
              k.Create(HKEY_CURRENT_USER, ("Software\\" + std::string(256, 'n')).c_str()));
}

TEST(RegistryTest, DeletingValuesAndTrees) {
    SandboxHome sandbox;
    CMyRegKey root;
    ASSERT_EQ(ERROR_SUCCESS, root.Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Korvel"));
    CMyRegKey leaf;
    ASSERT_EQ(ERROR_SUCCESS, leaf.Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Korvel\\Tree\\Deep\\Leaf"));
    ASSERT_EQ(ERROR_SUCCESS, leaf.SetString("v", "x"));
    ASSERT_EQ(ERROR_SUCCESS, root.SetString("keep", "x"));
    ASSERT_EQ(ERROR_SUCCESS, root.SetString("drop", "x"));

    EXPECT_EQ(ERROR_SUCCESS, root.DeleteValue("DROP"));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, root.DeleteValue("drop"));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, root.DeleteSubKeyTree("Missing"));
    EXPECT_EQ(ERROR_SUCCESS, root.DeleteSubKeyTree("tree"));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\Korvel\\Tree", KEY_READ));
    std::string s;
    EXPECT_EQ(ERROR_SUCCESS, root.QueryString("keep", s));
    // A handle to a deleted key fails instead of writing into nowhere.
    EXPECT_EQ(ERROR_KEY_DELETED, leaf.SetString("v", "y"));
    EXPECT_EQ(ERROR_KEY_DELETED, leaf.QueryString("v", s));
    // Re-created keys start empty.
    CMyRegKey again;
    ASSERT_EQ(ERROR_SUCCESS,
              again.Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Korvel\\Tree\\Deep\\Leaf"));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, again.QueryString("v", s));
    EXPECT_EQ(ERROR_KEY_DELETED, leaf.QueryString("v", s));

    // A null sub-key empties this key but keeps it.
    EXPECT_EQ(ERROR_SUCCESS, root.DeleteSubKeyTree(nullptr));
    RegKeyInfo info;
    ASSERT_EQ(ERROR_SUCCESS, root.QueryInfo(info));
    EXPECT_EQ(0u, info.nSubKeys);
    EXPECT_EQ(0u, info.nValues);
}

TEST(RegistryTest, AccessMaskIsEnforced) {
    SandboxHome sandbox;
    CMyRegKey k;
    ASSERT_EQ(ERROR_SUCCESS, k.Create(HKEY_CURRENT_USER, "Software\\Korvel"));
    ASSERT_EQ(ERROR_SUCCESS, k.SetString("s", "x"));
    CMyRegKey ro;
    ASSERT_EQ(ERROR_SUCCESS, ro.Open(HKEY_CURRENT_USER, "Software\\Korvel", KEY_READ));
    EXPECT_EQ(ERROR_ACCESS_DENIED, ro.SetString("s", "y"));
    EXPECT_EQ(ERROR_ACCESS_DENIED, ro.DeleteValue("s"));
    std::string s;
    EXPECT_EQ(ERROR_SUCCESS, ro.QueryString("s", s));
    EXPECT_EQ("x", s);
    CMyRegKey wo;
    ASSERT_EQ(ERROR_SUCCESS, wo.Open(HKEY_CURRENT_USER, "Software\\Korvel", KEY_WRITE));
    EXPECT_EQ(ERROR_ACCESS_DENIED, wo.QueryString("s", s));
    EXPECT_EQ(ERROR_SUCCESS, wo.SetString("s", "z"));
}

TEST(RegistryTest, ThreadsWritingAtOnceLoseNothing) {
    SandboxHome sandbox;
    constexpr int kThreads = 4;
    constexpr int kValues = 50;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < kValues; ++i) {
                CMyRegKey k;
                if (k.Create(HKEY_CURRENT_USER, "Software\\Threads") != ERROR_SUCCESS)
                    return;
                k.SetDword(("t" + std::to_string(t) + "_" + std::to_string(i)).c_str(), i);
            }
        });
    }
    for (auto& th : threads)
        th.join();
    CMyRegKey k;
    ASSERT_EQ(ERROR_SUCCESS, k.Open(HKEY_CURRENT_USER, "Software\\Threads", KEY_READ));
    RegKeyInfo info;
    ASSERT_EQ(ERROR_SUCCESS, k.QueryInfo(info));
    EXPECT_EQ(static_cast<DWORD>(kThreads * kValues), info.nValues);
}

TEST(RegistryTest, TwoProcessesWritingAtOnceLoseNothing) {
    SandboxHome sandbox;
    constexpr int kWriters = 2;
    constexpr int kValues = 250;
    CMyRegKey shared;
    ASSERT_EQ(ERROR_SUCCESS,
              shared.Create(HKEY_LOCAL_MACHINE, kUninstall));  // parent uses the store first
    std::vector<pid_t> children;
    for (int w = 0; w < kWriters; ++w) {
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            int failures = 0;
            for (int i = 0; i < kValues; ++i) {
                CMyRegKey k;
                const std::string sub = std::string(kUninstall) + "\\w" + std::to_string(w);
                failures += k.Create(HKEY_LOCAL_MACHINE, sub.c_str()) != ERROR_SUCCESS;
                failures += k.SetDword(("v" + std::to_string(i)).c_str(), i) != ERROR_SUCCESS;
                CMyRegKey common;
                failures += common.Create(HKEY_LOCAL_MACHINE, kUninstall) != ERROR_SUCCESS;
                const std::string name = "w" + std::to_string(w) + "_" + std::to_string(i);
                failures += common.SetString(name.c_str(), name.c_str()) != ERROR_SUCCESS;
            }
            _exit(failures == 0 ? 0 : 1);
        }
        children.push_back(pid);
    }
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(pid, waitpid(pid, &status, 0));
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a writer saw a failure";
    }
    RegKeyInfo info;
    ASSERT_EQ(ERROR_SUCCESS, shared.QueryInfo(info));
    EXPECT_EQ(static_cast<DWORD>(kWriters * kValues), info.nValues);
    EXPECT_EQ(static_cast<DWORD>(kWriters), info.nSubKeys);
    for (int w = 0; w < kWriters; ++w) {
        CMyRegKey k;
        const std::string sub = std::string(kUninstall) + "\\w" + std::to_string(w);
        ASSERT_EQ(ERROR_SUCCESS, k.Open(HKEY_LOCAL_MACHINE, sub.c_str(), KEY_READ));
        for (int i = 0; i < kValues; ++i) {
            int v = -1;
            ASSERT_EQ(ERROR_SUCCESS, k.QueryDwordStrict(("v" + std::to_string(i)).c_str(), v));
            EXPECT_EQ(i, v);
            std::string s;
            const std::string name = "w" + std::to_string(w) + "_" + std::to_string(i);
            ASSERT_EQ(ERROR_SUCCESS, shared.QueryString(name.c_str(), s));
            EXPECT_EQ(name, s);
        }
    }
}
