// The dispatcher: every period it walks the items once, under the engine lock,
// and takes one small decision per item (see docs/download.md):
//   failed    -> its rest restarts on the fastest other mirror (or the CDN),
//   stalled   -> its rest moves there, from its current position,
//   succeeded -> the largest remaining range is split (work stealing),
//   no mirror for a failed range -> the download gives up.
#include <chrono>
#include <cstring>
#include <functional>

#include "download/downloader_curl.h"
#include "platform/log.h"
#include "platform/system.h"

void DownloaderCurl::DispatchThread() {
    WriteLog("Download_Dispatch Begining.\n");
    // Passes come every period (the stall rule's clock) and, in between, at
    // once when a transfer ends; the extra passes do not move the period.
    const auto period = std::chrono::milliseconds(m_tuning.dispatchPeriodMs);
    auto next = std::chrono::steady_clock::now() + period;
    while (running) {
        if (!WaitDispatchPass(next))
            break;
        const auto now = std::chrono::steady_clock::now();
        if (now >= next)
            next = now + period;
        if (!DispatchPass())
            break;
    }
    FinalCheck();
    WriteLog("Download_Dispatch Endding.\n");
}

bool DownloaderCurl::WaitDispatchPass(std::chrono::steady_clock::time_point deadline) {
    std::unique_lock<std::mutex> lock(m_wakeLock);
    m_wake.wait_until(lock, deadline, [this] { return !running || m_bStopped || m_passRequested; });
    m_passRequested = false;
    return running && !m_bStopped;
}

void DownloaderCurl::RequestDispatchPass() {
    {
        std::lock_guard<std::mutex> lock(m_wakeLock);
        m_passRequested = true;
    }
    m_wake.notify_all();
}

void DownloaderCurl::WakeDispatcher() {
    { std::lock_guard<std::mutex> lock(m_wakeLock); }
    m_wake.notify_all();
}

bool DownloaderCurl::DispatchPass() {
    AutoMutex lock(m_hMutex);
    // A refused file write (a full disk) will not heal by fetching the range
    // again: the download fails now rather than after every byte came in.
    if (m_bFileWriteFailed) {
        WriteLog("Download_Dispatch : file write failed.\n");
        errorCode = kDownloadExeError;
        CloseFile();
        Finish(kStateFailed, kEventFailed, static_cast<int>(downloadedBytes.load()),
               static_cast<int>(totalBytes.load()));
        return false;
    }
    StartPendingRanges();
    const int count = m_ranges.NextId();
    bool closedAny = false;
    PassSnapshot snap = TakeSnapshot();
    for (int id = 0; id < count && running; ++id) {
        DownloadItem& item = m_ranges.At(id);
        const ItemView& view = snap.items[static_cast<size_t>(id)];
        bool changed = false;
        switch (view.state) {
            case kItemFailed:
                if (!ApplyFailed(item, DecideFailed(snap, view), changed))
                    return false;
                closedAny = closedAny || item.state == kItemClosed;
                break;
            case kItemRunning:
                changed = ApplyRunning(item, DecideRunning(snap, view));
                break;
            case kItemSucceeded:
                changed = ApplySplit(DecideSplit(snap, view));
                break;
            default:
                break;
        }
        // The next rule sees what this one changed.
        if (changed)
            snap = TakeSnapshot();
    }
    // A failed range whose bytes were all in may have been the last one open.
    if (closedAny)
        TryComplete();
    return true;
}

PassSnapshot DownloaderCurl::TakeSnapshot() const {
    PassSnapshot s;
    s.items.reserve(m_ranges.Size());
    for (const auto& kv : m_ranges) {
        const DownloadItem& it = kv.second;
        ItemView v;
        v.id = it.id;
        v.state = it.state;
        v.pos = it.pos;
        v.end = it.end;
        v.url = it.url;
        v.speed = it.speed;
        v.lastTick = it.lastTick;
        v.repair = m_repairItems.count(it.id) != 0;
        v.cdnUrl = IsCdnUrl(it.url);
        s.items.push_back(v);
    }
    s.totalBytes = totalBytes;
    s.downloadedBytes = downloadedBytes;
    s.cdnUrl = cdnUrl.fileSizeConsistent ? cdnUrl.url : nullptr;
    s.now = GetTickCount();
    s.stallLimitMs = m_tuning.stallLimitMs;
    s.splitThreshold = m_tuning.splitThreshold;
    s.itemCount = itemCount;
    return s;
}

