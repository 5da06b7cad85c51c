// Product profile variants, constants and web addresses.
#include "app/product_info.h"

#include <gtest/gtest.h>

#include <cwctype>
#include <set>

#include "app/product_facts_app.h"
#include "deployment.h"
#include "platform/system.h"
#include "platform/text.h"

namespace {

// 38 characters: braces around upper-case hex groups 8-4-4-4-12.
bool IsRegistryGuid(const std::string& guid) {
    const std::string shape = "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}";
    if (guid.size() != shape.size()) {
        return false;
    }
    for (size_t i = 0; i < shape.size(); ++i) {
        const bool hex = (guid[i] >= '0' && guid[i] <= '9') || (guid[i] >= 'A' && guid[i] <= 'F');
        if (shape[i] == 'X' ? !hex : guid[i] != shape[i]) {
            return false;
        }
    }
    return true;
}

TEST(ProductInfo, VariantsDifferOnlyInTheirBuildFacts) {
    ProductInfoKorX64 x64;
    ProductInfoKorX86 x86;
    EXPECT_STREQ("Korvel12_x64", x64.GetPackageName());
    EXPECT_STREQ("Korvel12 (x64)", x64.GetShortName());
    EXPECT_EQ(1, x64.IsX64());
    EXPECT_EQ(187, x64.GetLogoBitmapId());
    EXPECT_EQ(188, x64.GetLogoBitmapId2());

    EXPECT_STREQ("Korvel12", x86.GetPackageName());
    EXPECT_STREQ("Korvel12", x86.GetShortName());
    EXPECT_EQ(0, x86.IsX64());
    EXPECT_EQ(138, x86.GetLogoBitmapId());
    EXPECT_EQ(139, x86.GetLogoBitmapId2());

    for (const IProductInfo* info :
         {static_cast<const IProductInfo*>(&x64), static_cast<const IProductInfo*>(&x86)}) {
        EXPECT_STREQ(x64.GetProductGuid(), info->GetProductGuid());
        EXPECT_STREQ("1.0.0.0", info->GetVersion());
        EXPECT_STREQ("Korvel 12", info->GetRegistryName());
        EXPECT_STREQ("Korvel 12", info->GetProductName());
        EXPECT_STREQ("Korvel 12", info->GetFullName());
        EXPECT_STREQ("", info->GetConfigUrl());
        EXPECT_STREQ("", info->GetSpareName());
        EXPECT_STREQ(L"", info->GetVersionLabel());
        EXPECT_STRNE("", info->GetPublisher());
        EXPECT_EQ(nullptr, strchr(info->GetPublisher(), '\n'));
    }
    EXPECT_TRUE(IsRegistryGuid(x64.GetProductGuid())) << x64.GetProductGuid();
    EXPECT_FALSE(IsRegistryGuid("{6f3b2a9e-4c1d-4e8b-9a57-2d0c81e4b3f6}"));  // the checker bites
}

TEST(ProductInfo, OneProfilePerProcessChosenByTheMachine) {
    auto first = GetProductInfo();
    ASSERT_TRUE(first);
    EXPECT_EQ(first.get(), GetProductInfo().get());
    EXPECT_EQ(Is64BitWindows() ? 1 : 0, first->IsX64());
}

TEST(ProductConstants, ProcessListNamesSeventeenDistinctPrograms) {
    const auto names = GetProductProcessNames();
    ASSERT_EQ(17u, names.size());
    EXPECT_EQ(L"Korvel64.exe", names[0]);
    EXPECT_EQ(L"Korvel.exe", names[1]);
    std::set<std::string> seen;
    for (const auto& name : names) {
        const std::string lower = [&] {
            std::string s = WideToUtf8(name);
            for (char& c : s)
                c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
            return s;
        }();
        EXPECT_TRUE(seen.insert(lower).second) << lower;
        EXPECT_EQ(std::wstring::npos, name.find_first_of(L" \t/\\")) << lower;
        ASSERT_GT(name.size(), 4u);
        EXPECT_EQ(L".exe", name.substr(name.size() - 4));
    }
    EXPECT_EQ(std::vector<std::wstring>{L"LiveUpdate.exe"}, GetUpdaterFileNames());
}

TEST(ProductConstants, SplitDropsEmptyNames) {
    EXPECT_EQ((std::vector<std::wstring>{L"a.exe", L"b.exe"}), SplitNameList(L",a.exe,,b.exe,"));
    EXPECT_TRUE(SplitNameList(L"").empty());
}

TEST(ProductConstants, NamesAndColours) {
    EXPECT_EQ("Korvel 12", GetProductTitleA());
    EXPECT_EQ(L"Korvel 12", GetProductTitleW());
    EXPECT_EQ(L"Korvel 11", GetPreviousProductTitleW());
    EXPECT_EQ(L"Korvel", GetCompanyFolderNameW());
    EXPECT_EQ(L"Korvel12", GetProductFolderNameW());
    EXPECT_EQ(L"Korvel.exe", GetMainExeName32W());
    EXPECT_EQ(L"Korvel64.exe", GetMainExeName64W());
    EXPECT_EQ(2, GetPlatformKind());
    const std::array<COLORREF, 12> decimal = {10962759, 16777215, 16777215, 14145495,
                                              10962759, 10962759, 10962759, 14122455,
                                              16771561, 10962759, 10962759, 14090455};
    EXPECT_EQ(decimal, GetWindowColorTable());
}

TEST(ProductDataFolder, CompanyThenProductUnlessCompanyIsEmpty) {
    EXPECT_EQ(std::wstring(L"Korvel") + kPathSep + L"Korvel12", GetProductDataRelativePath());
    EXPECT_EQ(L"Korvel12", MakeProductDataRelativePath(L"", L"Korvel12"));
    const std::wstring log = GetInstallLogPath(false);
    const std::wstring tail = std::wstring(1, kPathSep) + L"Korvel" + kPathSep + L"Korvel12" +
                              kPathSep + L"Log" + kPathSep + L"install.log";
    ASSERT_GT(log.size(), tail.size());
    EXPECT_EQ(tail, log.substr(log.size() - tail.size()));
}

TEST(WebAddresses, FullUrlsEndingInTheVersionParameter) {
    const std::string web = std::string("http://") + KORVEL_WEB_HOST;
    EXPECT_EQ(web + "/?s=korvel12&v=", GetHomePageUrl());
    EXPECT_EQ(web + "/korvel-user-license-agreement.htm?s=korvel12&ad=korvel12_client&v=",
              GetLicenseUrl());
    EXPECT_EQ(web + "/u-experience.htm?s=korvel12&ad=korvel12_client&v=", GetUserExperienceUrl());
    EXPECT_EQ(web +
                  "/thankyou.htm?s=korvel12_update&ad=korvel12_client_x86_thankyou&downloadmode="
                  "1&v=",
              GetFinishPageUpdateUrl(false));
    EXPECT_EQ(web +
                  "/thankyou.htm?s=korvel12_update&platform=x64&ad=korvel12_client_x64_thankyou&"
                  "downloadmode=1&v=",
              GetFinishPageUpdateUrl(true));
    EXPECT_EQ(web + "/thankyou.htm?s=korvel12&ad=korvel12_client_x86_thankyou&downloadmode=1&v=",
              GetFinishPageNewUrl(false));
    EXPECT_EQ(std::string("https://") + KORVEL_WEB_HOST +
                  "/thankyou.htm?s=korvel12&platform=x64&ad=korvel12_client_x64_thankyou&"
                  "downloadmode=1&v=",
              GetFinishPageNewUrl(true));
    const std::string api = std::string(KORVEL_API_SCHEME) + KORVEL_API_HOST;
    EXPECT_EQ(api + "/api/install/online.php", GetInstallReportUrl());
    EXPECT_EQ(api + "/api/install/index_log.php", GetLogUploadUrl());
    EXPECT_EQ(Utf8ToWide(KORVEL_WEB_HOST), GetWebHostW());
    EXPECT_EQ(std::string::npos, GetWebHostA().find('/'));
}

// The engine knows no deployment: its CDN markers are this build's only
// because the installer hands them over; the timings stay the product's.
TEST(DownloaderFacts, DeploymentMarkersWithTheProductTimings) {
    const DownloaderTuning product;
    EXPECT_TRUE(product.cdnMarkerDomain.empty() && product.cdnMarkerPrefix.empty());
    const DownloaderTuning t = MakeDownloaderTuning();
    EXPECT_EQ(KORVEL_CDN_MARKER_DOMAIN, t.cdnMarkerDomain);
    EXPECT_EQ(KORVEL_CDN_MARKER_PREFIX, t.cdnMarkerPrefix);
    EXPECT_EQ(2000u, t.dispatchPeriodMs);
    EXPECT_EQ(6000u, t.stallLimitMs);
    EXPECT_FALSE(t.pinger);
}

}  // namespace
