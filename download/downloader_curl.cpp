// DownloaderCurl: construction, configuration entry, transfer start, the write
// and abort callbacks, completion and the result getters. The dispatcher is in
// dispatcher.cpp, verification in verify.cpp, probing in probe.cpp.
#include "download/downloader_curl.h"

#include <curl/curl.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <new>

#include "platform/log.h"
#include "platform/system.h"
#include "platform/text.h"

namespace {

std::once_flag g_curlInit;

size_t ItemWrite(char* data, size_t size, size_t count, void* user) {
    auto* item = static_cast<DownloadItem*>(user);
    if (!item || !item->owner)
        return 0;
    return item->owner->OnItemData(item, data, size * count);
}

int ItemAbortCheck(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    auto* item = static_cast<const DownloadItem*>(user);
    return (item && item->owner && item->owner->ShouldAbort(item)) ? 1 : 0;
}

void CopyText(char* out, size_t size, const std::string& text) {
    size_t n = std::min(text.size(), size - 1);
    memcpy(out, text.data(), n);
    out[n] = 0;
}

}  // namespace

DownloaderCurl::DownloaderCurl(const DownloaderTuning& tuning) : m_tuning(tuning) {
    std::call_once(g_curlInit, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

DownloaderCurl::~DownloaderCurl() {
    StopDownload();
    // Threads may start others (repairs from a finishing transfer), so join
    // until none is left; after the stop no new transfer begins.
    for (;;) {
        std::vector<std::thread> threads;
        {
            AutoMutex lock(m_hMutex);
            threads.swap(m_threads);
        }
        if (threads.empty())
            break;
        for (std::thread& t : threads) {
            if (t.joinable())
                t.join();
        }
    }
}

void DownloaderCurl::StartThread(std::thread t) {
    AutoMutex lock(m_hMutex);
    m_threads.push_back(std::move(t));
}

// ---------------------------------------------------------------- configuration

HRESULT DownloaderCurl::StartWithConfigText(const char* xmlText, int xmlLength,
                                            std::string destPath) {
    // The text is copied: the caller's buffer need not outlive this call.
    std::string text;
    if (xmlText && xmlLength > 0)
        text.assign(xmlText, static_cast<size_t>(xmlLength));
    {
        AutoMutex lock(m_hMutex);
        m_strDestPath = destPath.substr(0, kMaxPath - 1);
    }
    running = true;
    const bool haveText = xmlText != nullptr;
    StartThread(std::thread([this, text, haveText] {
        HRESULT hr =
            LoadConfigText(haveText ? text.c_str() : nullptr, static_cast<int>(text.size()));
        if (hr == 0) {
            WriteLog("Download_Thread_Download_Cfg : succeed.\n");
        } else {
            WriteLog("Download_Thread_Download_Cfg : failed.\n");
            WriteLog("Download_Thread_Download_Cfg : error.\n");
        }
    }));
    return 0;
}

HRESULT DownloaderCurl::LoadConfigText(const char* text, int length) {
    if (!text) {
        EndWithConfigFailure();
        return E_FAIL;
    }
    // The XML reader runs to the text's NUL; a buffer is only trusted for
    // `length` bytes, so it gets a terminated copy of at most that much.
    const std::string bounded(text, strnlen(text, static_cast<size_t>(std::max(length, 0))));
    boost::shared_ptr<IXMLParse> parser;
    HRESULT hr = E_INVALIDARG;
    if (CreateXMLParse(parser) == 0 && parser &&
        parser->LoadFromMemory(bounded.c_str(), static_cast<int>(bounded.size()))) {
        std::string dest;
        {
            AutoMutex lock(m_hMutex);
            dest = m_strDestPath;
        }
        hr = ParseConfig(parser, dest);
    } else {
        errorCode = kConfigLoadError;
    }
    if (hr < 0)
        EndWithConfigFailure();
    return hr;
}

HRESULT DownloaderCurl::LoadConfigFile(std::wstring cfgPath, std::string destPath) {
    boost::shared_ptr<IXMLParse> parser;
    if (CreateXMLParse(parser) != 0 || !parser || !parser->LoadFromFile(cfgPath)) {
        errorCode = kConfigLoadError;
        return E_INVALIDARG;
    }
    return ParseConfig(parser, destPath);
}

void DownloaderCurl::EndWithConfigFailure() {
    AutoMutex lock(m_hMutex);
    if (state != kStateNeedUpdate)
        state = kStateFailed;
    Finish(state, kEventFailed, 0, 0);
}

HRESULT DownloaderCurl::ReadTask(IXMLParse& parser, const std::string& destPath, DownloadTask& t) {
    CopyText(t.path, sizeof(t.path), destPath);
    t.threadsPerUrl = 2;
    int version = 0;
    if (!parser.GetInt("download.version", version)) {
        state = kStateNeedUpdate;
        errorCode = kConfigLoadVersionError;
        return E_ABORT;
    }
    if (version > 1) {
        state = kStateNeedUpdate;
        errorCode = kNeedUpdateDownload;
        return E_ABORT;
    }
    // A size of zero or below cannot describe a file to fetch.
    if (!parser.GetInt("download.size", t.size) || t.size <= 0) {
        errorCode = kConfigLoadFileSizeError;
        return E_ABORT;
    }
    int n = 0;
    if (!parser.GetInt("download.url.size", n)) {
        errorCode = kConfigLoadUrlSizeError;
        return E_ABORT;
    }
    char key[64];
    for (int i = 0; i < n && i < kMaxMirrors; ++i) {
        std::string url;
        snprintf(key, sizeof(key), "download.url.item_%d.value", i);
        if (!parser.GetString(key, url)) {
            errorCode = kConfigLoadUrlError;
            return E_ABORT;
        }
        CopyText(t.urls[i].url, sizeof(t.urls[i].url), url);
        t.urls[i].fileSizeConsistent = true;
    }
    int m = 0;
    if (!parser.GetInt("download.hash.size", m)) {
        errorCode = kConfigLoadHashSizeError;
        return E_ABORT;
    }
    for (int j = 0; j < m; ++j) {
        std::string digest;
        snprintf(key, sizeof(key), "download.hash.item_%d.value", j);
        if (!parser.GetString(key, digest)) {
            errorCode = kConfigLoadHashError;
            return E_ABORT;
        }
        if (j == 0) {
            t.fileHash = digest;
        } else {
            t.blockHashes.push_back(digest);
        }
    }
    return 0;
}

bool DownloaderCurl::IsAlreadyComplete(const DownloadTask& t) {
    // A file of another length cannot carry the digest: an interrupted run's
    // file goes straight to resuming without a pass over all its bytes.
    std::error_code error;
    const auto length = std::filesystem::file_size(t.path, error);
    if (error || length != static_cast<uintmax_t>(std::max(t.size, 0)))
        return false;
    std::string hex;
    return Md5HexOfFile(t.path, hex) && hex == t.fileHash;
}

HRESULT DownloaderCurl::ParseConfig(boost::shared_ptr<IXMLParse> parser, std::string destPath) {
    if (!parser) {
        errorCode = kConfigLoadError;
        return E_INVALIDARG;
    }
    DownloadTask t;
    HRESULT hr = ReadTask(*parser, destPath, t);
    if (hr != 0)
        return hr;
    if (IsAlreadyComplete(t)) {
        AutoMutex lock(m_hMutex);
        errorCode = kNoNeedDownload;
        Finish(kStateFinished, kEventFinished, 0, 1);
        return 0;
    }
    return BeginDownload(t);
}

// ---------------------------------------------------------------- transfers

HRESULT DownloaderCurl::BeginDownload(const DownloadTask& siItem) {
    const uint32_t size = static_cast<uint32_t>(std::max(siItem.size, 0));
    {
        AutoMutex lock(m_hMutex);
        if (m_bStopped)
            return E_ABORT;
        task = siItem;
        CloseFile();
        downloadedBytes = 0;
        image.reset(static_cast<unsigned char*>(std::calloc(size > 0 ? size : 1, 1)));
        if (!image) {
            totalBytes = 0;
            errorCode = kDownloadMallocError;
            return E_POINTER;
        }
        totalBytes = size;
    }
    // What an earlier run left is read while the mirrors are probed; its
    // blocks are proven while the missing ones are already being fetched.
    int64_t existing = 0;
    std::thread prepare;
    if (!siItem.blockHashes.empty()) {
        prepare = std::thread([this, &existing, path = std::string(siItem.path), size] {
            existing = ReadExistingFile(path, size);
        });
    }
    // Probing takes seconds; only this thread touches `task` meanwhile.
    const HRESULT probed = CheckDownload(task);
    if (prepare.joinable())
        prepare.join();
    if (probed != 0) {
        WriteLog("Error : BeginDownload (CheckDownload(siItem) != S_OK).\n");
        errorCode = kDownloadCheckUrlError;
        return E_FAIL;
    }
    {
        AutoMutex lock(m_hMutex);
        if (m_bStopped || !image)
            return E_ABORT;
        const HRESULT hr = OpenDestination();
        if (hr != 0)
            return hr;
        WriteLog("Download_BeginDownload : OpenFile(%d), FileSize(%d), Mutex(%d), File(%s).\n",
                 file.Handle(), static_cast<int>(size), 1, task.path);
        m_existingBytes = static_cast<uint64_t>(existing);
    }
    return InitDownload();
}

HRESULT DownloaderCurl::OpenDestination() {
    // With block digests the proven blocks of an earlier run stay: the file
    // is only cut to the configured size. Without them it starts empty.
    const bool resume = !task.blockHashes.empty();
    const PositionalFile::OpenResult r = file.Open(task.path, resume ? totalBytes.load() : 0);
    if (r == PositionalFile::OpenResult::kOpened)
        return 0;
    // Without a destination file nothing the transfers fetch can be kept;
    // a link or a device is never written through.
    WriteLog(r == PositionalFile::OpenResult::kNotRegular
                 ? "Download_BeginDownload : not a regular file, File(%s).\n"
                 : "Download_BeginDownload : OpenFile failed, File(%s).\n",
             task.path);
    errorCode = kDownloadExeError;
    image.reset();
    return E_FAIL;
}

HRESULT DownloaderCurl::InitDownload() {
    AutoMutex lock(m_hMutex);
    const int n = static_cast<int>(m_vecUrlCfg.size());
    if (n < 1) {
        errorCode = kDownloadUrlCountError;
        return E_INVALIDARG;
    }
    if (m_bStopped || !image)
        return E_ABORT;
    const int t = (task.threadsPerUrl >= 1 && task.threadsPerUrl <= 10) ? task.threadsPerUrl : 2;
    // A file smaller than the transfer count still gets ranges of one byte or more.
    itemCount = static_cast<int>(std::min<uint32_t>(static_cast<uint32_t>(n * t), totalBytes));
    m_ranges.Clear();
    running = true;
    m_provingBlocks = 0;
    m_dispatcherStarted = false;
    StartBlockChecks();
    std::vector<ByteSpan> missing;
    if (totalBytes > 0)
        missing.emplace_back(0, totalBytes - 1);
    if (!task.blockHashes.empty())
        missing = PlanResume(m_existingBytes);
    if (m_provingBlocks > 0) {
        m_resumeProving = true;
        ++m_nThreadCount;
        StartThread(std::thread(&DownloaderCurl::ProveExistingBlocks, this));
    } else if (!task.blockHashes.empty()) {
        WriteLog("Download resume : kept %d of %d blocks.\n", 0,
                 static_cast<int>(BlockCount(totalBytes)));
    }
    if (!missing.empty()) {
        StartRanges(missing);
    } else if (!m_resumeProving) {
        TryComplete();  // nothing to fetch and nothing to prove
    }
    return 0;
}

void DownloaderCurl::StartRanges(const std::vector<ByteSpan>& spans) {
    const size_t n = m_vecUrlCfg.size();
    const uint32_t now = GetTickCount();
    for (const ByteSpan& range : LayOutRanges(spans, static_cast<size_t>(itemCount))) {
        // A slot never used gets its range now; the rest wait for a free one.
        if (m_ranges.Size() >= static_cast<size_t>(itemCount)) {
            m_pendingRanges.push_back(range);
            continue;
        }
        DownloadItem& it = m_ranges.Add();
        const int id = it.id;
        it.start = it.pos = range.first;
        it.end = range.second;
        it.url = m_vecUrlCfg[static_cast<size_t>(id) % n].url;
        it.lastTick = it.startTick = now;
        it.state = kItemRunning;
        BeginDownloadItem(&it);
    }
    StartPendingRanges();
    if (m_dispatcherStarted)
        return;
    m_dispatcherStarted = true;
    int dispatcher = ++m_nThreadCount;
    StartThread(std::thread(&DownloaderCurl::DispatchThread, this));
    WriteLog("Download_InitDownload : start download dispatch, thread(%d).\n", dispatcher);
}

HRESULT DownloaderCurl::BeginDownloadItem(DownloadItem* item) {
    CURL* h = curl_easy_init();
    item->handle = h;
    item->result = 0;
    item->file = &file;
    item->owner = this;
    if (h) {
        EasyHandleOptions o = EasyOptions(item->url, true);
        o.userAgent = kTransferUserAgent;
        o.followRedirects = true;
        o.timeoutS = 20000;
        // The silence rule lives in the abort check; libcurl's averaged
        // window only for a real speed floor.
        if (m_tuning.lowSpeedLimit > 1) {
            o.lowSpeedLimit = m_tuning.lowSpeedLimit;
            o.lowSpeedTimeS = m_tuning.lowSpeedTimeS;
        }
        ApplyEasyOptions(h, o);
        curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, ItemWrite);
        curl_easy_setopt(h, CURLOPT_WRITEDATA, item);
        curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, ItemAbortCheck);
        curl_easy_setopt(h, CURLOPT_XFERINFODATA, item);
        // Large reads keep the callback cost small against the bytes moved.
        curl_easy_setopt(h, CURLOPT_BUFFERSIZE, 512L * 1024L);
        if (item->end <= totalBytes) {
            char range[64];
            snprintf(range, sizeof(range), "%u-%u", item->start, item->end);
            curl_easy_setopt(h, CURLOPT_RANGE, range);
        }
    }
    item->thread = ++m_nThreadCount;
    StartThread(std::thread(&DownloaderCurl::ItemThread, this, item));
    WriteLog("Download_BeginDownloadItem : id(%d) thread(%d).\n", item->id, item->thread);
    return 0;
}

