// How an extraction is shared among decoding threads. The solid blocks of a
// 7z archive (its folders) decode independently of each other, so an archive
// packed in several blocks extracts on as many cores as it has blocks; one
// solid block is one decoder, whatever the machine.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// One entry as the plan needs it, in archive order.
struct PlanEntry {
    int64_t folder = -1;  // its solid block; -1 when it has no data
    bool link = false;    // a symbolic or hard link
    std::string name;     // as it will be installed
};

// The entries one decoder takes on in one pass over the archive: the entries
// of one solid block, or those without data (folders, empty files).
struct DecodeUnit {
    int64_t folder = -1;
    size_t last = 0;     // index of the unit's last entry
    uint64_t bytes = 0;  // unpacked size, to start the largest first
};

// The units, the entries without data first and then the blocks from the
// largest down; empty when the archive must be extracted in one pass: fewer
// than two blocks hold data, an entry is a link (which other entries may be
// written through: only the archive's order makes the outcome defined), a
// name repeats (the later entry must win), or the headers disagree.
std::vector<DecodeUnit> PlanDecodeUnits(const std::vector<PlanEntry>& entries,
                                        const std::vector<uint64_t>& folderSizes);
