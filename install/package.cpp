#include "install/package.h"

#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>

#include "install/install_record.h"
#include "install/seven_zip.h"
#include "platform/folders.h"
#include "platform/jfile.h"
#include "platform/log.h"
#include "platform/system.h"
#include "platform/text.h"

namespace {

std::atomic<int> g_nLastInstallError{0};
std::mutex g_programPathLock;
std::wstring g_strProgramPath;

void SetProgramPath(const std::wstring& path) {
    std::lock_guard<std::mutex> lock(g_programPathLock);
    g_strProgramPath = path;
}

void Notify(const InstallCallback& callback, int event, int value) {
    if (callback)
        callback(event, value, 0);
}

void CopyToBuffer(wchar_t buffer[kMaxPath], const std::wstring& text) {
    const size_t n = text.size() < static_cast<size_t>(kMaxPath - 1) ? text.size() : kMaxPath - 1;
    wmemcpy(buffer, text.data(), n);
    buffer[n] = 0;
}

// Reads the header offset at byte 32 and the file length; a negative offset is
// refused as well (it would seek before the file start).
bool HeaderOffsetInFile(JFile& file, int32_t& offset, int64_t& length) {
    offset = 0;
    file.Seek(kHeaderOffsetPosition, JFile::kBegin);
    if (file.Read(&offset, sizeof(offset)) != static_cast<int64_t>(sizeof(offset)))
        offset = 0;
    length = file.GetLength();
    return offset >= 0 && static_cast<int64_t>(offset) <= length - kPackageHeaderSize;
}

// Negative fields and 32-bit overflow are refused along with a block past the end.
bool BlockInFile(int32_t offset, int32_t size, int64_t length) {
    return offset >= 0 && size >= 0 && static_cast<int64_t>(offset) + size <= length;
}

std::unique_ptr<char[]> ReadBlock(JFile& file, int32_t offset, int32_t size, size_t extra) {
    if (size < 0)
        return nullptr;
    std::unique_ptr<char[]> block(new (std::nothrow) char[static_cast<size_t>(size) + extra]);
    if (!block)
        return nullptr;
    memset(block.get(), 0, static_cast<size_t>(size) + extra);
    // A block that cannot be reached stays zero rather than taking other bytes.
    if (file.Seek(offset, JFile::kBegin) == 0)
        file.Read(block.get(), size);
    return block;
}

HRESULT Fail(JFile& file, const InstallCallback& callback, int error, int event) {
    file.Close();
    g_nLastInstallError = error;
    Notify(callback, kInstallFailed, event);
    return E_FAIL;
}

// Step 6: the program folder into the buffer, created on the way.
void ResolveProgramFolder(const wchar_t* lpszProgram, const PackageHeader& header,
                          wchar_t buffer[kMaxPath]) {
    if (lpszProgram) {
        CreateFolderChain(lpszProgram);
        SetProgramPath(lpszProgram);
        CopyToBuffer(buffer, lpszProgram);
        WriteLog("StrCpyW lpszProgram. \n");
    } else {
        const std::wstring name = AnsiToWide(HeaderText(header.szRegistryName));
        GetDefaultProgramPath(buffer, name.c_str(), true, header.nX64 != 0);
        SetProgramPath(buffer);
        WriteLog("GetProgramPath lpszProgram. \n");
    }
}

void WriteUninstaller(const std::wstring& folder, const char* data, int32_t size,
                      const PackageHeader& header) {
    const std::wstring path = JoinPath(folder, L"uninstall.exe");
    WriteLog("Write uninstall file.\n");
    JFile out;
    if (out.Open(path, JFile::kWrite | JFile::kBinary)) {
        out.Write(data, size);
        out.Close();
    }
    WriteLog("Write uninstall bin.\n");
    WritePackageHeader((path + L".bin").c_str(), header);
}

}  // namespace

void InitPackageHeader(PackageHeader& header) {
    memset(&header, 0, sizeof(header));
    memcpy(header.magic, kPackageMagic, sizeof(header.magic));
}