void DownloaderCurl::ItemThread(DownloadItem* item) {
    CURL* h = nullptr;
    {
        AutoMutex lock(m_hMutex);
        h = item->handle;
        if (!h) {
            WriteLog("Download_Internal Error : pItem curl == NULL.\n");
            if (item->state == kItemRunning)
                item->state = kItemFailed;
            return;
        }
    }
    CURLcode r = curl_easy_perform(h);
    {
        AutoMutex lock(m_hMutex);
        item->result = static_cast<int>(r);
        item->finishTick = GetTickCount();
        // A range cut short by a split ends with a write error, yet all its
        // bytes are in: closed now, with nothing for the dispatcher to decide.
        const bool complete = static_cast<uint64_t>(item->pos) > item->end;
        const int next = r == CURLE_OK ? kItemSucceeded : (complete ? kItemClosed : kItemFailed);
        int expected = kItemRunning;
        item->state.compare_exchange_strong(expected, next);
        item->handle = nullptr;
    }
    curl_easy_cleanup(h);
    CheckFinish(item);
    if (r != CURLE_OK && item->state != kItemClosed) {
        WriteLog("Download_Internal ERROR ID(%d), Result(%d).\n", item->id, static_cast<int>(r));
    } else {
        WriteLog("Download_Internal Finish (%d).\n", item->id);
    }
}

