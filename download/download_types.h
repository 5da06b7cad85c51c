// Records shared by the download engine and its callers: the file description
// read from a download configuration, one mirror entry, one ranged transfer,
// a progress snapshot, the engine's tuning and its error codes.
// All are plain records copied by value; none owns a thread or a lock.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/types.h"

typedef void CURL;
class DownloaderCurl;
class PositionalFile;

constexpr int kMaxMirrors = 10;
constexpr uint32_t kBlockSize = 1048576;
// Blocks of a `total`-byte file, the last one possibly short.
inline size_t BlockCount(uint32_t total) {
    return static_cast<size_t>((uint64_t{total} + kBlockSize - 1) / kBlockSize);
}
// A transfer's speed is measured over at least this much time (see OnItemData).
constexpr uint32_t kSpeedWindowMs = 50;

// One mirror. An entry of DownloadTask::urls is in use when fileSizeConsistent is set.
struct UrlCfg {
    char url[kMaxUrlLen] = {0};
    bool fileSizeConsistent = false;
    int pingTime = 0;
    bool networkNotFull = false;
    std::string domain;
};

// The file to fetch, as built from a configuration ("siItem").
struct DownloadTask {
    char path[kMaxPath] = {0};
    int size = 0;
    UrlCfg urls[kMaxMirrors];
    std::string fileHash;                  // 32 upper-case hex digits, whole file
    std::vector<std::string> blockHashes;  // one per 1 MiB block, in order
    int threadsPerUrl = 2;
};

// Item states.
enum DownloadItemState {
    kItemRunning = 0,
    kItemClosed = 1,
    kItemFailed = 2,
    kItemSucceeded = 3,
    kItemReplaced = 4
};

// One ranged transfer. Lives in the engine's item map (nodes never move), and
// every field except `state` is read and written under the engine lock;
// `state` is also read by the transfer's abort check without the lock.
struct DownloadItem {
    int id = 0;
    uint32_t start = 0;
    uint32_t pos = 0;           // next byte to store
    uint32_t end = 0;           // last byte, inclusive
    const char* url = nullptr;  // points into an engine-owned UrlCfg
    CURL* handle = nullptr;     // set while the transfer exists
    int result = 0;             // libcurl result of the finished transfer
    PositionalFile* file = nullptr;
    DownloaderCurl* owner = nullptr;
    int thread = 0;  // number of the transfer thread (for the log)
    // Time of the last byte stored (or of the start); atomic because the abort
    // check reads it without the lock to end a transfer that went silent.
    std::atomic<uint32_t> lastTick{0};
    uint32_t startTick = 0;
    uint32_t finishTick = 0;
    uint32_t speed = 0;        // bytes per second over the last sample window
    uint32_t sampleTick = 0;   // start of the current sample window
    uint32_t sampleBytes = 0;  // received in it
    std::atomic<int> state{kItemRunning};

    DownloadItem() = default;
    DownloadItem(const DownloadItem& other) { *this = other; }
    DownloadItem& operator=(const DownloadItem& other);
};

struct DownloadStats {
    int itemCount = 0;
    int totalBytes = 0;
    int downloadedBytes = 0;
    std::map<int, DownloadItem> items;
};

// Timings and markers of the engine. The default timings are the product's
// values; tests shorten them. `pinger`, when set, replaces the ICMP echo (host without
// port in, round-trip ms out; true when the host answered).
struct DownloaderTuning {
    uint32_t dispatchPeriodMs = 2000;
    uint32_t stallLimitMs = 6000;
    // A transfer that stored no byte for lowSpeedTimeS seconds ends (checked
    // against its last byte, not an average). A lowSpeedLimit above 1 byte/s
    // also sets libcurl's averaged speed floor over the same time.
    long lowSpeedLimit = 1;
    long lowSpeedTimeS = 5;
    uint32_t splitThreshold = 512000;
    uint32_t pingTimeoutMs = 2000;
    uint32_t flagTimeoutMs = 2000;
    // Bounds of the size request (HEAD): a mirror that does not connect or
    // answer within them fails its probe. The flag probe connects within
    // the same bound and ends within flagTimeoutMs.
    uint32_t probeConnectTimeoutMs = 5000;
    uint32_t probeTimeoutMs = 10000;
    int maxRepairPasses = 3;  // per block
    // A mirror whose address contains either marker is the CDN. The
    // deployment's markers come from the installer; empty: no mirror is one.
    std::string cdnMarkerDomain;
    std::string cdnMarkerPrefix;
    std::function<bool(const std::string& host, int* pingTime)> pinger;
    // HTTPS mirrors are verified against the system's CA store; a file named
    // here replaces it (tests trust their own CA this way).
    std::string caFile;
};

enum DownloadError {
    kNoError = 0,
    kNoNeedDownload = 1,
    kNeedUpdateDownload = 2,
    kConfigDownloadError = 3,
    kConfigLoadError = 4,
    kConfigLoadVersionError = 5,
    kConfigLoadFileSizeError = 6,
    kConfigLoadUrlSizeError = 7,
    kConfigLoadUrlError = 8,
    kConfigLoadHashSizeError = 9,
    kConfigLoadHashError = 10,
    kDownloadCheckUrlError = 11,
    kDownloadMallocError = 12,
    kDownloadUrlCountError = 13,
    kDownloadExeError = 14,
    kDispatchSuccessError = 15,
    kDispatchFailError = 16,
    kDispatchTimeoutError = 17,
    kRepairSuccessError = 18,
    kRepairFailError = 19,
    kRepairTimeoutError = 20,
    kCheckHashError = 21,
};

// Name of an error code; other numbers as decimal text.
std::string DownloadErrorName(int code);

// Engine states.
enum DownloadState { kStateIdle = 0, kStateNeedUpdate = 3, kStateFailed = 4, kStateFinished = 5 };

// Events (event, a, b) to the engine's callback.
enum DownloadEvent {
    kEventProgress = 3,
    kEventFailed = 4,
    kEventFinished = 5,
    kEventItemEnded = 7
};
