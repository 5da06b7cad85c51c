// End-to-end runs of the installer: the real window under Xvfb, the demo
// deployment's packages on in-process mirrors and the report service. The
// classic cases use the addresses compiled into the installer; cases built on
// Addresses::kOwn put mirrors and service on ports the system picks, with a
// download configuration naming them, so they may run side by side. Each
// test runs one installer in its own process (CTest starts every case
// separately; the window layer's X connection does not survive a second
// server).
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "app/setup_entry.h"
#include "http_server.h"
#include "report_service.h"
#include "tests/support/test_support.h"
#include "tests/support/xvfb.h"
#include "tools/korvel-mirror/mirror_sim.h"

namespace korvel_e2e {

// Where the tests click the install page (app/setup_geometry.h).
constexpr int kMainX = kMainButtonClick.x, kMainY = kMainButtonClick.y;
constexpr int kCustomX = kCustomToggleClick.x, kCustomY = kCustomToggleClick.y;
constexpr int kCloseX = kCloseButtonClick.x, kCloseY = kCloseButtonClick.y;

// The demo mirrors and CDN the built-in configurations name.
extern const char* const kMirrorAddresses[6];
extern const char* const kCdnAddress;

struct StoredRun {
    std::string status;
    std::string json;  // the report document as stored
};

// Where mirrors and the report service listen.
enum class Addresses {
    kDemo,  // the demo deployment's fixed addresses and built-in configuration
    kOwn,   // port 0 of loopback addresses, configuration registered per case
};

class InstallerTest : public ::testing::Test {
protected:
    explicit InstallerTest(Addresses addresses = Addresses::kDemo) : m_addresses(addresses) {}
    // The user's home gets this folder name (UTF-8) instead of "home".
    InstallerTest(Addresses addresses, std::string homeName)
        : m_addresses(addresses), m_homeName(std::move(homeName)) {}
    void SetUp() override;
    // kOwn only: the report service serves HTTPS with these files when set.
    virtual TlsFiles ReportServiceTls() const { return TlsFiles(); }
    void TearDown() override;

    // Mirrors serving `package` under the x64 package name; `tweak` changes
    // each mirror's settings before it starts (index 6 is the CDN).
    void StartMirrors(const std::string& package,
                      const std::function<void(int, korvel_mirror::MirrorSettings&)>& tweak = {});
    void ChangeMirrors(const std::function<void(korvel_mirror::MirrorSettings&)>& change);
    void StopMirrors();
    // kOwn only: mirrors on the given settings (addresses kept, ports chosen by
    // the system), the CDN last when given, serving `package`; the download
    // configuration naming them becomes the x64 configuration of RunInstaller.
    void StartOwnMirrors(const std::string& package,
                         const std::vector<korvel_mirror::MirrorSettings>& mirrors,
                         const korvel_mirror::MirrorSettings* cdn);
    korvel_mirror::MirrorServer& Mirror(size_t i) { return *m_mirrors.at(i); }
    size_t MirrorCount() const { return m_mirrors.size(); }
    // Stops mirrors and the report service (TearDown does it too).
    void StopServices();

    // Runs the installer on this thread while `driver` works on another with
    // the dialog; returns when the window has closed and the driver ended.
    void RunInstaller(const std::function<void(SetupDlg&)>& driver,
                      const std::function<void()>& afterResources = {});

public:
    // ---- driving ----
    static bool WaitFor(const std::function<bool()>& done, int timeoutMs);
    static void Click(HWND hwnd, int x, int y);
    static void Screenshot(HWND hwnd, const std::string& name);
    static bool WaitForWindow(SetupDlg& dlg);
    // Clicks the custom toggle at (x, y); true once the window has grown to
    // its custom-panel height.
    static bool OpenCustomPanel(HWND hwnd, int x, int y);
    // A key typed on the X server (xdotool), or the window layer's synthetic
    // key where xdotool is missing; it reaches the window that has the focus.
    static void PressKey(int virtualKey, bool shift = false);

protected:
    // ---- what happened ----
    std::vector<StoredRun> Reports();
    int StoredLogCount();
    std::string InstallLog() const;
    void PrintInstallLogEnd() const;        // its last 6000 bytes, for a failed case
    std::string DownloadedPackage() const;  // the package file below Downloads
    std::vector<std::vector<std::string>> Launches() const;  // args of each start
    std::vector<std::string> OpenedUrls() const;
    std::vector<std::wstring> MessageBoxes();
    std::string ProgramFolder() const { return m_programFiles + "/Korvel/Korvel 12"; }