size_t DownloaderCurl::OnItemData(DownloadItem* item, const char* data, size_t offered) {
    size_t n = offered;
    uint32_t offset = 0;
    {
        AutoMutex lock(m_hMutex);
        const uint64_t pos = item->pos;
        const uint64_t limit = static_cast<uint64_t>(item->end) + 1;
        if (pos + n > limit)
            n = pos > limit ? 0 : static_cast<size_t>(limit - pos);
        // A range moved or closed elsewhere writes nothing more: its bytes now
        // belong to another transfer, and checked blocks must stay as checked.
        if (!running || !image || item->state != kItemRunning)
            return 0;
        memcpy(image.get() + pos, data, n);
        const uint64_t received = static_cast<uint64_t>(downloadedBytes) + n;
        downloadedBytes = static_cast<uint32_t>(std::min<uint64_t>(received, totalBytes));
        // While kept blocks are proven the count lacks them: held back.
        if (!m_resumeProving)
            RaiseEvent(kEventProgress, static_cast<int>(downloadedBytes.load()),
                       static_cast<int>(totalBytes.load()));
        offset = item->pos;
        item->pos += static_cast<uint32_t>(n);
        // Counted before the lock is let go: a completion that follows at
        // once must not close the file under this chunk's write.
        if (n > 0)
            BeginFileWrite();
        // The speed sample spans at least kSpeedWindowMs of chunks: a single
        // chunk timed by a millisecond tick reads a burst after a scheduling
        // delay as hundreds of MB/s and its cut last fragment as almost none.
        // Until the first window is full, the average so far stands in.
        const uint32_t now = GetTickCount();
        if (item->sampleBytes == 0 && item->sampleTick == 0)
            item->sampleTick = item->startTick;
        item->sampleBytes += static_cast<uint32_t>(offered);
        const uint32_t elapsed = now - item->sampleTick;
        if (elapsed >= kSpeedWindowMs || (item->speed == 0 && elapsed != 0)) {
            item->speed = static_cast<uint32_t>(uint64_t{item->sampleBytes} * 1000 / elapsed);
        }
        if (elapsed >= kSpeedWindowMs) {
            item->sampleTick = now;
            item->sampleBytes = 0;
        }
        item->lastTick = now;
    }
    // The file write runs outside the engine lock: positional, so transfers do
    // not wait for each other; the file's own lock keeps it open meanwhile.
    if (n == 0)
        return n;
    const bool written = file.Write(offset, data, n);
    EndFileWrite();
    if (!written) {
        AutoMutex lock(m_hMutex);
        if (running)
            m_bFileWriteFailed = true;
        return 0;
    }
    return n;
}

