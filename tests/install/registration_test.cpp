// The uninstall entry, the saved options and the traces of an earlier installation.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include "install/install_record.h"
#include "install/package.h"
#include "install/registration.h"
#include "platform/folders.h"
#include "platform/log.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "tests/install/install_fixture.h"
#include "tests/support/test_support.h"

using namespace korvel_test;

namespace {

std::string Value(const std::string& key, const char* name) {
    CMyRegKey k;
    std::string v;
    if (k.Open(HKEY_LOCAL_MACHINE, (kUninstallKeyPrefix + key).c_str(), KEY_READ) == ERROR_SUCCESS)
        k.QueryString(name, v);
    return v;
}

int Dword(const std::string& key, const char* name) {
    CMyRegKey k;
    int v = -1;
    if (k.Open(HKEY_LOCAL_MACHINE, (kUninstallKeyPrefix + key).c_str(), KEY_READ) == ERROR_SUCCESS)
        k.QueryDwordStrict(name, v);
    return v;
}

// The store keeps rows in insertion order: the order the values were written.
std::vector<std::string> ValueNamesInWriteOrder(const std::string& keyName) {
    std::vector<std::string> names;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(GetRegistryStorePath().c_str(), &db, SQLITE_OPEN_READONLY, nullptr) ==
        SQLITE_OK) {
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db,
                           "SELECT v.name FROM reg_value v JOIN reg_key k ON v.key_id = k.id "
                           "WHERE k.name = ?1 ORDER BY v.rowid",
                           -1, &st, nullptr);
        sqlite3_bind_text(st, 1, keyName.c_str(), -1, SQLITE_TRANSIENT);
        while (sqlite3_step(st) == SQLITE_ROW)
            names.push_back(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
        sqlite3_finalize(st);
    }
    sqlite3_close(db);
    return names;
}

// Makes the given folder the program path of this process.
void InstallInto(const TempDir& dir, const std::wstring& folder) {
    ScopedEnv tmp("TMPDIR", dir.path().c_str());
    WriteFile(dir.Sub("p.exe"),
              PackageAround(RawArchive({{"Korvel64.exe", 'f', "MZ", 0755}}), "U"));
    ASSERT_EQ(S_OK, InstallPackage(dir.WSub("p.exe").c_str(), nullptr, folder.c_str(),
                                   InstallOptions::kSetup));
}

TEST(Registration, UninstallEntryHoldsAllSeventeenValues) {
    SandboxHome home;
    TempDir dir;
    const std::wstring folder = dir.WSub("Korvel 12");
    InstallInto(dir, folder);
    const InstallProductFacts facts = KorvelFacts(true);
    const PackageHeader header = MakePackageHeader(facts);
    WriteUninstallEntry(header, facts, 3);

    const std::string key = "Korvel 12 (x64)";
    const std::string f = WideToOem(folder);
    EXPECT_EQ(f + "/Korvel64.exe", Value(key, "DisplayIcon"));
    EXPECT_EQ("12.0.0.2", Value(key, "Version"));
    EXPECT_EQ("12.0.0.2", Value(key, "DisplayVersion"));
    EXPECT_EQ("Korvel 12 (x64) (2020-10-15)", Value(key, "DisplayName"));
    EXPECT_EQ(227016, Dword(key, "EstimatedSize"));
    EXPECT_EQ("https://www.example.com/korvel", Value(key, "HelpLink"));
    EXPECT_EQ("20201015", Value(key, "InstallDate"));
    EXPECT_EQ(f, Value(key, "InstallLocation"));
    EXPECT_EQ(1, Dword(key, "NoModify"));
    EXPECT_EQ(1, Dword(key, "NoRepair"));
    EXPECT_EQ("(c) Korvel Software", Value(key, "Publisher"));
    EXPECT_EQ("\"" + f + "/uninstall.exe\" /SILENT", Value(key, "QuietUninstallString"));
    EXPECT_EQ(229986, Dword(key, "sEstimatedSize2"));
    EXPECT_EQ("\"" + f + "/uninstall.exe\"", Value(key, "UninstallString"));
    EXPECT_EQ("https://www.example.com/korvel", Value(key, "URLInfoAbout"));
    EXPECT_EQ("https://www.example.com/korvel", Value(key, "URLUpdateInfo"));
    EXPECT_EQ(3, Dword(key, "cfg_flag"));
    RegKeyInfo info;
    CMyRegKey k;
    ASSERT_EQ(ERROR_SUCCESS,
              k.Open(HKEY_LOCAL_MACHINE, (kUninstallKeyPrefix + key).c_str(), KEY_READ));
    ASSERT_EQ(ERROR_SUCCESS, k.QueryInfo(info));
    EXPECT_EQ(17u, info.nValues);
    EXPECT_EQ((std::vector<std::string>{
                  "DisplayIcon", "Version", "DisplayVersion", "DisplayName", "EstimatedSize",
                  "HelpLink", "InstallDate", "InstallLocation", "NoModify", "NoRepair", "Publisher",
                  "QuietUninstallString", "sEstimatedSize2", "UninstallString", "URLInfoAbout",
                  "URLUpdateInfo", "cfg_flag"}),
              ValueNamesInWriteOrder(key));
}

