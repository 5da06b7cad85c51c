#include "bench/install/installer_road.h"

#include <cjson/cJSON.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "app/setup_entry.h"
#include "bench/install/thread_clock.h"
#include "http_server.h"
#include "platform/folders.h"
#include "platform/gui.h"
#include "platform/log.h"
#include "platform/resource.h"
#include "platform/text.h"
#include "report_service.h"
#include "tests/support/test_support.h"
#include "tests/support/xvfb.h"
#include "tools/korvel-mirror/mirror_sim.h"
#include "tools/korvel-pack/pack.h"
#include "ui/info_view.h"

namespace korvel_bench {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;
using std::chrono::seconds;

constexpr int kMainX = kMainButtonClick.x, kMainY = kMainButtonClick.y;  // the install button
constexpr char kPackageName[] = "Korvel12_x64.exe";
constexpr char kPaintThreadName[] = "korvel-paint";
constexpr char kRenderThreadName[] = "korvel-render";  // starts with the first accepted install

// Log steps worth a time stamp, and the name each gets in the result.
const std::pair<const char*, const char*> kMarkedSteps[] = {
    {"OnBtnInstall(OnInstall)", "click_accepted"},
    {"Download_BeginDownload : OpenFile(", "transfers_begin"},
    {"Download_CheckFinish : Finish download.", "download_verified"},
    {"Download Finish Result", "download_noticed"},
    {"Begin unpack file.", "extraction_begins"},
    {"Install File Result", "extraction_ends"},
    {"Run MainExe.exe /install", "hand_off"},
    {"UpdateCtrlStatus(AfterInstall)", "finished"},
};

// CPU seconds of the paint thread and of the process at one moment.
struct Sample {
    Clock::time_point at;
    double paint = -1;
    double render = 0;  // 0 before the render thread has started
    double process = -1;
};

std::atomic<int> g_paintTid{0};   // set before the click; 0 reads as no thread
std::atomic<int> g_renderTid{0};  // found at the first sample that sees it

double RenderCpuSeconds() {
    if (g_renderTid.load() == 0) {
        const std::vector<int> render = FindThreadsNamed(kRenderThreadName);
        if (render.size() != 1) {
            return 0;
        }
        g_renderTid = render[0];
    }
    return ThreadCpuSeconds(g_renderTid.load());
}

Sample TakeSample() {
    Sample s;
    s.paint = ThreadCpuSeconds(g_paintTid.load());
    s.render = RenderCpuSeconds();
    s.process = ProcessCpuSeconds();
    s.at = Clock::now();
    return s;
}

// The log's echo is a plain function pointer, so its marks live here.
std::mutex g_markLock;
std::vector<std::pair<std::string, Sample>> g_marks;

int MarkLogStep(const char* message) {
    if (const char* label = StepLabel(message)) {
        const Sample sample = TakeSample();
        std::lock_guard<std::mutex> lock(g_markLock);
        g_marks.emplace_back(label, sample);
    }
    return InfoViewLogEcho(message);  // what the installer's own echo does
}

// The first time a step was logged.
bool FindMark(const std::string& label, Sample& out) {
    std::lock_guard<std::mutex> lock(g_markLock);
    for (const auto& mark : g_marks) {
        if (mark.first == label) {
            out = mark.second;
            return true;
        }
    }
    return false;
}

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// Polls often: the spans measured are seconds long, 5 ms is their resolution.
bool WaitUntil(const std::function<bool()>& done, Clock::time_point deadline) {
    while (!done()) {
        if (Clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(milliseconds(5));
    }
    return true;
}

// install_status of the last report the service stored; empty when none.
std::string LastReportStatus(ReportService& service) {
    cJSON* root = cJSON_Parse(service.HandleReportsJson().body.c_str());
    const cJSON* list = cJSON_GetObjectItem(root, "reports");
    const int n = cJSON_GetArraySize(list);
    const cJSON* report = cJSON_GetObjectItem(cJSON_GetArrayItem(list, n - 1), "report");
    const cJSON* status = cJSON_GetObjectItem(report, "install_status");
    std::string text = cJSON_IsString(status) ? status->valuestring : "";
    cJSON_Delete(root);
    return text;
}

class Road {
public:
    explicit Road(const RoadOptions& options) : m_options(options) {}
    ~Road();
    RoadResult Run();

private:
    bool Fail(const std::string& why);
    bool Prepare();
    void PrepareHome();
    bool StartService();
    bool StartMirrors(std::shared_ptr<const std::string> package);
    bool WriteConfig(const std::vector<std::string>& urls);
    SetupTuning Tuning();
    void Drive(SetupDlg& dlg);
    void Measure(SetupDlg& dlg, int paintTid);
    void AwaitInstallResult(SetupDlg& dlg);
    void Check(SetupDlg& dlg);
    void CollectMarks();

    const RoadOptions m_options;
    RoadResult m_result;
    std::unique_ptr<korvel_test::XvfbSession> m_xvfb;
    std::unique_ptr<korvel_test::SandboxHome> m_sandbox;
    std::vector<std::unique_ptr<korvel_test::ScopedEnv>> m_env;
    std::vector<std::unique_ptr<korvel_mirror::MirrorServer>> m_mirrors;
    std::unique_ptr<ReportService> m_service;
    std::unique_ptr<ReportHttpServer> m_http;
    int m_nReportPort = -1;
    std::string m_config;  // resource 502; must outlive the installer's lookups
    Clock::time_point m_click;
    std::mutex m_boxLock;  // message boxes arrive on the installer's threads
    std::vector<std::wstring> m_boxes;
};

Road::~Road() {
    for (auto& m : m_mirrors) {
        m->Stop();
    }
    if (m_http) {
        m_http->Stop();
    }
}

bool Road::Fail(const std::string& why) {
    if (m_result.strError.empty()) {
        m_result.strError = why;
    }
    return false;
}

void Road::PrepareHome() {
    m_sandbox = std::make_unique<korvel_test::SandboxHome>();
    // The finish page records its address instead of opening a browser.
    korvel_test::PrepareInstallerHome(*m_sandbox, m_env);
}

bool Road::StartService() {
    m_service = std::make_unique<ReportService>();
    ServiceOptions options;
    options.dbPath = m_sandbox->home() + "/reports.db";
    options.logDir = m_sandbox->home() + "/service-logs";
    std::string error;
    if (!m_service->Open(options, error)) {
        return Fail("report service: " + error);
    }
    m_http = std::make_unique<ReportHttpServer>(*m_service);
    m_nReportPort = m_http->Bind("127.0.0.1", 0);
    if (m_nReportPort < 0) {
        return Fail("report service: no free port");
    }
    m_http->Start();
    return true;
}

bool Road::StartMirrors(std::shared_ptr<const std::string> package) {
    auto files = std::make_shared<korvel_mirror::FileSet>();
    (*files)[kPackageName] = std::move(package);
    std::vector<std::string> urls;
    for (int i = 0; i < m_options.nMirrors; ++i) {
        // One host each, as real mirrors; port 0: the system picks a free one.
        std::string options = "127.0.0." + std::to_string(21 + i) + ":0", error;
        if (!m_options.strMirrorOptions.empty()) {
            options += "," + m_options.strMirrorOptions;
        }
        korvel_mirror::MirrorSettings s;
        if (!korvel_mirror::ParseMirrorOptions(options, s, error)) {
            return Fail("mirror " + options + ": " + error);
        }
        auto mirror = std::make_unique<korvel_mirror::MirrorServer>(s, files);
        if (!mirror->Start(error)) {
            return Fail("mirror " + options + ": " + error);
        }
        urls.push_back(mirror->FileUrl(kPackageName));
        m_mirrors.push_back(std::move(mirror));
    }
    return WriteConfig(urls);
}

bool Road::WriteConfig(const std::vector<std::string>& urls) {
    const std::string path = m_sandbox->home() + "/config_x64.xml";
    std::string error;
    if (!BuildDownloadConfig(m_options.strPackage, urls, "Korvel12_x64", path, error)) {
        return Fail("download configuration: " + error);
    }
    m_config = korvel_test::ReadFile(path);
    return true;
}

bool Road::Prepare() {
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display) {
        m_xvfb = std::make_unique<korvel_test::XvfbSession>();
        if (!m_xvfb->Started()) {
            return Fail("Xvfb did not start");
        }
    }
    PrepareHome();
    auto package = std::make_shared<const std::string>(korvel_test::ReadFile(m_options.strPackage));
    m_result.nPackageBytes = package->size();
    if (package->size() <= 4096) {
        return Fail("no setup package at " + m_options.strPackage);
    }
    m_result.nPayloadBytes = TreeBytes(m_options.strPayloadFolder, false);
    return StartService() && StartMirrors(std::move(package));
}

SetupTuning Road::Tuning() {
    SetupTuning t;  // the product's timings, but for the close wait after the measured span
    t.nCloseWaitSteps = 1;
    t.nCloseWaitStepMs = 200;
    const std::string base = "http://127.0.0.1:" + std::to_string(m_nReportPort);
    t.strReportUrl = base + "/api/install/online.php";
    t.strLogUploadUrl = base + "/api/install/index_log.php";
    t.messageBox = [this](HWND, const wchar_t* text, const wchar_t*) {
        std::lock_guard<std::mutex> lock(m_boxLock);
        m_boxes.push_back(text);
    };
    return t;
}

void Road::Drive(SetupDlg& dlg) {
    if (!WaitUntil([&] { return dlg.GetHwnd() && IsWindowVisible(dlg.GetHwnd()); },
                   Clock::now() + seconds(30))) {
        Fail("the installer window did not show");
    } else {
        std::this_thread::sleep_for(seconds(1));  // first paints and the release text
        const std::vector<int> paint = FindThreadsNamed(kPaintThreadName);
        if (paint.size() != 1) {
            Fail(std::to_string(paint.size()) + " threads named " + kPaintThreadName);
        } else {
            Measure(dlg, paint[0]);
        }
    }
    if (dlg.GetHwnd()) {
        PostMessageW(dlg.GetHwnd(), WM_CLOSE, 0, 0);  // sends the final report
    }
}

// Clicks the install button and times the road. The download span ends when
// the engine has verified the package: from then on the window shows the
// installation, so the rest counts as installing.
void Road::Measure(SetupDlg& dlg, int paintTid) {
    g_paintTid = paintTid;
    const HWND hwnd = dlg.GetHwnd();
    InjectMouse(hwnd, SyntheticMouse::Move, kMainX, kMainY);
    std::this_thread::sleep_for(milliseconds(80));
    InjectMouse(hwnd, SyntheticMouse::LeftDown, kMainX, kMainY);
    std::this_thread::sleep_for(milliseconds(80));
    const Sample click = TakeSample();
    m_click = click.at;
    InjectMouse(hwnd, SyntheticMouse::LeftUp, kMainX, kMainY);  // the button acts on release
    if (!WaitUntil([&] { return dlg.GetInstallStage() != kStageWaiting; }, m_click + seconds(10))) {
        Fail("the click did not start the install");
        return;
    }
    const bool ended = WaitUntil([&] { return dlg.GetInstallStage() != kStageRunning; },
                                 m_click + seconds(m_options.nTimeoutSeconds));
    const Sample finished = TakeSample();
    Sample verified;
    const bool downloaded = FindMark("download_verified", verified);
    if (!ended || dlg.GetInstallStage() != kStageFinished || !downloaded) {
        Fail(ended        ? "the download failed"
             : downloaded ? "timed out while installing"
                          : "timed out while downloading");
        return;
    }
    if (click.paint < 0 || verified.paint < 0 || finished.paint < 0) {
        Fail("the paint thread ended during the run");
    }
    m_result.dDownload = Seconds(verified.at - click.at);
    m_result.dInstall = Seconds(finished.at - verified.at);
    m_result.dClickToFinished = Seconds(finished.at - click.at);
    m_result.dPaintCpuDownload = verified.paint - click.paint;
    m_result.dPaintCpuInstall = finished.paint - verified.paint;
    m_result.dRenderCpuDownload = verified.render - click.render;
    m_result.dRenderCpuInstall = finished.render - verified.render;
    m_result.dProcessCpuDownload = verified.process - click.process;
    m_result.dProcessCpuInstall = finished.process - verified.process;
    AwaitInstallResult(dlg);
}

// The finished page shows a moment before the reporter learns the result; a
// close in between would report the run as cancelled.
void Road::AwaitInstallResult(SetupDlg& dlg) {
    InstallReporter* reporter = dlg.GetReporter();
    if (!WaitUntil(
            [&] {
                return dlg.GetProgressPhase() == kPhaseDone &&
                       (!reporter || reporter->GetStatusString() != "install_cancel");
            },
            Clock::now() + seconds(30))) {
        Fail("the installer did not record its result");
    }
}

void Road::CollectMarks() {
    for (const auto& step : kMarkedSteps) {
        Sample mark;
        if (FindMark(step.second, mark)) {
            m_result.marks.emplace_back(step.second, Seconds(mark.at - m_click));
        }
    }
}

// What the run left behind: a failed step, a message box, missing bytes or a
// report other than success make the run not count.
void Road::Check(SetupDlg& dlg) {
    const SetupOutcome outcome = dlg.GetOutcome();
    if (!outcome.bDownloadOk) {
        Fail("download failed: " + outcome.strDownloadError);
    } else if (!outcome.bInstallOk) {
        Fail("installation failed");
    }
    {
        std::lock_guard<std::mutex> lock(m_boxLock);
        if (!m_boxes.empty()) {
            Fail("message box: " + WideToUtf8(m_boxes.front()));
        }
    }
    m_result.nInstalledBytes = TreeBytes(WideToUtf8(dlg.GetInstallDir()), true);
    if (m_result.nInstalledBytes != m_result.nPayloadBytes) {
        Fail("installed " + std::to_string(m_result.nInstalledBytes) + " bytes of " +
             std::to_string(m_result.nPayloadBytes));
    }
    m_result.strReportStatus = LastReportStatus(*m_service);
    if (m_result.strReportStatus != "success") {
        Fail("final report: " + m_result.strReportStatus);
    }
    for (const auto& mirror : m_mirrors) {
        for (const korvel_mirror::RequestRecord& r : mirror->Requests()) {
            m_result.nRangedGets += r.method == "GET" && r.hasRange ? 1 : 0;
        }
    }
    CollectMarks();
}

RoadResult Road::Run() {
    if (!Prepare()) {
        return m_result;
    }
    std::atomic<SetupDlg*> dialog{nullptr};
    std::thread driver([&] {
        if (!WaitUntil([&] { return dialog.load() != nullptr; }, Clock::now() + seconds(30))) {
            Fail("the installer made no dialog");
            std::fprintf(stdout, "%s\n", RoadResultJson(m_result).c_str());
            std::_Exit(1);  // the modal loop never started, so nothing would end it
        }
        Drive(*dialog.load());
    });
    SetupHooks hooks;
    hooks.afterResources = [this] {
        RegisterResource(502, L"xml", m_config.data(), m_config.size());
    };
    hooks.onDialog = [&](SetupDlg& dlg) {
        ILog::GetInstance()->SetLogCallback(&MarkLogStep);  // before the dialog's threads log
        dialog = &dlg;
    };
    // The window has closed and the dialog's threads have ended; the dialog
    // goes when this returns.
    hooks.onClosed = [&](SetupDlg& dlg) {
        driver.join();
        if (!dlg.HasWorkerEnded()) {
            Fail("the install worker did not end");
        }
        Check(dlg);
    };
    RunSetup(GetModuleHandleW(nullptr), Tuning(), hooks);
    m_result.bOk = m_result.strError.empty();
    return m_result;
}

}  // namespace

