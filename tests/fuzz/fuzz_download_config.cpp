// libFuzzer target: download configuration texts through LoadConfigText and
// ParseConfig. Probing is replaced (CheckDownload is the engine's seam), so no
// request leaves the process; every text must end in exactly one failure
// event with a state and error code that agree.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

#include "download/downloader_curl.h"

namespace {

void Fail(const char* what) {
    fprintf(stderr, "fuzz_download_config: %s\n", what);
    abort();
}

// Checks what the reader hands to probing, then answers "no mirror".
class OfflineEngine : public DownloaderCurl {
public:
    HRESULT CheckDownload(DownloadTask& t) override {
        probed = true;
        if (t.size <= 0)
            Fail("a task without a size reached probing");
        if (t.threadsPerUrl != 2)
            Fail("threads per mirror is not 2");
        if (memchr(t.path, 0, sizeof(t.path)) == nullptr)
            Fail("destination path not terminated");
        bool gap = false;
        for (const UrlCfg& u : t.urls) {
            if (memchr(u.url, 0, sizeof(u.url)) == nullptr)
                Fail("mirror URL not terminated");
            if (!u.fileSizeConsistent)
                gap = true;
            else if (gap)
                Fail("configured mirrors are not the first entries");
        }
        return E_FAIL;
    }
    bool probed = false;
};

struct Events {
    std::mutex lock;
    std::vector<int> finals;  // event, a, b
    int OnEvent(int e, int a, int b) {
        std::lock_guard<std::mutex> hold(lock);
        if (e == kEventFailed || e == kEventFinished) {
            finals.push_back(e);
            finals.push_back(a);
            finals.push_back(b);
        }
        return 0;
    }
};

bool IsConfigError(int code) {
    return code == kNeedUpdateDownload ||
           (code >= kConfigLoadError && code <= kConfigLoadHashError);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 1 << 20)
        return 0;
    Events events;
    OfflineEngine engine;
    engine.SetCallback([&events](int e, int a, int b) { return events.OnEvent(e, a, b); });
    const HRESULT hr =
        engine.LoadConfigText(reinterpret_cast<const char*>(data), static_cast<int>(size));
    const int code = engine.GetErrorCode();
    const int state = engine.GetDownloadState();
    if (hr >= 0)
        Fail("a configuration without a reachable mirror was accepted");
    if (engine.IsDownloading())
        Fail("still running after the failure");
    if (events.finals.size() != 3 || events.finals[0] != kEventFailed || events.finals[1] != 0 ||
        events.finals[2] != 0)
        Fail("not exactly one event (4, 0, 0)");
    if (engine.probed ? code != kDownloadCheckUrlError : !IsConfigError(code))
        Fail("error code does not match where the reading stopped");
    const bool needsUpdate = code == kNeedUpdateDownload || code == kConfigLoadVersionError;
    if (state != (needsUpdate ? kStateNeedUpdate : kStateFailed))
        Fail("state does not match the error code");
    if (engine.GetErrorString().empty())
        Fail("error without a name");
    return 0;
}
