// Block verification and repair: which ranges are fetched again, from whom,
// and how a block that never comes right ends the download.
#include "tests/download/engine_fixture.h"

namespace korvel_test {
namespace {

using korvel_mirror::MirrorServer;
using korvel_mirror::MirrorSettings;

constexpr size_t kSize = 12000000;  // six ranges of 2000000 bytes over three mirrors

class RepairTest : public EngineTest {
protected:
    // Three mirrors; the third serves the given offsets wrong.
    void StartMirrors(std::vector<uint64_t> corrupt, bool corruptAll = false) {
        ServeContent(Content(kSize, 21));
        MirrorSettings bad;
        bad.corruptOffsets = corrupt;
        for (int i = 0; i < 3; ++i) {
            m_ms.push_back(AddMirror(61 + i, (i == 2 || corruptAll) ? bad : MirrorSettings()));
        }
    }
    std::vector<std::string> Urls() {
        std::vector<std::string> u;
        for (MirrorServer* m : m_ms)
            u.push_back(Url(m));
        return u;
    }
    // The ranges stay where they started: no periodic pass, and the passes a
    // finished transfer starts find nothing large enough to split.
    DownloaderTuning Quiet() {
        DownloaderTuning t = FastTuning();
        t.dispatchPeriodMs = 600000;
        t.splitThreshold = UINT32_MAX;
        return t;
    }
    int CountRange(Range r) {
        int n = 0;
        for (MirrorServer* m : m_ms) {
            for (const Range& x : RangesSeen(*m))
                n += x == r;
        }
        return n;
    }
    std::vector<MirrorServer*> m_ms;
};

TEST_F(RepairTest, OneWrongByteRepairsExactlyItsBlock) {
    StartMirrors({5000000});
    Run(MakeConfig(*m_content, Urls()), Quiet());
    EXPECT_EQ(Engine().GetDownloadState(), kStateFinished);
    EXPECT_TRUE(DestContent() == *m_content);
    const Range block{4194304, 5242879};
    EXPECT_EQ(CountRange(block), 1);
    for (const Range& r : RangesSeen(*m_ms[2]))
        EXPECT_FALSE(r == block) << "asked the bad mirror";
    EXPECT_NE(Engine().GetRepairLink(), "");
    EXPECT_NE(Engine().GetRepairLink(), Url(m_ms[2]));
    EXPECT_EQ(m_events.FinalCount(), 1);
}

TEST_F(RepairTest, WrongByteInTheShortLastBlock) {
    StartMirrors({kSize - 1});
    Run(MakeConfig(*m_content, Urls()), Quiet());
    EXPECT_EQ(Engine().GetDownloadState(), kStateFinished);
    EXPECT_TRUE(DestContent() == *m_content);
    EXPECT_EQ(CountRange(Range{11 * 1048576, kSize - 1}), 1);
}

// Every mirror serves the block wrong: at most three repair passes, then the
// download fails instead of repairing forever.
TEST_F(RepairTest, BlockThatNeverComesRightEndsAfterThreePasses) {
    StartMirrors({5000000}, true);
    Run(MakeConfig(*m_content, Urls()), Quiet());
    EXPECT_EQ(Engine().GetDownloadState(), kStateFailed);
    EXPECT_EQ(Engine().GetErrorCode(), kRepairFailError);
    EXPECT_EQ(CountRange(Range{4194304, 5242879}), 3);
    EXPECT_EQ(m_events.FinalCount(), 1);
    // The first two passes avoid the mirrors that already failed the block.
    EXPECT_EQ(RangesSeen(*m_ms[2]).size(), 2u);
}

// The only mirror owns the bad block and there is no CDN: no repair can
// start, so the download fails at once with an empty repair link.
TEST_F(RepairTest, NoMirrorForRepairFails) {
    ServeContent(Content(kSize, 22));
    MirrorSettings bad;
    bad.corruptOffsets = {5000000};
    MirrorServer* a = AddMirror(64, bad);
    Run(MakeConfig(*m_content, {Url(a)}), Quiet());
    EXPECT_EQ(Engine().GetDownloadState(), kStateFailed);
    EXPECT_EQ(Engine().GetErrorCode(), kRepairFailError);
    EXPECT_EQ(Engine().GetRepairLink(), "");
    EXPECT_EQ(m_events.FinalCount(), 1);
}

// An error page instead of the range is caught by the digests and repaired.
TEST_F(RepairTest, ErrorPageIsStoredThenRepaired) {
    ServeContent(Content(4194304, 23));
    MirrorSettings broken;
    broken.errorStatus = 503;
    MirrorServer* a = AddMirror(65);
    MirrorServer* b = AddMirror(66, broken);
    Run(MakeConfig(*m_content, {Url(a), Url(b)}), Quiet());
    EXPECT_EQ(Engine().GetDownloadState(), kStateFinished);
    EXPECT_TRUE(DestContent() == *m_content);
    EXPECT_EQ(Engine().GetRepairLink(), Url(a));
}

// The bad block is fetched again as soon as its own range has passed it,
// while the other ranges are still on their way.
TEST_F(RepairTest, BadBlockIsFetchedAgainDuringTheDownload) {
    ServeContent(Content(kSize, 24));
    MirrorSettings slow;
    slow.rateBytesPerSec = 500000;
    MirrorSettings bad = slow;
    bad.corruptOffsets = {4300000};
    for (int i = 0; i < 3; ++i)
        m_ms.push_back(AddMirror(67 + i, i == 2 ? bad : slow));
    Start(MakeConfig(*m_content, Urls()), Quiet());
    const Range block{4194304, 5242879};
    bool repairedEarly = false;
    while (!m_events.WaitFinal(10)) {
        DownloadStats stats;
        Engine().GetDownloadStats(stats);
        for (const auto& kv : stats.items) {
            const bool isRepair =
                kv.first >= 6 && kv.second.start == block.start && kv.second.end == block.end;
            repairedEarly |= isRepair && stats.downloadedBytes < stats.totalBytes;
        }
    }
    WaitNotRunning();
    EXPECT_EQ(Engine().GetDownloadState(), kStateFinished);
    EXPECT_TRUE(DestContent() == *m_content);
    EXPECT_TRUE(repairedEarly);
    EXPECT_EQ(CountRange(block), 1);
    EXPECT_EQ(m_events.FinalCount(), 1);
}

// A configuration whose block digest is wrong while the whole-file digest is
// right: the file is accepted, after a bounded number of needless repairs.
TEST_F(RepairTest, RightWholeDigestOutweighsAWrongBlockDigest) {
    StartMirrors({});
    std::string config = MakeConfig(*m_content, Urls());
    const std::string second = "<item_2 value=\"";
    const size_t at = config.find(second) + second.size();
    config.replace(at, 32, std::string(32, 'A'));
    Run(config, Quiet());
    EXPECT_EQ(Engine().GetDownloadState(), kStateFinished);
    EXPECT_TRUE(DestContent() == *m_content);
    EXPECT_LE(CountRange(Range{1048576, 2097151}), 3);
    EXPECT_EQ(m_events.FinalCount(), 1);
}

TEST(Md5HexText, UpperCaseAndBufferRule) {
    char out[64];
    EXPECT_EQ(Md5Hex("abc", 3, out, 32), 0);
    ASSERT_EQ(Md5Hex("abc", 3, out, sizeof(out)), 1);
    EXPECT_STREQ(out, "900150983CD24FB0D6963F7D28E17F72");
}

}  // namespace
}  // namespace korvel_test
