#include "tests/e2e/e2e_fixture.h"

#include <cjson/cJSON.h>
#include <sys/stat.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/folders.h"
#include "platform/gui.h"
#include "platform/text.h"

namespace korvel_e2e {

const char* const kMirrorAddresses[6] = {"127.0.0.11:18081", "127.0.0.12:18082",
                                         "127.0.0.13:18083", "127.0.0.14:18084",
                                         "127.0.0.15:18085", "127.0.0.16:18086"};
const char* const kCdnAddress = "127.0.0.99:18089";

namespace {

constexpr int kReportPort = 18090;

std::vector<std::string> ReadLines(const std::string& path) {
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

}  // namespace

std::string ReadDemoPackage(const std::string& name) {
    return korvel_test::ReadFile(std::string(KORVEL_DEMO_PACKAGE_DIR) + "/" + name);
}

void InstallerTest::SetUp() {
    m_xvfb = std::make_unique<korvel_test::XvfbSession>();
    ASSERT_TRUE(m_xvfb->Started()) << "Xvfb did not start";
    m_sandbox = std::make_unique<korvel_test::SandboxHome>();
    const std::string home = m_sandbox->home();
    m_programFiles = home + "/ProgramFiles";
    const std::string opener = home + "/open-url";
    korvel_test::WriteFile(opener, "#!/bin/sh\necho \"$1\" >> \"" + home + "/opened-urls.txt\"\n");
    chmod(opener.c_str(), 0755);
    auto set = [this](const char* name, const std::string& value) {
        m_env.push_back(std::make_unique<korvel_test::ScopedEnv>(name, value.c_str()));
    };
    set("ProgramW6432", m_programFiles);
    set("XDG_DATA_DIRS", home + "/system-share:/usr/share");
    set("KORVEL_URL_OPENER", opener);
    set("KORVEL_DEMO_RECORD", home + "/launches.jsonl");
    set("SDL_VIDEODRIVER", "x11");
    for (const char* dir : {"/ProgramFiles", "/system-share/applications", "/Desktop", "/Documents",
                            "/Downloads", "/.local/share/applications"}) {
        CreateDirectoryPath(Utf8ToWide(home + dir));
    }
    m_package = ReadDemoPackage("Korvel12_x64.exe");
    ASSERT_GT(m_package.size(), 4096u) << "demo package missing";

    m_service = std::make_unique<ReportService>();
    ServiceOptions options;
    options.dbPath = home + "/reports.db";
    options.logDir = home + "/service-logs";
    std::string error;
    ASSERT_TRUE(m_service->Open(options, error)) << error;
    m_http = std::make_unique<ReportHttpServer>(*m_service);
    ASSERT_EQ(kReportPort, m_http->Bind("127.0.0.1", kReportPort)) << "report port busy";
    m_http->Start();

    m_tuning.nCloseWaitSteps = 1;  // the product waits 5 x 1000 ms; nothing here needs it
    m_tuning.nCloseWaitStepMs = 200;
    m_tuning.messageBox = [this](HWND, const wchar_t* text, const wchar_t*) {
        std::lock_guard<std::mutex> lock(m_boxLock);
        m_boxes.push_back(text);
    };
}

void InstallerTest::TearDown() {
    StopMirrors();
    if (m_http) {
        m_http->Stop();
    }
}

void InstallerTest::StartMirrors(
    const std::string& package,
    const std::function<void(int, korvel_mirror::MirrorSettings&)>& tweak) {
    auto files = std::make_shared<korvel_mirror::FileSet>();
    (*files)["Korvel12_x64.exe"] = std::make_shared<const std::string>(package);
    for (int i = 0; i < 7; ++i) {
        korvel_mirror::MirrorSettings s;
        std::string spec = i < 6 ? kMirrorAddresses[i] : kCdnAddress, error;
        ASSERT_TRUE(korvel_mirror::ParseMirrorSpec(spec, s, error)) << error;
        if (tweak) {
            tweak(i, s);
        }
        auto mirror = std::make_unique<korvel_mirror::MirrorServer>(s, files);
        ASSERT_TRUE(mirror->Start(error)) << spec << ": " << error;
        m_mirrors.push_back(std::move(mirror));
    }
}

void InstallerTest::ChangeMirrors(
    const std::function<void(korvel_mirror::MirrorSettings&)>& change) {
    for (auto& m : m_mirrors) {
        m->UpdateSettings(change);
    }
}

void InstallerTest::StopMirrors() {
    for (auto& m : m_mirrors) {
        m->Stop();
    }
    m_mirrors.clear();
}

void InstallerTest::RunInstaller(const std::function<void(SetupDlg&)>& driver,
                                 const std::function<void()>& afterResources) {
    std::atomic<SetupDlg*> dialog{nullptr};
    std::thread driverThread([&] {
        ASSERT_TRUE(WaitFor([&] { return dialog.load() != nullptr; }, 30000));
        ASSERT_TRUE(WaitForWindow(*dialog.load()));
        driver(*dialog.load());
    });
    SetupHooks hooks;
    hooks.afterResources = afterResources;
    hooks.onDialog = [&](SetupDlg& d) { dialog = &d; };
    RunSetup(GetModuleHandleW(nullptr), m_tuning, hooks);
    driverThread.join();
    // A worker still running would outlive the test's mirrors and service.
    EXPECT_TRUE(WaitFor([&] { return dialog.load()->HasWorkerEnded(); }, 90000))
        << "the install worker did not end";
}

bool InstallerTest::WaitFor(const std::function<bool()>& done, int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

bool InstallerTest::WaitForWindow(SetupDlg& dlg) {
    return WaitFor([&] { return dlg.GetHwnd() && IsWindowVisible(dlg.GetHwnd()); }, 30000);
}

void InstallerTest::Click(HWND hwnd, int x, int y) {
    InjectMouse(hwnd, SyntheticMouse::Move, x, y);
    std::this_thread::sleep_for(std::chrono::milliseconds(80));
    InjectMouse(hwnd, SyntheticMouse::LeftDown, x, y);
    std::this_thread::sleep_for(std::chrono::milliseconds(80));
    InjectMouse(hwnd, SyntheticMouse::LeftUp, x, y);
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
}

void InstallerTest::Screenshot(HWND hwnd, const std::string& name) {
    if (const char* dir = std::getenv("KORVEL_SCREENSHOT_DIR")) {
        CaptureWindowPng(hwnd, std::string(dir) + "/" + name + ".png");
    }
}

std::vector<StoredRun> InstallerTest::Reports() {
    std::vector<StoredRun> runs;
    const ServiceReply reply = m_service->HandleReportsJson();
    cJSON* root = cJSON_Parse(reply.body.c_str());
    const cJSON* list = cJSON_GetObjectItem(root, "reports");
    const cJSON* item = nullptr;
    cJSON_ArrayForEach(item, list) {
        const cJSON* doc = cJSON_GetObjectItem(item, "report");
        const cJSON* status = cJSON_GetObjectItem(doc, "install_status");
        char* text = cJSON_PrintUnformatted(doc);
        runs.push_back({cJSON_IsString(status) ? status->valuestring : "", text ? text : ""});
        cJSON_free(text);
    }
    cJSON_Delete(root);
    return runs;
}

// Logs stored with the last report (the service links every log of a run to
// each of the run's reports).
int InstallerTest::StoredLogCount() {
    const ServiceReply reply = m_service->HandleReportsJson();
    cJSON* root = cJSON_Parse(reply.body.c_str());
    const cJSON* list = cJSON_GetObjectItem(root, "reports");
    const int n = cJSON_GetArraySize(list);
    const int count =
        n > 0 ? cJSON_GetArraySize(cJSON_GetObjectItem(cJSON_GetArrayItem(list, n - 1), "logs"))
              : 0;
    cJSON_Delete(root);
    return count;
}

std::string InstallerTest::InstallLog() const {
    return korvel_test::ReadFile(Home() + "/Documents/Korvel/Korvel12/Log/install.log");
}

std::vector<std::vector<std::string>> InstallerTest::Launches() const {
    std::vector<std::vector<std::string>> out;
    for (const std::string& line : ReadLines(Home() + "/launches.jsonl")) {
        cJSON* doc = cJSON_Parse(line.c_str());
        std::vector<std::string> args;
        const cJSON* arg = nullptr;
        args.push_back(cJSON_GetObjectItem(doc, "program")->valuestring);
        cJSON_ArrayForEach(arg, cJSON_GetObjectItem(doc, "args")) {
            args.push_back(arg->valuestring);
        }
        cJSON_Delete(doc);
        out.push_back(args);
    }
    return out;
}

std::vector<std::string> InstallerTest::OpenedUrls() const {
    return ReadLines(Home() + "/opened-urls.txt");
}

std::vector<std::wstring> InstallerTest::MessageBoxes() {
    std::lock_guard<std::mutex> lock(m_boxLock);
    return m_boxes;
}

}  // namespace korvel_e2e
