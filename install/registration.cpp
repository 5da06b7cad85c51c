#include "install/registration.h"

#include "install/install_record.h"

#include <cerrno>
#include <cstdint>

#include "platform/folders.h"
#include "platform/log.h"
#include "platform/registry.h"
#include "platform/text.h"

namespace {

constexpr DWORD kEstimatedSize = 227016;
constexpr DWORD kEstimatedSize2 = 229986;
constexpr DWORD kRead64View = KEY_READ | KEY_WOW64_64KEY;  // 0x20119

bool UsesX64Suffix(const PackageHeader& header, const InstallProductFacts& facts) {
    return facts.nPlatformKind == 2 && header.nX64 != 0;
}

std::string FullKey(const std::string& keyName) {
    return kUninstallKeyPrefix + keyName;
}

// Narrow program-folder path as PathAppendA builds it in 260 characters.
std::string ProgramFile(const std::wstring& name) {
    std::string path = WideToOem(JoinPath(GetProgramPath(), name));
    if (path.size() > static_cast<size_t>(kMaxPath - 1))
        path.resize(kMaxPath - 1);
    return path;
}

bool QueryInstallPath(CMyRegKey& key) {
    std::string path;
    return key.QueryString("InstallPath", path) == ERROR_SUCCESS && !path.empty();
}

// "YYYY?MM?DD" -> "YYYYMMDD".
std::string InstallDate(const PackageHeader& header) {
    const std::string date = HeaderText(header.szReleaseDate);
    if (date.size() < 10)
        return date;
    return date.substr(0, 4) + date.substr(5, 2) + date.substr(8, 2);
}

}  // namespace

bool ReadUninstallDword(const std::string& keyName, const char* valueName, int& value) {
    CMyRegKey key;
    if (key.Create(HKEY_LOCAL_MACHINE, FullKey(keyName).c_str()) != ERROR_SUCCESS)
        return false;
    key.QueryDword(valueName, value);
    key.Close();
    return true;
}

bool ReadInstallLocation(const std::string& keyName, std::string& location) {
    CMyRegKey key;
    if (key.Create(HKEY_LOCAL_MACHINE, FullKey(keyName).c_str()) != ERROR_SUCCESS)
        return false;
    key.QueryString("InstallLocation", location);
    key.Close();
    return !location.empty();
}

bool SetUninstallString(const std::string& keyName, const char* valueName,
                        const std::string& text) {
    CMyRegKey key;
    if (key.Create(HKEY_LOCAL_MACHINE, FullKey(keyName).c_str()) != ERROR_SUCCESS)
        return false;
    key.SetString(valueName, text.c_str());
    key.Close();
    return true;
}

bool SetUninstallDword(const std::string& keyName, const char* valueName, DWORD value) {
    CMyRegKey key;
    if (key.Create(HKEY_LOCAL_MACHINE, FullKey(keyName).c_str()) != ERROR_SUCCESS)
        return false;
    key.SetDword(valueName, value);
    key.Close();
    return true;
}

std::string UninstallWriteKeyName(const PackageHeader& header, const InstallProductFacts& facts) {
    const std::string name = HeaderText(header.szRegistryName);
    return UsesX64Suffix(header, facts) ? name + " (x64)" : name;
}

std::string UninstallLookupKeyName(const PackageHeader& header, const InstallProductFacts& facts) {
    const std::string name = HeaderText(header.szRegistryName);
    return UsesX64Suffix(header, facts) ? name + "(x64)" : name;
}

std::string FindOldInstallPath(const PackageHeader& header, const InstallProductFacts& facts) {
    std::string location;
    if (!ReadInstallLocation(UninstallLookupKeyName(header, facts), location)) {
        WriteLog("Don't find install path for old version.\n");
        return std::string();
    }
    WriteLog("Find install path: (%s)\n", location.c_str());
    return location;
}

bool HasOldInstallPath(const PackageHeader& header, const InstallProductFacts& facts) {
    std::string keyName =
        "Software\\" + facts.strCompanyFolder + "\\" + WideToOem(facts.strProductTitle);
    if (UsesX64Suffix(header, facts))
        keyName += " (x64)";
    bool found = false;
    CMyRegKey key32;
    if (key32.Create(HKEY_LOCAL_MACHINE, keyName.c_str()) == ERROR_SUCCESS &&
        QueryInstallPath(key32)) {
        WriteLog("IsNewInstall : Username false\n");
        found = true;
    }
    key32.Close();
    CMyRegKey key64;
    if (key64.Open(HKEY_LOCAL_MACHINE, keyName.c_str(), kRead64View) == ERROR_SUCCESS &&
        QueryInstallPath(key64)) {
        WriteLog("IsNewInstall : WOW6432Node Username false\n");
        found = true;
    }
    key64.Close();
    return found;
}

