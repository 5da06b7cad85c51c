// Bridge between the installation and the in-process archive engine: the
// payload is written to a temporary archive, extracted, and the engine's
// errors and progress are passed on to the install callback.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "install/package.h"

class I7zFileInfoCallback {
public:
    virtual ~I7zFileInfoCallback() = default;
    virtual void OnProgress(int position, int high) = 0;
    virtual void OnError(int code) = 0;
};

// Codes that reach I7zFileInfoCallback::OnError.
enum ArchiveErrorCode {
    kArchiveItemError = 261,    // one item failed to extract
    kArchiveRunErrors = 262,    // the run ended with errors or warnings
    kArchiveBridgeError = 263,  // the temporary archive or the engine run failed
    kArchiveOutOfMemory = 8,
    kArchiveUserBreak = 255,  // also a rejected command line
    kArchiveFatalError = 2,
};

// One per installation: forwards the engine's reports to the install callback.
class C7ZOperator : public I7zFileInfoCallback {
public:
    void SetCallback(const InstallCallback& callback) { m_callback = callback; }
    void OnProgress(int position, int high) override;
    void OnError(int code) override;
    int GetLastError() const { return m_nLastError; }

    // Extracts the archive bytes into the output folder (narrow, "/" separated).
    // Temporary files go below a fresh tick-named folder of the temp path.
    bool Unpack(const void* data, size_t size, const char* outputFolder, const char* password,
                std::string& errorText, bool removeTempFiles);
    // The same for an archive of `size` bytes at `offset` inside a file (the
    // payload inside its package), copied into the temporary archive by the
    // kernel without passing through memory.
    bool UnpackSection(const std::wstring& file, int64_t offset, int64_t size,
                       const char* outputFolder, const char* password, std::string& errorText,
                       bool removeTempFiles);

private:
    int m_nLastError = 0;
    InstallCallback m_callback;
};

// Runs the engine on one archive file and reports to the given interface.
class ArchiveExtractor {
public:
    explicit ArchiveExtractor(I7zFileInfoCallback* callback) : m_pCallback(callback) {}
    // True when the engine returned exit code 0.
    bool Extract(const std::string& archivePath, const std::string& outputFolder,
                 const char* password);
    // Writes the archive into a fresh temporary folder, extracts it, cleans up.
    bool Run(const void* data, size_t size, const char* outputFolder, const char* password,
             std::string& errorText, bool removeTempFiles);
    // The same, the archive copied from `size` bytes at `offset` of a file.
    bool RunSection(const std::wstring& file, int64_t offset, int64_t size,
                    const char* outputFolder, const char* password, std::string& errorText,
                    bool removeTempFiles);

private:
    // Fills the temporary archive with writeArchive(path), extracts it, cleans up.
    bool RunWith(const std::function<bool(const std::string&)>& writeArchive,
                 const char* outputFolder, const char* password, std::string& errorText,
                 bool removeTempFiles);

    I7zFileInfoCallback* m_pCallback;
};

// Narrow folder helpers of the extraction ("/" separated, up to 259 characters).
bool CreateFolderChainA(const std::string& path);
bool DeleteFolderTreeA(const std::string& path);
// A new folder "<temp>%x/" named by the tick, made with an exclusive mkdir;
// "" when none could be made.
std::string MakeTickTempFolder(const std::string& tempPath);
