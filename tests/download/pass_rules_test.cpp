// The dispatcher's pass rules over hand-made snapshots, without a network.
#include <gtest/gtest.h>

#include <string>

#include "download/pass_rules.h"

namespace {

const char* const kA = "http://a/download/f";
const char* const kB = "http://b/download/f";
const char* const kC = "http://c/download/f";
const char* const kCdn = "http://cdn/download/f";

ItemView Item(int id, int state, const char* url, uint32_t pos, uint32_t end, uint32_t speed = 0) {
    ItemView v;
    v.id = id;
    v.state = state;
    v.url = url;
    v.pos = pos;
    v.end = end;
    v.speed = speed;
    v.lastTick = 100000;
    v.cdnUrl = url == kCdn;
    return v;
}

PassSnapshot Snapshot(std::vector<ItemView> items, const char* cdn = nullptr) {
    PassSnapshot s;
    s.items = std::move(items);
    s.totalBytes = 10000000;
    s.downloadedBytes = 1000000;
    s.cdnUrl = cdn;
    s.now = 100000;
    s.itemCount = 4;
    return s;
}

std::string Url(const UrlPick& p) {
    return p.url ? p.url : "(none)";
}

}  // namespace

TEST(PassRules, FastestUrlSkipsExcludedIdleAndDeadItemsAndKeepsTheFirstOfATie) {
    const std::vector<ItemView> items = {
        Item(0, kItemFailed, kA, 0, 9, 900),    // failed: not live
        Item(1, kItemReplaced, kA, 0, 9, 900),  // replaced: not live
        Item(2, kItemRunning, kB, 0, 9, 0),     // idle: never chosen
        Item(3, kItemClosed, kC, 0, 9, 50),
        Item(4, kItemSucceeded, kB, 0, 9, 50),  // ties with 3: 3 stays
        Item(5, kItemRunning, kCdn, 0, 9, 40),
    };
    const auto none = [](const char*) { return false; };
    EXPECT_EQ(Url(FastestUrlWhere(items, none)), kC);
    const auto notC = [](const char* u) { return std::string(u) == kC; };
    EXPECT_EQ(Url(FastestUrlWhere(items, notC)), kB);
    const auto onlyCdn = [](const char* u) { return std::string(u) != kCdn; };
    const UrlPick cdn = FastestUrlWhere(items, onlyCdn);
    EXPECT_EQ(Url(cdn), kCdn);
    EXPECT_TRUE(cdn.cdn);
    const auto all = [](const char*) { return true; };
    EXPECT_EQ(FastestUrlWhere(items, all).url, nullptr);
}

TEST(PassRules, FailedRangeClosesRestartsWaitsOrGivesUp) {
    struct Case {
        const char* name;
        std::vector<ItemView> items;
        const char* cdn;
        FailedAction action;
        const char* url;
        bool viaCdn;
    };
    const Case cases[] = {
        {"all bytes in",
         {Item(0, kItemFailed, kA, 10, 9)},
         kCdn,
         FailedAction::kClose,
         nullptr,
         false},
        {"fastest other mirror",
         {Item(0, kItemFailed, kA, 5, 9, 999), Item(1, kItemRunning, kB, 0, 9, 10),
          Item(2, kItemRunning, kC, 0, 9, 20)},
         kCdn,
         FailedAction::kRestart,
         kC,
         false},
        {"cdn when no other mirror has a speed",
         {Item(0, kItemFailed, kA, 5, 9), Item(1, kItemRunning, kA, 0, 9, 30)},
         kCdn,
         FailedAction::kRestart,
         kCdn,
         true},
        {"failed on the cdn is not restarted there",
         {Item(0, kItemFailed, kCdn, 5, 9), Item(1, kItemRunning, kA, 0, 9, 0)},
         kCdn,
         FailedAction::kWait,
         nullptr,
         false},
        {"waits while another mirror runs unmeasured",
         {Item(0, kItemFailed, kA, 5, 9), Item(1, kItemRunning, kB, 0, 9, 0)},
         nullptr,
         FailedAction::kWait,
         nullptr,
         false},
        {"gives up with no mirror left",
         {Item(0, kItemFailed, kA, 5, 9), Item(1, kItemRunning, kA, 0, 9, 0)},
         nullptr,
         FailedAction::kGiveUp,
         nullptr,
         false},
    };
    for (const Case& c : cases) {
        const PassSnapshot s = Snapshot(c.items, c.cdn);
        const FailedDecision d = DecideFailed(s, s.items[0]);
        EXPECT_EQ(d.action, c.action) << c.name;
        if (c.url) {
            EXPECT_EQ(Url(d.to), c.url) << c.name;
            EXPECT_EQ(d.to.cdn, c.viaCdn) << c.name;
        }
    }
}

