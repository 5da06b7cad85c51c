#include "app/product_info.h"

#include "deployment.h"
#include "platform/log.h"
#include "platform/system.h"
#include "report/install_reporter.h"

namespace {

const char kProductTitle[] = "Korvel 12";
const char kProductFolder[] = "Korvel12";
// Registry-format product GUID, shared by both builds.
const char kProductGuid[] = "{6F3B2A9E-4C1D-4E8B-9A57-2D0C81E4B3F6}";
const char kPublisher[] = "Copyright (C) 2019-2021 Korvel Software Ltd.";
const char kProductVersion[] = "1.0.0.0";

const wchar_t kProductProcesses[] =
    L"Korvel64.exe,Korvel.exe,KorRepair.exe,LiveUpdate.exe,KorPlayer64.exe,KorPlayer.exe,"
    L"KorConverter64.exe,KorConverter.exe,KorCapture64.exe,KorCapture.exe,KorBurner.exe,"
    L"KorMediaServer.exe,KorThumbnailer.exe,KorDeviceSync.exe,KorTray.exe,KorCrashReport.exe,"
    L"KorCodecCheck.exe";

std::string WebUrl(bool tls, const std::string& pathAndQuery) {
    return std::string(tls ? "https://" : "http://") + KORVEL_WEB_HOST + pathAndQuery;
}

std::string ApiUrl(const std::string& path) {
    return std::string(KORVEL_API_SCHEME) + KORVEL_API_HOST + path;
}

}  // namespace

ProductInfoBase::ProductInfoBase()
    : m_strGuid(kProductGuid),
      m_strProductName(kProductTitle),
      m_strRegistryName(kProductTitle),
      m_strVersion(kProductVersion),
      m_strPublisher(kPublisher),
      m_strFullName(kProductTitle) {}

ProductInfoKorX86::ProductInfoKorX86() {
    m_strPackageName = kProductFolder;
    m_bX64 = 0;
    m_strShortName = kProductFolder;
    m_nLogoBitmapId = 138;
    m_nLogoBitmapId2 = 139;
}

ProductInfoKorX64::ProductInfoKorX64() {
    m_strPackageName = std::string(kProductFolder) + "_x64";
    m_bX64 = 1;
    m_strShortName = std::string(kProductFolder) + " (x64)";
    m_nLogoBitmapId = 187;
    m_nLogoBitmapId2 = 188;
}

std::shared_ptr<IProductInfo> GetProductInfo() {
    static const std::shared_ptr<IProductInfo> profile =
        Is64BitWindows() ? std::shared_ptr<IProductInfo>(std::make_shared<ProductInfoKorX64>())
                         : std::shared_ptr<IProductInfo>(std::make_shared<ProductInfoKorX86>());
    return profile;
}

std::string GetProductTitleA() {
    return kProductTitle;
}
std::wstring GetProductTitleW() {
    return L"Korvel 12";
}
std::string GetPreviousProductTitleA() {
    return "Korvel 11";
}
std::wstring GetPreviousProductTitleW() {
    return L"Korvel 11";
}
std::string GetCompanyFolderNameA() {
    return "Korvel";
}
std::wstring GetCompanyFolderNameW() {
    return L"Korvel";
}
std::string GetProductFolderNameA() {
    return kProductFolder;
}
std::wstring GetProductFolderNameW() {
    return L"Korvel12";
}
std::string GetMainExeName32A() {
    return "Korvel.exe";
}
std::wstring GetMainExeName32W() {
    return L"Korvel.exe";
}
std::string GetMainExeName64A() {
    return "Korvel64.exe";
}
std::wstring GetMainExeName64W() {
    return L"Korvel64.exe";
}
int GetPlatformKind() {
    return kPlatformSeparate64;
}

std::wstring GetProductProcessList() {
    return kProductProcesses;
}
std::vector<std::wstring> GetProductProcessNames() {
    return SplitNameList(kProductProcesses);
}
std::wstring GetUpdaterFileList() {
    return L"LiveUpdate.exe";
}
std::vector<std::wstring> GetUpdaterFileNames() {
    return SplitNameList(GetUpdaterFileList());
}

std::array<COLORREF, kWindowColorCount> GetWindowColorTable() {
    return {0xA74747, 0xFFFFFF, 0xFFFFFF, 0xD7D7D7, 0xA74747, 0xA74747,
            0xA74747, 0xD77DD7, 0xFFE9E9, 0xA74747, 0xA74747, 0xD700D7};
}

std::vector<std::wstring> SplitNameList(const std::wstring& list) {
    std::vector<std::wstring> names;
    size_t start = 0;
    while (start <= list.size()) {
        size_t comma = list.find(L',', start);
        if (comma == std::wstring::npos) {
            comma = list.size();
        }
        if (comma > start) {
            names.push_back(list.substr(start, comma - start));
        }
        start = comma + 1;
    }
    return names;
}

std::wstring MakeProductDataRelativePath(const std::wstring& company,
                                         const std::wstring& productFolder) {
    if (company.empty()) {
        return productFolder;
    }
    return company + kPathSep + productFolder;
}

std::wstring GetProductDataRelativePath() {
    return MakeProductDataRelativePath(GetCompanyFolderNameW(), GetProductFolderNameW());
}

std::wstring GetInstallLogPath(bool createFolders) {
    const std::wstring folder = GetProductDataRelativePath() + kPathSep + L"Log" + kPathSep;
    return BuildDocumentsPath(folder, L"install.log", createFolders);
}

std::string GetWebHostA() {
    return KORVEL_WEB_HOST;
}
std::wstring GetWebHostW() {
    return L"" KORVEL_WEB_HOST;
}
std::string GetApiHostA() {
    return KORVEL_API_HOST;
}
std::string GetCdnMarkerDomainA() {
    return KORVEL_CDN_MARKER_DOMAIN;
}
std::string GetCdnMarkerPrefixA() {
    return KORVEL_CDN_MARKER_PREFIX;
}

std::string GetHomePageUrl() {
    return WebUrl(false, "/?s=korvel12&v=");
}
std::string GetLicenseUrl() {
    return WebUrl(false, "/korvel-user-license-agreement.htm?s=korvel12&ad=korvel12_client&v=");
}
std::string GetUserExperienceUrl() {
    return WebUrl(false, "/u-experience.htm?s=korvel12&ad=korvel12_client&v=");
}

std::string GetFinishPageUpdateUrl(bool x64) {
    return x64 ? WebUrl(false,
                        "/thankyou.htm?s=korvel12_update&platform=x64&ad=korvel12_client_x64_"
                        "thankyou&downloadmode=1&v=")
               : WebUrl(false,
                        "/thankyou.htm?s=korvel12_update&ad=korvel12_client_x86_thankyou&"
                        "downloadmode=1&v=");
}

// Only the new-install page of the 64-bit product is served over TLS.
std::string GetFinishPageNewUrl(bool x64) {
    return x64 ? WebUrl(true,
                        "/thankyou.htm?s=korvel12&platform=x64&ad=korvel12_client_x64_thankyou&"
                        "downloadmode=1&v=")
               : WebUrl(false,
                        "/thankyou.htm?s=korvel12&ad=korvel12_client_x86_thankyou&"
                        "downloadmode=1&v=");
}

std::string GetInstallReportUrl() {
    return ApiUrl(kReportPath);
}
std::string GetLogUploadUrl() {
    return ApiUrl(kLogUploadPath);
}
