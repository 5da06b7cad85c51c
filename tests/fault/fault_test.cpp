// The engine against simulated mirrors with every fault mode alone and in
// pairs: the file verifies byte for byte, or the failure is reported with the
// right state and error; nothing hangs; threads and heap come back to where
// they were once the engine is released.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <thread>

#include "download/downloader.h"
#include "platform/log.h"
#include "platform/text.h"
#include "tests/download/engine_fixture.h"
#include "tests/fault/fault_model.h"
#include "tests/fault/live_memory.h"

namespace korvel_test {
namespace {

using korvel_mirror::MirrorServer;
using korvel_mirror::MirrorSet;
using korvel_mirror::MirrorSettings;

// Three full blocks and a short one.
constexpr size_t kFileSize = 3 * kBlockSize + 12345;
constexpr char kCdnHost[] = "127.0.0.98";
// Watchdog: far beyond what any case needs, so only a hang reaches it.
const int kCaseLimitMs = kSanitized ? 240000 : 60000;

DownloaderTuning SuiteTuning() {
    DownloaderTuning t;
    t.dispatchPeriodMs = 100;
    t.stallLimitMs = 400;
    // libcurl averages the speed over its last seconds, so a stall after a
    // burst only ends quickly against a limit above what the burst averages to.
    t.lowSpeedLimit = 16 * 1024;
    t.lowSpeedTimeS = 1;
    t.pingTimeoutMs = 300;
    t.flagTimeoutMs = 1000;
    t.cdnMarkerDomain = kCdnHost;
    t.cdnMarkerPrefix = "kcdn.";
    t.pinger = [](const std::string&, int* ms) {
        *ms = 1;
        return true;
    };
    return t;
}

// Final events, shared with the engine's callback so that an engine which
// outlives a failed case never writes into freed memory.
struct Finals {
    std::mutex lock;
    std::condition_variable cv;
    std::vector<std::vector<int>> events;
    bool progressWithinTotal = true;

    int OnEvent(int e, int a, int b) {
        std::lock_guard<std::mutex> hold(lock);
        if (e == kEventProgress && (a < 0 || a > b))
            progressWithinTotal = false;
        if (e == kEventFailed || e == kEventFinished) {
            events.push_back({e, a, b});
            cv.notify_all();
        }
        return 0;
    }
    bool Wait(int ms) {
        std::unique_lock<std::mutex> hold(lock);
        return cv.wait_for(hold, std::chrono::milliseconds(ms), [this] { return !events.empty(); });
    }
};

struct Outcome {
    int state = 0;
    int error = 0;
    std::string errorName;
    std::string failedLink;
    bool running = false;
    std::vector<std::vector<int>> finals;
    bool progressWithinTotal = true;
    std::string file;
};

class EngineFaultTest : public ::testing::TestWithParam<FaultCase> {
protected:
    // Mirrors of a case that hung stay alive: its engine may still call them.
    static std::vector<std::unique_ptr<MirrorSet>>& Abandoned() {
        static std::vector<std::unique_ptr<MirrorSet>> sets;
        return sets;
    }

    std::string StartMirrors(MirrorSet& set, const FaultCase& c) {
        std::vector<std::string> urls;
        const auto perMirror = c.FaultsPerMirror();
        for (int i = 0; i <= c.mirrors; ++i) {
            const bool cdn = i == c.mirrors;
            if (cdn && !c.cdn)
                break;
            MirrorSettings s;
            s.address = cdn ? kCdnHost : "127.0.0." + std::to_string(51 + i);
            if (!cdn) {
                for (Fault f : perMirror[static_cast<size_t>(i)])
                    ApplyFault(f, s, kFileSize);
            }
            std::string error;
            MirrorServer* m = set.Add(s, &error);
            EXPECT_NE(m, nullptr) << error;
            if (m)
                urls.push_back(m->FileUrl("pkg.exe"));
        }
        return MakeConfig(*Content(kFileSize, 7), urls);
    }

    // Each mirror takes a poll period to stop; stopping them side by side
    // keeps a seven-mirror case from paying it seven times.
    static void StopTogether(MirrorSet& set) {
        std::vector<std::thread> stops;
        for (size_t i = 0; i < set.Size(); ++i)
            stops.emplace_back([&set, i] { set.At(i).Stop(); });
        for (std::thread& t : stops)
            t.join();
    }

    // What each mirror was asked for, to read a failed case by.
    static void PrintRequests(MirrorSet& set) {
        for (size_t i = 0; i < set.Size(); ++i) {
            std::string line = set.At(i).Address() + ":";
            for (const auto& r : set.At(i).Requests()) {
                line += " " + r.method +
                        (r.hasRange
                             ? " " + std::to_string(r.rangeStart) + "-" + std::to_string(r.rangeEnd)
                             : "") +
                        "=" + std::to_string(r.status) + "/" + std::to_string(r.bodyBytesSent);
            }
            printf("  mirror %s\n", line.c_str());
        }
    }

