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
    const int count = static_cast<int>(items.size());
    bool closedAny = false;
    for (int id = 0; id < count && running; ++id) {
        DownloadItem& item = items.at(id);
        switch (item.state.load()) {
            case kItemFailed:
                if (!HandleFailed(item, closedAny))
                    return false;
                break;
            case kItemRunning:
                HandleRunning(item);
                break;
            case kItemSucceeded:
                HandleSucceeded(item);
                break;
            default:
                break;
        }
    }
    // A failed range whose bytes were all in may have been the last one open.
    if (closedAny)
        TryComplete();
    return true;
}

const char* DownloaderCurl::FallbackToCdn(const char* current) {
    if (!cdnUrl.fileSizeConsistent)
        return nullptr;
    if (current && strcmp(current, cdnUrl.url) == 0)
        return nullptr;
    usingCdn = true;
    return cdnUrl.url;
}

bool DownloaderCurl::HandleFailed(DownloadItem& item, bool& closed) {
    if (static_cast<uint64_t>(item.pos) >= static_cast<uint64_t>(item.end) + 1) {
        item.state = kItemClosed;
        closed = true;
        return true;
    }
    const char* u = GetBestURL(item.url);
    if (!u)
        u = FallbackToCdn(item.url);
    // Another mirror still transferring has simply not measured a speed yet
    // (a slow first answer); the range waits for the next pass instead of
    // failing a download that mirror can finish.
    if (!u && OtherMirrorRunning(item.url))
        return true;
    if (!u) {
        GiveUp(item);
        return false;
    }
    DownloadItem* next = AddItem(item, item.pos, item.end, u);
    if (m_repairItems.count(item.id))
        m_repairItems.insert(next->id);
    item.state = kItemReplaced;
    BeginDownloadItem(next);
    return true;
}

void DownloaderCurl::HandleRunning(DownloadItem& item) {
    const uint32_t total = totalBytes;
    if (total > 0 && static_cast<double>(downloadedBytes) / total > 0.9)
        return;
    if (cdnUrl.fileSizeConsistent && strcmp(item.url, cdnUrl.url) == 0)
        return;
    if (GetTickCount() - item.lastTick < m_tuning.stallLimitMs)
        return;
    if (item.pos > item.end)
        return;  // every byte is in; nothing to move
    const char* u = GetBestURL(item.url);
    if (!u && cdnUrl.fileSizeConsistent) {
        usingCdn = true;
        u = cdnUrl.url;
    }
    if (!u)
        return;
    DownloadItem* next = AddItem(item, item.pos, item.end, u);
    if (m_repairItems.count(item.id))
        m_repairItems.insert(next->id);
    item.end = item.pos;
    item.state = kItemClosed;
    BeginDownloadItem(next);
}

bool DownloaderCurl::OtherMirrorRunning(const char* url) const {
    for (const auto& kv : items) {
        const DownloadItem& it = kv.second;
        if (it.state == kItemRunning && it.url && (!url || strcmp(it.url, url) != 0))
            return true;
    }
    return false;
}

int DownloaderCurl::CountRunning() const {
    int n = 0;
    for (const auto& kv : items) {
        if (kv.second.state == kItemRunning)
            ++n;
    }
    return n;
}

void DownloaderCurl::HandleSucceeded(DownloadItem& item) {
    if (CountRunning() >= itemCount)
        return;
    DownloadItem* victim = nullptr;
    uint32_t largest = 0;
    for (auto& kv : items) {
        DownloadItem& v = kv.second;
        if (v.state != kItemRunning || v.pos > v.end || m_repairItems.count(v.id))
            continue;
        if (v.end - v.pos > largest) {
            largest = v.end - v.pos;
            victim = &v;
        }
    }
    if (!victim || largest < m_tuning.splitThreshold)
        return;
    const char* u = GetBestURL(victim->url);
    if (!u && cdnUrl.fileSizeConsistent) {
        usingCdn = true;
        u = cdnUrl.url;
    }
    if (!u)
        u = item.url;
    const uint32_t half = largest / 2;
    DownloadItem* next = AddItem(*victim, victim->pos + half, victim->end, u);
    BeginDownloadItem(next);
    victim->end -= half;
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
    const int id = static_cast<int>(items.size());
    DownloadItem& n = items[id];
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

// Fastest live item whose URL is not excluded; only a speed strictly above the
// best so far counts, so idle items are never chosen and the lowest id wins a tie.
const char* DownloaderCurl::BestUrlWhere(const std::function<bool(const char*)>& excluded) {
    const char* best = nullptr;
    uint32_t bestSpeed = 0;
    for (const auto& kv : items) {
        const DownloadItem& it = kv.second;
        const int s = it.state;
        if (s != kItemRunning && s != kItemClosed && s != kItemSucceeded)
            continue;
        if (!it.url || excluded(it.url))
            continue;
        if (it.speed > bestSpeed) {
            bestSpeed = it.speed;
            best = it.url;
        }
    }
    if (best && IsCdnUrl(best))
        usingCdn = true;
    return best;
}
