// The vendor's package builder: setup packages and their download configurations.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "install/package.h"

struct PackInput {
    std::string strPayloadFolder;
    std::string strUninstaller;
    std::string strStub;        // optional start of the executable
    InstallProductFacts facts;  // the header fields
    int nLevel = 6;             // LZMA2 preset
    int64_t nMtime = -1;        // >= 0: every entry gets this time (reproducible builds)
};

// The payload folder as a solid LZMA2 7z archive; entries in byte order of
// their names, so the same folder gives the same bytes. false with a reason.
bool BuildPayloadArchive(const PackInput& in, std::string& archive, std::string& error);
// Package bytes: the stub (at least 64 bytes, padded to 16; bytes 32..35 get
// the header offset), then header, payload, uninstaller; with headerLast the
// header goes after the two blocks, ending the file. Offsets and sizes are set.
std::string AssemblePackage(std::string stub, PackageHeader header, const std::string& payload,
                            const std::string& uninstaller, bool headerLast = false);
// Stub (bytes 32..35 hold the header offset), header, payload, uninstaller.
bool BuildPackage(const PackInput& in, const std::string& outPath, std::string& error);

// Download configuration text (version 1) for a package and its mirrors.
// The name is namePrefix + "_" + the first eight digits of the whole-file MD5
// in lower case + ".exe".
bool BuildDownloadConfig(const std::string& packagePath, const std::vector<std::string>& mirrors,
                         const std::string& namePrefix, const std::string& outPath,
                         std::string& error);
std::string PackageNameFor(const std::string& namePrefix, const std::string& wholeMd5);

// The header's fields and layout checks as one JSON object.
bool InspectPackage(const std::string& packagePath, std::string& json, std::string& error);
