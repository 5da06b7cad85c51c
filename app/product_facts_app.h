// The product facts the installation module needs, taken from the product
// profile and, once a package has been read, from the package's own record.
#pragma once

#include "app/product_info.h"
#include "install/package.h"
#include "install/product_facts.h"

InstallProductFacts MakeInstallFacts(const IProductInfo& product);
// The record's names, version, publisher and x64 flag replace the profile's.
InstallProductFacts MergeHeaderFacts(InstallProductFacts facts, const PackageHeader& header);