TEST(Registration, SixtyFourBitEntryIsWrittenWithTheBlankAndLookedUpWithout) {
    SandboxHome home;
    TempDir dir;
    InstallInto(dir, dir.WSub("K"));
    const InstallProductFacts x64 = KorvelFacts(true);
    WriteUninstallEntry(MakePackageHeader(x64), x64, 2);
    int flag = 1;
    ReadSetupOptions(MakePackageHeader(x64), x64, flag);
    EXPECT_EQ(1, flag);  // "Korvel 12(x64)" holds nothing
    EXPECT_EQ("", FindOldInstallPath(MakePackageHeader(x64), x64));
    ASSERT_TRUE(SetUninstallString("Korvel 12(x64)", "InstallLocation", "/somewhere"));
    EXPECT_EQ("/somewhere", FindOldInstallPath(MakePackageHeader(x64), x64));

    const InstallProductFacts x86 = KorvelFacts(false);
    WriteUninstallEntry(MakePackageHeader(x86), x86, 2);
    ReadSetupOptions(MakePackageHeader(x86), x86, flag);
    EXPECT_EQ(2, flag);
    EXPECT_EQ(WideToOem(dir.WSub("K")), FindOldInstallPath(MakePackageHeader(x86), x86));
}

TEST(Registration, MissingOptionValueLeavesTheBitsAlone) {
    SandboxHome home;
    int value = 5;
    EXPECT_TRUE(ReadUninstallDword("Nothing Here", kCfgFlagValue, value));
    EXPECT_EQ(5, value);
    std::string location;
    EXPECT_FALSE(ReadInstallLocation("Nothing Here", location));
}

TEST(Registration, IsNewInstallFollowsEachTraceOfAnEarlierInstallation) {
    SandboxHome home;
    TempDir dir;
    const InstallProductFacts facts = KorvelFacts(true);
    const PackageHeader header = MakePackageHeader(facts);
    const std::wstring folder = dir.WSub("Korvel 12");
    CreateFolderChain(folder);
    EXPECT_TRUE(IsNewInstall(folder, header, facts));

    WriteFile(dir.Sub("Korvel 12/uninstall.exe"), "U");
    EXPECT_FALSE(IsNewInstall(folder, header, facts));
    DeleteFilePath(dir.WSub("Korvel 12/uninstall.exe"));

    CreateFolderChain(dir.WSub("old place"));
    SetUninstallString("Korvel 12(x64)", "InstallLocation", dir.Sub("old place"));
    EXPECT_FALSE(IsNewInstall(folder, header, facts));
    SetUninstallString("Korvel 12(x64)", "InstallLocation", dir.Sub("gone"));  // no longer there
    EXPECT_TRUE(IsNewInstall(folder, header, facts));

    {
        CMyRegKey product;
        ASSERT_EQ(ERROR_SUCCESS,
                  product.Create(HKEY_LOCAL_MACHINE, "Software\\Korvel\\Korvel 12 (x64)"));
        product.SetString("InstallPath", "/opt/korvel");
    }
    EXPECT_FALSE(IsNewInstall(folder, header, facts));
    {
        CMyRegKey product;
        product.Create(HKEY_LOCAL_MACHINE, "Software\\Korvel\\Korvel 12 (x64)");
        product.DeleteValue("InstallPath");
    }
    EXPECT_TRUE(IsNewInstall(folder, header, facts));

    CreateFolderChain(Utf8ToWide(home.home() + "/.config/Korvel/Korvel12"));
    EXPECT_FALSE(IsNewInstall(folder, header, facts));
}

TEST(Registration, UpdaterIsMovedAsideAndAMissingOneIsLogged) {
    TempDir dir;
    const std::wstring folder = dir.WSub("K");
    CreateFolderChain(folder);
    {
        LogCapture capture;
        MoveToInstallerTemp(folder, {L"LiveUpdate.exe"});
        EXPECT_TRUE(capture.Contains("MoveFileEx error : 0x2.\n"));
        EXPECT_TRUE(PathIsDirectory(dir.WSub("K/InstallerTemp")));
        EXPECT_TRUE(ListFiles(dir.Sub("K")).empty());
    }
    WriteFile(dir.Sub("K/LiveUpdate.exe"), "updater");
    WriteFile(dir.Sub("K/InstallerTemp/stale.txt"), "old");
    MoveToInstallerTemp(folder, {L"LiveUpdate.exe"});
    EXPECT_EQ((std::vector<std::string>{"InstallerTemp/LiveUpdate.exe"}), ListFiles(dir.Sub("K")));
}

}  // namespace
