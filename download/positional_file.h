// PositionalFile: a destination file written at explicit offsets, so that many
// transfer threads can write without sharing a file position. The file
// operations themselves are the platform's (platform/file_io.h); this class
// owns the handle and decides who may use it when.
// Thread rule: Write may run on any number of threads at once; Open and Close
// take the write lock exclusively and therefore wait for writes in progress.
// After Close, Write stores nothing and returns false.
#pragma once

#include <cstddef>
#include <cstdint>
#include <shared_mutex>
#include <string>

#include "platform/file_io.h"

class PositionalFile {
public:
    PositionalFile() = default;
    ~PositionalFile() { Close(); }
    PositionalFile(const PositionalFile&) = delete;
    PositionalFile& operator=(const PositionalFile&) = delete;

    // Creates or truncates the file for writing; false when it cannot.
    bool Create(const std::string& path);
    enum class OpenResult { kOpened, kNotRegular, kFailed };
    // Opens or creates the file for reading and writing, never through a
    // symbolic link and never anything but a regular file, and cuts it to
    // at most keepBytes (0 empties it).
    OpenResult Open(const std::string& path, uint64_t keepBytes);
    // Writes all n bytes at offset; false when the file is closed or the write failed.
    bool Write(uint64_t offset, const void* data, size_t n);
    // Returns the close result (0 on success, -1 when nothing was open).
    int Close();
    bool IsOpen() const;
    // Descriptor value for the log only.
    int Handle() const;

private:
    // Replaces the held handle with an opened one, closing the old.
    void Adopt(NativeFile file);

    mutable std::shared_mutex m_lock;
    NativeFile m_file = kNoNativeFile;
};

// ReadRegularFile (platform/file_io.h) reads an earlier run's file for resuming.
// Streams a file through MD5; false when it cannot be read. Upper-case hex out.
bool Md5HexOfFile(const std::string& path, std::string& hex);