void SetHeaderText(char* field, size_t fieldSize, const std::string& text) {
    if (fieldSize == 0)
        return;
    const size_t n = text.size() < fieldSize - 1 ? text.size() : fieldSize - 1;
    memset(field, 0, fieldSize);
    memcpy(field, text.data(), n);
}

PackageHeader MakePackageHeader(const InstallProductFacts& facts) {
    PackageHeader header;
    InitPackageHeader(header);
    SetHeaderText(header.szRegistryName, facts.strRegistryName);
    SetHeaderText(header.szShortName, facts.strShortName);
    SetHeaderText(header.szVersion, facts.strVersion);
    SetHeaderText(header.szProductName, facts.strProductName);
    SetHeaderText(header.szReleaseDate, facts.strReleaseDate);
    SetHeaderText(header.szWebAddress, facts.strWebAddress);
    SetHeaderText(header.szPublisher, facts.strPublisher);
    header.nX64 = facts.bX64 ? 1 : 0;
    return header;
}

HRESULT ReadPackageHeader(const wchar_t* path, PackageHeader& header) {
    if (!path)
        return E_POINTER;
    JFile file;
    if (!file.Open(path, JFile::kRead | JFile::kBinary))
        return E_FAIL;
    int32_t offset = 0;
    int64_t length = 0;
    if (!HeaderOffsetInFile(file, offset, length)) {
        file.Close();
        return E_FAIL;
    }
    file.Seek(offset, JFile::kBegin);
    const bool ok = file.Read(&header, sizeof(header)) == kPackageHeaderSize;
    file.Close();
    return ok ? S_OK : E_FAIL;
}

HRESULT WritePackageHeader(const wchar_t* path, const PackageHeader& header) {
    if (!path)
        return E_POINTER;
    JFile file;
    if (!file.Open(path, JFile::kWrite | JFile::kBinary))
        return E_FAIL;
    file.SeekToBegin();
    const bool ok = file.Write(&header, sizeof(header)) == kPackageHeaderSize;
    file.Close();
    return ok ? S_OK : E_FAIL;
}

