// The installer's log file: one record per line, each appended with a full
// open-seek-write-close cycle so that the file is complete if the process dies.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

// Echo callback: receives every message (without the time prefix); result ignored.
typedef int (*LogCallback)(const char* message);

class ILog {
public:
    // Millisecond tick source; tests inject one to place records at chosen times.
    using TickSource = std::function<uint32_t()>;

    // Process-wide instance, created on first call (by the entry, before any thread).
    static ILog* GetInstance();

    explicit ILog(TickSource ticks = nullptr);
    virtual ~ILog() = default;

    // Stores the path, takes the start tick and appends the run header. Always 1.
    int InitLog(const std::wstring& path);
    void SetLogCallback(LogCallback callback);
    // Appends one record "HH:MM:SS : message\n"; thread-safe. The callback runs
    // after the record is written, outside the record lock.
    void WriteLine(const char* message);

    const std::wstring& GetPath() const { return m_strPath; }

private:
    TickSource m_ticks;
    std::wstring m_strPath;
    uint32_t m_nStartTick = 0;
    LogCallback m_callback = nullptr;
    std::mutex m_lock;  // serialises the writes of one record
};

constexpr int kMaxLogMessage = 12999;

// printf-style message into the process-wide log; cut at 12999 characters.
void WriteLog(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Documents folder + relative folder (+ file name); creates the folder chain
// when asked. An empty file name appends nothing.
std::wstring BuildDocumentsPath(const std::wstring& relativeFolder, const std::wstring& fileName,
                                bool createFolders);

// Creates every folder along the path (failures ignored); false for paths over
// 260 characters. The path itself is created unless it ends in a separator.
bool CreateFolderChain(const std::wstring& path);
// CreateFolderChain of everything up to and including the last separator.
bool CreateParentFolders(const std::wstring& filePath);
