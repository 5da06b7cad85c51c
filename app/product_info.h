// Product profile and product constants of Korvel 12. Everything here is a
// fixed fact of the product; lower layers (lang, install, report) never include
// this header but receive the values they need from the caller.
#pragma once

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "platform/types.h"

// The product facts that differ between the 32-bit and the 64-bit product.
// Getters return pointers into the object; they stay valid while it lives.
class IProductInfo {
public:
    // The operations in their slot order: the destructor is slot 0,
    // GetProductGuid slot 1, on to GetFullName, slot 14.
    virtual ~IProductInfo() = default;
    virtual const char* GetProductGuid() const = 0;
    virtual const char* GetPackageName() const = 0;
    virtual const char* GetConfigUrl() const = 0;
    virtual const char* GetSpareName() const = 0;
    virtual BYTE IsX64() const = 0;
    virtual const char* GetProductName() const = 0;
    virtual const char* GetRegistryName() const = 0;
    virtual const char* GetShortName() const = 0;
    virtual const char* GetVersion() const = 0;
    virtual const char* GetPublisher() const = 0;
    virtual const wchar_t* GetVersionLabel() const = 0;
    virtual int GetLogoBitmapId() const = 0;
    virtual int GetLogoBitmapId2() const = 0;
    virtual const char* GetFullName() const = 0;
};

// Holds the fields; the variants differ only in what their constructors store.
class ProductInfoBase : public IProductInfo {
public:
    const char* GetProductGuid() const override { return m_strGuid.c_str(); }
    const char* GetPackageName() const override { return m_strPackageName.c_str(); }
    const char* GetConfigUrl() const override { return m_strConfigUrl.c_str(); }
    const char* GetSpareName() const override { return m_strSpareName.c_str(); }
    BYTE IsX64() const override { return m_bX64; }
    const char* GetProductName() const override { return m_strProductName.c_str(); }
    const char* GetRegistryName() const override { return m_strRegistryName.c_str(); }
    const char* GetShortName() const override { return m_strShortName.c_str(); }
    const char* GetVersion() const override { return m_strVersion.c_str(); }
    const char* GetPublisher() const override { return m_strPublisher.c_str(); }
    const wchar_t* GetVersionLabel() const override { return m_strVersionLabel.c_str(); }
    int GetLogoBitmapId() const override { return m_nLogoBitmapId; }
    int GetLogoBitmapId2() const override { return m_nLogoBitmapId2; }
    const char* GetFullName() const override { return m_strFullName.c_str(); }

protected:
    ProductInfoBase();  // fills what both variants share

    std::string m_strGuid;
    std::string m_strPackageName;
    std::string m_strConfigUrl;
    std::string m_strSpareName;
    BYTE m_bX64 = 0;
    std::string m_strProductName;
    std::string m_strRegistryName;
    std::string m_strShortName;
    std::string m_strVersion;
    std::string m_strPublisher;
    std::wstring m_strVersionLabel;
    int m_nLogoBitmapId = 0;
    int m_nLogoBitmapId2 = 0;
    std::string m_strFullName;
};

class ProductInfoKorX86 : public ProductInfoBase {
public:
    ProductInfoKorX86();
};

class ProductInfoKorX64 : public ProductInfoBase {
public:
    ProductInfoKorX64();
};

// The process-wide profile: the 64-bit variant on a 64-bit machine, created on
// the first call (thread-safe) and the same object afterwards.
std::shared_ptr<IProductInfo> GetProductInfo();

// ---- Product constants ----
std::string GetProductTitleA();  // "Korvel 12"
std::wstring GetProductTitleW();
std::string GetPreviousProductTitleA();  // "Korvel 11"
std::wstring GetPreviousProductTitleW();
std::string GetCompanyFolderNameA();  // "Korvel"
std::wstring GetCompanyFolderNameW();
std::string GetProductFolderNameA();  // "Korvel12"
std::wstring GetProductFolderNameW();
std::string GetMainExeName32A();  // "Korvel.exe"
std::wstring GetMainExeName32W();
std::string GetMainExeName64A();  // "Korvel64.exe"
std::wstring GetMainExeName64W();
// kPlatformSeparate64: a separate 64-bit build exists, so x64 suffixes apply
// together with IsX64.
constexpr int kPlatformSeparate64 = 2;
int GetPlatformKind();
// Programs of the product that must not run while files are replaced.
std::wstring GetProductProcessList();                // comma-separated, 17 names
std::vector<std::wstring> GetProductProcessNames();  // the list split at commas
std::wstring GetUpdaterFileList();                   // "LiveUpdate.exe"
std::vector<std::wstring> GetUpdaterFileNames();
constexpr int kWindowColorCount = 12;
std::array<COLORREF, kWindowColorCount> GetWindowColorTable();

// Splits at commas, dropping empty names (a trailing comma adds nothing).
std::vector<std::wstring> SplitNameList(const std::wstring& list);

// ---- Product data folder ----
// Company folder + separator + product folder; the product folder alone when
// the company name is empty.
std::wstring MakeProductDataRelativePath(const std::wstring& company,
                                         const std::wstring& productFolder);
std::wstring GetProductDataRelativePath();  // "Korvel" sep "Korvel12"
// Documents/Korvel/Korvel12/Log/install.log; creates the folder chain when asked.
std::wstring GetInstallLogPath(bool createFolders);

// ---- Web addresses ----
// Full URLs; those of web pages end in "v=" and the caller appends the version.
std::string GetWebHostA();  // bare host name
std::wstring GetWebHostW();
std::string GetApiHostA();
// The two markers that tell the CDN's mirror addresses from the others.
std::string GetCdnMarkerDomainA();
std::string GetCdnMarkerPrefixA();
std::string GetHomePageUrl();
std::string GetLicenseUrl();
std::string GetUserExperienceUrl();
std::string GetFinishPageUpdateUrl(bool x64);
std::string GetFinishPageNewUrl(bool x64);
std::string GetInstallReportUrl();  // status report endpoint
std::string GetLogUploadUrl();
