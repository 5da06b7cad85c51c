#include "tests/process/process_fixture.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

extern char** environ;

namespace korvel_process {

namespace {

constexpr int kReportPort = 18090;
const char* const kMirrorAddresses[7] = {"127.0.0.11:18081", "127.0.0.12:18082", "127.0.0.13:18083",
                                         "127.0.0.14:18084", "127.0.0.15:18085", "127.0.0.16:18086",
                                         "127.0.0.99:18089"};  // the last one is the CDN
const char* const kWindowTitle = "Korvel 12 Installer";

struct ProcEntry {
    pid_t pid = 0;
    pid_t parent = 0;
    pid_t group = 0;
    char state = '?';
};

// /proc/<pid>/stat: "pid (comm) state ppid pgrp ..."; comm may hold blanks
// and parentheses, so the fields are read after its last ')'.
bool ReadProcEntry(pid_t pid, ProcEntry& out) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text;
    if (!std::getline(in, text)) {
        return false;
    }
    const size_t close = text.rfind(')');
    if (close == std::string::npos) {
        return false;
    }
    std::istringstream rest(text.substr(close + 1));
    long parent = 0, group = 0;
    if (!(rest >> out.state >> parent >> group)) {
        return false;
    }
    out.pid = pid;
    out.parent = static_cast<pid_t>(parent);
    out.group = static_cast<pid_t>(group);
    return true;
}

std::vector<ProcEntry> ListProcesses() {
    std::vector<ProcEntry> out;
    DIR* dir = opendir("/proc");
    if (!dir) {
        return out;
    }
    while (dirent* e = readdir(dir)) {
        char* end = nullptr;
        const long pid = strtol(e->d_name, &end, 10);
        ProcEntry entry;
        if (pid > 0 && end && *end == 0 && ReadProcEntry(static_cast<pid_t>(pid), entry)) {
            out.push_back(entry);
        }
    }
    closedir(dir);
    return out;
}

}  // namespace

// ---------------------------------------------------------------- processes

bool IsAlive(pid_t pid) {
    ProcEntry e;
    return ReadProcEntry(pid, e) && e.state != 'Z' && e.state != 'X';
}

std::vector<pid_t> Descendants(pid_t root) {
    std::multimap<pid_t, pid_t> children;
    for (const ProcEntry& e : ListProcesses()) {
        children.emplace(e.parent, e.pid);
    }
    std::vector<pid_t> out;
    std::vector<pid_t> open{root};
    while (!open.empty()) {
        const pid_t p = open.back();
        open.pop_back();
        auto range = children.equal_range(p);
        for (auto it = range.first; it != range.second; ++it) {
            out.push_back(it->second);
            open.push_back(it->second);
        }
    }
    return out;
}

std::vector<pid_t> GroupMembers(pid_t group) {
    std::vector<pid_t> out;
    for (const ProcEntry& e : ListProcesses()) {
        if (e.group == group && e.state != 'Z' && e.state != 'X') {
            out.push_back(e.pid);
        }
    }
    return out;
}

InstallerProcess::~InstallerProcess() {
    KillEverything();
}

bool InstallerProcess::Start(const std::string& program, const std::string& outputPath,
                             std::string& error) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outputPath.c_str(),
                                     O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    // A group of its own: one signal reaches the program and all it started.
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attr, 0);
    std::string arg0 = program;
    char* argv[] = {arg0.data(), nullptr};
    pid_t pid = -1;
    const int r = posix_spawn(&pid, program.c_str(), &actions, &attr, argv, environ);
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&actions);
    if (r != 0) {
        error = program + ": " + strerror(r);
        return false;
    }
    m_pid = pid;
    m_reaped = false;
    return true;
}

bool InstallerProcess::Running() {
    if (m_reaped) {
        return false;
    }
    int status = 0;
    const pid_t r = waitpid(m_pid, &status, WNOHANG);
    if (r == m_pid) {
        m_status = status;
        m_reaped = true;
    }
    return !m_reaped;
}

