#include "platform/log.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/folders.h"
#include "platform/jfile.h"
#include "platform/system.h"

namespace {
const char kHeader[] = "\n\n----------------------------------------\n";
const char kInitLine[] = "00:00:00 : Init Log OK.\n";
}  // namespace

ILog* ILog::GetInstance() {
    static ILog* instance = new ILog();  // lives until process exit, never destroyed
    return instance;
}

ILog::ILog(TickSource ticks) : m_ticks(ticks ? std::move(ticks) : TickSource(&GetTickCount)) {}

int ILog::InitLog(const std::wstring& path) {
    std::lock_guard<std::mutex> hold(m_lock);
    m_strPath = path;
    m_nStartTick = m_ticks();
    JFile file;
    if (file.Open(m_strPath, JFile::kRead | JFile::kWrite | JFile::kText)) {
        const std::string header = std::string(kHeader) + kInitLine;
        file.SeekToEnd();
        file.Write(header.data(), static_cast<int64_t>(header.size()));
        file.Close();
    }
    return 1;
}

void ILog::SetLogCallback(LogCallback callback) {
    std::lock_guard<std::mutex> hold(m_lock);
    m_callback = callback;
}

void ILog::WriteLine(const char* message) {
    if (!message)
        return;
    LogCallback callback;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        callback = m_callback;
        JFile file;
        if (!m_strPath.empty() &&
            file.Open(m_strPath, JFile::kRead | JFile::kWrite | JFile::kText)) {
            uint32_t s = (m_ticks() - m_nStartTick) / 1000;
            char prefix[48];
            int n = snprintf(prefix, sizeof(prefix), "%02u:%02u:%02u : ", s / 3600, (s % 3600) / 60,
                             s % 60);
            // Prefix, text and line break go out as one write: the lock keeps
            // this process's records apart, the single append keeps a record
            // of ordinary length whole against a second process on the file.
            std::string record(prefix, static_cast<size_t>(n));
            record += message;
            record += '\n';
            file.SeekToEnd();
            file.Write(record.data(), static_cast<int64_t>(record.size()));
            file.Close();
        }
    }
    if (callback)
        callback(message);
}

void WriteLog(const char* format, ...) {
    char buffer[kMaxLogMessage + 1];
    va_list args;
    va_start(args, format);
    vsnprintf(buffer, sizeof(buffer), format, args);  // cuts at 12999 characters
    va_end(args);
    ILog::GetInstance()->WriteLine(buffer);
}

std::wstring BuildDocumentsPath(const std::wstring& relativeFolder, const std::wstring& fileName,
                                bool createFolders) {
    std::wstring path = JoinPath(GetDocumentsFolder(), relativeFolder);
    if (createFolders)
        CreateFolderChain(path);
    if (!fileName.empty())
        path = JoinPath(path, fileName);
    return path;
}

bool CreateFolderChain(const std::wstring& path) {
    if (path.size() > static_cast<size_t>(kMaxPath))
        return false;
    for (size_t i = 1; i < path.size(); ++i) {
        if (path[i] == kPathSep)
            CreateDirectoryPath(path.substr(0, i));
    }
    if (!path.empty() && path.back() != kPathSep)
        CreateDirectoryPath(path);
    return true;
}

bool CreateParentFolders(const std::wstring& filePath) {
    size_t cut = filePath.find_last_of(kPathSep);
    std::wstring parent = cut == std::wstring::npos ? std::wstring() : filePath.substr(0, cut + 1);
    if (parent.size() > static_cast<size_t>(kMaxPath - 1))
        return false;
    return CreateFolderChain(parent);
}
