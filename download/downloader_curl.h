// DownloaderCurl: the libcurl implementation of IDownloader.
//
// Invariants (see docs/download.md):
// - The range table only grows; its records never move, so transfer threads
//   keep a pointer to their record. Every insertion into and walk over it, and
//   every field of an item except `state`, is touched under the engine lock.
// - `image` and `file` are freed only under the engine lock (the file also under
//   its own write lock), and no byte is stored while `running` is false.
// - Every download started ends with exactly one event 4 or 5 (a stop ends with
//   none); `running` is false afterwards.
// - The destructor joins every thread the engine started.
//
// Lock order: engine lock, then the file's write lock. A transfer never holds
// the file lock while waiting for the engine lock.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "data/xml_parse.h"
#include "download/block_verifier.h"
#include "download/downloader.h"
#include "download/easy_handle.h"
#include "download/mirror_prober.h"
#include "download/pass_rules.h"
#include "download/positional_file.h"
#include "download/range_table.h"
#include "platform/automutex.h"

class DownloaderCurl : public IDownloader {
public:
    explicit DownloaderCurl(const DownloaderTuning& tuning = DownloaderTuning());
    ~DownloaderCurl() override;

    HRESULT StartWithConfigText(const char* xmlText, int xmlLength, std::string destPath) override;
    HRESULT BeginDownloadConfig(std::string cfgUrl, std::string destPath) override;
    HRESULT LoadConfigFile(std::wstring cfgPath, std::string destPath) override;
    HRESULT BeginDownload(const DownloadTask& siItem) override;
    HRESULT StopDownload() override;
    bool IsDownloading() override { return running; }
    HRESULT SetCallback(DownloadCallback cb) override;
    HRESULT GetDownloadStats(DownloadStats& stats) override;
    int GetDownloadState() override { return state; }
    void SetProxy(std::string proxyUrl) override;
    bool IsUsingCdn() override { return usingCdn; }
    int GetErrorCode() override { return errorCode; }
    std::string GetErrorString() override { return DownloadErrorName(errorCode); }
    std::string GetFailedLink() override;
    std::string GetRepairLink() override;
    int GetFailedResult() override { return failedResult; }
    void GetCheckedUrls(std::vector<UrlCfg>& out) override;
    void GetUsedUrls(std::vector<UrlCfg>& out) override;
    // Bytes of an earlier run's file proven and kept at the start.
    uint32_t GetKeptBytes() const { return m_keptBytes; }

    virtual HRESULT OnConfigDownloaded(DownloadItem* item);
    virtual HRESULT LoadConfigText(const char* text, int length);
    virtual HRESULT ParseConfig(boost::shared_ptr<IXMLParse> parser, std::string destPath);
    // Probes the mirrors of siItem and fills m_vecUrlCfg, cdnUrl, checkedUrls.
    // Configuration thread, before any transfer; 0 or E_FAIL (no mirror left).
    virtual HRESULT CheckDownload(DownloadTask& siItem);
    virtual HRESULT InitDownload();
    // Creates the item's easy handle and starts its thread. Under the engine lock.
    virtual HRESULT BeginDownloadItem(DownloadItem* item);

    // Probes (any thread, no engine state touched except the proxy).
    bool CheckPing(std::string url, int* pingTime);
    int64_t GetDownloadFileLenth(const char* url);
    bool GetNetworkNotFull(std::string url);
    std::string HttpGetText(const std::string& url);
    bool IsCdnUrl(const char* url) const;

    // Called from libcurl on a transfer thread.
    size_t OnItemData(DownloadItem* item, const char* data, size_t n);
    bool ShouldAbort(const DownloadItem* item) const;

private:
    // The options every easy handle of this engine shares: the URL, the
    // certificate trust (DownloaderTuning::caFile) and, when asked, the proxy
    // of SetProxy. Takes the engine lock for the proxy.
    EasyHandleOptions EasyOptions(const char* url, bool viaProxy);
    // A prober with the engine's tuning and its proxy of the moment.
    MirrorProber Prober();

    // Configuration thread bodies.
    void ConfigUrlThread();
    HRESULT ConfigUrlAttempt();
    void EndWithConfigFailure();
    HRESULT ReadTask(IXMLParse& parser, const std::string& destPath, DownloadTask& out);
    bool IsAlreadyComplete(const DownloadTask& t);
    // Opens the destination (error 14 when it cannot be, or is no regular
    // file). Under the lock.
    HRESULT OpenDestination();