bool InstallerProcess::WaitExit(int timeoutMs) {
    return InstallerProcessTest::WaitFor([this] { return !Running(); }, timeoutMs);
}

bool InstallerProcess::ExitedNormally() const {
    return m_reaped && WIFEXITED(m_status);
}

int InstallerProcess::ExitCode() const {
    return ExitedNormally() ? WEXITSTATUS(m_status) : -1;
}

int InstallerProcess::TermSignal() const {
    return m_reaped && WIFSIGNALED(m_status) ? WTERMSIG(m_status) : 0;
}

std::vector<pid_t> InstallerProcess::KillEverything() {
    std::vector<pid_t> hit;
    if (m_pid <= 0 || m_reaped) {
        return hit;
    }
    // Stopped first, so that nothing starts a new child between the listing
    // and the kill.
    kill(-m_pid, SIGSTOP);
    hit.push_back(m_pid);
    for (pid_t p : Descendants(m_pid)) {
        hit.push_back(p);
    }
    kill(-m_pid, SIGKILL);
    for (pid_t p : hit) {
        kill(p, SIGKILL);
    }
    while (waitpid(m_pid, &m_status, 0) < 0 && errno == EINTR) {
    }
    m_reaped = true;
    return hit;
}

int RunProgram(const std::vector<std::string>& args, std::string* output) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        return -1;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    std::vector<std::string> copy = args;
    std::vector<char*> argv;
    for (std::string& a : copy) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int r = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    std::string text;
    char buffer[512];
    for (ssize_t n; r == 0 && (n = read(fds[0], buffer, sizeof buffer)) != 0;) {
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            break;
        }
        text.append(buffer, static_cast<size_t>(n));
    }
    close(fds[0]);
    if (r != 0) {
        return -1;
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (output) {
        *output = text;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// ---------------------------------------------------------------- tmpfs

TmpfsMount::~TmpfsMount() {
    Unmount();
}

bool TmpfsMount::Mount(const std::string& folder, const std::string& options, std::string& error) {
    if (mount("tmpfs", folder.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) != 0) {
        error = "mount -t tmpfs -o " + options + " " + folder + ": " + strerror(errno);
        return false;
    }
    m_folder = folder;
    return true;
}

bool TmpfsMount::Remount(const std::string& options, std::string& error) {
    if (mount("tmpfs", m_folder.c_str(), "tmpfs", MS_REMOUNT | MS_NOSUID | MS_NODEV,
              options.c_str()) != 0) {
        error = "remount " + options + ": " + strerror(errno);
        return false;
    }
    return true;
}

void TmpfsMount::Unmount() {
    if (!m_folder.empty()) {
        umount2(m_folder.c_str(), MNT_DETACH);
        m_folder.clear();
    }
}

// ---------------------------------------------------------------- fixture

void InstallerProcessTest::SetUp() {
    m_xvfb = std::make_unique<korvel_test::XvfbSession>();
    ASSERT_TRUE(m_xvfb->Started()) << "Xvfb did not start";
    m_sandbox = std::make_unique<korvel_test::SandboxHome>();
    const std::string home = Home();
    korvel_test::PrepareInstallerHome(*m_sandbox, m_env);
    // The child's state, cache and temporary files (the extraction's archive)
    // stay in the sandbox too.
    for (const char* dir : {"/.local/state", "/.cache", "/tmp"}) {
        mkdir((home + dir).c_str(), 0755);
    }
    auto set = [this](const char* name, const std::string& value) {
        m_env.push_back(std::make_unique<korvel_test::ScopedEnv>(name, value.c_str()));
    };
    set("XDG_STATE_HOME", home + "/.local/state");
    set("XDG_CACHE_HOME", home + "/.cache");
    set("TMPDIR", home + "/tmp");
    m_package = korvel_test::ReadFile(std::string(KORVEL_DEMO_PACKAGE_DIR) + "/Korvel12_x64.exe");
    ASSERT_GT(m_package.size(), 4096u) << "demo package missing";

    m_service = std::make_unique<ReportService>();
    ServiceOptions options;
    options.dbPath = home + "/../reports.db";
    options.logDir = home + "/../service-logs";
    std::string error;
    ASSERT_TRUE(m_service->Open(options, error)) << error;
    m_http = std::make_unique<ReportHttpServer>(*m_service);
    ASSERT_EQ(kReportPort, m_http->Bind("127.0.0.1", kReportPort)) << "report port busy";
    m_http->Start();
}

// Order matters: the programs end before their file systems go, the file
// systems go before the sandbox is removed, the servers stop last.
void InstallerProcessTest::TearDown() {
    m_runs.clear();
    m_mounts.clear();
    for (auto& m : m_mirrors) {
        m->Stop();
    }
    m_mirrors.clear();
    if (m_http) {
        m_http->Stop();
    }
}

void InstallerProcessTest::StartMirrors(uint64_t rate) {
    auto files = std::make_shared<korvel_mirror::FileSet>();
    (*files)["Korvel12_x64.exe"] = std::make_shared<const std::string>(m_package);
    for (const char* options : kMirrorAddresses) {
        korvel_mirror::MirrorSettings s;
        std::string error;
        ASSERT_TRUE(korvel_mirror::ParseMirrorOptions(options, s, error)) << error;
        s.rateBytesPerSec = rate;
        auto mirror = std::make_unique<korvel_mirror::MirrorServer>(s, files);
        ASSERT_TRUE(mirror->Start(error)) << options << ": " << error;
        m_mirrors.push_back(std::move(mirror));
    }
}

void InstallerProcessTest::SetMirrorRate(uint64_t rate, int only) {
    for (size_t i = 0; i < m_mirrors.size(); ++i) {
        if (only >= 0 && static_cast<size_t>(only) != i)
            continue;
        m_mirrors[i]->UpdateSettings(
            [rate](korvel_mirror::MirrorSettings& s) { s.rateBytesPerSec = rate; });
    }
}

uint64_t InstallerProcessTest::MirrorBytesServed() const {
    uint64_t sent = 0;
    for (const auto& m : m_mirrors) {
        for (const korvel_mirror::RequestRecord& r : m->Requests()) {
            if (r.method == "GET")
                sent += r.bodyBytesSent;
        }
    }
    return sent;
}

InstallerProcess* InstallerProcessTest::StartInstaller() {
    m_runs.push_back(std::make_unique<InstallerProcess>());
    InstallerProcess& setup = *m_runs.back();
    const std::string output = Home() + "/setup-" + std::to_string(m_runs.size()) + ".out";
    std::string error;
    if (!setup.Start(KORVEL_SETUP_PROGRAM, output, error)) {
        ADD_FAILURE() << error;
        return nullptr;
    }
    if (WaitForWindow(setup.Pid(), kWindowTitle, 30000).empty()) {
        ADD_FAILURE() << "no installer window; output: " << korvel_test::ReadFile(output);
        return nullptr;
    }
    return &setup;
}

void InstallerProcessTest::ClickInstall(InstallerProcess& setup) {
    const std::string window = FindWindow(setup.Pid(), kWindowTitle);
    ASSERT_FALSE(window.empty());
    const size_t from = InstallLog().size();
    // The first click may come before the window takes input; a click on a
    // running install is only logged, so repeating it is harmless.
    for (int attempt = 0; attempt < 5; ++attempt) {
        ClickAt(window, kMainButtonX, kMainButtonY);
        if (WaitForLog("OnBtnInstall(OnInstall)", 3000, from)) {
            return;
        }
    }
    FAIL() << "the install did not start; log: " << InstallLog().substr(from);
}

void InstallerProcessTest::CloseAndWaitForExit(InstallerProcess& setup) {
    const std::string window = FindWindow(setup.Pid(), kWindowTitle);
    ASSERT_FALSE(window.empty()) << "the window is gone before it was closed";
    // The close button shows again only once the worker has switched the
    // page, which it does just after its last log line: click until it takes.
    const size_t from = InstallLog().size();
    bool closed = false;
    for (int attempt = 0; attempt < 5 && !closed; ++attempt) {
        ClickAt(window, kCloseButtonX, kCloseButtonY);
        closed = WaitForLog("OnBtnClose(user close)", 3000, from);
    }
    // The product waits 5 x 1000 ms after the final report before it ends.
    if (!closed || !setup.WaitExit(45000)) {
        const std::string log = InstallLog();
        FAIL() << (closed ? "the installer did not end after the close"
                          : "the close button did not take")
               << "; log ends: " << log.substr(log.size() > 3000 ? log.size() - 3000 : 0);
    }
}

std::string InstallerProcessTest::FindWindow(pid_t pid, const std::string& name) {
    std::string out;
    if (RunProgram({"xdotool", "search", "--all", "--pid", std::to_string(pid), "--name",
                    "^" + name + "$"},
                   &out) != 0) {
        return std::string();
    }
    std::istringstream lines(out);
    std::string first;
    std::getline(lines, first);
    return first;
}

std::string InstallerProcessTest::WaitForWindow(pid_t pid, const std::string& name, int timeoutMs) {
    std::string window;
    WaitFor(
        [&] {
            window = FindWindow(pid, name);
            return !window.empty();
        },
        timeoutMs);
    return window;
}

void InstallerProcessTest::ClickAt(const std::string& window, int x, int y) {
    EXPECT_EQ(0, RunProgram({"xdotool", "mousemove", "--window", window, std::to_string(x),
                             std::to_string(y), "sleep", "0.15", "mousedown", "1", "sleep", "0.1",
                             "mouseup", "1"}))
        << "xdotool click on " << window;
}

void InstallerProcessTest::ClickMessageBoxOk(const std::string& box) {
    std::string geometry;
    ASSERT_EQ(0, RunProgram({"xdotool", "getwindowgeometry", "--shell", box}, &geometry));
    int width = 0, height = 0;
    std::istringstream lines(geometry);
    for (std::string line; std::getline(lines, line);) {
        sscanf(line.c_str(), "WIDTH=%d", &width);
        sscanf(line.c_str(), "HEIGHT=%d", &height);
    }
    ASSERT_GT(height, 60) << geometry;
    // The OK button sits centred 16 px above the bottom, 28 px high (96 dpi).
    ClickAt(box, width / 2, height - 30);
}

bool InstallerProcessTest::WaitFor(const std::function<bool()>& done, int timeoutMs) {
    return korvel_test::WaitUntil(done, timeoutMs, 100);
}

std::string InstallerProcessTest::InstallLog() const {
    return korvel_test::ReadFile(Home() + "/Documents/Korvel/Korvel12/Log/install.log");
}

bool InstallerProcessTest::WaitForLog(const std::string& line, int timeoutMs, size_t from) const {
    return WaitFor(
        [&] {
            const std::string log = InstallLog();
            return log.size() > from && log.find(line, from) != std::string::npos;
        },
        timeoutMs);
}

std::string InstallerProcessTest::ReportOf(const std::string& uuid, const std::string& status) {
    for (const StoredReport& r : Reports()) {
        if (r.strUuid == uuid && r.strStatus == status) {
            return r.strDocument;
        }
    }
    return std::string();
}

std::string InstallerProcessTest::NewRunUuid(const std::vector<std::string>& known) {
    std::string uuid;
    for (const StoredReport& r : Reports()) {
        bool seen = false;
        for (const std::string& k : known) {
            seen = seen || k == r.strUuid;
        }
        if (r.strStatus == "start" && !seen) {
            uuid = r.strUuid;
        }
    }
    return uuid;
}

}  // namespace korvel_process
