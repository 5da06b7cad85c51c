// korvel-fetch CONFIG.xml DEST [--proxy URL]: runs the download engine as the
// installer does and prints one JSON line per event and a final summary
// (format in docs/download.md). Exit status 0 exactly when the state is 5.
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "deployment.h"
#include "data/json_object.h"
#include "download/downloader_curl.h"

namespace {

using Clock = std::chrono::steady_clock;

std::string UrlList(const std::vector<UrlCfg>& urls) {
    std::ostringstream o;
    o << "[";
    for (size_t i = 0; i < urls.size(); ++i) {
        const UrlCfg& u = urls[i];
        o << (i ? "," : "") << "{\"url\":" << JsonQuoted(u.url)
          << ",\"domain\":" << JsonQuoted(u.domain)
          << ",\"file_size_consistent\":" << (u.fileSizeConsistent ? "true" : "false")
          << ",\"network_not_full\":" << (u.networkNotFull ? "true" : "false")
          << ",\"ping_time\":" << u.pingTime << "}";
    }
    return o.str() + "]";
}

// Events arrive on engine threads: printing is serialised, progress thinned
// to ten lines a second, and the end event wakes the main thread.
struct EventSink {
    std::mutex lock;
    std::condition_variable done;
    bool ended = false;
    Clock::time_point begin = Clock::now();
    Clock::time_point lastProgress{};
    Clock::time_point endTime{};
    Clock::time_point lastByte{};  // the last progress event that brought bytes
    long long bytes = 0;

    double Seconds(Clock::time_point t) const {
        return std::chrono::duration<double>(t - begin).count();
    }
    int OnEvent(int event, int a, int b) {
        std::lock_guard<std::mutex> guard(lock);
        const Clock::time_point now = Clock::now();
        if (event == kEventProgress) {
            if (a > bytes)
                lastByte = now;
            bytes = a;
            if (now - lastProgress < std::chrono::milliseconds(100))
                return 0;
            lastProgress = now;
        }
        if (event == kEventItemEnded)
            return 0;  // one line per transfer would drown the progress
        printf("{\"event\":%d,\"a\":%d,\"b\":%d,\"seconds\":%.3f}\n", event, a, b, Seconds(now));
        fflush(stdout);
        if (event == kEventFailed || event == kEventFinished) {
            if (event == kEventFinished)
                bytes = a;
            ended = true;
            endTime = now;
            done.notify_all();
        }
        return 0;
    }
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3 && !(argc == 5 && std::string(argv[3]) == "--proxy")) {
        fprintf(stderr, "usage: korvel-fetch CONFIG.xml DEST [--proxy URL]\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        fprintf(stderr, "korvel-fetch: cannot read %s\n", argv[1]);
        return 2;
    }
    std::ostringstream text;
    text << in.rdbuf();
    const std::string config = text.str();

    IDownloader* engine = nullptr;
    // The installer's engine: product timings, this build's CDN markers.
    DownloaderTuning tuning;
    tuning.cdnMarkerDomain = KORVEL_CDN_MARKER_DOMAIN;
    tuning.cdnMarkerPrefix = KORVEL_CDN_MARKER_PREFIX;
    if (!CreateDownloader(&engine, tuning))
        return 1;
    EventSink sink;
    engine->SetCallback([&sink](int e, int a, int b) { return sink.OnEvent(e, a, b); });
    if (argc == 5)
        engine->SetProxy(argv[4]);
    sink.begin = Clock::now();
    engine->StartWithConfigText(config.data(), static_cast<int>(config.size()), argv[2]);
    {
        std::unique_lock<std::mutex> guard(sink.lock);
        sink.done.wait(guard, [&] { return sink.ended; });
    }
    while (engine->IsDownloading())
        std::this_thread::sleep_for(std::chrono::milliseconds(10));

    std::vector<UrlCfg> checked, used;
    engine->GetCheckedUrls(checked);
    engine->GetUsedUrls(used);
    const int state = engine->GetDownloadState();
    // The bytes an earlier run left and the engine proved and kept.
    const auto* curl = dynamic_cast<DownloaderCurl*>(engine);
    const long long keptBytes = curl ? curl->GetKeptBytes() : 0;
    // Read the sink apart from the engine getters: transfers still ending
    // raise events under the engine lock and then wait for the sink.
    long long bytes = 0;
    double seconds = 0, lastByteSeconds = 0;
    {
        std::lock_guard<std::mutex> guard(sink.lock);
        bytes = sink.bytes;
        seconds = sink.Seconds(sink.endTime);
        if (sink.lastByte != Clock::time_point{})
            lastByteSeconds = sink.Seconds(sink.lastByte);
    }
    printf(
        "{\"summary\":true,\"state\":%d,\"error_code\":%d,\"error_name\":%s,"
        "\"using_cdn\":%s,\"failed_link\":%s,\"failed_result\":%d,\"repair_link\":%s,"
        "\"checked_urls\":%s,\"used_urls\":%s,\"bytes\":%lld,\"seconds\":%.3f,"
        "\"last_byte_seconds\":%.3f,\"kept_bytes\":%lld}\n",
        state, engine->GetErrorCode(), JsonQuoted(engine->GetErrorString()).c_str(),
        engine->IsUsingCdn() ? "true" : "false", JsonQuoted(engine->GetFailedLink()).c_str(),
        engine->GetFailedResult(), JsonQuoted(engine->GetRepairLink()).c_str(),
        UrlList(checked).c_str(), UrlList(used).c_str(), bytes, seconds, lastByteSeconds,
        keptBytes);
    fflush(stdout);
    ReleaseDownloader(engine);
    WaitForReleasedDownloaders(60000);
    return state == kStateFinished ? 0 : 1;
}