    // Resuming (resume.cpp). A span is first..last byte, inclusive.
    typedef std::pair<uint32_t, uint32_t> ByteSpan;
    // Reads what an earlier run left at `path` (a regular file, up to `total`
    // bytes) into the image: the count read. No engine lock.
    int64_t ReadExistingFile(const std::string& path, uint32_t total);
    // Marks the whole blocks of the `existing` bytes read as to be proven and
    // returns the span after them, fetched at once. Under the lock.
    std::vector<ByteSpan> PlanResume(uint64_t existing);
    // Thread body: hashes the blocks to be proven (two threads), then keeps
    // the matching ones and fetches the rest.
    void ProveExistingBlocks();
    // Under the lock: counts the proven blocks as received, zeroes and
    // fetches the others, and lets the download complete.
    void ApplyProvenBlocks(const std::vector<char>& good);
    // Lays the spans out over the transfers: unused slots start at once, the
    // rest wait; starts the dispatcher the first time. Under the lock.
    void StartRanges(const std::vector<ByteSpan>& spans);
    // Starts waiting ranges while fewer than itemCount transfers run.
    void StartPendingRanges();

    // Transfers (engine lock held unless noted).
    void ItemThread(DownloadItem* item);   // no lock
    void CheckFinish(DownloadItem* item);  // takes the lock
    // Verifies and ends the download once no transfer is left.
    void TryComplete();
    bool HasDigests() const;
    bool ShortRangeLeft() const;
    DownloadItem* AddItem(const DownloadItem& from, uint32_t start, uint32_t end, const char* url);
    const char* GetBestURL(const char* exclude);
    const char* GetBestURLExcept(const std::set<std::string>& exclude);
    // The fastest live mirror not excluded (see FastestUrlWhere); marks the
    // CDN as used when it is the one.
    const char* BestUrlWhere(const std::function<bool(const char*)>& excluded);
    // Under the engine lock; waits for the chunk writes already begun.
    void CloseFile();
    // A chunk's file write: begun under the engine lock, ended without it.
    void BeginFileWrite();
    void EndFileWrite();
    void StartThread(std::thread t);

    // Dispatcher (dispatcher.cpp).
    void DispatchThread();
    // Sleeps until the deadline or a requested pass; false once stopped.
    bool WaitDispatchPass(std::chrono::steady_clock::time_point deadline);
    void RequestDispatchPass();
    bool DispatchPass();  // false: gave up
    // The pass rules' input: every item as it stands now (pass_rules.h).
    PassSnapshot TakeSnapshot() const;
    // Applying a rule's decision; true when the items changed.
    bool ApplyFailed(DownloadItem& item, const FailedDecision& d, bool& changed);  // false: gave up
    bool ApplyRunning(DownloadItem& item, const RunningDecision& d);
    bool ApplySplit(const SplitDecision& d);
    DownloadItem* TakeOverRest(DownloadItem& item, const char* url);
    const char* UsePick(const UrlPick& pick);
    void GiveUp(DownloadItem& item);
    void FinalCheck();
    int CountRunning() const;

    // Verification (verify.cpp).
    struct HashCheck {
        bool verified = true;
        int repairsStarted = 0;
        bool boundReached = false;  // a block stayed wrong through every allowed pass
        bool unplaceable = false;   // the whole-file digest fails, yet no block is to blame
    };
    HashCheck RunHashCheck(bool startRepairs);
    HRESULT RepairBlock(uint32_t start, uint32_t end, BlockVerifier::Repair& repair);
    void WakeDispatcher();

