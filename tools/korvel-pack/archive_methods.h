// The method chains of a 7z archive, read from its headers: which coders
// (LZMA2, BCJ, PPMd, AES, ...) each entry's data passes through. The
// extraction engine does not tell; the builder names them when it refuses a
// payload.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct ArchiveMethodEntry {
    std::string name;    // UTF-8, as stored
    std::string method;  // coders joined by "+", filters first ("BCJ+LZMA2"); "" without data
};

struct ArchiveMethods {
    std::vector<ArchiveMethodEntry> entries;
    std::string headerMethod;  // the chain of a packed header ("" when stored plain)
    bool headerEncrypted = false;
};

// Reads the headers of the archive bytes (a packed LZMA header is unpacked).
// False with a reason when they cannot be read; an encrypted header gives
// false with headerEncrypted and headerMethod set.
bool ReadArchiveMethods(const std::string& archive, ArchiveMethods& out, std::string& error);

// The name 7-Zip uses for a coder id ("LZMA2", "BCJ", "PPMd", "7zAES", ...),
// else the id in hex.
std::string CoderName(uint64_t id);
