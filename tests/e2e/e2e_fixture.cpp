#include "tests/e2e/e2e_fixture.h"

#include <arpa/inet.h>
#include <cjson/cJSON.h>
#include <dirent.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/folders.h"
#include "platform/gui.h"
#include "platform/resource.h"
#include "platform/text.h"
#include "report/install_reporter.h"
#include "tools/korvel-pack/pack.h"

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

// Resources are kept by pointer and must outlive every lookup of the process.
std::string& OwnConfigText() {
    static std::string text;
    return text;
}

}  // namespace

int CountOf(const std::string& text, const std::string& part) {
    int n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++n;
    }
    return n;
}

std::optional<std::string> Member(const std::string& json, const char* name) {
    cJSON* doc = cJSON_Parse(json.c_str());
    const cJSON* item = cJSON_GetObjectItem(doc, name);
    std::optional<std::string> out;
    if (cJSON_IsString(item)) {
        out = item->valuestring;
    } else if (cJSON_IsNumber(item)) {
        out = std::to_string(item->valueint);
    }
    cJSON_Delete(doc);
    return out;
}

korvel_mirror::MirrorSettings MirrorAt(const char* host) {
    korvel_mirror::MirrorSettings s;
    s.address = host;
    return s;
}

std::string ReadDemoPackage(const std::string& name) {
    return korvel_test::ReadFile(std::string(KORVEL_DEMO_PACKAGE_DIR) + "/" + name);
}

void InstallerTest::SetUp() {
    m_xvfb = std::make_unique<korvel_test::XvfbSession>();
    ASSERT_TRUE(m_xvfb->Started()) << "Xvfb did not start";
    m_sandbox = std::make_unique<korvel_test::SandboxHome>();
    m_home = m_homeName.empty() ? m_sandbox->home() : m_sandbox->dir().Sub(m_homeName);
    const std::string home = m_home;
    m_programFiles = home + "/ProgramFiles";
    korvel_test::PrepareInstallerHome(home, m_env);
    m_package = ReadDemoPackage("Korvel12_x64.exe");
    ASSERT_GT(m_package.size(), 4096u) << "demo package missing";

    m_service = std::make_unique<ReportService>();
    ServiceOptions options;
    options.dbPath = home + "/reports.db";
    options.logDir = home + "/service-logs";
    std::string error;
    ASSERT_TRUE(m_service->Open(options, error)) << error;
    const TlsFiles tls = m_addresses == Addresses::kOwn ? ReportServiceTls() : TlsFiles();
    HttpOptions http;
    http.tls = tls;
    m_http = std::make_unique<ReportHttpServer>(*m_service, std::move(http));
    ASSERT_TRUE(m_http->IsValid()) << "the report service cannot use its certificate";
    if (m_addresses == Addresses::kDemo) {
        ASSERT_EQ(kReportPort, m_http->Bind("127.0.0.1", kReportPort)) << "report port busy";
    } else {
        const int port = m_http->Bind("127.0.0.1", 0);
        ASSERT_GT(port, 0) << "no loopback port for the report service";
        const std::string base = std::string(tls.certFile.empty() ? "http" : "https") +
                                 "://127.0.0.1:" + std::to_string(port);
        m_tuning.strReportUrl = base + kReportPath;
        m_tuning.strLogUploadUrl = base + kLogUploadPath;
    }
    m_http->Start();

    m_tuning.nCloseWaitSteps = 1;  // the product waits 5 x 1000 ms; nothing here needs it
    m_tuning.nCloseWaitStepMs = 200;
    m_tuning.messageBox = [this](HWND, const wchar_t* text, const wchar_t*) {
        std::lock_guard<std::mutex> lock(m_boxLock);
        m_boxes.push_back(text);
    };
}

void InstallerTest::TearDown() {
    StopServices();
}