    // Early block checks (verify.cpp): a block no transfer can write any more
    // is hashed while the rest still downloads, so a bad one is repaired during
    // the download and the final check finds its work done.
    void StartBlockChecks();
    void BlockCheckThread();
    bool WaitBlockCheckPeriod();
    void PickSettledBlocks(std::vector<int>& picked);
    void StoreBlockResults(const std::vector<int>& picked, const std::vector<char>& good);

public:
    // 1 when the image matches the digests, else 0 after starting repairs.
    // Under the engine lock.
    int CheckHash() { return RunHashCheck(true).verified ? 1 : 0; }
    // Repairs start..end (inclusive) from the fastest other mirror or the CDN.
    // Under the engine lock; 0, or E_INVALIDARG when no mirror can be chosen.
    HRESULT RepairData(uint32_t start, uint32_t end);

private:
    // Ends the download once: state, running and the final event.
    void Finish(int newState, int event, int a, int b);
    void RaiseEvent(int event, int a, int b);

private:
    // Members in their documented order. Shared words are atomic; the rest is
    // guarded by m_hMutex.
    DownloadCallback callback;
    DownloadTask task;
    std::vector<UrlCfg> m_vecUrlCfg;
    std::string proxy;
    PositionalFile file;
    std::atomic<uint32_t> totalBytes{0};
    std::atomic<uint32_t> downloadedBytes{0};
    int itemCount = 0;
    // calloc: a large image comes as untouched zero pages, so nothing is
    // spent zeroing 150 MB before the first byte (or a resumed block) lands.
    struct FreeImage {
        void operator()(unsigned char* p) const { std::free(p); }
    };
    std::unique_ptr<unsigned char[], FreeImage> image;
    std::atomic<bool> running{false};
    std::atomic<int> state{kStateIdle};
    struct ConfigItem {
        DownloadItem item;
        std::string url;
        std::string cfgPath;
        std::string destPath;
        PositionalFile cfgFile;
    } cfgItem;
    UrlCfg cdnUrl;
    std::atomic<bool> usingCdn{false};
    std::atomic<int> errorCode{kNoError};
    std::string failedLink;
    std::string repairLink;
    std::atomic<int> failedResult{0};
    bool repairStarted = false;
    std::vector<UrlCfg> checkedUrls;

private:
    // The ranged transfers (range_table.h); under the engine lock.
    RangeTable m_ranges;
    // The engine lock ("Download_File"). Lives as long as the engine, so a
    // scoped lock is never a no-op while a thread can still write.
    std::recursive_mutex m_mutex;
    MutexHandle m_hMutex = &m_mutex;
    DownloaderTuning m_tuning;
    std::string m_strDestPath;
    bool m_bFinalSent = false;        // the one final event went out
    bool m_bFileWriteFailed = false;  // a byte reached the image but not the file
    std::atomic<bool> m_bStopped{false};
    // Block status and per-block repairs; under the engine lock.
    BlockVerifier m_verifier;
    // What an earlier run left: the bytes read, how many leading blocks are
    // being proven (their progress is held back meanwhile), and the missing
    // ranges that wait for a free transfer.
    uint64_t m_existingBytes = 0;
    size_t m_provingBlocks = 0;
    bool m_resumeProving = false;
    bool m_dispatcherStarted = false;
    std::deque<ByteSpan> m_pendingRanges;
    std::atomic<uint32_t> m_keptBytes{0};
    // Items fetching a bad block again (and their restarts); never split, as
    // half a block handed to another mirror may go to the one that served it wrong.
    std::set<int> m_repairItems;
    // Held by the block checker while it reads the image outside the engine
    // lock; freeing the image or starting a repair waits for it (taken after
    // the engine lock, never before it).
    std::mutex m_imageReadLock;
    std::vector<std::thread> m_threads;  // every thread started, joined by the destructor
    int m_nThreadCount = 0;
    // Chunk writes between the image copy and the end of their file write;
    // CloseFile waits for none to be left (taken after the engine lock).
    std::mutex m_writeLock;
    std::condition_variable m_writesDone;
    int m_writesInFlight = 0;
    std::mutex m_wakeLock;
    std::condition_variable m_wake;  // cuts the dispatcher's sleep short on stop
    bool m_passRequested = false;    // under m_wakeLock: a transfer ended
};

// The ranges over the missing spans for `count` transfers: a span per range
// when there are at least as many spans, else the transfers shared out by
// length (one at least each) and each span cut into equal parts, the last
// part taking the rest. One span of the whole file gives the plain layout.
std::vector<std::pair<uint32_t, uint32_t>> LayOutRanges(
    const std::vector<std::pair<uint32_t, uint32_t>>& spans, size_t count);
// The text between "http://" or "https://" and the first "/download/", as
// written (an IPv6 literal keeps its brackets); false when absent.
bool GetUrlHostPart(const std::string& url, std::string& host);
// Where a mirror's host part points: the host to ping (an IPv6 literal
// without its brackets) and the port, the scheme's own when none is written.
struct MirrorEndpoint {
    std::string scheme;  // "http" or "https"
    std::string host;
    uint16_t port = 80;
};
bool ParseMirrorEndpoint(const std::string& url, MirrorEndpoint& out);