TEST(PassRules, RunningRangeMovesOnlyWhenStalledBelowNinetyPercentAndOffTheCdn) {
    const ItemView fast = Item(1, kItemRunning, kB, 0, 99, 500);
    ItemView stalled = Item(0, kItemRunning, kA, 10, 99);
    stalled.lastTick = 100000 - 6000;
    PassSnapshot s = Snapshot({stalled, fast}, kCdn);
    s.stallLimitMs = 6000;

    RunningDecision d = DecideRunning(s, s.items[0]);
    EXPECT_TRUE(d.move);
    EXPECT_EQ(Url(d.to), kB);

    s.items[0].lastTick = 100000 - 5999;  // data within the stall limit
    EXPECT_FALSE(DecideRunning(s, s.items[0]).move);
    s.items[0].lastTick = 100000 - 6000;

    s.downloadedBytes = 9000001;  // above 90 % of the file
    EXPECT_FALSE(DecideRunning(s, s.items[0]).move);
    s.downloadedBytes = 9000000;  // exactly 90 % still moves
    EXPECT_TRUE(DecideRunning(s, s.items[0]).move);

    s.items[0].url = kCdn;  // the CDN has nowhere to move to
    EXPECT_FALSE(DecideRunning(s, s.items[0]).move);
    s.items[0].url = kA;

    s.items[0].pos = 100;  // every byte in
    EXPECT_FALSE(DecideRunning(s, s.items[0]).move);
    s.items[0].pos = 10;

    s.items[1].speed = 0;  // no measured mirror: the CDN takes it
    d = DecideRunning(s, s.items[0]);
    EXPECT_TRUE(d.move);
    EXPECT_EQ(Url(d.to), kCdn);
    EXPECT_TRUE(d.to.cdn);
    s.cdnUrl = nullptr;  // nor a CDN: it stays
    EXPECT_FALSE(DecideRunning(s, s.items[0]).move);
}

TEST(PassRules, SucceededRangeSplitsTheLargestRemainderInHalf) {
    ItemView repair = Item(3, kItemRunning, kC, 0, 5000000, 10);
    repair.repair = true;  // larger, but a repair is never split
    PassSnapshot s = Snapshot({
        Item(0, kItemSucceeded, kA, 0, 0, 300),
        Item(1, kItemRunning, kB, 1000, 1000 + 600000, 100),
        Item(2, kItemRunning, kA, 0, 2000000, 300),
        repair,
    });
    SplitDecision d = DecideSplit(s, s.items[0]);
    ASSERT_TRUE(d.split);
    EXPECT_EQ(d.victim, 2);
    EXPECT_EQ(d.half, 1000000u);
    EXPECT_EQ(Url(d.to), kB);  // fastest other than the victim's mirror

    s.itemCount = 3;  // every slot busy
    EXPECT_FALSE(DecideSplit(s, s.items[0]).split);
    s.itemCount = 4;

    s.items[2].state = kItemClosed;  // the rest is below the threshold
    s.splitThreshold = 600001;
    EXPECT_FALSE(DecideSplit(s, s.items[0]).split);
    s.splitThreshold = 600000;
    d = DecideSplit(s, s.items[0]);
    ASSERT_TRUE(d.split);
    EXPECT_EQ(d.victim, 1);
    EXPECT_EQ(d.half, 300000u);

    // No measured mirror and no CDN: the succeeded range's own mirror.
    for (ItemView& v : s.items)
        v.speed = 0;
    d = DecideSplit(s, s.items[0]);
    EXPECT_EQ(Url(d.to), kA);
    EXPECT_FALSE(d.to.cdn);
}
