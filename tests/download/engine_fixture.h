// Engine test fixture: simulated mirrors on loopback, configuration texts
// built from generated content, an event recorder and shortened timings.
#pragma once

#include <gtest/gtest.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "download/downloader_curl.h"
#include "tests/support/test_support.h"
#include "tools/korvel-mirror/mirror_sim.h"

namespace korvel_test {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

// Content of a given size, generated once per size and seed.
std::shared_ptr<const std::string> Content(size_t size, uint64_t seed = 1);

struct ConfigOptions {
    bool withVersion = true;
    std::string version = "1";
    std::string sizeText;  // overrides the size attribute when set
    bool withHashes = true;
    int blockHashLimit = -1;  // at most this many block digests when set
    bool lowerCaseHashes = false;
    int urlSizeOverride = -1;
};
std::string MakeConfig(const std::string& content, const std::vector<std::string>& urls,
                       const ConfigOptions& options = ConfigOptions());

// Collects every event; progress events are only checked, not stored.
class EventRecorder {
public:
    DownloadCallback Callback();
    // Waits for the first event 4 or 5; false on time-out.
    bool WaitFinal(int timeoutMs = 120000);
    int FinalCount() const;
    std::vector<std::vector<int>> Finals() const;  // {event, a, b}
    bool ProgressWithinTotal() const { return m_progressOk; }
    int ProgressCount() const;
    // Ticks (GetTickCount) of the last progress event that brought new bytes
    // and of the first final event; 0 before them.
    uint32_t LastGrowthTick() const;
    uint32_t FinalTick() const;
    int FirstProgressBytes() const;  // a of the first progress event; -1 before it

private:
    int OnEvent(int event, int a, int b);
    mutable std::mutex m_lock;
    std::condition_variable m_cv;
    std::vector<std::vector<int>> m_finals;
    int m_progress = 0;
    int m_lastBytes = -1;
    int m_firstBytes = -1;
    uint32_t m_growthTick = 0;
    uint32_t m_finalTick = 0;
    bool m_progressOk = true;
};

// Short timings; every host answers pings in 1 ms.
DownloaderTuning FastTuning();

struct Range {
    uint64_t start, end;
    bool operator==(const Range& o) const { return start == o.start && end == o.end; }
};
std::vector<Range> RangesSeen(const korvel_mirror::MirrorServer& m);
int CountMethod(const korvel_mirror::MirrorServer& m, const std::string& method);

class EngineTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Serves `content` as "pkg.exe" on a new mirror at 127.0.0.<host>.
    korvel_mirror::MirrorServer* AddMirror(
        int host, korvel_mirror::MirrorSettings s = korvel_mirror::MirrorSettings());
    void ServeContent(std::shared_ptr<const std::string> content);
    std::string Url(korvel_mirror::MirrorServer* m) const { return m->FileUrl("pkg.exe"); }

    // Creates the engine and starts it with the configuration text.
    void Start(const std::string& config, const DownloaderTuning& tuning = FastTuning());
    // Start, then wait for the final event and for the engine to stop running.
    void Run(const std::string& config, const DownloaderTuning& tuning = FastTuning());
    void WaitNotRunning();
    DownloaderCurl& Engine() { return *m_engine; }
    std::vector<std::string> UsedUrls();  // the engine's used mirrors, in order
    // The run ended failed with `error`, and told the caller so exactly once.
    void ExpectFailedOnce(int error);
    std::string DestContent() const { return ReadFile(m_dest); }

    std::unique_ptr<TempDir> m_dir;
    std::string m_dest;
    std::shared_ptr<const std::string> m_content;
    std::unique_ptr<korvel_mirror::MirrorSet> m_mirrors;
    std::unique_ptr<DownloaderCurl> m_engine;
    EventRecorder m_events;
};

}  // namespace korvel_test