HRESULT InstallPackage(const wchar_t* packagePath, const InstallCallback& callback,
                       const wchar_t* lpszProgram, InstallOptions options) {
    if (!packagePath) {
        g_nLastInstallError = kInstallPointNull;
        return E_POINTER;
    }
    Notify(callback, kInstallStarted, 0);
    JFile file;
    if (!file.Open(packagePath, JFile::kRead | JFile::kBinary)) {
        const int openResult = file.GetLastOpenResult();
        Fail(file, callback, openResult, kInstallSetupFileError);
        WriteLog("Open file error %d.\n", openResult);
        return E_FAIL;
    }
    int32_t headerOffset = 0;
    int64_t length = 0;
    if (!HeaderOffsetInFile(file, headerOffset, length)) {
        Fail(file, callback, kInstallOffsetError, kInstallSetupFileError);
        WriteLog("Offset error %d  Offset - %d  file length- %d.\n", kInstallOffsetError,
                 headerOffset, static_cast<int>(length));
        return E_FAIL;
    }
    PackageHeader header;
    InitPackageHeader(header);
    file.Seek(headerOffset, JFile::kBegin);
    file.Read(&header, sizeof(header));

    wchar_t folder[kMaxPath] = {0};
    ResolveProgramFolder(lpszProgram, header, folder);
    WriteLog("lpszProgram path :%s \n", WideToOem(folder).c_str());
    if (!PathFileExists(folder))
        return Fail(file, callback, kInstallDirWriteError, kInstallDirWriteError);
    // The uninstaller too: a size the file cannot hold would only allocate
    // and write gigabytes of zeros.
    if (!BlockInFile(header.nPayloadOffset, header.nPayloadSize, length) ||
        !BlockInFile(header.nUninstallOffset, header.nUninstallSize, length))
        return Fail(file, callback, kInstallReadFileError, kInstallSetupFileError);

    // The payload is not read into memory: the kernel copies it from the
    // package into the temporary archive, and the installed-files list reads
    // its headers in place.
    WriteLog("Buffer Info: Start(%d), size(%d), pBuffer(%08X).\n", header.nPayloadOffset,
             header.nPayloadSize, 0u);

    C7ZOperator unpacker;
    unpacker.SetCallback(callback);
    const std::string narrowFolder = WideToOem(folder);
    WriteLog("Begin unpack file.\n");
    std::string errorText;
    if (!unpacker.UnpackSection(packagePath, header.nPayloadOffset, header.nPayloadSize,
                                narrowFolder.c_str(), nullptr, errorText,
                                HasOption(options, InstallOptions::kRemoveTempFiles))) {
        WriteLog("Failed unpack file.\n");
        WriteLog("Install path %s.\n", narrowFolder.c_str());
        WriteLog("UnZip error :%s.\n", errorText.c_str());
        return Fail(file, callback, kInstallUnzipFileError, kInstallSetupFileError);
    }
    WriteLog("Finish unpack file.\n");
    std::unique_ptr<char[]> uninstaller =
        ReadBlock(file, header.nUninstallOffset, header.nUninstallSize, 0);
    if (!uninstaller)
        return Fail(file, callback, kInstallMallocError, kInstallSetupFileError);
    file.Close();
    std::vector<std::string> installed =
        ListArchiveEntries(WideToUtf8(packagePath), header.nPayloadOffset, header.nPayloadSize);

    if (HasOption(options, InstallOptions::kWriteUninstaller)) {
        WriteUninstaller(folder, uninstaller.get(), header.nUninstallSize, header);
        installed.push_back(kUninstallExeName);
        installed.push_back(std::string(kUninstallExeName) + ".bin");
    }
    uninstaller.reset();
    WriteInstalledFilesList(folder, installed);
    Notify(callback, kInstallFinished, 0);
    return S_OK;
}

int InstallFile(const std::wstring& packageFile, const std::wstring& installFolder,
                const InstallCallback& callback) {
    wchar_t folder[kMaxPath];
    CopyToBuffer(folder, installFolder);
    const int result =
        InstallPackage(packageFile.c_str(), callback, folder, InstallOptions::kSetup);
    WriteLog("Install File Result %0X", static_cast<unsigned>(result));
    return result;
}

std::wstring GetProgramPath() {
    std::lock_guard<std::mutex> lock(g_programPathLock);
    return g_strProgramPath;
}

bool GetDefaultProgramPath(wchar_t buffer[kMaxPath], const wchar_t* folderName, bool create,
                           bool x64) {
    std::wstring base;
    std::string w6432;
    if (x64 && Is64BitWindows() && GetEnvironmentVariableA("ProgramW6432", w6432))
        base = AnsiToWide(w6432);
    else
        base = GetProgramFilesFolder();
    const std::wstring path = JoinPath(base, folderName ? folderName : L"");
    CopyToBuffer(buffer, path);
    if (path.size() >= static_cast<size_t>(kMaxPath))
        return false;
    return create ? CreateFolderChain(path) : true;
}

int GetLastInstallError() {
    return g_nLastInstallError;
}

std::string GetLastInstallErrorText() {
    switch (g_nLastInstallError.load()) {
        case kInstallNoError:
            return "NoError";
        case kInstallPointNull:
            return "PointNull";
        case kInstallSetupFileError:
            return "SetupFileError";
        case kInstallDirWriteError:
            return "DirWriteError";
        case kInstallMallocError:
            return "MallocBrror";
        case kInstallInstallFileError:
            return "InstallFileError";
        case kInstallOpenFileError:
            return "OpenFileError";
        case kInstallOffsetError:
            return "OffsetError";
        case kInstallReadFileError:
            return "ReadFileError";
        case kInstallUnzipFileError:
            return "UnzipFileError";
        default:
            return std::to_string(g_nLastInstallError.load());
    }
}
