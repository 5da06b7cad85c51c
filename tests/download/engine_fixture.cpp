#include "tests/download/engine_fixture.h"

#include <chrono>
#include <map>
#include <thread>

#include "platform/system.h"
#include "platform/text.h"

namespace korvel_test {

std::shared_ptr<const std::string> Content(size_t size, uint64_t seed) {
    static std::mutex lock;
    static std::map<std::pair<size_t, uint64_t>, std::shared_ptr<const std::string>> cache;
    std::lock_guard<std::mutex> guard(lock);
    auto& slot = cache[{size, seed}];
    if (!slot)
        slot = korvel_mirror::MakeContent(size, seed);
    return slot;
}

namespace {
std::string Digest(const char* data, size_t n, bool lower) {
    return Md5Hex(data, n, !lower);
}
}  // namespace

std::string MakeConfig(const std::string& content, const std::vector<std::string>& urls,
                       const ConfigOptions& o) {
    std::string xml = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<download size=\"";
    xml += o.sizeText.empty() ? std::to_string(content.size()) : o.sizeText;
    xml += "\" name=\"pkg.exe\"";
    if (o.withVersion)
        xml += " version=\"" + o.version + "\"";
    xml += ">\n  <url size=\"" +
           std::to_string(o.urlSizeOverride >= 0 ? o.urlSizeOverride : urls.size()) + "\">\n";
    for (size_t i = 0; i < urls.size(); ++i) {
        xml += "    <item_" + std::to_string(i) + " value=\"" + urls[i] + "\"/>\n";
    }
    xml += "  </url>\n";
    std::vector<std::string> hashes;
    if (o.withHashes) {
        hashes.push_back(Digest(content.data(), content.size(), o.lowerCaseHashes));
        for (size_t off = 0; off < content.size() &&
                             (o.blockHashLimit < 0 || hashes.size() <= size_t(o.blockHashLimit));
             off += kBlockSize) {
            const size_t n = std::min<size_t>(kBlockSize, content.size() - off);
            hashes.push_back(Digest(content.data() + off, n, o.lowerCaseHashes));
        }
    }
    xml += "  <hash size=\"" + std::to_string(hashes.size()) + "\">\n";
    for (size_t i = 0; i < hashes.size(); ++i) {
        xml += "    <item_" + std::to_string(i) + " value=\"" + hashes[i] + "\"/>\n";
    }
    xml += "  </hash>\n</download>\n";
    return xml;
}

DownloadCallback EventRecorder::Callback() {
    return [this](int e, int a, int b) { return OnEvent(e, a, b); };
}

int EventRecorder::OnEvent(int event, int a, int b) {
    std::lock_guard<std::mutex> lock(m_lock);
    if (event == kEventProgress) {
        ++m_progress;
        if (a < 0 || b < 0 || a > b)
            m_progressOk = false;
        if (m_firstBytes < 0)
            m_firstBytes = a;
        if (a > m_lastBytes) {
            m_lastBytes = a;
            m_growthTick = GetTickCount();
        }
    } else if (event == kEventFailed || event == kEventFinished) {
        if (m_finals.empty())
            m_finalTick = GetTickCount();
        m_finals.push_back({event, a, b});
        m_cv.notify_all();
    }
    return 0;
}

bool EventRecorder::WaitFinal(int timeoutMs) {
    std::unique_lock<std::mutex> lock(m_lock);
    return m_cv.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                         [this] { return !m_finals.empty(); });
}

int EventRecorder::FinalCount() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return static_cast<int>(m_finals.size());
}

std::vector<std::vector<int>> EventRecorder::Finals() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_finals;
}

int EventRecorder::ProgressCount() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_progress;
}

uint32_t EventRecorder::LastGrowthTick() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_growthTick;
}

int EventRecorder::FirstProgressBytes() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_firstBytes;
}

uint32_t EventRecorder::FinalTick() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_finalTick;
}

DownloaderTuning FastTuning() {
    DownloaderTuning t;
    t.dispatchPeriodMs = 200;
    t.stallLimitMs = 1000;
    t.lowSpeedTimeS = 1;
    t.pingTimeoutMs = 500;
    t.flagTimeoutMs = 1000;
    t.cdnMarkerDomain = "127.0.0.99";  // AddMirror(99): the fixture's CDN
    t.cdnMarkerPrefix = "kcdn.";
    t.pinger = [](const std::string&, int* ms) {
        *ms = 1;
        return true;
    };
    return t;
}

std::vector<Range> RangesSeen(const korvel_mirror::MirrorServer& m) {
    std::vector<Range> out;
    for (const auto& r : m.Requests()) {
        if (r.method == "GET" && r.hasRange)
            out.push_back({r.rangeStart, r.rangeEnd});
    }
    return out;
}

int CountMethod(const korvel_mirror::MirrorServer& m, const std::string& method) {
    int n = 0;
    for (const auto& r : m.Requests())
        n += r.method == method;
    return n;
}

void EngineTest::SetUp() {
    m_dir = std::make_unique<TempDir>();
    m_dest = m_dir->Sub("pkg.exe");
    m_mirrors = std::make_unique<korvel_mirror::MirrorSet>();
}

void EngineTest::TearDown() {
    m_engine.reset();  // joins every engine thread before the mirrors go
    m_mirrors.reset();
    m_dir.reset();
}

void EngineTest::ServeContent(std::shared_ptr<const std::string> content) {
    m_content = content;
    m_mirrors->AddFile("pkg.exe", content);
}

korvel_mirror::MirrorServer* EngineTest::AddMirror(int host, korvel_mirror::MirrorSettings s) {
    s.address = "127.0.0." + std::to_string(host);
    s.port = 0;
    std::string error;
    korvel_mirror::MirrorServer* m = m_mirrors->Add(s, &error);
    EXPECT_NE(m, nullptr) << error;
    return m;
}

void EngineTest::ExpectFailedOnce(int error) {
    EXPECT_EQ(Engine().GetDownloadState(), kStateFailed);
    EXPECT_EQ(Engine().GetErrorCode(), error);
    ASSERT_EQ(m_events.FinalCount(), 1);
    EXPECT_EQ(m_events.Finals()[0][0], kEventFailed);
}

std::vector<std::string> EngineTest::UsedUrls() {
    std::vector<UrlCfg> used;
    Engine().GetUsedUrls(used);
    std::vector<std::string> out;
    for (const UrlCfg& u : used)
        out.push_back(u.url);
    return out;
}

void EngineTest::Start(const std::string& config, const DownloaderTuning& tuning) {
    m_engine = std::make_unique<DownloaderCurl>(tuning);
    ASSERT_EQ(m_engine->SetCallback(m_events.Callback()), 0);
    ASSERT_EQ(m_engine->StartWithConfigText(config.data(), static_cast<int>(config.size()), m_dest),
              0);
}

void EngineTest::WaitNotRunning() {
    for (int i = 0; i < 6000 && m_engine->IsDownloading(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

void EngineTest::Run(const std::string& config, const DownloaderTuning& tuning) {
    Start(config, tuning);
    ASSERT_TRUE(m_events.WaitFinal()) << "no final event";
    WaitNotRunning();
    EXPECT_FALSE(m_engine->IsDownloading());
    EXPECT_TRUE(m_events.ProgressWithinTotal());
}

}  // namespace korvel_test
