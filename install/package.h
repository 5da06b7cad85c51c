// The setup package: its 4096-byte header record and the installation of its
// payload into the program folder.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "install/product_facts.h"
#include "platform/types.h"

// Install progress callback (event, value, reserved = 0); the result is ignored.
// Events: 0 started, 100 percent, 101 engine error code, 1 finished, 2 failed (10001/10002).
using InstallCallback = std::function<int(int, int, int)>;

enum InstallEvent {
    kInstallStarted = 0,
    kInstallFinished = 1,
    kInstallFailed = 2,
    kInstallPercent = 100,
    kInstallEngineError = 101,
};

enum InstallError {
    kInstallNoError = 0,
    kInstallPointNull = 10000,
    kInstallSetupFileError = 10001,
    kInstallDirWriteError = 10002,
    kInstallMallocError = 10003,
    kInstallInstallFileError = 10004,
    kInstallOpenFileError = 10005,
    kInstallOffsetError = 10006,
    kInstallReadFileError = 10007,
    kInstallUnzipFileError = 10008,
};

constexpr int kPackageHeaderSize = 4096;
constexpr int kHeaderOffsetPosition = 32;  // where a package stores its header offset
constexpr char kPackageMagic[8] = {'K', 'W', 'p', 'a', 'c', 't', 'N', 'N'};

// The product record: integers are 32-bit little-endian (the host order of
// every supported target); texts are NUL-terminated within their field.
#pragma pack(push, 1)
struct PackageHeader {
    char magic[8];
    int32_t nUninstallOffset;
    int32_t nUninstallSize;
    int32_t nPayloadOffset;
    int32_t nPayloadSize;
    char reserved1[81];
    char szRegistryName[64];
    char szShortName[64];
    char szVersion[32];
    char szProductName[16];
    char szReleaseDate[16];
    char szWebAddress[128];
    char szPublisher[67];
    int32_t nX64;
    char reserved2[3600];
};
#pragma pack(pop)
static_assert(sizeof(PackageHeader) == kPackageHeaderSize, "header record is 4096 bytes");
static_assert(offsetof(PackageHeader, szRegistryName) == 105, "registry name at 105");
static_assert(offsetof(PackageHeader, szVersion) == 233, "version at 233");
static_assert(offsetof(PackageHeader, szPublisher) == 425, "publisher at 425");
static_assert(offsetof(PackageHeader, nX64) == 492, "x64 flag at 492");

// Zeroes all 4096 bytes and writes the magic.
void InitPackageHeader(PackageHeader& header);
// Copies text into a header field, cut so that its NUL stays inside.
void SetHeaderText(char* field, size_t fieldSize, const std::string& text);
template <size_t N>
void SetHeaderText(char (&field)[N], const std::string& text) {
    SetHeaderText(field, N, text);
}
// Text of a header field (up to its NUL or the field's end).
template <size_t N>
std::string HeaderText(const char (&field)[N]) {
    size_t n = 0;
    while (n < N && field[n])
        ++n;
    return std::string(field, n);
}
// A record filled from the product facts (the dialog's record before a package is read).
PackageHeader MakePackageHeader(const InstallProductFacts& facts);

// 0 or E_FAIL; E_POINTER for a null path. Refuses a header that does not lie in the file.
HRESULT ReadPackageHeader(const wchar_t* path, PackageHeader& header);
HRESULT WritePackageHeader(const wchar_t* path, const PackageHeader& header);

// What InstallPackage does besides extracting the payload; combined with |.
enum class InstallOptions : unsigned {
    kNone = 0,
    // The temporary archive and its tick-named folder are deleted after success.
    kRemoveTempFiles = 1u << 0,
    // "uninstall.exe" and "uninstall.exe.bin" (the header) go into the program folder.
    kWriteUninstaller = 1u << 1,
    // Both, as the setup dialog installs.
    kSetup = kRemoveTempFiles | kWriteUninstaller,
};
constexpr InstallOptions operator|(InstallOptions a, InstallOptions b) {
    return static_cast<InstallOptions>(static_cast<unsigned>(a) | static_cast<unsigned>(b));
}
constexpr bool HasOption(InstallOptions set, InstallOptions option) {
    return (static_cast<unsigned>(set) & static_cast<unsigned>(option)) != 0;
}

// Installs the package's payload and uninstaller into the program folder
// (null: the default folder of the header's registry name). 0, E_POINTER for
// a null package path, E_FAIL otherwise (then GetLastInstallError says why).
// Runs synchronously; every callback arrives on the calling thread.
HRESULT InstallPackage(const wchar_t* packagePath, const InstallCallback& callback,
                       const wchar_t* lpszProgram, InstallOptions options);
// The setup dialog's step: InstallPackage of the package into the folder, logged.
int InstallFile(const std::wstring& packageFile, const std::wstring& installFolder,
                const InstallCallback& callback);

// The program folder the last InstallPackage call used (empty before).
std::wstring GetProgramPath();
// Program Files (or "ProgramW6432" for a 64-bit product) + folder name.
bool GetDefaultProgramPath(wchar_t buffer[kMaxPath], const wchar_t* folderName, bool create,
                           bool x64);

int GetLastInstallError();
std::string GetLastInstallErrorText();
