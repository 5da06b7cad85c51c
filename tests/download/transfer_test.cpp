// Segmented transfers and the dispatcher, checked against what each mirror saw.
#include <chrono>
#include <set>
#include <thread>

#include "tests/download/engine_fixture.h"

namespace korvel_test {
namespace {

using korvel_mirror::MirrorServer;
using korvel_mirror::MirrorSettings;

constexpr size_t kProductSize = 150001432;

class TransferTest : public EngineTest {
protected:
    std::vector<MirrorServer*> AddMirrors(int count, MirrorSettings s = MirrorSettings()) {
        std::vector<MirrorServer*> out;
        for (int i = 0; i < count; ++i)
            out.push_back(AddMirror(31 + i, s));
        return out;
    }
    std::vector<std::string> Urls(const std::vector<MirrorServer*>& ms) {
        std::vector<std::string> urls;
        for (MirrorServer* m : ms)
            urls.push_back(Url(m));
        return urls;
    }
    DownloadStats Stats() {
        DownloadStats s;
        Engine().GetDownloadStats(s);
        return s;
    }
    // Waits until the mirrors together saw n ranged GETs.
    bool WaitForRanges(const std::vector<MirrorServer*>& ms, size_t n) {
        for (int i = 0; i < 3000; ++i) {
            size_t seen = 0;
            for (MirrorServer* m : ms)
                seen += RangesSeen(*m).size();
            if (seen >= n)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }
    static bool Contains(const std::vector<Range>& v, Range r) {
        for (const Range& x : v) {
            if (x == r)
                return true;
        }
        return false;
    }
};

// 150001432 bytes over 5 mirrors: ten ranges, handed to the mirrors in turn.
// The mirrors go silent after the headers, so the geometry is seen before
// any byte arrives; the stop then ends the download without an event.
TEST_F(TransferTest, TenRangeGeometryAndStopWithoutEvent) {
    ServeContent(Content(kProductSize));
    MirrorSettings silent;
    silent.stallAfter = 0;
    auto ms = AddMirrors(5, silent);
    DownloaderTuning t = FastTuning();
    t.stallLimitMs = 600000;
    t.lowSpeedTimeS = 600;
    Start(MakeConfig(*m_content, Urls(ms), ConfigOptions()), t);
    ASSERT_TRUE(WaitForRanges(ms, 10));
    const uint64_t L = 15000143;
    for (int i = 0; i < 10; ++i) {
        const uint64_t end = i == 9 ? kProductSize - 1 : i * L + L - 1;
        EXPECT_TRUE(Contains(RangesSeen(*ms[i % 5]), Range{i * L, end})) << "item " << i;
    }
    EXPECT_TRUE(Contains(RangesSeen(*ms[4]), Range{135001287, 150001431}));
    DownloadStats s = Stats();
    EXPECT_EQ(s.itemCount, 10);
    EXPECT_EQ(s.items.at(0).url, s.items.at(5).url);
    EXPECT_EQ(Engine().StopDownload(), 0);
    EXPECT_FALSE(Engine().IsDownloading());
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(m_events.FinalCount(), 0) << "a stop raised an event";
    m_engine.reset();  // joins the aborted transfers
    for (MirrorServer* m : ms)
        EXPECT_EQ(RangesSeen(*m).size(), 2u);
}

// The whole product-sized file (smaller under sanitizers) verified byte for byte.
TEST_F(TransferTest, FullDownloadFromFiveMirrors) {
    const size_t size = kSanitized ? 24000011 : kProductSize;
    ServeContent(Content(size, 3));
    auto ms = AddMirrors(5);
    Run(MakeConfig(*m_content, Urls(ms)));
    EXPECT_EQ(Engine().GetDownloadState(), kStateFinished);
    EXPECT_EQ(Engine().GetErrorCode(), kNoError);
    ASSERT_EQ(m_events.FinalCount(), 1);
    EXPECT_EQ(m_events.Finals()[0],
              (std::vector<int>{kEventFinished, static_cast<int>(size), static_cast<int>(size)}));
    EXPECT_TRUE(DestContent() == *m_content) << "file differs";
    EXPECT_FALSE(Engine().IsUsingCdn());
    // Every mirror served its two ranges; no block needed a repair.
    for (MirrorServer* m : ms)
        EXPECT_GE(RangesSeen(*m).size(), 2u);
    EXPECT_EQ(Engine().GetRepairLink(), "");
}

// Items 0 and 2 (first mirror) go silent after 100000 bytes, well below 90 %:
// the dispatcher moves their rest to the other mirror at their position.
TEST_F(TransferTest, StalledRangeMovesToFastestOtherMirror) {
    ServeContent(Content(2097152, 5));
    MirrorSettings stall;
    stall.stallAfter = 100000;
    MirrorServer* a = AddMirror(41, stall);
    // Paced, so its transfers end (and start a pass) only after a's went
    // silent: the silent remainders are then below the split threshold.
    MirrorSettings paced;
    paced.rateBytesPerSec = 2000000;
    MirrorServer* b = AddMirror(42, paced);
    DownloaderTuning t = FastTuning();
    t.stallLimitMs = 600;
    t.lowSpeedTimeS = 600;  // only the dispatcher may end the stalled transfers
    Run(MakeConfig(*m_content, {Url(a), Url(b)}), t);
    EXPECT_EQ(Engine().GetDownloadState(), kStateFinished);
    EXPECT_TRUE(DestContent() == *m_content);
    EXPECT_TRUE(Contains(RangesSeen(*b), Range{100000, 524287}));
    EXPECT_TRUE(Contains(RangesSeen(*b), Range{1048576 + 100000, 1572863}));
    DownloadStats s = Stats();
    EXPECT_EQ(s.items.at(0).state, kItemClosed);
    EXPECT_EQ(s.items.at(0).end, 100000u);
    EXPECT_EQ(s.items.at(2).state, kItemClosed);
    EXPECT_EQ(RangesSeen(*a).size(), 2u) << "nothing goes back to the stalled mirror";
}

// Above 90 % a silent transfer is left to the low-speed limit, which fails
// it; the failed range is then restarted elsewhere (Replaced, not Closed).
TEST_F(TransferTest, StalledRangeAboveNinetyPercentIsNotMoved) {
    ServeContent(Content(2097152, 6));
    MirrorSettings stall;
    stall.stallAfter = 450000;  // 2 x 524288 + 2 x 450000 bytes: 92.9 %
    MirrorServer* a = AddMirror(43, stall);
    // Paced, so its transfers end (and start a pass) only after a's went
    // silent: the silent remainders are then below the split threshold.
    MirrorSettings paced;
    paced.rateBytesPerSec = 2000000;
    MirrorServer* b = AddMirror(44, paced);
    DownloaderTuning t = FastTuning();
    t.stallLimitMs = 300;
    t.lowSpeedTimeS = 2;
    Run(MakeConfig(*m_content, {Url(a), Url(b)}), t);
    EXPECT_EQ(Engine().GetDownloadState(), kStateFinished);
    EXPECT_TRUE(DestContent() == *m_content);
    DownloadStats s = Stats();
    EXPECT_EQ(s.items.at(0).state, kItemReplaced);
    EXPECT_EQ(s.items.at(2).state, kItemReplaced);
    EXPECT_TRUE(Contains(RangesSeen(*b), Range{450000, 524287}));
    EXPECT_TRUE(Contains(RangesSeen(*b), Range{1048576 + 450000, 1572863}));
}

// Work stealing: with two of four transfers silent, each succeeded transfer
// splits the largest remainder once it is at least the threshold.
class StealTest : public TransferTest {
protected:
    void RunWithRemainder(uint32_t remainder) {
        ServeContent(Content(8388608, 7));
        MirrorSettings stall;
        stall.stallAfter = 2097152 - 1 - remainder;
        m_a = AddMirror(45, stall);
        // A transfer that ends starts a pass at once: b finishes only after
        // a's transfers went silent, so the remainders are as set here.
        MirrorSettings paced;
        paced.rateBytesPerSec = 8000000;
        m_b = AddMirror(46, paced);
        DownloaderTuning t = FastTuning();
        t.stallLimitMs = 600000;
        t.lowSpeedTimeS = 600;
        Start(MakeConfig(*m_content, {Url(m_a), Url(m_b)}), t);
        m_pos0 = 2097152 - 1 - remainder;
    }
    MirrorServer* m_a = nullptr;
    MirrorServer* m_b = nullptr;
    uint32_t m_pos0 = 0;
};

TEST_F(StealTest, RemainderOfOneMillionIsSplit) {
    RunWithRemainder(1000000);
    // Ranges 1 and 3 (mirror b) finish, then each pass steals one half.
    ASSERT_TRUE(WaitForRanges({m_b}, 4));
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    const auto seen = RangesSeen(*m_b);
    EXPECT_TRUE(Contains(seen, Range{m_pos0 + 500000, 2097151}));
    EXPECT_TRUE(Contains(seen, Range{4194304 + m_pos0 + 500000, 6291455}));
    EXPECT_EQ(seen.size(), 4u) << "halves below the threshold are not split again";
    DownloadStats s = Stats();
    EXPECT_EQ(s.items.at(0).end, m_pos0 + 500000);
    Engine().StopDownload();
    EXPECT_EQ(m_events.FinalCount(), 0);
}

TEST_F(StealTest, RemainderOfFourHundredThousandIsLeft) {
    RunWithRemainder(400000);
    ASSERT_TRUE(WaitForRanges({m_b}, 2));
    // Several dispatch periods pass while both silent transfers remain.
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    EXPECT_EQ(RangesSeen(*m_b).size(), 2u);
    EXPECT_EQ(RangesSeen(*m_a).size(), 2u);
    Engine().StopDownload();
}

// A failed range with no other mirror and no CDN: the dispatcher gives up.
TEST_F(TransferTest, FailedRangeWithoutAlternativeGivesUp) {
    ServeContent(Content(3000000, 8));
    MirrorSettings reset;
    reset.resetAfter = 100000;
    MirrorServer* a = AddMirror(47, reset);
    Run(MakeConfig(*m_content, {Url(a)}));
    ExpectFailedOnce(kDispatchFailError);
    EXPECT_EQ(Engine().GetErrorString(), "DispatchFailError");
    EXPECT_EQ(Engine().GetFailedLink(), Url(a));
    EXPECT_NE(Engine().GetFailedResult(), 0);
}

// Without digests nothing can prove a given-up range was covered: the
// download still ends, once, as failed.
TEST_F(TransferTest, GiveUpWithoutDigestsStillEndsWithOneEvent) {
    ServeContent(Content(3000000, 9));
    MirrorSettings reset;
    reset.resetAfter = 100000;
    MirrorServer* a = AddMirror(48, reset);
    ConfigOptions o;
    o.withHashes = false;
    Run(MakeConfig(*m_content, {Url(a)}, o));
    ExpectFailedOnce(kDispatchFailError);
}

// Ranges that ignore Range and error pages are stored as data and repaired.
TEST_F(TransferTest, MirrorIgnoringRangeIsRepairedFromAnother) {
    ServeContent(Content(4194304, 10));
    MirrorSettings whole;
    whole.ignoreRange = true;
    MirrorServer* a = AddMirror(49, whole);
    MirrorServer* b = AddMirror(50);
    Run(MakeConfig(*m_content, {Url(a), Url(b)}));
    EXPECT_EQ(Engine().GetDownloadState(), kStateFinished);
    EXPECT_TRUE(DestContent() == *m_content);
    EXPECT_TRUE(m_events.ProgressWithinTotal());
}

// Releasing an engine mid-transfer joins its threads before it is freed.
TEST_F(TransferTest, ReleaseDuringTransferIsClean) {
    ServeContent(Content(4000000, 11));
    MirrorSettings slow;
    slow.rateBytesPerSec = 200000;
    MirrorServer* a = AddMirror(51, slow);
    MirrorServer* b = AddMirror(52, slow);
    Start(MakeConfig(*m_content, {Url(a), Url(b)}));
    ASSERT_TRUE(WaitForRanges({a, b}, 4));
    ReleaseDownloader(m_engine.release());
    EXPECT_TRUE(WaitForReleasedDownloaders(20000));
    EXPECT_EQ(m_events.FinalCount(), 0);
}

}  // namespace
}  // namespace korvel_test
