// BlockVerifier: what is known of each 1 MiB block of the memory image, the
// per-block repair bookkeeping, and the check of the image against the
// configuration's digests. Owned by the engine.
//
// Threads: the status and repair records are touched only under the engine
// lock. The hashing functions read the image and nothing else of the
// verifier; their caller keeps the image alive (the engine lock or the
// image-read lock).
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "download/download_types.h"

class BlockVerifier {
public:
    enum Status : char { kUnknown, kHashing, kGood, kBad };
    // Repair passes made for one block and the mirrors that served it wrong.
    struct Repair {
        int passes = 0;
        std::set<std::string> badUrls;     // served some of the block's bytes wrong, or may have
        std::set<std::string> failedUrls;  // served the whole block, and it was wrong
        std::string lastUrl;
    };
    struct BadBlock {
        int block;
        uint32_t start, end;  // inclusive
    };
    struct Verdict {
        bool verified = true;
        bool unplaceable = false;  // the whole-file digest fails, yet no block is to blame
        std::vector<BadBlock> bad;
    };
    typedef std::pair<uint32_t, uint32_t> ByteSpan;  // first..last byte

    // Starts over for a file of `total` bytes. Per-block status is kept only
    // when the block digests cover every block; true then.
    bool Reset(uint32_t total, size_t blockDigests);
    bool CoversFile() const { return !m_status.empty(); }
    size_t Blocks() const { return m_status.size(); }
    void SetStatus(size_t block, Status s);
    // Back to unknown: the block is being fetched again.
    void Invalidate(int block);

    // Up to `most` unknown blocks that none of the `owed` spans touches,
    // marked as being hashed.
    void PickSettled(const std::vector<ByteSpan>& owed, uint32_t total, size_t most,
                     std::vector<int>& picked);
    // Stores an early check's result; true when the block is bad and the
    // result still current (no repair began while it was hashed).
    bool StoreResult(int block, bool good);

    Repair& RepairOf(int block) { return m_repairs[block]; }
    // True when one of the blocks has used up its passes.
    bool BoundReached(const std::vector<BadBlock>& bad, int maxPasses);

    // The image against the digests: verified when the whole-file digest
    // matches, or block digests cover the file and every block matches (the
    // bad blocks otherwise); no digest at all verifies nothing and says so.
    // Hashes what the early checks have not, and records every block's result.
    Verdict Check(const unsigned char* image, uint32_t total, const std::string& fileHash,
                  const std::vector<std::string>& blockHashes);

    // First and last byte of a block of a `total`-byte file.
    static ByteSpan BlockSpan(size_t block, uint32_t total);
    static bool BlockMatches(const unsigned char* image, uint32_t total, size_t block,
                             const std::string& digest);
    // good[i] for blocks[i]; on two threads once each would have `minHalf` blocks.
    static std::vector<char> HashBlocks(const unsigned char* image, uint32_t total,
                                        const std::vector<std::string>& blockHashes,
                                        const std::vector<size_t>& blocks, size_t minHalf);

private:
    std::vector<BadBlock> FindBadBlocks(const unsigned char* image, uint32_t total,
                                        const std::vector<std::string>& blockHashes);

    std::vector<Status> m_status;  // empty when the digests do not cover the file
    std::map<int, Repair> m_repairs;
};

// MD5 of data as 32 upper-case hex digits into out (zero-filled first);
// 0 without writing when outSize is below 32 (33 with the terminator), else 1.
int Md5Hex(const void* data, unsigned length, char* out, int outSize);