bool DownloaderCurl::ShouldAbort(const DownloadItem* item) const {
    const int s = item->state;
    if (s == kItemClosed || s == kItemFailed)
        return true;
    // No byte for the low-speed time: the transfer ends and the dispatcher
    // restarts its rest elsewhere.
    const uint64_t silentMs = GetTickCount() - item->lastTick.load();
    return silentMs >= static_cast<uint64_t>(std::max(m_tuning.lowSpeedTimeS, 0L)) * 1000;
}

// ---------------------------------------------------------------- completion

void DownloaderCurl::CheckFinish(DownloadItem* item) {
    AutoMutex lock(m_hMutex);
    WriteLog("Download_CheckFinish.\n");
    RaiseEvent(kEventItemEnded, item->id,
               static_cast<int>(reinterpret_cast<intptr_t>(item) & 0x7fffffff));
    TryComplete();
    // An idle slot or a failed range is dealt with now, not at the next tick.
    RequestDispatchPass();
}

void DownloaderCurl::TryComplete() {
    if (!m_pendingRanges.empty() || m_resumeProving)
        return;  // missing blocks wait for a free transfer, or kept ones for their proof
    for (const auto& kv : m_ranges) {
        // A running range that still owes bytes, or a failed one the
        // dispatcher has yet to restart, keeps the download open.
        const int s = kv.second.state;
        if ((s == kItemRunning || s == kItemFailed) && kv.second.pos <= kv.second.end) {
            WriteLog("Download_CheckFinish : continue. now wait (%d).\n", kv.first);
            return;
        }
    }
    if (!image || !running)
        return;
    // Transfers whose bytes are all in (a split left them nothing, their
    // mirror went quiet) are not waited for; they end at their next call.
    for (auto& kv : m_ranges) {
        if (kv.second.state == kItemRunning)
            kv.second.state = kItemClosed;
    }
    if (m_bFileWriteFailed) {
        WriteLog("Download_CheckFinish : file write failed.\n");
        errorCode = kDownloadExeError;
        image.reset();
        Finish(kStateFailed, kEventFailed, static_cast<int>(downloadedBytes.load()),
               static_cast<int>(totalBytes.load()));
        return;
    }
    HashCheck check = RunHashCheck(true);
    if (check.verified && !HasDigests() && ShortRangeLeft()) {
        // Nothing to check against and a range came back short (an error
        // page, a truncated answer): a gap nothing can prove or place.
        check.verified = false;
        check.unplaceable = true;
    }
    if (check.verified) {
        WriteLog("Download_CheckFinish : Finish download.\n");
        const int a = static_cast<int>(downloadedBytes.load());
        const int b = static_cast<int>(totalBytes.load());
        CloseFile();
        Finish(kStateFinished, kEventFinished, a, b);
    } else if (check.unplaceable) {
        // The whole-file digest says wrong, yet no block can be blamed:
        // nothing to repair and nothing that proves the file.
        WriteLog("Download_CheckFinish : CheckHash failed.\n");
        errorCode = kCheckHashError;
        Finish(kStateFailed, kEventFailed, static_cast<int>(downloadedBytes.load()),
               static_cast<int>(totalBytes.load()));
    } else if (check.boundReached || check.repairsStarted == 0) {
        // Nothing left that could make the file right.
        WriteLog("Download_CheckFinish : repair failed.\n");
        errorCode = kRepairFailError;
        Finish(kStateFailed, kEventFailed, static_cast<int>(downloadedBytes.load()),
               static_cast<int>(totalBytes.load()));
    }
}

