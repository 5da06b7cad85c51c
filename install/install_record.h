// The record of what an installation put into the program folder, and the
// clearing of a previous installation that removes only what that record names.
//
// Rule: a folder is cleared only when it holds "uninstall.exe" and the list
// "uninstall.list" beside it. Only the listed files go, then the listed folders
// that became empty; anything else in the folder (the user's own files, files
// the product made later) stays. Without the list nothing is removed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

constexpr char kUninstallExeName[] = "uninstall.exe";
constexpr char kInstalledListName[] = "uninstall.list";

// Relative names of the archive's entries ("/"-separated, folders with a
// trailing "/"); unsafe names (absolute, "..") are left out.
std::vector<std::string> ListArchiveEntries(const void* data, size_t size);
// The same for an archive of `size` bytes at `offset` inside a file (the
// payload inside its package), read in place: only the headers are read.
std::vector<std::string> ListArchiveEntries(const std::string& file, int64_t offset, int64_t size);

// Writes the list beside "uninstall.exe": these names plus the names of an
// earlier list that still exist (so nothing an installation put there is forgotten).
bool WriteInstalledFilesList(const std::wstring& folder, const std::vector<std::string>& names);
// The names of the folder's list; false when there is none.
bool ReadInstalledFilesList(const std::wstring& folder, std::vector<std::string>& names);

// Clears the folder of the previous installation as described above, between
// the log lines "Begin delete file.(%s)" and "End delete file.". Returns the
// number of entries removed.
int ClearPreviousInstall(const std::wstring& folder);
