// End-to-end runs of the installer: the real window under Xvfb, the demo
// deployment's packages on in-process mirrors at the addresses compiled into
// the installer, and the report service on its loopback port. Each test runs
// one installer in its own process (CTest starts every case separately).
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/setup_entry.h"
#include "http_server.h"
#include "report_service.h"
#include "tests/support/test_support.h"
#include "tests/support/xvfb.h"
#include "tools/korvel-mirror/mirror_sim.h"

namespace korvel_e2e {

// The demo mirrors and CDN the built-in configurations name.
extern const char* const kMirrorAddresses[6];
extern const char* const kCdnAddress;

struct StoredRun {
    std::string status;
    std::string json;  // the report document as stored
};

class InstallerTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Mirrors serving `package` under the x64 package name; `tweak` changes
    // each mirror's settings before it starts (index 6 is the CDN).
    void StartMirrors(const std::string& package,
                      const std::function<void(int, korvel_mirror::MirrorSettings&)>& tweak = {});
    void ChangeMirrors(const std::function<void(korvel_mirror::MirrorSettings&)>& change);
    void StopMirrors();

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

protected:
    // ---- what happened ----
    std::vector<StoredRun> Reports();
    int StoredLogCount();
    std::string InstallLog() const;
    std::vector<std::vector<std::string>> Launches() const;  // args of each start
    std::vector<std::string> OpenedUrls() const;
    std::vector<std::wstring> MessageBoxes();
    std::string ProgramFolder() const { return m_programFiles + "/Korvel/Korvel 12"; }
    std::string Home() const { return m_sandbox->home(); }

    SetupTuning m_tuning;
    std::string m_package;  // bytes of the demo x64 package

private:
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

// Reads a package of the demo deployment ("Korvel12_x64.exe").
std::string ReadDemoPackage(const std::string& name);

}  // namespace korvel_e2e