bool DownloaderCurl::HasDigests() const {
    return !task.fileHash.empty() || !task.blockHashes.empty();
}

bool DownloaderCurl::ShortRangeLeft() const {
    // Succeeded ranges are final; one that did not reach its end left a gap.
    for (const auto& kv : m_ranges) {
        if (kv.second.state == kItemSucceeded && kv.second.pos <= kv.second.end)
            return true;
    }
    return false;
}

void DownloaderCurl::Finish(int newState, int event, int a, int b) {
    AutoMutex lock(m_hMutex);
    running = false;
    if (m_bFinalSent || m_bStopped)
        return;
    m_bFinalSent = true;
    state = newState;
    RaiseEvent(event, a, b);
    WakeDispatcher();
}

void DownloaderCurl::RaiseEvent(int event, int a, int b) {
    AutoMutex lock(m_hMutex);
    if (callback)
        callback(event, a, b);
}

void DownloaderCurl::BeginFileWrite() {
    std::lock_guard<std::mutex> lock(m_writeLock);
    ++m_writesInFlight;
}

void DownloaderCurl::EndFileWrite() {
    std::lock_guard<std::mutex> lock(m_writeLock);
    if (--m_writesInFlight == 0)
        m_writesDone.notify_all();
}

void DownloaderCurl::CloseFile() {
    WriteLog("Download_CloseFile.\n");
    {
        // Chunks already in the image reach the file before it closes. No
        // new write can begin: this thread holds the engine lock.
        std::unique_lock<std::mutex> lock(m_writeLock);
        m_writesDone.wait(lock, [this] { return m_writesInFlight == 0; });
    }
    if (file.IsOpen()) {
        int r = file.Close();
        WriteLog("CloseFile %d.\n", r);
    }
    std::lock_guard<std::mutex> reading(m_imageReadLock);
    image.reset();
}

