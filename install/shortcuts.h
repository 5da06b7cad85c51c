// Shortcuts of the installed product. On POSIX a shortcut is a freedesktop
// desktop entry (link name + ".desktop", executable); an application target
// gives Type=Application, a web address Type=Link.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "install/package.h"
#include "install/product_facts.h"
#include "platform/shell_link.h"  // BuildDesktopEntry, for checking the quoting
#include "platform/types.h"

constexpr int kFolderGiven = 5;  // the working-folder argument names the folder

struct ShortcutSet {
    std::wstring strProgramFolder;
    std::wstring strMainExe;
    std::wstring strDisplayName;
    std::wstring strWebAddress;
    bool bDesktop = false;
    bool bUserStartMenu = true;
    bool bCommonStartMenu = true;
};

// Language texts the shortcuts use, product name already filled in.
struct ShortcutTexts {
    std::wstring strUninstallApplication;  // 35 "Uninstall Application"
    std::wstring strApplication;           // 36 "Application"
    std::wstring strHomepage;              // 38 "Homepage"
    std::wstring strOnline;                // 46 "<product> Online"
    std::wstring strUninstallProduct;      // 47 "Uninstall <product>"
};

// 0; E_POINTER for a null target or link name; E_FAIL when the folder of the
// kind does not exist or the entry cannot be written.
HRESULT CreateShortcut(const wchar_t* target, const wchar_t* workFolder, const wchar_t* linkName,
                       int kind, const wchar_t* subFolder, const wchar_t* description,
                       const wchar_t* iconFile, const wchar_t* arguments);

// Program, uninstall and web shortcuts on the desktop and in both Start menus.
void CreateIcons(const ShortcutSet& set, const ShortcutTexts& texts);
// The product's set: its Mini shortcuts first, then the base set.
void CreateProductIcons(const ShortcutSet& set, const ShortcutTexts& texts,
                        const PackageHeader& header, const InstallProductFacts& facts);
// Removes the desktop shortcut and the product's entries in both Start menus.
void DeleteIcons(const std::wstring& displayName);
// The product's variant: also its Mini desktop shortcut.
void DeleteProductIcons(const std::wstring& displayName, const PackageHeader& header,
                        const InstallProductFacts& facts);

// Nudges "Shell Icon Size" up by one and back so that the shell rebuilds its
// icons (the broadcast is a no-op on POSIX). pause runs between the two
// stores; by default the product's 200 ms.
void RefreshIcons(const std::function<void()>& pause = nullptr);
