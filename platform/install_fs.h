// File-system calls of the installation on narrow paths ("/" separated, UTF-8
// on POSIX): names from an archive or an installed-files list keep their
// bytes exactly, whatever they are.
#pragma once

#include <cstdint>
#include <string>

enum class FolderCreation { kCreated, kExisted, kFailed };
// Creates one folder (its parent must exist); private to the user when asked.
// kExisted when something of that name is already there.
FolderCreation CreateOneFolder(const std::string& path, bool privateToUser);

// The absolute path with every link and "." / ".." resolved; "" when it does
// not resolve (missing, unreadable, too long).
std::string ResolveRealPath(const std::string& path);

enum class PathKind { kMissing, kFolder, kOther };
// What the path itself is: a link is kOther whatever it points to.
PathKind GetPathKindNoFollow(const std::string& path);

// Removes a file or link (never a folder); false when it could not.
bool RemoveFileNoFollow(const std::string& path);
// Removes a folder only when it is empty.
bool RemoveEmptyFolder(const std::string& path);
// Renames within one file system, replacing the target in one step.
bool RenameReplacing(const std::string& from, const std::string& to);

// Writes `size` bytes of source, from `offset` on, to a new target file
// (replaced when it exists). The blocks are reserved first (a full disk fails
// before a byte is written) and the copy stays in the kernel where the file
// systems allow it, without passing through this process's memory. False when
// the source holds fewer bytes or any step fails; a partial target is removed.
bool CopyFileSection(const std::wstring& source, int64_t offset, int64_t size,
                     const std::wstring& target);