HRESULT DownloaderCurl::StopDownload() {
    AutoMutex lock(m_hMutex);
    m_bStopped = true;
    running = false;
    CloseFile();
    for (auto& kv : m_ranges)
        kv.second.state = kItemClosed;
    totalBytes = 0;
    downloadedBytes = 0;
    WakeDispatcher();
    return 0;
}

// ---------------------------------------------------------------- getters

HRESULT DownloaderCurl::SetCallback(DownloadCallback cb) {
    if (cb.empty())
        return E_POINTER;
    AutoMutex lock(m_hMutex);
    callback = cb;
    return 0;
}

HRESULT DownloaderCurl::GetDownloadStats(DownloadStats& stats) {
    AutoMutex lock(m_hMutex);
    stats.itemCount = itemCount;
    stats.totalBytes = static_cast<int>(totalBytes.load());
    stats.downloadedBytes = static_cast<int>(downloadedBytes.load());
    stats.items = m_ranges.Copy();
    return 0;
}

void DownloaderCurl::SetProxy(std::string proxyUrl) {
    AutoMutex lock(m_hMutex);
    proxy = proxyUrl;
}

std::string DownloaderCurl::GetFailedLink() {
    AutoMutex lock(m_hMutex);
    return failedLink;
}

std::string DownloaderCurl::GetRepairLink() {
    AutoMutex lock(m_hMutex);
    return repairLink;
}