    // ---- set-ups ----
    // Mirrors serving a copy of the package whose payload is damaged while its
    // digests match (the download verifies, the extraction fails); returns the
    // afterResources hook that makes the installer download it.
    std::function<void()> ServeCorruptPayload();
    // Message boxes are recorded and also shown (the default only records them).
    void ShowRealMessageBoxes();
    std::string Home() const { return m_home; }

    SetupTuning m_tuning;
    std::string m_package;  // bytes of the demo x64 package

private:
    const Addresses m_addresses;
    const std::string m_homeName;
    std::string m_home;
    std::unique_ptr<korvel_test::XvfbSession> m_xvfb;
    std::unique_ptr<korvel_test::SandboxHome> m_sandbox;
    std::vector<std::unique_ptr<korvel_test::ScopedEnv>> m_env;
    std::string m_programFiles;
    std::vector<std::unique_ptr<korvel_mirror::MirrorServer>> m_mirrors;
    std::unique_ptr<ReportService> m_service;
    std::unique_ptr<ReportHttpServer> m_http;
    std::mutex m_boxLock;
    std::vector<std::wstring> m_boxes;
};

// Occurrences of `part` in `text`.
int CountOf(const std::string& text, const std::string& part);
// One member of a report document as text (numbers in decimal); nullopt when
// the member is missing.
std::optional<std::string> Member(const std::string& json, const char* name);
// A mirror on `host` with the simulator's defaults.
korvel_mirror::MirrorSettings MirrorAt(const char* host);

// Reads a package of the demo deployment ("Korvel12_x64.exe").
std::string ReadDemoPackage(const std::string& name);

// A report service that misbehaves on both endpoints alike, on a loopback port
// the system picks. It reads each request whole (answering "Expect:
// 100-continue"), records it, then treats it by its fault. Thread rule: Start
// and Stop from the owning thread; the accessors from any thread.
class FaultyReportService {
public:
    enum class Fault {
        kDrop,    // close without an answer
        kReply,   // answer with the given status and body
        kSilent,  // never answer; hold the connection until the client leaves
    };
    struct Attempt {
        std::string path;
        std::string status;      // install_status of a report, log_type of an upload
        double heldSeconds = 0;  // accept to the client's close (kSilent)
        bool ended = false;      // the connection is over
    };

    explicit FaultyReportService(Fault fault, int status = 200, std::string body = "");
    ~FaultyReportService();
    FaultyReportService(const FaultyReportService&) = delete;
    FaultyReportService& operator=(const FaultyReportService&) = delete;

    bool Start(std::string& error);
    void Stop();
    std::string Url(const char* path) const;

    std::vector<Attempt> Attempts() const;
    // Attempts on `path` whose status is `status`, counted once they ended.
    int Count(const char* path, const std::string& status) const;

private:
    void AcceptLoop();
    void Serve(int fd, size_t index);
    bool ReadRequest(int fd, std::string& head, std::string& body);
    void HoldUntilClientLeaves(int fd);

    const Fault m_fault;
    const int m_status;
    const std::string m_body;
    int m_listenFd = -1;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    std::thread m_acceptThread;
    mutable std::mutex m_lock;  // everything below
    std::vector<Attempt> m_attempts;
    std::vector<std::thread> m_connections;
    std::vector<int> m_openFds;
};

}  // namespace korvel_e2e
