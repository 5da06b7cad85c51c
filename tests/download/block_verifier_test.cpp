// The block verifier over an in-memory image: which blocks are bad, when the
// whole-file digest decides, and the early checks' bookkeeping.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "download/block_verifier.h"

namespace {

std::string Digest(const unsigned char* data, uint32_t n) {
    char text[33];
    Md5Hex(data, n, text, sizeof(text));
    return text;
}

// Two and a half blocks of patterned bytes, with every digest.
struct Image {
    std::vector<unsigned char> bytes;
    std::string fileHash;
    std::vector<std::string> blockHashes;

    Image() : bytes(kBlockSize * 2 + kBlockSize / 2) {
        for (size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = static_cast<unsigned char>(i * 7 + i / 997);
        fileHash = Digest(bytes.data(), Total());
        for (uint32_t at = 0; at < Total(); at += kBlockSize)
            blockHashes.push_back(Digest(bytes.data() + at, std::min(kBlockSize, Total() - at)));
    }
    uint32_t Total() const { return static_cast<uint32_t>(bytes.size()); }
};

std::vector<int> BadIds(const BlockVerifier::Verdict& v) {
    std::vector<int> out;
    for (const auto& b : v.bad)
        out.push_back(b.block);
    return out;
}

}  // namespace

TEST(BlockVerifier, FindsExactlyTheDamagedBlockWithItsByteSpan) {
    Image img;
    img.bytes[kBlockSize * 2 + 100] ^= 0xFF;  // in the short last block
    BlockVerifier v;
    ASSERT_TRUE(v.Reset(img.Total(), img.blockHashes.size()));
    const auto verdict = v.Check(img.bytes.data(), img.Total(), img.fileHash, img.blockHashes);
    EXPECT_FALSE(verdict.verified);
    EXPECT_FALSE(verdict.unplaceable);
    ASSERT_EQ(BadIds(verdict), std::vector<int>{2});
    EXPECT_EQ(verdict.bad[0].start, kBlockSize * 2);
    EXPECT_EQ(verdict.bad[0].end, img.Total() - 1);
}

TEST(BlockVerifier, WholeFileDigestAndCoverageDecide) {
    Image img;
    BlockVerifier v;
    // Intact: verified with or without block digests.
    ASSERT_TRUE(v.Reset(img.Total(), img.blockHashes.size()));
    EXPECT_TRUE(v.Check(img.bytes.data(), img.Total(), img.fileHash, img.blockHashes).verified);
    EXPECT_FALSE(v.Reset(img.Total(), 0));
    EXPECT_TRUE(v.Check(img.bytes.data(), img.Total(), img.fileHash, {}).verified);

    // Every block matches but the whole-file digest is wrong: accepted.
    ASSERT_TRUE(v.Reset(img.Total(), img.blockHashes.size()));
    EXPECT_TRUE(
        v.Check(img.bytes.data(), img.Total(), std::string(32, '0'), img.blockHashes).verified);

    // Damage in a block without a digest: no block is to blame.
    img.bytes[kBlockSize * 2 + 5] ^= 1;
    const std::vector<std::string> partial(img.blockHashes.begin(), img.blockHashes.begin() + 2);
    EXPECT_FALSE(v.Reset(img.Total(), partial.size()));
    const auto verdict = v.Check(img.bytes.data(), img.Total(), img.fileHash, partial);
    EXPECT_FALSE(verdict.verified);
    EXPECT_TRUE(verdict.unplaceable);

    // No digest at all proves nothing wrong; the engine decides by the ranges.
    EXPECT_TRUE(v.Check(img.bytes.data(), img.Total(), "", {}).verified);
}

TEST(BlockVerifier, EarlyResultsAreTrustedAndAStaleOneIsDropped) {
    Image img;
    BlockVerifier v;
    ASSERT_TRUE(v.Reset(img.Total(), img.blockHashes.size()));
    // A transfer still owes a byte of block 1: only 0 and 2 are settled.
    std::vector<int> picked;
    v.PickSettled({{kBlockSize + 10, kBlockSize + 10}}, img.Total(), 16, picked);
    EXPECT_EQ(picked, (std::vector<int>{0, 2}));
    v.PickSettled({}, img.Total(), 16, picked);
    EXPECT_EQ(picked, std::vector<int>{1});  // 0 and 2 are being hashed

    EXPECT_TRUE(v.StoreResult(0, false));   // bad, and current
    EXPECT_FALSE(v.StoreResult(2, true));   // good
    v.Invalidate(1);                        // a repair began while it was hashed
    EXPECT_FALSE(v.StoreResult(1, false));  // stale: dropped

    // The early verdict on block 0 is trusted (the whole-file digest, here
    // wrong, cannot overrule it); block 1 is hashed anew and found good.
    const auto verdict =
        v.Check(img.bytes.data(), img.Total(), std::string(32, '0'), img.blockHashes);
    EXPECT_FALSE(verdict.verified);
    EXPECT_EQ(BadIds(verdict), std::vector<int>{0});
}

TEST(BlockVerifier, RepairBoundPerBlock) {
    BlockVerifier v;
    const std::vector<BlockVerifier::BadBlock> bad = {{0, 0, kBlockSize - 1},
                                                      {3, 3 * kBlockSize, 4 * kBlockSize - 1}};
    v.RepairOf(0).passes = 2;
    EXPECT_FALSE(v.BoundReached(bad, 3));
    v.RepairOf(3).passes = 3;
    EXPECT_TRUE(v.BoundReached(bad, 3));
}
