#include "install/shortcuts.h"

#include <cstdlib>

#include "platform/folders.h"
#include "platform/log.h"
#include "platform/registry.h"
#include "platform/shell_link.h"
#include "platform/system.h"
#include "platform/text.h"

namespace {

constexpr char kWindowMetricsKey[] = "Control Panel\\Desktop\\WindowMetrics";
constexpr char kShellIconSize[] = "Shell Icon Size";
constexpr int kDefaultIconSize = 32;
constexpr uint32_t kRefreshPauseMs = 200;

bool ResolveFolder(int kind, const wchar_t* workFolder, std::wstring& folder) {
    if (kind == kFolderGiven) {
        folder = workFolder ? workFolder : L"";
        return !folder.empty();
    }
    wchar_t buffer[kMaxPath] = {0};
    if (!GetShellFolder(kind > kFolderGiven ? kFolderDesktop : kind, buffer))
        return false;
    folder = buffer;
    return true;
}

void CreateSetInMenu(const ShortcutSet& set, const ShortcutTexts& texts, int kind) {
    const std::wstring& d = set.strDisplayName;
    const std::wstring target = JoinPath(set.strProgramFolder, set.strMainExe);
    const std::wstring uninstall = JoinPath(set.strProgramFolder, L"uninstall.exe");
    const wchar_t* work = set.strProgramFolder.c_str();
    CreateShortcut(target.c_str(), work, d.c_str(), kind, d.c_str(),
                   (d + texts.strApplication).c_str(), nullptr, nullptr);
    CreateShortcut(uninstall.c_str(), work, texts.strUninstallProduct.c_str(), kind, d.c_str(),
                   (d + texts.strUninstallApplication).c_str(), nullptr, nullptr);
    CreateShortcut(set.strWebAddress.c_str(), nullptr, texts.strOnline.c_str(), kind, d.c_str(),
                   (d + texts.strHomepage).c_str(), nullptr, nullptr);
}

std::wstring MiniName(const PackageHeader& header, const InstallProductFacts& facts) {
    return facts.strProductTitle + (header.nX64 ? L" Mini (x64)" : L" Mini");
}

bool StoreIconSize(int value) {
    CMyRegKey key;
    if (key.Open(HKEY_CURRENT_USER, kWindowMetricsKey, KEY_WRITE) != ERROR_SUCCESS)
        return false;
    const LONG r = key.SetString(kShellIconSize, std::to_string(value).c_str());
    key.Close();
    return r == ERROR_SUCCESS;
}

// Only desktop entries go; the folder itself only when nothing else is left in it.
void RemoveMenuFolder(int kind, const std::wstring& displayName) {
    wchar_t buffer[kMaxPath] = {0};
    if (!GetShellFolder(kind, buffer))
        return;
    RemoveShellLinkFolder(JoinPath(buffer, displayName));
}

}  // namespace

HRESULT CreateShortcut(const wchar_t* target, const wchar_t* workFolder, const wchar_t* linkName,
                       int kind, const wchar_t* subFolder, const wchar_t* description,
                       const wchar_t* iconFile, const wchar_t* arguments) {
    if (!target || !linkName)
        return E_POINTER;
    std::wstring folder;
    if (!ResolveFolder(kind, workFolder, folder) || !PathIsDirectory(folder))
        return E_FAIL;
    if (subFolder && *subFolder) {
        folder = JoinPath(folder, subFolder);
        CreateFolderChain(folder);
    }
    const std::wstring path = JoinPath(folder, ShellLinkFileName(linkName));
    return WriteShellLink(path, target, workFolder, linkName, description, iconFile, arguments)
               ? S_OK
               : E_FAIL;
}

void CreateIcons(const ShortcutSet& set, const ShortcutTexts& texts) {
    const std::wstring& d = set.strDisplayName;
    if (set.bDesktop) {
        const std::wstring target = JoinPath(set.strProgramFolder, set.strMainExe);
        CreateShortcut(target.c_str(), set.strProgramFolder.c_str(), d.c_str(), kFolderDesktop,
                       nullptr, (d + texts.strApplication).c_str(), nullptr, nullptr);
        WriteLog("Create DESKTOP Icons Finish.");
    }
    if (set.bUserStartMenu) {
        CreateSetInMenu(set, texts, kFolderUserPrograms);
        WriteLog("Create START_MENU Icons Finish.");
    }
    if (set.bCommonStartMenu) {
        CreateSetInMenu(set, texts, kFolderCommonPrograms);
        WriteLog("Create COMMON_MENU Icons Finish.");
    }
}

void CreateProductIcons(const ShortcutSet& set, const ShortcutTexts& texts,
                        const PackageHeader& header, const InstallProductFacts& facts) {
    const std::wstring target = JoinPath(set.strProgramFolder, set.strMainExe);
    const std::wstring mini = MiniName(header, facts);
    const std::wstring icon =
        JoinPath(set.strProgramFolder, header.nX64 ? facts.strMiniIcon64 : facts.strMiniIcon32);
    const std::wstring description = mini + texts.strApplication;
    const wchar_t* args = L" --minimode";
    const wchar_t* work = set.strProgramFolder.c_str();
    const wchar_t* sub = set.strDisplayName.c_str();
    if (set.bDesktop)
        CreateShortcut(target.c_str(), work, mini.c_str(), kFolderDesktop, nullptr,
                       description.c_str(), icon.c_str(), args);
    if (set.bUserStartMenu)
        CreateShortcut(target.c_str(), work, mini.c_str(), kFolderUserPrograms, sub,
                       description.c_str(), icon.c_str(), args);
    if (set.bCommonStartMenu)
        CreateShortcut(target.c_str(), work, mini.c_str(), kFolderCommonPrograms, sub,
                       description.c_str(), icon.c_str(), args);
    CreateIcons(set, texts);
}

void DeleteIcons(const std::wstring& displayName) {
    wchar_t desktop[kMaxPath] = {0};
    if (GetShellFolder(kFolderDesktop, desktop))
        DeleteFilePath(JoinPath(desktop, ShellLinkFileName(displayName)));
    RemoveMenuFolder(kFolderUserPrograms, displayName);
    RemoveMenuFolder(kFolderCommonPrograms, displayName);
}

void DeleteProductIcons(const std::wstring& displayName, const PackageHeader& header,
                        const InstallProductFacts& facts) {
    wchar_t desktop[kMaxPath] = {0};
    if (GetShellFolder(kFolderDesktop, desktop))
        DeleteFilePath(JoinPath(desktop, ShellLinkFileName(MiniName(header, facts))));
    DeleteIcons(displayName);
}

void RefreshIcons(const std::function<void()>& pause) {
    int size = 0;
    CMyRegKey key;
    if (key.Open(HKEY_CURRENT_USER, kWindowMetricsKey, KEY_READ) == ERROR_SUCCESS) {
        std::string text;
        if (key.QueryString(kShellIconSize, text) == ERROR_SUCCESS)
            size = atoi(text.c_str());
        key.Close();
    }
    if (size <= 0)
        size = kDefaultIconSize;
    StoreIconSize(size + 1);  // the WM_WININICHANGE broadcast has no POSIX counterpart
    if (pause)
        pause();
    else
        Sleep(kRefreshPauseMs);
    StoreIconSize(size);
}
