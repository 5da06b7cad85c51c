#include "app/product_facts_app.h"

#include "platform/text.h"

InstallProductFacts MakeInstallFacts(const IProductInfo& product) {
    InstallProductFacts f;
    f.strRegistryName = product.GetRegistryName();
    f.strShortName = product.GetShortName();
    f.strVersion = product.GetVersion();
    f.strProductName = product.GetProductName();
    f.strPublisher = product.GetPublisher();
    f.strWebAddress = GetHomePageUrl();
    f.bX64 = product.IsX64() != 0;
    f.strProductTitle = GetProductTitleW();
    f.strCompanyFolder = GetCompanyFolderNameA();
    f.strProductFolder = GetProductFolderNameA();
    f.strMainExe32 = GetMainExeName32W();
    f.strMainExe64 = GetMainExeName64W();
    f.nPlatformKind = GetPlatformKind();
    f.vecUpdaterFiles = GetUpdaterFileNames();
    return f;
}

DownloaderTuning MakeDownloaderTuning() {
    DownloaderTuning t;
    t.cdnMarkerDomain = GetCdnMarkerDomainA();
    t.cdnMarkerPrefix = GetCdnMarkerPrefixA();
    return t;
}

InstallProductFacts MergeHeaderFacts(InstallProductFacts facts, const PackageHeader& header) {
    auto take = [](std::string& into, const std::string& value) {
        if (!value.empty()) {
            into = value;
        }
    };
    take(facts.strRegistryName, HeaderText(header.szRegistryName));
    take(facts.strShortName, HeaderText(header.szShortName));
    take(facts.strVersion, HeaderText(header.szVersion));
    take(facts.strProductName, HeaderText(header.szProductName));
    take(facts.strReleaseDate, HeaderText(header.szReleaseDate));
    take(facts.strWebAddress, HeaderText(header.szWebAddress));
    take(facts.strPublisher, HeaderText(header.szPublisher));
    facts.bX64 = header.nX64 != 0;
    return facts;
}
