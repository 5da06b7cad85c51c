// How a download ends: finished only for proven bytes, probes that cannot
// hang, and an end decided as soon as the last byte is in.
#include <chrono>
#include <thread>

#include "platform/system.h"
#include "tests/download/engine_fixture.h"

namespace korvel_test {
namespace {

using korvel_mirror::MirrorServer;
using korvel_mirror::MirrorSettings;

// Sanitized builds run several times slower; the bounds scale with them.
constexpr uint32_t kScale = kSanitized ? 4 : 1;

class FinishTest : public EngineTest {};

// Only the whole-file digest, a mirror that resets after 100000 bytes: the
// dispatcher gives up and the gap can be placed in no block, so nothing
// proves the file.
TEST_F(FinishTest, GapWithOnlyTheWholeDigestIsNotFinished) {
    ServeContent(Content(3000000, 21));
    MirrorSettings reset;
    reset.resetAfter = 100000;
    MirrorServer* a = AddMirror(61, reset);
    ConfigOptions o;
    o.blockHashLimit = 0;
    Run(MakeConfig(*m_content, {Url(a)}, o));
    ExpectFailedOnce(kDispatchFailError);
    EXPECT_EQ(Engine().GetErrorString(), "DispatchFailError");
}

// Block digests for the first block only; a wrong byte beyond it makes the
// whole digest fail with every known block right: unprovable, so failed.
TEST_F(FinishTest, MismatchBeyondTheBlockDigestsFailsWithCheckHashError) {
    ServeContent(Content(3000000, 22));
    MirrorSettings corrupt;
    corrupt.corruptOffsets = {2500000};
    MirrorServer* a = AddMirror(62, corrupt);
    ConfigOptions o;
    o.blockHashLimit = 1;
    Run(MakeConfig(*m_content, {Url(a)}, o));
    ExpectFailedOnce(kCheckHashError);
    EXPECT_EQ(Engine().GetErrorString(), "CheckHashError");
}

// The same partial digests still repair a wrong byte inside a covered block.
TEST_F(FinishTest, MismatchInsideACoveredBlockIsRepaired) {
    ServeContent(Content(3000000, 23));
    MirrorSettings corrupt;
    corrupt.corruptOffsets = {500000};
    MirrorServer* a = AddMirror(63, corrupt);
    MirrorServer* b = AddMirror(64);
    ConfigOptions o;
    o.blockHashLimit = 1;
    Run(MakeConfig(*m_content, {Url(a), Url(b)}, o));
    EXPECT_EQ(Engine().GetDownloadState(), kStateFinished);
    EXPECT_TRUE(DestContent() == *m_content);
}

// No digest at all and a mirror answering with an error page: the ranges
// come back short, so not every byte arrived and nothing proves the file.
TEST_F(FinishTest, ShortAnswersWithoutDigestsAreNotFinished) {
    ServeContent(Content(3000000, 27));
    MirrorSettings page;
    page.errorStatus = 503;
    MirrorServer* a = AddMirror(71, page);
    ConfigOptions o;
    o.withHashes = false;
    Run(MakeConfig(*m_content, {Url(a)}, o));
    ExpectFailedOnce(kCheckHashError);
}

// A mirror that accepts the connection and answers nothing is left out
// within the probe's bound; the download runs on the healthy one.
TEST_F(FinishTest, SilentMirrorFailsItsProbeWithinTheBound) {
    ServeContent(Content(2000000, 24));
    MirrorSettings silent;
    silent.latencyMs = 60000;
    MirrorServer* quiet = AddMirror(65, silent);
    MirrorServer* good = AddMirror(66);
    DownloaderTuning t = FastTuning();
    t.probeConnectTimeoutMs = 1000;
    t.probeTimeoutMs = 1000;
    const uint32_t begin = GetTickCount();
    Start(MakeConfig(*m_content, {Url(quiet), Url(good)}), t);
    uint32_t firstRange = 0;
    for (int i = 0; i < 3000 && !firstRange; ++i) {
        if (!RangesSeen(*good).empty())
            firstRange = GetTickCount();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_NE(firstRange, 0u) << "no range requested within 30 s";
    EXPECT_LT(firstRange - begin, 3000u * kScale);
    ASSERT_TRUE(m_events.WaitFinal());
    WaitNotRunning();
    EXPECT_EQ(Engine().GetDownloadState(), kStateFinished);
    std::vector<UrlCfg> used;
    Engine().GetUsedUrls(used);
    ASSERT_EQ(used.size(), 1u);
    EXPECT_EQ(std::string(used[0].url), Url(good));
}

// Mirrors of unequal speed at the product's 2000 ms period: the fast one
// takes over halves as soon as its transfers end, and the final event comes
// right after the last byte instead of at a later pass.
TEST_F(FinishTest, FinishComesRightAfterTheLastByte) {
    ServeContent(Content(24000000, 25));
    MirrorSettings slow, fast;
    slow.rateBytesPerSec = 2000000;
    fast.rateBytesPerSec = 8000000;
    MirrorServer* a = AddMirror(67, slow);
    MirrorServer* b = AddMirror(68, fast);
    DownloaderTuning t = FastTuning();
    t.dispatchPeriodMs = 2000;
    t.stallLimitMs = 6000;
    t.lowSpeedTimeS = 5;
    Run(MakeConfig(*m_content, {Url(a), Url(b)}), t);
    EXPECT_EQ(Engine().GetDownloadState(), kStateFinished);
    EXPECT_TRUE(DestContent() == *m_content);
    const uint32_t last = m_events.LastGrowthTick();
    ASSERT_NE(last, 0u);
    EXPECT_LT(m_events.FinalTick() - last, 300u * kScale);
}

// A transfer that stops sending mid-range ends 5 s after its last byte (the
// abort check measures from it), not after libcurl's averaged window.
TEST_F(FinishTest, SilentTransferEndsFiveSecondsAfterItsLastByte) {
    ServeContent(Content(4000000, 26));
    MirrorSettings stall, paced;
    stall.stallAfter = 300000;
    paced.rateBytesPerSec = 1000000;
    MirrorServer* a = AddMirror(69, stall);
    MirrorServer* b = AddMirror(70, paced);
    DownloaderTuning t = FastTuning();
    t.stallLimitMs = 600000;  // only the silence rule may end it
    t.lowSpeedTimeS = 5;
    Run(MakeConfig(*m_content, {Url(a), Url(b)}), t);
    EXPECT_EQ(Engine().GetDownloadState(), kStateFinished);
    EXPECT_TRUE(DestContent() == *m_content);
    DownloadStats s;
    Engine().GetDownloadStats(s);
    int silentEnds = 0;
    for (const auto& kv : s.items) {
        const DownloadItem& it = kv.second;
        if (it.url != Url(a) || it.result == 0 || it.finishTick == 0)
            continue;
        ++silentEnds;
        EXPECT_GE(it.finishTick - it.lastTick.load(), 4900u);
        EXPECT_LT(it.finishTick - it.lastTick.load(), 8000u);
    }
    EXPECT_EQ(silentEnds, 2) << "both ranges of the silent mirror end by the rule";
}

}  // namespace
}  // namespace korvel_test
