// The entry list of a 7z archive, read from its headers: each entry's exact
// name and the method chain (LZMA2, BCJ, PPMd, AES, ...) its data passes
// through. The archive library tells neither: it hands names over in Unicode
// composed form (a name with a combining accent would arrive changed, and
// collide with its composed twin) and keeps the coders to itself.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct ArchiveHeaderEntry {
    std::string name;     // UTF-8, exactly as stored (folders without "/")
    std::string method;   // coders joined by "+", filters first ("BCJ+LZMA2"); "" without data
    int64_t folder = -1;  // the solid block holding the entry's data; -1 without data
};

struct ArchiveHeaders {
    std::vector<ArchiveHeaderEntry> entries;  // in archive order
    std::vector<uint64_t> folderSizes;        // unpacked bytes of each solid block
    std::string headerMethod;                 // the chain of a packed header, else ""
    bool headerEncrypted = false;
};

// Reads `size` bytes at `offset` of the archive into `out`; false when it cannot.
using ArchiveRangeReader = std::function<bool(uint64_t offset, uint64_t size, std::string& out)>;

// Reads the headers (a packed LZMA or LZMA2 header is unpacked). False with a
// reason when they cannot be read; an encrypted header gives false with
// headerEncrypted and headerMethod set.
bool ReadArchiveHeaders(const ArchiveRangeReader& read, ArchiveHeaders& out, std::string& error);
bool ReadArchiveHeaders(const std::string& archive, ArchiveHeaders& out, std::string& error);
bool ReadArchiveHeadersFromFile(const std::string& path, ArchiveHeaders& out, std::string& error);

// The name an entry is installed under. The archive library hands names over
// in composed form; the name as stored (from the headers) is taken instead, so
// that a decomposed name is installed unchanged and apart from its composed
// twin, but only when the two agree in everything normalization leaves alone
// (separators, digits, punctuation) and the stored name is valid UTF-8: a
// mismatch keeps the library's name. A folder keeps its trailing "/".
std::string InstalledEntryName(const std::string& libraryName, const std::string& storedName);

// The name 7-Zip uses for a coder id ("LZMA2", "BCJ", "PPMd", "7zAES", ...),
// else the id in hex.
std::string CoderName(uint64_t id);
