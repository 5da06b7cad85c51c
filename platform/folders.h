// Special folders, free disk space and folder trees (see docs/platform.md for
// how each Windows folder maps onto the Linux desktop's conventions).
#pragma once

#include <cstdint>
#include <string>

#include "platform/types.h"

// Folder kinds shared with the shortcut operations.
enum ShellFolderKind {
    kFolderQuickLaunch = 0,
    kFolderPinnedTaskbar = 1,
    kFolderUserPrograms = 2,
    kFolderCommonPrograms = 3,
    kFolderDesktop = 4,  // and any higher value
};

// Resolves a folder kind into a 260-character buffer; false when it cannot be resolved.
bool GetShellFolder(int kind, wchar_t buffer[kMaxPath]);
bool GetAppDataFolder(wchar_t buffer[kMaxPath]);
// The user's Documents folder (CSIDL_PERSONAL); empty when unknown.
std::wstring GetDocumentsFolder();
// Program Files of a 32-bit program (CSIDL_PROGRAM_FILES); "ProgramW6432" is read by callers.
std::wstring GetProgramFilesFolder();
// Temporary folder with a trailing separator (GetTempPath).
std::wstring GetTempFolder();
// Documents' parent + "Downloads" + sub-folder (created when asked) + optional file name.
std::wstring GetDownloadsPath(const std::wstring& subFolder, const wchar_t* fileName, bool create);

// Free bytes of the file system holding the path, in whole MiB; 0 on failure.
int64_t GetFreeSpaceMB(const std::wstring& path);

// Folder + name with one separator between them; "." and ".." folded.
std::wstring JoinPath(const std::wstring& folder, const std::wstring& name);
// Deletes the folder with everything in it; false when it cannot be listed.
bool DeleteDirectoryTree(const std::wstring& folder);

// Writes a file in one piece, replacing an existing one: its blocks are
// reserved first (a full disk fails before anything is written, and the file
// system allocates once instead of block by block) and the bytes go out in
// large writes without a stream buffer. False when any step fails; a partly
// written file is removed.
bool WriteWholeFile(const std::wstring& path, const void* data, size_t size);

bool PathFileExists(const std::wstring& path);
// Creates one folder; an existing folder counts as success.
bool CreateDirectoryPath(const std::wstring& path);
bool PathIsDirectory(const std::wstring& path);
bool DeleteFilePath(const std::wstring& path);
// Renames; a file on another file system is copied and the source removed
// (MoveFileEx with MOVEFILE_COPY_ALLOWED).
bool MoveFilePath(const std::wstring& from, const std::wstring& to);
// The path without its last component (PathRemoveFileSpec); "" when it has none.
std::wstring PathRemoveFileSpec(const std::wstring& path);
// The last component of a path.
std::wstring PathFindFileName(const std::wstring& path);

// Moves a file or folder to the desktop's trash, as the freedesktop.org Trash
// specification describes, so that any file manager can restore it: the home
// trash ($XDG_DATA_HOME/Trash) when the path is on the same file system, else
// the trash at the top of the path's own volume ($topdir/.Trash/$uid when an
// administrator provided a sticky .Trash, otherwise $topdir/.Trash-$uid).
// The entry goes to files/ under a free name, with info/<name>.trashinfo
// holding the original path and the deletion date. Nothing is copied: false,
// with the path untouched, when no trash can take it by a rename. On success
// `trashedAs` is the entry's path inside the trash.
bool MoveToTrash(const std::wstring& path, std::wstring& trashedAs);
