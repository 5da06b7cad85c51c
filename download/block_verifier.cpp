#include "download/block_verifier.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <thread>

#include "platform/text.h"

int Md5Hex(const void* data, unsigned length, char* out, int outSize) {
    if (!out || outSize < 33)
        return 0;
    memset(out, 0, static_cast<size_t>(outSize));
    unsigned char digest[16];
    Md5Digest(data, length, digest);
    for (int i = 0; i < 16; ++i)
        snprintf(out + i * 2, 3, "%02X", digest[i]);
    return 1;
}

namespace {
bool Matches(const unsigned char* data, uint32_t length, const std::string& digest) {
    char text[64];
    Md5Hex(data, length, text, sizeof(text));
    return digest == text;
}
}  // namespace

bool BlockVerifier::Reset(uint32_t total, size_t blockDigests) {
    const size_t blocks = BlockCount(total);
    m_status.clear();
    // Without a digest for every block only the whole-file digest can decide.
    if (blocks == 0 || blockDigests < blocks)
        return false;
    m_status.assign(blocks, kUnknown);
    return true;
}

void BlockVerifier::SetStatus(size_t block, Status s) {
    if (block < m_status.size())
        m_status[block] = s;
}

void BlockVerifier::Invalidate(int block) {
    if (block >= 0)
        SetStatus(static_cast<size_t>(block), kUnknown);
}

BlockVerifier::ByteSpan BlockVerifier::BlockSpan(size_t block, uint32_t total) {
    const uint32_t first = static_cast<uint32_t>(block * kBlockSize);
    return {first, std::min<uint32_t>(first + (kBlockSize - 1), total - 1)};
}

bool BlockVerifier::BlockMatches(const unsigned char* image, uint32_t total, size_t block,
                                 const std::string& digest) {
    const ByteSpan span = BlockSpan(block, total);
    return Matches(image + span.first, span.second - span.first + 1, digest);
}

void BlockVerifier::PickSettled(const std::vector<ByteSpan>& owed, uint32_t total, size_t most,
                                std::vector<int>& picked) {
    picked.clear();
    for (size_t k = 0; k < m_status.size() && picked.size() < most; ++k) {
        if (m_status[k] != kUnknown)
            continue;
        const ByteSpan block = BlockSpan(k, total);
        bool settled = true;
        for (const ByteSpan& r : owed) {
            if (r.first <= block.second && r.second >= block.first) {
                settled = false;
                break;
            }
        }
        if (settled)
            picked.push_back(static_cast<int>(k));
    }
    for (int k : picked)
        m_status[static_cast<size_t>(k)] = kHashing;
}

bool BlockVerifier::StoreResult(int block, bool good) {
    Status& status = m_status[static_cast<size_t>(block)];
    if (status != kHashing)
        return false;  // a repair began meanwhile; the result is stale
    status = good ? kGood : kBad;
    return !good;
}

bool BlockVerifier::BoundReached(const std::vector<BadBlock>& bad, int maxPasses) {
    bool reached = false;
    for (const BadBlock& b : bad) {
        if (m_repairs[b.block].passes >= maxPasses)
            reached = true;
    }
    return reached;
}

std::vector<char> BlockVerifier::HashBlocks(const unsigned char* image, uint32_t total,
                                            const std::vector<std::string>& blockHashes,
                                            const std::vector<size_t>& blocks, size_t minHalf) {
    std::vector<char> good(blocks.size(), 0);
    auto hash = [&](size_t from, size_t to) {
        for (size_t i = from; i < to; ++i)
            good[i] = BlockMatches(image, total, blocks[i], blockHashes[blocks[i]]) ? 1 : 0;
    };
    const size_t half = blocks.size() / 2;
    if (half >= minHalf) {
        std::thread other(hash, half, blocks.size());
        hash(0, half);
        other.join();
    } else {
        hash(0, blocks.size());
    }
    return good;
}

// The blocks whose digest does not match, using what the early checks know.
// Blocks not yet known are hashed on two threads: this runs at the end of the
// download, between the last byte and the final event.
std::vector<BlockVerifier::BadBlock> BlockVerifier::FindBadBlocks(
    const unsigned char* image, uint32_t total, const std::vector<std::string>& blockHashes) {
    const size_t count = std::min<size_t>(blockHashes.size(), BlockCount(total));
    std::vector<char> good(count, 0);
    std::vector<size_t> unknown;
    for (size_t k = 0; k < count; ++k) {
        const Status known = k < m_status.size() ? m_status[k] : kUnknown;
        if (known == kGood || known == kBad) {
            good[k] = known == kGood;
        } else {
            unknown.push_back(k);
        }
    }
    const std::vector<char> hashed = HashBlocks(image, total, blockHashes, unknown, 4);
    for (size_t i = 0; i < unknown.size(); ++i)
        good[unknown[i]] = hashed[i];
    std::vector<BadBlock> bad;
    for (size_t k = 0; k < count; ++k) {
        SetStatus(k, good[k] ? kGood : kBad);
        if (!good[k]) {
            const ByteSpan span = BlockSpan(k, total);
            bad.push_back({static_cast<int>(k), span.first, span.second});
        }
    }
    return bad;
}

BlockVerifier::Verdict BlockVerifier::Check(const unsigned char* image, uint32_t total,
                                            const std::string& fileHash,
                                            const std::vector<std::string>& blockHashes) {
    Verdict v;
    // Without any digest there is nothing to compare; the callers accept
    // such a file only when every range arrived.
    if (fileHash.empty() && blockHashes.empty())
        return v;
    auto wholeFileMatches = [&] { return Matches(image, total, fileHash); };
    if (CoversFile()) {
        // Digests cover every block and most are known already: when all
        // match, the whole-file digest could not change the verdict.
        v.bad = FindBadBlocks(image, total, blockHashes);
        if (v.bad.empty() || wholeFileMatches()) {
            v.bad.clear();
            return v;
        }
    } else {
        if (wholeFileMatches())
            return v;
        // Block digests cover part of the file at most: a mismatch that no
        // block explains lies where nothing can prove or repair it.
        v.bad = FindBadBlocks(image, total, blockHashes);
        v.unplaceable = v.bad.empty();
    }
    v.verified = false;
    return v;
}