void DownloaderCurl::GetCheckedUrls(std::vector<UrlCfg>& out) {
    AutoMutex lock(m_hMutex);
    out = checkedUrls;
}

void DownloaderCurl::GetUsedUrls(std::vector<UrlCfg>& out) {
    AutoMutex lock(m_hMutex);
    out = m_vecUrlCfg;
}

// ---------------------------------------------------------------- factory

namespace {
// Release threads are detached and may outlive main(); their bookkeeping is
// never destroyed, so a late one cannot meet a destroyed lock at exit.
struct ReleaseState {
    std::mutex lock;
    std::condition_variable done;
    int pending = 0;
};
ReleaseState& Releases() {
    // Built in static storage, never destroyed, and no heap block to count.
    alignas(ReleaseState) static unsigned char storage[sizeof(ReleaseState)];
    static ReleaseState* state = new (storage) ReleaseState;
    return *state;
}
}  // namespace

bool CreateDownloader(IDownloader** out) {
    return CreateDownloader(out, DownloaderTuning());
}

bool CreateDownloader(IDownloader** out, const DownloaderTuning& tuning) {
    if (!out)
        return false;
    *out = new (std::nothrow) DownloaderCurl(tuning);
    return *out != nullptr;
}

int ReleaseDownloader(IDownloader* d) {
    ReleaseState& r = Releases();
    {
        std::lock_guard<std::mutex> lock(r.lock);
        ++r.pending;
    }
    std::thread([d, &r] {
        NameCurrentThread("korvel-release");  // tests wait for it by name
        delete d;
        std::lock_guard<std::mutex> lock(r.lock);
        --r.pending;
        r.done.notify_all();
    }).detach();
    return 1;
}

bool WaitForReleasedDownloaders(uint32_t timeoutMs) {
    ReleaseState& r = Releases();
    std::unique_lock<std::mutex> lock(r.lock);
    return r.done.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                           [&r] { return r.pending == 0; });
}
