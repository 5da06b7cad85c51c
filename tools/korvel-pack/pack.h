// The vendor's package builder: setup packages and their download configurations.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "install/package.h"

struct PackInput {
    std::string strPayloadFolder;   // packed here, or
    std::string strPayloadArchive;  // an existing 7z archive taken byte for byte
    std::string strUninstaller;
    std::string strStub;        // optional start of the executable
    InstallProductFacts facts;  // the header fields
    int nLevel = 6;             // LZMA2 preset
    int64_t nMtime = -1;        // >= 0: every entry gets this time (reproducible builds)
    // The payload's solid blocks hold about this many bytes each, so that the
    // installer decodes them on every core; 0: one solid block.
    uint64_t nSolidBlockBytes = kDefaultSolidBlockBytes;
    static constexpr uint64_t kDefaultSolidBlockBytes = 16 << 20;
};

// The payload folder as an LZMA2 7z archive (solid blocks, or one solid block
// made by the archive library); entries in byte order of their names, so the
// same folder gives the same bytes. false with a reason.
bool BuildPayloadArchive(const PackInput& in, std::string& archive, std::string& error);
// What the installer's extraction engine makes of a payload archive.
struct PayloadEntryCheck {
    std::string name;
    std::string method;      // coder chain, "" for entries without data or when unknown
    bool extracted = false;  // the engine decoded it completely
    std::string error;       // the engine's reason otherwise
};
struct PayloadCheck {
    bool ok = false;  // every entry extracts
    std::vector<PayloadEntryCheck> entries;
    std::vector<std::string> methods;  // distinct chains in order of appearance
    std::string headerMethod;          // chain of a packed header
    std::vector<uint64_t> blockSizes;  // unpacked bytes of each solid block
    // The first failure: the entry ("" for the archive as a whole), its
    // chain, the engine's reason, and the refusal text for the vendor.
    std::string failureName, failureMethod, failureError, message;
};
// Decodes the whole archive through the installer's engine, writing nothing.
PayloadCheck CheckPayload(const std::string& archive);
// Advice for the vendor when the payload is one large solid block, which the
// installer can only decode on one core; "" otherwise.
std::string SolidBlockAdvice(const PayloadCheck& check);
std::string PayloadCheckJson(const PayloadCheck& check);
// The same for the payload of a package file; false with a reason when the
// package's layout does not lead to a payload.
bool CheckPackage(const std::string& packagePath, PayloadCheck& check, std::string& error);

// Package bytes: the stub (at least 64 bytes, padded to 16; bytes 32..35 get
// the header offset), then header, payload, uninstaller; with headerLast the
// header goes after the two blocks, ending the file. Offsets and sizes are set.
std::string AssemblePackage(std::string stub, PackageHeader header, const std::string& payload,
                            const std::string& uninstaller, bool headerLast = false);
// Stub (bytes 32..35 hold the header offset), header, payload, uninstaller.
// The payload is checked with CheckPayload first; a payload the installer
// could not extract is refused with its message and nothing is written.
// advice: SolidBlockAdvice for the payload, when asked.
bool BuildPackage(const PackInput& in, const std::string& outPath, std::string& error,
                  std::string* advice = nullptr);

// Download configuration text (version 1) for a package and its mirrors.
// The name is namePrefix + "_" + the first eight digits of the whole-file MD5
// in lower case + ".exe".
bool BuildDownloadConfig(const std::string& packagePath, const std::vector<std::string>& mirrors,
                         const std::string& namePrefix, const std::string& outPath,
                         std::string& error);
std::string PackageNameFor(const std::string& namePrefix, const std::string& wholeMd5);

// The header's fields and layout checks as one JSON object.
bool InspectPackage(const std::string& packagePath, std::string& json, std::string& error);
