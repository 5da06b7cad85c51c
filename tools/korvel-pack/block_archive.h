// A payload archive in solid blocks. The archive library writes a 7z archive
// as one solid block, which the installer can only decode on one thread; an
// archive cut into blocks of a few megabytes decodes on every core and
// compresses hardly worse. This writer lays out the 7z container (signature,
// packed blocks, a plain header) and leaves the compression to liblzma, one
// block per thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct BlockArchiveItem {
    std::string name;    // relative, "/"-separated, valid UTF-8
    std::string source;  // the file whose bytes are the item's data; "" for a folder
    std::string link;    // a symbolic link's target, stored as its data
    uint32_t mode = 0;   // st_mode: type and permission bits
    int64_t mtime = 0;   // seconds since 1970
    uint64_t size = 0;   // bytes of data (a file's length, a link target's length)
};

// Items in archive order; data items are packed into consecutive blocks of
// about blockBytes each (a larger file is a block of its own). level: the
// LZMA2 preset, 0 stores the bytes. false with a reason (a source that
// cannot be read or changed its length, the encoder failing).
bool WriteBlockArchive(const std::vector<BlockArchiveItem>& items, uint64_t blockBytes, int level,
                       std::string& out, std::string& error);
