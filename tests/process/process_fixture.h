// Process-level runs of the real installer program: korvel-setup is started
// as a child process on a private Xvfb display in a sandbox home, while the
// demo mirrors and the report service run inside the test process at the
// fixed addresses compiled into the installer. The test drives the window
// from outside (xdotool) and watches the install log, the files and the
// service, as a user and the vendor would.
#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/setup_geometry.h"
#include "http_server.h"
#include "report_service.h"
#include "tests/support/test_support.h"
#include "tests/support/xvfb.h"
#include "tools/korvel-mirror/mirror_sim.h"

namespace korvel_process {

// One started korvel-setup in a process group of its own. The destructor
// kills whatever is left of it.
class InstallerProcess {
public:
    InstallerProcess() = default;
    ~InstallerProcess();
    InstallerProcess(const InstallerProcess&) = delete;
    InstallerProcess& operator=(const InstallerProcess&) = delete;

    // Starts `program` with no arguments, stdout and stderr into `outputPath`.
    bool Start(const std::string& program, const std::string& outputPath, std::string& error);
    pid_t Pid() const { return m_pid; }

    // False once the process has ended (it is then reaped).
    bool Running();
    // Waits up to `timeoutMs` for the end; true when it ended.
    bool WaitExit(int timeoutMs);
    bool ExitedNormally() const;  // ended by exit(), not by a signal
    int ExitCode() const;
    int TermSignal() const;

    // SIGKILL to the group and to every descendant, even one that left the
    // group; returns the pids that were hit (the program first).
    std::vector<pid_t> KillEverything();

private:
    pid_t m_pid = -1;
    bool m_reaped = true;
    int m_status = 0;
};

// The pids below `root` in the process tree (children, their children ...).
std::vector<pid_t> Descendants(pid_t root);
// The live (not zombie) members of a process group.
std::vector<pid_t> GroupMembers(pid_t group);
// True while `pid` exists and is not a zombie.
bool IsAlive(pid_t pid);

// A tmpfs mounted over a folder until destroyed (lazy unmount, so a file
// still open somewhere cannot keep it in place).
class TmpfsMount {
public:
    TmpfsMount() = default;
    ~TmpfsMount();
    TmpfsMount(const TmpfsMount&) = delete;
    TmpfsMount& operator=(const TmpfsMount&) = delete;

    // `options` as for mount -o ("size=1m"); false with errno's text when refused.
    bool Mount(const std::string& folder, const std::string& options, std::string& error);
    // New options on the mounted file system ("size=1m" shrinks it).
    bool Remount(const std::string& options, std::string& error);
    void Unmount();
    bool Mounted() const { return !m_folder.empty(); }

private:
    std::string m_folder;
};

// Runs a program found on PATH, collecting its standard output; its exit
// status, or -1 when it could not run.
int RunProgram(const std::vector<std::string>& args, std::string* output = nullptr);

class InstallerProcessTest : public ::testing::Test {
public:
    // Polls `done` every 100 ms; false when `timeoutMs` passed first.
    static bool WaitFor(const std::function<bool()>& done, int timeoutMs);

protected:
    void SetUp() override;
    void TearDown() override;

    // Mirrors at the demo addresses serving the x64 package; `rate` bytes per
    // second per connection, 0 unlimited.
    void StartMirrors(uint64_t rate);
    // Every mirror's rate, or only that of mirror `only` (configuration order).
    void SetMirrorRate(uint64_t rate, int only = -1);
    // Body bytes the mirrors have sent for the package so far.
    uint64_t MirrorBytesServed() const;

    // Starts korvel-setup and waits for its window; null (with a test
    // failure) when the program or its window did not come up.
    InstallerProcess* StartInstaller();
    // Clicks the main button until the log shows the accepted install.
    void ClickInstall(InstallerProcess& setup);
    // Clicks the window's close button and waits for the program's end.
    void CloseAndWaitForExit(InstallerProcess& setup);

    // ---- the window ----
    std::string FindWindow(pid_t pid, const std::string& name);
    std::string WaitForWindow(pid_t pid, const std::string& name, int timeoutMs);
    void ClickAt(const std::string& window, int x, int y);
    // Clicks the OK button of the message box `box` (centred at its bottom).
    void ClickMessageBoxOk(const std::string& box);

    // ---- what happened ----
    std::string InstallLog() const;
    // Waits until the log, read from `from` on, contains `line`.
    bool WaitForLog(const std::string& line, int timeoutMs, size_t from = 0) const;
    std::vector<StoredReport> Reports() { return m_service->Store().Reports(); }
    std::vector<StoredLog> UploadedLogs() { return m_service->Store().Logs(); }
    // The stored document of the report `status` of run `uuid`, or "".
    std::string ReportOf(const std::string& uuid, const std::string& status);
    // The uuid of the newest start report that is not in `known`.
    std::string NewRunUuid(const std::vector<std::string>& known);

    std::string Home() const { return m_sandbox->home(); }
    std::string ProgramFiles() const { return Home() + "/ProgramFiles"; }
    std::string ProgramFolder() const { return ProgramFiles() + "/Korvel/Korvel 12"; }
    std::string DownloadsFolder() const { return Home() + "/Downloads"; }
    std::string PackageFile() const {
        return DownloadsFolder() + "/Korvel/Korvel12/Korvel12_x64(12.0.0.2).exe";
    }

    std::string m_package;  // the served bytes
    std::vector<std::unique_ptr<TmpfsMount>> m_mounts;
    std::vector<std::unique_ptr<InstallerProcess>> m_runs;

private:
    std::unique_ptr<korvel_test::XvfbSession> m_xvfb;
    std::unique_ptr<korvel_test::SandboxHome> m_sandbox;
    std::vector<std::unique_ptr<korvel_test::ScopedEnv>> m_env;
    std::vector<std::unique_ptr<korvel_mirror::MirrorServer>> m_mirrors;
    std::unique_ptr<ReportService> m_service;
    std::unique_ptr<ReportHttpServer> m_http;
};

// Window points of the English install page (app/setup_geometry.h).
constexpr int kMainButtonX = kMainButtonClick.x, kMainButtonY = kMainButtonClick.y;
constexpr int kCloseButtonX = kCloseButtonClick.x, kCloseButtonY = kCloseButtonClick.y;

}  // namespace korvel_process
