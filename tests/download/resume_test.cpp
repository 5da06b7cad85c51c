// Resuming from what an earlier run left in the destination file: proven
// blocks are kept, only the missing ones are asked of the mirrors.
#include <filesystem>

#include "tests/download/engine_fixture.h"

namespace korvel_test {
namespace {

using korvel_mirror::MirrorServer;

constexpr size_t kBlocks = 12;
constexpr size_t kSize = (kBlocks - 1) * kBlockSize + 345678;  // a short last block

class ResumeTest : public EngineTest {
protected:
    void SetUpMirrors(uint64_t seed) {
        ServeContent(Content(kSize, seed));
        m_ms = {AddMirror(81), AddMirror(82)};
    }
    std::vector<std::string> Urls() const { return {Url(m_ms[0]), Url(m_ms[1])}; }
    std::vector<Range> AllRanges() const {
        std::vector<Range> out;
        for (MirrorServer* m : m_ms) {
            for (const Range& r : RangesSeen(*m))
                out.push_back(r);
        }
        return out;
    }
    // Nothing was kept: some range starts at byte 0.
    bool FetchedFromZero() const {
        for (const Range& r : AllRanges()) {
            if (r.start == 0)
                return true;
        }
        return false;
    }
    void ExpectVerified() {
        EXPECT_EQ(Engine().GetDownloadState(), kStateFinished);
        EXPECT_TRUE(DestContent() == *m_content);
        EXPECT_EQ(m_events.FinalCount(), 1);
    }
    std::vector<MirrorServer*> m_ms;
};

// The first 40 % of the file and a torn block after it: four whole blocks
// are kept, progress starts there, and nothing before them is requested.
TEST_F(ResumeTest, FirstFortyPercentFetchesOnlyTheRest) {
    SetUpMirrors(31);
    const size_t kept = 4 * kBlockSize;
    WriteFile(m_dest, m_content->substr(0, kept + 300000));
    Run(MakeConfig(*m_content, Urls()));
    ExpectVerified();
    EXPECT_EQ(Engine().GetKeptBytes(), kept);
    EXPECT_EQ(m_events.FirstProgressBytes(), static_cast<int>(kept));
    const std::vector<Range> ranges = AllRanges();
    ASSERT_FALSE(ranges.empty());
    for (const Range& r : ranges)
        EXPECT_GE(r.start, kept) << "asked again for kept bytes";
}

// Every other block zeroed: exactly those blocks are fetched, more of them
// than there are transfers, so some wait for a free one.
TEST_F(ResumeTest, EveryOtherBlockZeroedFetchesExactlyThoseBlocks) {
    SetUpMirrors(32);
    std::string damaged = *m_content;
    for (size_t k = 1; k < kBlocks; k += 2) {
        const size_t n = std::min<size_t>(kBlockSize, kSize - k * kBlockSize);
        damaged.replace(k * kBlockSize, n, n, '\0');
    }
    WriteFile(m_dest, damaged);
    Run(MakeConfig(*m_content, Urls()));
    ExpectVerified();
    EXPECT_EQ(Engine().GetKeptBytes(), kBlocks / 2 * kBlockSize);
    std::vector<bool> fetched(kBlocks, false);
    for (const Range& r : AllRanges()) {
        const size_t block = r.start / kBlockSize;
        EXPECT_EQ(block % 2, 1u) << "range " << r.start << "-" << r.end << " in a kept block";
        EXPECT_EQ(r.end / kBlockSize, block) << "range crosses into a kept block";
        fetched[block] = true;
    }
    for (size_t k = 1; k < kBlocks; k += 2)
        EXPECT_TRUE(fetched[k]) << "block " << k;
}

// A file of another version proves no block: the whole file is fetched.
TEST_F(ResumeTest, FileFromAnotherVersionFetchesEverything) {
    SetUpMirrors(33);
    WriteFile(m_dest, *Content(kSize, 34));
    Run(MakeConfig(*m_content, Urls()));
    ExpectVerified();
    EXPECT_EQ(Engine().GetKeptBytes(), 0u);
    EXPECT_TRUE(FetchedFromZero());
}

// A longer file is cut to the configured size; every block then matches
// and the download ends at once without asking any mirror for bytes.
TEST_F(ResumeTest, LongerFileIsCutAndVerified) {
    SetUpMirrors(35);
    WriteFile(m_dest, *m_content + std::string(5000, 'x'));
    Run(MakeConfig(*m_content, Urls()));
    ExpectVerified();
    EXPECT_EQ(Engine().GetKeptBytes(), kSize);
    EXPECT_TRUE(AllRanges().empty());
}

// Without block digests nothing can be proven: the download starts at 0.
TEST_F(ResumeTest, WithoutBlockDigestsStartsFromZero) {
    SetUpMirrors(36);
    WriteFile(m_dest, m_content->substr(0, 6 * kBlockSize));
    ConfigOptions o;
    o.blockHashLimit = 0;
    Run(MakeConfig(*m_content, Urls(), o));
    ExpectVerified();
    EXPECT_EQ(Engine().GetKeptBytes(), 0u);
    EXPECT_TRUE(FetchedFromZero());
}

// The destination is never written through a symbolic link.
TEST_F(ResumeTest, SymbolicLinkDestinationIsRefused) {
    SetUpMirrors(37);
    const std::string target = m_dir->Sub("elsewhere.bin");
    const std::string before = m_content->substr(0, 3 * kBlockSize);
    WriteFile(target, before);
    std::filesystem::create_symlink(target, m_dest);
    Run(MakeConfig(*m_content, Urls()));
    EXPECT_EQ(Engine().GetDownloadState(), kStateFailed);
    EXPECT_EQ(Engine().GetErrorCode(), kDownloadExeError);
    EXPECT_EQ(m_events.FinalCount(), 1);
    EXPECT_TRUE(ReadFile(target) == before);
    EXPECT_TRUE(std::filesystem::is_symlink(m_dest));
    EXPECT_TRUE(AllRanges().empty());
}

TEST(RangeLayout, SpansSharedByLength) {
    // One span of the whole file: the plain equal split, the last part longer.
    auto whole = LayOutRanges({{0, 1002}}, 4);
    ASSERT_EQ(whole.size(), 4u);
    EXPECT_EQ(whole[0], std::make_pair(0u, 249u));
    EXPECT_EQ(whole[3], std::make_pair(750u, 1002u));
    // Two spans, one three times the other: three transfers and one.
    auto shared = LayOutRanges({{0, 299}, {1000, 1099}}, 4);
    ASSERT_EQ(shared.size(), 4u);
    EXPECT_EQ(shared[2], std::make_pair(200u, 299u));
    EXPECT_EQ(shared[3], std::make_pair(1000u, 1099u));
    // More spans than transfers: one range each.
    auto many = LayOutRanges({{0, 9}, {20, 29}, {40, 49}}, 2);
    EXPECT_EQ(many.size(), 3u);
    // Spans too short to share: never an empty range.
    auto tiny = LayOutRanges({{5, 5}, {9, 10}}, 6);
    ASSERT_EQ(tiny.size(), 3u);
    EXPECT_EQ(tiny[1], std::make_pair(9u, 9u));
    EXPECT_EQ(tiny[2], std::make_pair(10u, 10u));
}

}  // namespace
}  // namespace korvel_test