void InstallerTest::StopServices() {
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
        std::string options = i < 6 ? kMirrorAddresses[i] : kCdnAddress, error;
        ASSERT_TRUE(korvel_mirror::ParseMirrorOptions(options, s, error)) << error;
        if (tweak) {
            tweak(i, s);
        }
        auto mirror = std::make_unique<korvel_mirror::MirrorServer>(s, files);
        ASSERT_TRUE(mirror->Start(error)) << options << ": " << error;
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

void InstallerTest::StartOwnMirrors(const std::string& package,
                                    const std::vector<korvel_mirror::MirrorSettings>& mirrors,
                                    const korvel_mirror::MirrorSettings* cdn) {
    ASSERT_EQ(Addresses::kOwn, m_addresses) << "the demo addresses have their configuration";
    auto files = std::make_shared<korvel_mirror::FileSet>();
    (*files)["Korvel12_x64.exe"] = std::make_shared<const std::string>(package);
    std::vector<korvel_mirror::MirrorSettings> all = mirrors;
    if (cdn) {
        all.push_back(*cdn);
    }
    std::vector<std::string> urls;
    for (korvel_mirror::MirrorSettings s : all) {
        s.port = 0;
        auto mirror = std::make_unique<korvel_mirror::MirrorServer>(s, files);
        std::string error;
        ASSERT_TRUE(mirror->Start(error)) << s.address << ": " << error;
        urls.push_back(mirror->FileUrl("Korvel12_x64.exe"));
        m_mirrors.push_back(std::move(mirror));
    }
    const std::string packagePath = Home() + "/served-package.exe";
    const std::string configPath = Home() + "/own-config.xml";
    korvel_test::WriteFile(packagePath, package);
    std::string error;
    ASSERT_TRUE(BuildDownloadConfig(packagePath, urls, "Korvel12_x64", configPath, error)) << error;
    OwnConfigText() = korvel_test::ReadFile(configPath);
    ASSERT_FALSE(OwnConfigText().empty());
}

void InstallerTest::RunInstaller(const std::function<void(SetupDlg&)>& driver,
                                 const std::function<void()>& afterResources) {
    std::atomic<SetupDlg*> dialog{nullptr};
    std::thread driverThread([&] {
        ASSERT_TRUE(WaitFor([&] { return dialog.load() != nullptr; }, 30000));
        SetupDlg& d = *dialog.load();
        if (WaitForWindow(d)) {
            driver(d);
        } else {
            ADD_FAILURE() << "the installer window did not show";
        }
        // A driver that gave up left the window open: close it, so that the
        // failure is reported instead of the run hanging.
        if (HasFailure() && !d.IsClosing()) {
            PostMessageW(d.GetHwnd(), WM_CLOSE, 0, 0);
        }
    });
    SetupHooks hooks;
    const bool ownConfig = m_addresses == Addresses::kOwn && !OwnConfigText().empty();
    hooks.afterResources = [&] {
        if (ownConfig) {
            RegisterResource(502, L"xml", OwnConfigText().data(), OwnConfigText().size());
        }
        if (afterResources) {
            afterResources();
        }
    };
    hooks.onDialog = [&](SetupDlg& d) { dialog = &d; };
    // The driver may still read the dialog: it ends before the dialog goes.
    bool joined = false;
    hooks.onClosed = [&](SetupDlg& d) {
        driverThread.join();
        joined = true;
        EXPECT_TRUE(d.HasWorkerEnded()) << "the install worker did not end";
    };
    RunSetup(GetModuleHandleW(nullptr), m_tuning, hooks);
    if (!joined) {
        driverThread.join();
    }
}

bool InstallerTest::WaitFor(const std::function<bool()>& done, int timeoutMs) {
    return korvel_test::WaitUntil(done, timeoutMs, 50);
}

bool InstallerTest::WaitForWindow(SetupDlg& dlg) {
    return WaitFor([&] { return dlg.GetHwnd() && IsWindowVisible(dlg.GetHwnd()); }, 30000);
}

bool InstallerTest::OpenCustomPanel(HWND hwnd, int x, int y) {
    Click(hwnd, x, y);
    return WaitFor(
        [&] {
            RECT rc{};
            GetWindowRect(hwnd, &rc);
            return rc.bottom - rc.top == kSetupCustomHeight;
        },
        5000);
}

void InstallerTest::Click(HWND hwnd, int x, int y) {
    InjectMouse(hwnd, SyntheticMouse::Move, x, y);
    std::this_thread::sleep_for(std::chrono::milliseconds(80));
    InjectMouse(hwnd, SyntheticMouse::LeftDown, x, y);
    std::this_thread::sleep_for(std::chrono::milliseconds(80));
    InjectMouse(hwnd, SyntheticMouse::LeftUp, x, y);
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
}

void InstallerTest::PressKey(int virtualKey, bool shift) {
    static const bool xdotool = std::system("command -v xdotool >/dev/null 2>&1") == 0;
    const char* name = virtualKey == VK_RETURN   ? "Return"
                       : virtualKey == VK_ESCAPE ? "Escape"
                       : virtualKey == VK_TAB    ? "Tab"
                       : virtualKey == VK_SPACE  ? "space"
                                                 : nullptr;
    if (xdotool && name) {
        const std::string command =
            std::string("xdotool key --clearmodifiers ") + (shift ? "shift+" : "") + name;
        if (std::system(command.c_str()) == 0) {
            return;
        }
    }
    InjectKey(nullptr, virtualKey, false, shift);
}

std::function<void()> InstallerTest::ServeCorruptPayload() {
    std::string bad = m_package;
    const int32_t headerAt = *reinterpret_cast<const int32_t*>(bad.data() + kHeaderOffsetPosition);
    PackageHeader header{};
    std::memcpy(&header, bad.data() + headerAt, sizeof header);
    for (int32_t i = header.nPayloadOffset + 64; i < header.nPayloadOffset + header.nPayloadSize;
         i += 997) {
        bad[i] = static_cast<char>(~bad[i]);
    }
    const std::string badPath = Home() + "/bad-package.exe";
    korvel_test::WriteFile(badPath, bad);
    std::vector<std::string> mirrors;
    for (const char* m : kMirrorAddresses) {
        mirrors.push_back(std::string("http://") + m + "/download/Korvel12_x64.exe");
    }
    std::string error;
    EXPECT_TRUE(BuildDownloadConfig(badPath, mirrors, "Korvel12_x64", Home() + "/bad.xml", error))
        << error;
    static std::string config;  // resources must outlive the program's lookups
    config = korvel_test::ReadFile(Home() + "/bad.xml");
    StartMirrors(bad);
    return [] { RegisterResource(502, L"xml", config.data(), config.size()); };
}

void InstallerTest::ShowRealMessageBoxes() {
    m_tuning.messageBox = [this](HWND owner, const wchar_t* text, const wchar_t* title) {
        {
            std::lock_guard<std::mutex> lock(m_boxLock);
            m_boxes.push_back(text);
        }
        MessageBoxW(owner, text, title, MB_OK);
    };
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

void InstallerTest::PrintInstallLogEnd() const {
    const std::string log = InstallLog();
    printf("---- end of install.log ----\n%s\n",
           log.substr(log.size() > 6000 ? log.size() - 6000 : 0).c_str());
}

std::string InstallerTest::DownloadedPackage() const {
    return korvel_test::ReadFile(Home() + "/Downloads/Korvel/Korvel12/Korvel12_x64(12.0.0.2).exe");
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

// ---- FaultyReportService ----

namespace {

constexpr int kServicePollMs = 50;
constexpr size_t kMaxRequestHead = 65536;

std::string HeaderValue(const std::string& head, const std::string& name) {
    std::string lower = head;
    for (char& c : lower) {
        c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    }
    const size_t at = lower.find("\r\n" + name + ":");
    if (at == std::string::npos) {
        return "";
    }
    size_t from = at + name.size() + 3;
    const size_t end = head.find("\r\n", from);
    while (from < end && head[from] == ' ') {
        ++from;
    }
    return head.substr(from, end - from);
}

// The text part `name` of a multipart body (no file parts are asked for).
std::string FormPart(const std::string& body, const std::string& name) {
    const size_t at = body.find("name=\"" + name + "\"");
    if (at == std::string::npos) {
        return "";
    }
    const size_t from = body.find("\r\n\r\n", at);
    const size_t end = from == std::string::npos ? from : body.find("\r\n--", from + 4);
    return end == std::string::npos ? "" : body.substr(from + 4, end - from - 4);
}

// install_status of a report document; empty when it is no JSON object.
std::string ReportStatus(const std::string& json) {
    cJSON* doc = cJSON_Parse(json.c_str());
    const cJSON* status = cJSON_GetObjectItem(doc, "install_status");
    const std::string out = cJSON_IsString(status) ? status->valuestring : "";
    cJSON_Delete(doc);
    return out;
}

bool SendAllBytes(int fd, const std::string& data) {
    size_t sent = 0;
    while (sent < data.size()) {
        const ssize_t n = send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) {
            return false;
        }
        sent += static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

FaultyReportService::FaultyReportService(Fault fault, int status, std::string body)
    : m_fault(fault), m_status(status), m_body(std::move(body)) {}

FaultyReportService::~FaultyReportService() {
    Stop();
}

bool FaultyReportService::Start(std::string& error) {
    m_listenFd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (m_listenFd < 0 || bind(m_listenFd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        listen(m_listenFd, 64) != 0 ||
        getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        error = std::string("report service socket: ") + strerror(errno);
        return false;
    }
    m_port = ntohs(addr.sin_port);
    m_acceptThread = std::thread(&FaultyReportService::AcceptLoop, this);
    return true;
}

void FaultyReportService::Stop() {
    m_stop = true;
    if (m_acceptThread.joinable()) {
        m_acceptThread.join();
    }
    std::vector<std::thread> connections;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        for (int fd : m_openFds) {
            shutdown(fd, SHUT_RDWR);
        }
        connections.swap(m_connections);
    }
    for (std::thread& t : connections) {
        t.join();
    }
    if (m_listenFd >= 0) {
        close(m_listenFd);
        m_listenFd = -1;
    }
}

std::string FaultyReportService::Url(const char* path) const {
    return "http://127.0.0.1:" + std::to_string(m_port) + path;
}

std::vector<FaultyReportService::Attempt> FaultyReportService::Attempts() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_attempts;
}

int FaultyReportService::Count(const char* path, const std::string& status) const {
    std::lock_guard<std::mutex> lock(m_lock);
    int n = 0;
    for (const Attempt& a : m_attempts) {
        n += a.ended && a.path == path && a.status == status;
    }
    return n;
}

void FaultyReportService::AcceptLoop() {
    while (!m_stop.load()) {
        pollfd p{m_listenFd, POLLIN, 0};
        if (poll(&p, 1, kServicePollMs) <= 0) {
            continue;
        }
        const int fd = accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        std::lock_guard<std::mutex> lock(m_lock);
        m_attempts.emplace_back();
        m_openFds.push_back(fd);
        m_connections.emplace_back(&FaultyReportService::Serve, this, fd, m_attempts.size() - 1);
    }
}

void FaultyReportService::Serve(int fd, size_t index) {
    const auto begin = std::chrono::steady_clock::now();
    std::string head, body;
    const bool whole = ReadRequest(fd, head, body);
    {
        std::lock_guard<std::mutex> lock(m_lock);
        Attempt& a = m_attempts[index];
        const size_t space = head.find(' ');
        if (space != std::string::npos) {
            a.path = head.substr(space + 1, head.find(' ', space + 1) - space - 1);
        }
        a.status = a.path == kReportPath ? ReportStatus(FormPart(body, "json_data"))
                                         : FormPart(body, "log_type");
    }
    if (whole && m_fault == Fault::kReply) {
        char line[160];
        snprintf(line, sizeof line,
                 "HTTP/1.1 %d Status\r\nContent-Type: application/json\r\n"
                 "Content-Length: %zu\r\nConnection: close\r\n\r\n",
                 m_status, m_body.size());
        SendAllBytes(fd, line + m_body);
    } else if (whole && m_fault == Fault::kSilent) {
        HoldUntilClientLeaves(fd);
    }
    const std::chrono::duration<double> held = std::chrono::steady_clock::now() - begin;
    std::lock_guard<std::mutex> lock(m_lock);
    shutdown(fd, SHUT_RDWR);
    close(fd);
    m_openFds.erase(std::find(m_openFds.begin(), m_openFds.end(), fd));
    m_attempts[index].heldSeconds = held.count();
    m_attempts[index].ended = true;
}

// Head and body of one request; false when the client left or Stop came first.
bool FaultyReportService::ReadRequest(int fd, std::string& head, std::string& body) {
    std::string data;
    size_t headEnd = std::string::npos;
    size_t need = 0;
    bool continued = false;
    char buffer[16384];
    while (!m_stop.load()) {
        if (headEnd == std::string::npos &&
            (headEnd = data.find("\r\n\r\n")) != std::string::npos) {
            head = data.substr(0, headEnd + 2);
            need = headEnd + 4 +
                   std::strtoull(HeaderValue(head, "content-length").c_str(), nullptr, 10);
        }
        if (headEnd != std::string::npos) {
            if (data.size() >= need) {
                body = data.substr(headEnd + 4);
                return true;
            }
            if (!continued && HeaderValue(head, "expect") == "100-continue") {
                continued = SendAllBytes(fd, "HTTP/1.1 100 Continue\r\n\r\n");
            }
        } else if (data.size() > kMaxRequestHead) {
            return false;
        }
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, kServicePollMs) <= 0) {
            continue;
        }
        const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) {
            return false;
        }
        data.append(buffer, static_cast<size_t>(n));
    }
    return false;
}

void FaultyReportService::HoldUntilClientLeaves(int fd) {
    char buffer[4096];
    while (!m_stop.load()) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, kServicePollMs) > 0 && recv(fd, buffer, sizeof buffer, 0) <= 0) {
            return;
        }
    }
}

}  // namespace korvel_e2e
