// Install location and registration: the uninstall entry with its saved
// options, the traces of an earlier installation, and moving the updater aside.
// The product's facts come from the header record and the product constants.
#pragma once

#include <string>
#include <vector>

#include "install/package.h"
#include "install/product_facts.h"

constexpr char kUninstallKeyPrefix[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
constexpr char kCfgFlagValue[] = "cfg_flag";

// Uninstall-key helpers: the key is prefix + keyName, created when missing.
// Each is true when the key could be opened (ReadInstallLocation: and the text is not empty).
bool ReadUninstallDword(const std::string& keyName, const char* valueName, int& value);
bool ReadInstallLocation(const std::string& keyName, std::string& location);
bool SetUninstallString(const std::string& keyName, const char* valueName, const std::string& text);
bool SetUninstallDword(const std::string& keyName, const char* valueName, DWORD value);

// The entry is written as registry name + " (x64)" and looked up as
// registry name + "(x64)" (both spellings are in use).
std::string UninstallWriteKeyName(const PackageHeader& header, const InstallProductFacts& facts);
std::string UninstallLookupKeyName(const PackageHeader& header, const InstallProductFacts& facts);

std::string FindOldInstallPath(const PackageHeader& header, const InstallProductFacts& facts);
bool HasOldInstallPath(const PackageHeader& header, const InstallProductFacts& facts);
bool IsNewInstall(const std::wstring& folder, const PackageHeader& header,
                  const InstallProductFacts& facts);
// Reads "cfg_flag" into cfgFlag (left as it is when the value is missing).
void ReadSetupOptions(const PackageHeader& header, const InstallProductFacts& facts, int& cfgFlag);
// The 17 values of the uninstall entry for the folder of GetProgramPath().
void WriteUninstallEntry(const PackageHeader& header, const InstallProductFacts& facts,
                         int cfgFlag);
// Moves the updater files into folder/InstallerTemp (emptied first).
void MoveToInstallerTemp(const std::wstring& folder, const std::vector<std::wstring>& updaterFiles);
