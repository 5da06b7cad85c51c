// Product facts the installation steps need, handed in by the application
// (this module never reads the product profile itself).
#pragma once

#include <string>
#include <vector>

struct InstallProductFacts {
    // Facts that also live in the package header record.
    std::string strRegistryName;  // uninstall key and Program Files folder name
    std::string strShortName;
    std::string strVersion;
    std::string strProductName;
    std::string strReleaseDate;  // "YYYY-MM-DD"
    std::string strWebAddress;
    std::string strPublisher;
    bool bX64 = false;

    // Product constants.
    std::wstring strProductTitle;  // "Korvel 12"
    std::string strCompanyFolder;  // "Korvel"
    std::string strProductFolder;  // "Korvel12"
    std::wstring strMainExe32;     // "Korvel.exe"
    std::wstring strMainExe64;     // "Korvel64.exe"
    std::wstring strMiniIcon32 = L"KorvelMini.ico";
    std::wstring strMiniIcon64 = L"KorvelMini64.ico";
    std::wstring strRepairTool = L"KorRepair.exe";
    int nPlatformKind = 2;                      // 2: x64 suffixes apply together with the x64 flag
    std::vector<std::wstring> vecUpdaterFiles;  // moved aside before files are replaced
};
