#include "install/seven_zip.h"

#include <cstdio>
#include <vector>

#include "install/archive_engine.h"
#include "platform/folders.h"
#include "platform/install_fs.h"
#include "platform/system.h"
#include "platform/text.h"

namespace {

constexpr int kMaxNarrowPath = 259;
constexpr int kMaxTempTries = 1000000;

void ForwardError(void* context, int code) {
    static_cast<I7zFileInfoCallback*>(context)->OnError(code);
}

void ForwardProgress(void* context, int low, int high) {
    static_cast<I7zFileInfoCallback*>(context)->OnProgress(low, high);
}

}  // namespace

bool CreateFolderChainA(const std::string& path) {
    if (path.size() > static_cast<size_t>(kMaxNarrowPath))
        return false;
    const char sep = path.find('/') != std::string::npos ? '/' : '\\';
    bool result = false;
    for (size_t pos = path.find(sep); pos != std::string::npos; pos = path.find(sep, pos + 1)) {
        if (pos == 0)
            continue;  // the root itself
        const std::string folder = path.substr(0, pos);
        result = CreateOneFolder(folder, false) != FolderCreation::kFailed;
    }
    return result;
}

bool DeleteFolderTreeA(const std::string& path) {
    return DeleteDirectoryTree(Utf8ToWide(path));
}

// An exclusive mkdir (private to this user): a folder that someone else made,
// even a moment ago, is never reused.
std::string MakeTickTempFolder(const std::string& tempPath) {
    CreateFolderChainA(tempPath);
    char name[kMaxPath];
    for (int i = 0; i < kMaxTempTries; ++i) {
        snprintf(name, sizeof(name), "%s%x/", tempPath.c_str(), GetTickCount());
        const FolderCreation made = CreateOneFolder(name, true);
        if (made == FolderCreation::kCreated)
            return name;
        if (made == FolderCreation::kFailed)
            return std::string();
        Sleep(0);
    }
    return std::string();
}

void C7ZOperator::OnProgress(int position, int high) {
    (void)high;
    char text[kMaxPath];
    snprintf(text, sizeof(text), "now pos is %d \n", position);
    OutputDebugStringA(text);
    if (m_callback)
        m_callback(kInstallPercent, position, 0);
}

void C7ZOperator::OnError(int code) {
    char text[kMaxPath];
    snprintf(text, sizeof(text), "\n!!! Error is %d \n", code);
    OutputDebugStringA(text);
    m_nLastError = code;
    if (m_callback)
        m_callback(kInstallEngineError, code, 0);
}

bool C7ZOperator::Unpack(const void* data, size_t size, const char* outputFolder,
                         const char* password, std::string& errorText, bool removeTempFiles) {
    ArchiveExtractor extractor(this);
    return extractor.Run(data, size, outputFolder, password, errorText, removeTempFiles);
}

bool C7ZOperator::UnpackSection(const std::wstring& file, int64_t offset, int64_t size,
                                const char* outputFolder, const char* password,
                                std::string& errorText, bool removeTempFiles) {
    ArchiveExtractor extractor(this);
    return extractor.RunSection(file, offset, size, outputFolder, password, errorText,
                                removeTempFiles);
}

bool ArchiveExtractor::Extract(const std::string& archivePath, const std::string& outputFolder,
                               const char* password) {
    std::vector<std::string> args = {WideToOem(GetModuleFilePath()), "x", archivePath,
                                     "-o" + outputFolder};
    if (password && *password)
        args.push_back(std::string("-p") + password);
    std::vector<const char*> argv;
    for (const std::string& a : args)
        argv.push_back(a.c_str());
    argv.push_back(nullptr);
    return ArchiveEngineMain(static_cast<int>(args.size()), argv.data(), m_pCallback, ForwardError,
                             ForwardProgress) == 0;
}

bool ArchiveExtractor::Run(const void* data, size_t size, const char* outputFolder,
                           const char* password, std::string& errorText, bool removeTempFiles) {
    if (!data || !outputFolder)
        return false;
    return RunWith(
        [data, size](const std::string& archivePath) {
            return WriteWholeFile(Utf8ToWide(archivePath), data, size);
        },
        outputFolder, password, errorText, removeTempFiles);
}

bool ArchiveExtractor::RunSection(const std::wstring& file, int64_t offset, int64_t size,
                                  const char* outputFolder, const char* password,
                                  std::string& errorText, bool removeTempFiles) {
    if (!outputFolder)
        return false;
    return RunWith(
        [&file, offset, size](const std::string& archivePath) {
            return CopyFileSection(file, offset, size, Utf8ToWide(archivePath));
        },
        outputFolder, password, errorText, removeTempFiles);
}

bool ArchiveExtractor::RunWith(const std::function<bool(const std::string&)>& writeArchive,
                               const char* outputFolder, const char* password,
                               std::string& errorText, bool removeTempFiles) {
    const std::string tempPath = ReplaceAll(WideToOem(GetTempFolder()), "\\", "/");
    const std::string tempFolder = MakeTickTempFolder(tempPath);
    const std::string workFolder = tempFolder + "korvel_7z/";
    const std::string archivePath = workFolder + "Kor7ZFile.7z";
    if (tempFolder.empty() || !CreateFolderChainA(workFolder) || !writeArchive(archivePath)) {
        if (!tempFolder.empty())
            DeleteFolderTreeA(workFolder);
        m_pCallback->OnError(kArchiveBridgeError);
        errorText = "Write 7z file error";
        return false;
    }
    const bool exists = PathFileExists(Utf8ToWide(archivePath));
    printf("Temp File : %s, Flag : %d\n", archivePath.c_str(), exists ? 1 : 0);
    if (!exists) {
        m_pCallback->OnError(kArchiveBridgeError);
        errorText = "File path not exists : " + archivePath;
        return false;
    }
    if (!Extract(archivePath, outputFolder, password)) {
        DeleteFolderTreeA(workFolder);
        m_pCallback->OnError(kArchiveBridgeError);
        errorText = "Read 7z file error";
        return false;
    }
    if (removeTempFiles)
        DeleteFolderTreeA(tempFolder);
    return true;
}
