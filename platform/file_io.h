// Files written and read at explicit offsets, by a handle of the platform
// (a descriptor on POSIX, a HANDLE on Windows), so that many threads can use
// one file without sharing a file position. The download engine keeps its
// destination this way; the rules about who may use a handle when live in
// its owner (download/positional_file.h).
// Thread rule: the functions keep no state; WriteFileAt and ReadFileAt may
// run on several threads with the same handle at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

using NativeFile = intptr_t;
constexpr NativeFile kNoNativeFile = -1;

// Creates or truncates the file for writing; kNoNativeFile when it cannot.
NativeFile CreateFileForWrite(const std::string& path);

enum class RegularOpenResult { kOpened, kNotRegular, kFailed };
// Opens or creates the file for reading and writing, never through a
// symbolic link and never anything but a regular file (a FIFO or device is
// refused without blocking), and cuts it to at most keepBytes (0 empties it).
// `out` is set only when the result is kOpened.
RegularOpenResult OpenRegularFile(const std::string& path, uint64_t keepBytes, NativeFile& out);

// Writes all n bytes at offset, retrying short and interrupted writes; false
// when the write failed.
bool WriteFileAt(NativeFile file, uint64_t offset, const void* data, size_t n);

// Closes the handle: 0 on success, -1 on a failure or for kNoNativeFile.
int CloseNativeFile(NativeFile file);

// Reads up to max bytes from the start of the regular file at path, never
// through a symbolic link: the count read, -1 when it cannot be read.
int64_t ReadRegularFile(const std::string& path, void* out, uint64_t max);