    // Runs one download to its end and releases the engine; false when the
    // case hung (the watchdog has then failed it).
    bool RunDownload(const std::string& config, const std::string& dest, Outcome& out) {
        auto finals = std::make_shared<Finals>();
        IDownloader* engine = nullptr;
        EXPECT_TRUE(CreateDownloader(&engine, SuiteTuning()));
        if (!engine)
            return false;
        engine->SetCallback([finals](int e, int a, int b) { return finals->OnEvent(e, a, b); });
        engine->StartWithConfigText(config.data(), static_cast<int>(config.size()), dest);
        const bool ended = finals->Wait(kCaseLimitMs);
        if (!ended) {
            ADD_FAILURE() << "watchdog: no final event within " << kCaseLimitMs << " ms";
            engine->StopDownload();
        }
        // The final event may come a moment before the running flag drops.
        for (int i = 0; i < 500 && engine->IsDownloading(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        out.state = engine->GetDownloadState();
        out.error = engine->GetErrorCode();
        out.errorName = engine->GetErrorString();
        out.failedLink = engine->GetFailedLink();
        out.running = engine->IsDownloading();
        ReleaseDownloader(engine);
        if (!WaitForReleasedDownloaders(static_cast<uint32_t>(kCaseLimitMs))) {
            ADD_FAILURE() << "watchdog: the released engine did not end its threads";
            return false;
        }
        std::lock_guard<std::mutex> hold(finals->lock);
        out.finals = finals->events;
        out.progressWithinTotal = finals->progressWithinTotal;
        return ended;
    }

    void CheckOutcome(const FaultCase& c, const Outcome& o) {
        const Expectation e = Expect(c);
        EXPECT_FALSE(o.running);
        EXPECT_TRUE(o.progressWithinTotal);
        ASSERT_EQ(o.finals.size(), 1u) << "exactly one final event";
        const std::vector<int>& fin = o.finals[0];
        if (o.state == kStateFinished) {
            EXPECT_TRUE(e.mayVerify) << "reported success where no mirror could deliver";
            EXPECT_EQ(fin, (std::vector<int>{kEventFinished, static_cast<int>(kFileSize),
                                             static_cast<int>(kFileSize)}));
            ASSERT_EQ(o.file.size(), kFileSize);
            EXPECT_TRUE(o.file == *Content(kFileSize, 7)) << "a byte of the file is wrong";
            return;
        }
        EXPECT_TRUE(e.mayFail) << "failed with " << o.errorName
                               << " although a sound mirror was there";
        EXPECT_EQ(o.state, kStateFailed);
        EXPECT_EQ(fin[0], kEventFailed);
        EXPECT_TRUE(e.errors.count(o.error)) << "error " << o.errorName;
        if (o.error == kDownloadCheckUrlError) {
            EXPECT_EQ(fin, (std::vector<int>{kEventFailed, 0, 0}));
        }
        if (o.error == kDispatchFailError) {
            EXPECT_NE(o.failedLink.find("/download/pkg.exe"), std::string::npos);
        }
    }
};

TEST_P(EngineFaultTest, VerifiesOrReportsAndReleasesEverything) {
    const FaultCase c = GetParam();
    // Process-wide objects made on first use stay outside the balance.
    Content(kFileSize, 7);
    ILog* log = ILog::GetInstance();
    if (const char* path = getenv("KORVEL_FAULT_LOG"))
        log->InitLog(Utf8ToWide(path));  // the engine's own account of a case
    // ThreadSanitizer starts a thread of its own with the first thread made.
    std::thread([] {}).join();
    // The last case's release thread signals just before it ends: it must not
    // count in this case's balance.
    ASSERT_TRUE(WaitForThreadsNamedToEnd("korvel-release", kCaseLimitMs)) << ThreadNames();
    const int threadsBefore = CurrentThreadCount();
    const LiveMemory heapBefore = CurrentLiveMemory();
    {
        TempDir dir;
        auto mirrors = std::make_unique<MirrorSet>();
        mirrors->AddFile("pkg.exe", Content(kFileSize, 7));
        const std::string config = StartMirrors(*mirrors, c);
        const std::string dest = dir.Sub("pkg.exe");
        Outcome outcome;
        if (!RunDownload(config, dest, outcome)) {
            Abandoned().push_back(std::move(mirrors));
            return;
        }
        StopTogether(*mirrors);
        outcome.file = ReadFile(dest);
        CheckOutcome(c, outcome);
        if (HasFailure())
            PrintRequests(*mirrors);
        mirrors.reset();
    }
    // The release thread signals just before it ends.
    int threads = CurrentThreadCount();
    for (int i = 0; i < 500 && threads != threadsBefore; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        threads = CurrentThreadCount();
    }
    EXPECT_EQ(threads, threadsBefore) << "threads left after release: " << ThreadNames();
    if (HasFailure())
        return;  // failure records live on the heap themselves
    const LiveMemory heapAfter = CurrentLiveMemory();
    EXPECT_EQ(heapAfter.blocks, heapBefore.blocks) << "heap blocks left after release";
    EXPECT_EQ(heapAfter.bytes, heapBefore.bytes) << "heap bytes left after release";
}

std::string CaseName(const ::testing::TestParamInfo<FaultCase>& info) {
    return info.param.Name();
}

INSTANTIATE_TEST_SUITE_P(Single, EngineFaultTest, ::testing::ValuesIn(SingleFaultCases()),
                         CaseName);
INSTANTIATE_TEST_SUITE_P(Pair, EngineFaultTest, ::testing::ValuesIn(FaultPairCases()), CaseName);

}  // namespace
}  // namespace korvel_test
