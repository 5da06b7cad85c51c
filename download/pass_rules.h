// The dispatcher's pass rules as functions over a snapshot of the items: what
// to do with a failed, a running and a succeeded range. They decide only; the
// dispatcher applies a decision under the engine lock and takes a fresh
// snapshot before the next item, so each rule sees what the last one changed.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "download/download_types.h"

// What a rule needs to know of one item.
struct ItemView {
    int id = 0;
    int state = kItemRunning;
    uint32_t pos = 0;
    uint32_t end = 0;
    const char* url = nullptr;
    uint32_t speed = 0;
    uint32_t lastTick = 0;
    bool repair = false;  // fetches a bad block again: never split
    bool cdnUrl = false;  // its URL carries a CDN marker
};

struct PassSnapshot {
    std::vector<ItemView> items;  // index == id
    uint32_t totalBytes = 0;
    uint32_t downloadedBytes = 0;
    const char* cdnUrl = nullptr;  // the size-checked CDN mirror, or null
    uint32_t now = 0;              // millisecond tick
    uint32_t stallLimitMs = 6000;
    uint32_t splitThreshold = 512000;
    int itemCount = 0;  // transfers the download runs at once
};

// A mirror to move bytes to; `cdn` when choosing it means the CDN is in use.
struct UrlPick {
    const char* url = nullptr;
    bool cdn = false;
};

// The URL of the fastest live item (running, closed or succeeded) whose URL
// is not excluded; only a speed strictly above the best so far counts, so an
// idle item is never chosen and the lowest id wins a tie.
UrlPick FastestUrlWhere(const std::vector<ItemView>& items,
                        const std::function<bool(const char*)>& excluded);

enum class FailedAction {
    kClose,    // every byte is in
    kRestart,  // its rest restarts on `url`
    kWait,     // no faster mirror measured yet, but another one still runs
    kGiveUp,   // no mirror is left for it
};
struct FailedDecision {
    FailedAction action = FailedAction::kWait;
    UrlPick to;
};
FailedDecision DecideFailed(const PassSnapshot& s, const ItemView& item);

// A running range either stays, or (stalled) its rest moves to `to`.
struct RunningDecision {
    bool move = false;
    UrlPick to;
};
RunningDecision DecideRunning(const PassSnapshot& s, const ItemView& item);

// A free slot takes the second half of the largest remainder (`victim`).
struct SplitDecision {
    bool split = false;
    int victim = -1;
    uint32_t half = 0;  // bytes the victim gives away, from its end
    UrlPick to;
};
SplitDecision DecideSplit(const PassSnapshot& s, const ItemView& succeeded);
