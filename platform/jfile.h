// Thin C-stream file wrapper used by the log, the package reader and the XML loader.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

class JFile {
public:
    enum Flags {
        kRead = 0x1,
        kWrite = 0x2,  // creates the file and its missing parent folders
        kText = 0x100,
        kBinary = 0x200,
    };
    enum Origin { kBegin = SEEK_SET, kCurrent = SEEK_CUR, kEnd = SEEK_END };

    JFile() = default;
    JFile(const JFile&) = delete;
    JFile& operator=(const JFile&) = delete;
    // Closes a stream left open; callers still Close explicitly.
    virtual ~JFile();

    // Flags 0x103 = append text, 0x201 = read binary, 0x202 = write binary.
    bool Open(const std::wstring& path, int flags);
    void Close();
    // Each returns -1 when no file is open (and for a null buffer).
    int64_t Read(void* buffer, int64_t count);
    int64_t Write(const void* buffer, int64_t count);
    int Seek(int32_t offset, Origin origin);
    int SeekToBegin() { return Seek(0, kBegin); }
    int SeekToEnd() { return Seek(0, kEnd); }
    int64_t GetPosition();
    int64_t GetLength();  // keeps the position
    // 0 after success, -1 when Open refused a missing file, else the C runtime's errno.
    int GetLastOpenResult() const { return m_nLastOpenResult; }
    bool IsOpen() const { return m_file != nullptr; }

private:
    FILE* m_file = nullptr;
    int m_nLastOpenResult = 0;
};