bool IsNewInstall(const std::wstring& folder, const PackageHeader& header,
                  const InstallProductFacts& facts) {
    const bool inFolder = PathFileExists(JoinPath(folder, Utf8ToWide(kUninstallExeName)));
    WriteLog("Begin IsNewInstall : bHasOldVersion (%d)\n", inFolder ? 1 : 0);
    bool hasOld = inFolder;
    if (!hasOld)
        hasOld = PathFileExists(AnsiToWide(FindOldInstallPath(header, facts)));
    if (hasOld) {
        WriteLog("IsNewInstall : bHasOldVersion(%d).\n", inFolder ? 1 : 0);
        return false;
    }
    bool result = !HasOldInstallPath(header, facts);
    wchar_t appData[kMaxPath] = {0};
    if (GetAppDataFolder(appData)) {
        const std::wstring dataFolder =
            JoinPath(JoinPath(appData, AnsiToWide(facts.strCompanyFolder)),
                     AnsiToWide(facts.strProductFolder));
        if (PathFileExists(dataFolder)) {
            WriteLog("IsNewInstall : appdata folder\n");
            return false;
        }
    }
    return result;
}

void ReadSetupOptions(const PackageHeader& header, const InstallProductFacts& facts, int& cfgFlag) {
    const std::string keyName = UninstallLookupKeyName(header, facts);
    ReadUninstallDword(keyName, kCfgFlagValue, cfgFlag);
    WriteLog("Read Setup Cfg Flag : %d, root(%s), key(%s).\n", cfgFlag, keyName.c_str(),
             kCfgFlagValue);
}

void WriteUninstallEntry(const PackageHeader& header, const InstallProductFacts& facts,
                         int cfgFlag) {
    const std::string key = UninstallWriteKeyName(header, facts);
    const std::string version = HeaderText(header.szVersion);
    const std::string web = HeaderText(header.szWebAddress);
    const bool x64 = header.nX64 != 0;
    std::string displayName = HeaderText(header.szShortName);
    if (UsesX64Suffix(header, facts))
        displayName += " (x64)";
    displayName += " (" + HeaderText(header.szReleaseDate) + ")";
    const std::string uninstaller = "\"" + ProgramFile(Utf8ToWide(kUninstallExeName)) + "\"";

    SetUninstallString(key, "DisplayIcon",
                       ProgramFile(x64 ? facts.strMainExe64 : facts.strMainExe32));
    SetUninstallString(key, "Version", version);
    SetUninstallString(key, "DisplayVersion", version);
    SetUninstallString(key, "DisplayName", displayName);
    SetUninstallDword(key, "EstimatedSize", kEstimatedSize);
    SetUninstallString(key, "HelpLink", web);
    SetUninstallString(key, "InstallDate", InstallDate(header));
    SetUninstallString(key, "InstallLocation", ProgramFile(L""));
    SetUninstallDword(key, "NoModify", 1);
    SetUninstallDword(key, "NoRepair", 1);
    SetUninstallString(key, "Publisher", HeaderText(header.szPublisher));
    SetUninstallString(key, "QuietUninstallString", uninstaller + " /SILENT");
    SetUninstallDword(key, "sEstimatedSize2", kEstimatedSize2);
    SetUninstallString(key, "UninstallString", uninstaller);
    SetUninstallString(key, "URLInfoAbout", web);
    SetUninstallString(key, "URLUpdateInfo", web);
    SetUninstallDword(key, kCfgFlagValue, static_cast<DWORD>(cfgFlag));
    WriteLog("Write Setup Cfg Flag : %d, root(%s), key(%s).\n", cfgFlag, key.c_str(),
             kCfgFlagValue);
}

void MoveToInstallerTemp(const std::wstring& folder,
                         const std::vector<std::wstring>& updaterFiles) {
    const std::wstring temp = JoinPath(folder, L"InstallerTemp");
    if (!temp.empty() && !folder.empty())
        DeleteDirectoryTree(temp);
    CreateFolderChain(temp);
    for (const std::wstring& name : updaterFiles) {
        errno = 0;
        if (!MoveFilePath(JoinPath(folder, name), JoinPath(temp, name))) {
            const uintptr_t code = static_cast<uintptr_t>(errno);
            WriteLog("MoveFileEx error : %p.\n", reinterpret_cast<void*>(code));
        }
    }
}
