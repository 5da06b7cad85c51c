// The product facts the installation module and the download engine need,
// taken from the product profile and, once a package has been read, from the
// package's own record. The modules get them only as these values.
#pragma once

#include "app/product_info.h"
#include "download/download_types.h"
#include "install/package.h"
#include "install/product_facts.h"

InstallProductFacts MakeInstallFacts(const IProductInfo& product);
// The record's names, version, publisher and x64 flag replace the profile's.
InstallProductFacts MergeHeaderFacts(InstallProductFacts facts, const PackageHeader& header);
// The engine's product timings with this deployment's CDN markers.
DownloaderTuning MakeDownloaderTuning();
