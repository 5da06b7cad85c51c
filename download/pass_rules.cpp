#include "download/pass_rules.h"

#include <cstring>

namespace {

bool SameUrl(const char* a, const char* b) {
    return a && b && strcmp(a, b) == 0;
}

// The fastest mirror other than `url`, else the CDN.
UrlPick FastestOtherOrCdn(const PassSnapshot& s, const char* url) {
    UrlPick pick = FastestUrlWhere(s.items, [url](const char* u) { return SameUrl(u, url); });
    if (!pick.url && s.cdnUrl)
        pick = UrlPick{s.cdnUrl, true};
    return pick;
}

bool OtherMirrorRunning(const PassSnapshot& s, const char* url) {
    for (const ItemView& it : s.items) {
        if (it.state == kItemRunning && it.url && (!url || strcmp(it.url, url) != 0))
            return true;
    }
    return false;
}

int CountRunning(const PassSnapshot& s) {
    int n = 0;
    for (const ItemView& it : s.items)
        n += it.state == kItemRunning ? 1 : 0;
    return n;
}

}  // namespace

UrlPick FastestUrlWhere(const std::vector<ItemView>& items,
                        const std::function<bool(const char*)>& excluded) {
    UrlPick best;
    uint32_t bestSpeed = 0;
    for (const ItemView& it : items) {
        if (it.state != kItemRunning && it.state != kItemClosed && it.state != kItemSucceeded)
            continue;
        if (!it.url || excluded(it.url))
            continue;
        if (it.speed > bestSpeed) {
            bestSpeed = it.speed;
            best = UrlPick{it.url, it.cdnUrl};
        }
    }
    return best;
}

FailedDecision DecideFailed(const PassSnapshot& s, const ItemView& item) {
    FailedDecision d;
    if (static_cast<uint64_t>(item.pos) >= static_cast<uint64_t>(item.end) + 1) {
        d.action = FailedAction::kClose;
        return d;
    }
    // The CDN only as another mirror: a range that failed on it is not
    // restarted there.
    d.to = FastestUrlWhere(s.items, [&item](const char* u) { return SameUrl(u, item.url); });
    if (!d.to.url && s.cdnUrl && !SameUrl(item.url, s.cdnUrl))
        d.to = UrlPick{s.cdnUrl, true};
    if (d.to.url) {
        d.action = FailedAction::kRestart;
    } else {
        // Another mirror still transferring has simply not measured a speed
        // yet (a slow first answer); the range waits for the next pass
        // instead of failing a download that mirror can finish.
        d.action = OtherMirrorRunning(s, item.url) ? FailedAction::kWait : FailedAction::kGiveUp;
    }
    return d;
}

RunningDecision DecideRunning(const PassSnapshot& s, const ItemView& item) {
    RunningDecision d;
    // Near the end a move costs more than the wait; the CDN is the last resort
    // and has nowhere to move to; a range with fresh data is not stalled.
    if (s.totalBytes > 0 && static_cast<double>(s.downloadedBytes) / s.totalBytes > 0.9)
        return d;
    if (s.cdnUrl && SameUrl(item.url, s.cdnUrl))
        return d;
    if (s.now - item.lastTick < s.stallLimitMs)
        return d;
    if (item.pos > item.end)
        return d;  // every byte is in; nothing to move
    d.to = FastestOtherOrCdn(s, item.url);
    d.move = d.to.url != nullptr;
    return d;
}

SplitDecision DecideSplit(const PassSnapshot& s, const ItemView& succeeded) {
    SplitDecision d;
    if (CountRunning(s) >= s.itemCount)
        return d;
    const ItemView* victim = nullptr;
    uint32_t largest = 0;
    for (const ItemView& v : s.items) {
        if (v.state != kItemRunning || v.pos > v.end || v.repair)
            continue;
        if (v.end - v.pos > largest) {
            largest = v.end - v.pos;
            victim = &v;
        }
    }
    if (!victim || largest < s.splitThreshold)
        return d;
    d.to = FastestOtherOrCdn(s, victim->url);
    if (!d.to.url)
        d.to = UrlPick{succeeded.url, false};
    d.split = true;
    d.victim = victim->id;
    d.half = largest / 2;
    return d;
}