const char* DownloaderCurl::UsePick(const UrlPick& pick) {
    if (pick.cdn)
        usingCdn = true;
    return pick.url;
}

DownloadItem* DownloaderCurl::TakeOverRest(DownloadItem& item, const char* url) {
    DownloadItem* next = AddItem(item, item.pos, item.end, url);
    if (m_repairItems.count(item.id))
        m_repairItems.insert(next->id);
    return next;
}

bool DownloaderCurl::ApplyFailed(DownloadItem& item, const FailedDecision& d, bool& changed) {
    switch (d.action) {
        case FailedAction::kClose:
            item.state = kItemClosed;
            changed = true;
            return true;
        case FailedAction::kWait:
            return true;
        case FailedAction::kGiveUp:
            GiveUp(item);
            return false;
        case FailedAction::kRestart:
            break;
    }
    DownloadItem* next = TakeOverRest(item, UsePick(d.to));
    item.state = kItemReplaced;
    BeginDownloadItem(next);
    changed = true;
    return true;
}

bool DownloaderCurl::ApplyRunning(DownloadItem& item, const RunningDecision& d) {
    if (!d.move)
        return false;
    DownloadItem* next = TakeOverRest(item, UsePick(d.to));
    item.end = item.pos;
    item.state = kItemClosed;
    BeginDownloadItem(next);
    return true;
}

int DownloaderCurl::CountRunning() const {
    return m_ranges.CountRunning();
}

bool DownloaderCurl::ApplySplit(const SplitDecision& d) {
    if (!d.split)
        return false;
    DownloadItem& victim = m_ranges.At(d.victim);
    DownloadItem* next = AddItem(victim, victim.pos + d.half, victim.end, UsePick(d.to));
    BeginDownloadItem(next);
    victim.end -= d.half;
    return true;
}

void DownloaderCurl::GiveUp(DownloadItem& item) {
    WriteLog("Download_Dispatch : download error fail , ID(%d).\n", item.id);
    running = false;
    failedLink = item.url ? item.url : "";
    std::string host;
    if (GetUrlHostPart(failedLink, host)) {
        WriteLog("Download_Dispatch link :(%s).\n", host.c_str());
    }
    // Repairs may run during the download now; what failed decides the name.
    const bool repairing = repairStarted && m_repairItems.count(item.id) != 0;
    errorCode = repairing ? kRepairFailError : kDispatchFailError;
    failedResult = item.result;
}

void DownloaderCurl::FinalCheck() {
    AutoMutex lock(m_hMutex);
    if (state == kStateFinished || !image || m_bFinalSent || m_bStopped)
        return;
    const int a = static_cast<int>(downloadedBytes.load());
    const int b = static_cast<int>(totalBytes.load());
    // Repairs are pointless now: writes are refused once the dispatcher gave up.
    const HashCheck check = RunHashCheck(false);
    // A given-up range left bytes missing; only digests can prove it was
    // covered anyway, so without any the download has failed.
    if (check.verified && HasDigests()) {
        WriteLog("Download_CheckFinish : Finish download.\n");
        CloseFile();
        Finish(kStateFinished, kEventFinished, a, b);
        return;
    }
    WriteLog("Download_Dispatch : CheckHash download failed.\n");
    Finish(kStateFailed, kEventFailed, a, b);
}

DownloadItem* DownloaderCurl::AddItem(const DownloadItem& from, uint32_t start, uint32_t end,
                                      const char* url) {
    DownloadItem& n = m_ranges.Add();
    const int id = n.id;
    n = from;
    n.id = id;
    n.url = url;
    n.handle = nullptr;
    n.result = 0;
    n.start = n.pos = start;
    n.end = end;
    n.speed = 0;
    n.sampleTick = 0;
    n.sampleBytes = 0;
    n.finishTick = 0;
    n.lastTick = n.startTick = GetTickCount();
    n.state = kItemRunning;
    return &n;
}

const char* DownloaderCurl::GetBestURL(const char* exclude) {
    return BestUrlWhere(
        [exclude](const char* url) { return exclude && strcmp(url, exclude) == 0; });
}

const char* DownloaderCurl::GetBestURLExcept(const std::set<std::string>& exclude) {
    return BestUrlWhere([&exclude](const char* url) { return exclude.count(url) != 0; });
}

const char* DownloaderCurl::BestUrlWhere(const std::function<bool(const char*)>& excluded) {
    return UsePick(FastestUrlWhere(TakeSnapshot().items, excluded));
}