const char* StepLabel(const char* message) {
    for (const auto& step : kMarkedSteps) {
        if (std::strncmp(message, step.first, std::strlen(step.first)) == 0) {
            return step.second;
        }
    }
    return nullptr;
}

uint64_t TreeBytes(const std::string& folder, bool withoutInstallerFiles) {
    namespace fs = std::filesystem;
    uint64_t total = 0;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        if (!it->is_regular_file(ec)) {
            continue;
        }
        const std::string name = it->path().filename().string();
        if (withoutInstallerFiles && it.depth() == 0 &&
            (name == "uninstall.exe" || name == "uninstall.exe.bin" || name == "uninstall.list")) {
            continue;
        }
        total += it->file_size(ec);
    }
    return total;
}

RoadResult RunInstallerRoad(const RoadOptions& options) {
    Road road(options);
    return road.Run();
}

std::string RoadResultJson(const RoadResult& r) {
    cJSON* root = cJSON_CreateObject();
    cJSON_AddBoolToObject(root, "ok", r.bOk);
    cJSON_AddStringToObject(root, "error", r.strError.c_str());
    cJSON_AddNumberToObject(root, "click_to_finished_seconds", r.dClickToFinished);
    cJSON_AddNumberToObject(root, "download_seconds", r.dDownload);
    cJSON_AddNumberToObject(root, "install_seconds", r.dInstall);
    cJSON_AddNumberToObject(root, "paint_cpu_seconds_download", r.dPaintCpuDownload);
    cJSON_AddNumberToObject(root, "paint_cpu_seconds_install", r.dPaintCpuInstall);
    cJSON_AddNumberToObject(root, "render_cpu_seconds_download", r.dRenderCpuDownload);
    cJSON_AddNumberToObject(root, "render_cpu_seconds_install", r.dRenderCpuInstall);
    cJSON_AddNumberToObject(root, "process_cpu_seconds_download", r.dProcessCpuDownload);
    cJSON_AddNumberToObject(root, "process_cpu_seconds_install", r.dProcessCpuInstall);
    cJSON* marks = cJSON_AddObjectToObject(root, "marks");
    for (const auto& m : r.marks) {
        cJSON_AddNumberToObject(marks, m.first.c_str(), m.second);
    }
    cJSON_AddNumberToObject(root, "package_bytes", static_cast<double>(r.nPackageBytes));
    cJSON_AddNumberToObject(root, "payload_bytes", static_cast<double>(r.nPayloadBytes));
    cJSON_AddNumberToObject(root, "installed_bytes", static_cast<double>(r.nInstalledBytes));
    cJSON_AddNumberToObject(root, "ranged_gets", r.nRangedGets);
    cJSON_AddStringToObject(root, "report_status", r.strReportStatus.c_str());
    char* text = cJSON_PrintUnformatted(root);
    std::string out = text ? text : "{}";
    cJSON_free(text);
    cJSON_Delete(root);
    return out;
}

}  // namespace korvel_bench
