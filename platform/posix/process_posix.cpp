// Processes on POSIX: /proc stands in for the Toolhelp snapshot, fork+exec
// for ShellExecute, SIGKILL for TerminateProcess. Everything a child needs
// is prepared before fork, so the child only makes async-signal-safe calls.
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "platform/log.h"
#include "platform/process.h"
#include "platform/system.h"
#include "platform/text.h"

extern char** environ;

namespace {

constexpr int kKillSettleSteps = 400;  // up to 2 s for a killed process to go
constexpr uint32_t kKillSettleStepMs = 5;

// ---------------------------------------------------------------- /proc

std::string BaseName(const std::string& path) {
    size_t cut = path.find_last_of('/');
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

// A zombie or dead entry is no running process (its exe link is gone too).
bool IsRunning(const std::string& dir) {
    std::ifstream in(dir + "/stat");
    std::string stat;
    if (!std::getline(in, stat))
        return false;
    size_t close = stat.rfind(')');
    if (close == std::string::npos || close + 2 >= stat.size())
        return false;
    char state = stat[close + 2];
    return state != 'Z' && state != 'X' && state != 'x';
}

// An ordinary user sees and ends only its own processes: another user's
// instance could not be ended anyway, and taken as the first match it would
// hide the user's own. Root, like an elevated installer, may end any.
bool IsOurs(const std::string& dir) {
    const uid_t self = geteuid();
    if (self == 0)
        return true;
    struct stat st;
    return stat(dir.c_str(), &st) == 0 && st.st_uid == self;
}

// The executable's file name: basename of the exe link, else of argv[0].
std::string ExecutableName(const std::string& dir) {
    char buf[PATH_MAX];
    ssize_t n = readlink((dir + "/exe").c_str(), buf, sizeof(buf) - 1);
    if (n > 0) {
        std::string target(buf, static_cast<size_t>(n));
        const std::string deleted = " (deleted)";
        if (target.size() > deleted.size() &&
            target.compare(target.size() - deleted.size(), deleted.size(), deleted) == 0) {
            target.resize(target.size() - deleted.size());
        }
        return BaseName(target);
    }
    std::ifstream in(dir + "/cmdline", std::ios::binary);
    std::string argv0;
    std::getline(in, argv0, '\0');
    return BaseName(argv0);
}

// Process ids in /proc order (ascending), the first match wins.
bool FindFirst(const std::string& name, pid_t& found) {
    DIR* proc = opendir("/proc");
    if (!proc)
        return false;
    bool ok = false;
    while (struct dirent* e = readdir(proc)) {
        char* end = nullptr;
        long pid = strtol(e->d_name, &end, 10);
        if (pid <= 0 || !end || *end)
            continue;
        const std::string dir = std::string("/proc/") + e->d_name;
        if (!IsOurs(dir) || !EqualsNoCase(ExecutableName(dir), name) || !IsRunning(dir))
            continue;
        found = static_cast<pid_t>(pid);
        ok = true;
        break;
    }
    closedir(proc);
    return ok;
}

// ---------------------------------------------------------------- spawning

// Everything the child needs, built before fork.
struct Launch {
    std::string program;            // resolved path
    std::vector<std::string> args;  // argv, program name first
    std::vector<std::string> env;   // empty: inherit
    std::string folder;             // empty: current
    bool dropUser = false;
    uid_t uid = 0;
    gid_t gid = 0;
    std::vector<gid_t> groups;
};

std::vector<char*> CStrings(std::vector<std::string>& items) {
    std::vector<char*> out;
    for (auto& s : items)
        out.push_back(&s[0]);
    out.push_back(nullptr);
    return out;
}

bool IsExecutableFile(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

// A name without a separator is looked up in PATH (as the shell's App Paths would).
std::string ResolveProgram(const std::string& file) {
    if (file.empty() || file.find('/') != std::string::npos)
        return file;
    const char* path = getenv("PATH");
    std::string dirs = path && *path ? path : "/usr/local/bin:/usr/bin:/bin";
    size_t pos = 0;
    while (pos <= dirs.size()) {
        size_t next = dirs.find(':', pos);
        if (next == std::string::npos)
            next = dirs.size();
        std::string dir = next > pos ? dirs.substr(pos, next - pos) : ".";
        std::string candidate = dir + "/" + file;
        if (IsExecutableFile(candidate))
            return candidate;
        pos = next + 1;
    }
    return file;
}

void CloseInheritedFds(int keep) {
    // Everything from 3 up except the report pipe; close_range (Linux 5.9)
    // does it in two calls, older kernels get the loop.
#ifdef SYS_close_range
    unsigned from = 3;
    if (keep > 3)
        syscall(SYS_close_range, 3u, static_cast<unsigned>(keep - 1), 0u);
    if (keep >= 3)
        from = static_cast<unsigned>(keep) + 1;
    if (syscall(SYS_close_range, from, ~0u, 0u) == 0)
        return;
#endif
    long max = sysconf(_SC_OPEN_MAX);
    if (max < 0 || max > 65536)
        max = 65536;
    for (int fd = 3; fd < max; ++fd) {
        if (fd != keep)
            close(fd);
    }
}

// In the child: becomes the program or reports errno through the pipe and exits.
[[noreturn]] void ExecChild(const Launch& l, char* const* argv, char* const* envp, int errFd) {
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    struct sigaction dfl;
    memset(&dfl, 0, sizeof(dfl));
    dfl.sa_handler = SIG_DFL;
    sigaction(SIGPIPE, &dfl, nullptr);  // an ignored SIGPIPE would survive exec
    CloseInheritedFds(errFd);
    int err = 0;
    if (l.dropUser) {
        if (setgroups(l.groups.size(), l.groups.data()) != 0 || setgid(l.gid) != 0 ||
            setuid(l.uid) != 0) {
            err = errno ? errno : EPERM;
        }
    }
    if (!err && !l.folder.empty() && chdir(l.folder.c_str()) != 0)
        err = errno;
    if (!err) {
        execve(l.program.c_str(), argv, envp);
        err = errno;
    }
    ssize_t ignored = write(errFd, &err, sizeof(err));
    (void)ignored;
    _exit(127);
}

// Reads the child's exec report: 0 when the program started (the pipe closed on exec).
int ReadExecResult(int fd) {
    int err = 0;
    ssize_t n;
    do {
        n = read(fd, &err, sizeof(err));
    } while (n < 0 && errno == EINTR);
    close(fd);
    return n == static_cast<ssize_t>(sizeof(err)) ? (err ? err : EIO) : 0;
}

void WaitForPid(pid_t pid) {
    int status;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
}

// Starts the program. Detached: in a new session through an intermediate
// child, so that no zombie stays behind. Returns the pid (attached) or 1
// (detached) on success, 0 on failure with errno set.
pid_t Spawn(Launch l, bool detached) {
    std::vector<char*> argv = CStrings(l.args);
    std::vector<char*> envp = l.env.empty() ? std::vector<char*>() : CStrings(l.env);
    char* const* env = l.env.empty() ? environ : envp.data();
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return 0;
    pid_t pid = fork();
    if (pid < 0) {
        int err = errno;
        close(fds[0]);
        close(fds[1]);
        errno = err;
        return 0;
    }
    if (pid == 0) {
        close(fds[0]);
        if (detached) {
            setsid();
            pid_t inner = fork();
            if (inner < 0) {
                int err = errno;
                ssize_t ignored = write(fds[1], &err, sizeof(err));
                (void)ignored;
                _exit(127);
            }
            if (inner > 0)
                _exit(0);
        }
        ExecChild(l, argv.data(), env, fds[1]);
    }
    close(fds[1]);
    int err = ReadExecResult(fds[0]);
    if (detached)
        WaitForPid(pid);
    if (err) {
        if (!detached)
            WaitForPid(pid);
        errno = err;
        return 0;
    }
    return detached ? 1 : pid;
}

// The desktop user behind sudo or pkexec, when running as root.
bool FindShellUser(uid_t& uid) {
    if (geteuid() != 0)
        return false;
    for (const char* var : {"SUDO_UID", "PKEXEC_UID"}) {
        const char* v = getenv(var);
        if (!v || !*v)
            continue;
        char* end = nullptr;
        unsigned long id = strtoul(v, &end, 10);
        if (end && !*end && id != 0 && id < static_cast<unsigned long>(UINT_MAX)) {
            uid = static_cast<uid_t>(id);
            return true;
        }
    }
    return false;
}

void SetEnv(std::vector<std::string>& env, const std::string& name, const std::string& value) {
    const std::string prefix = name + "=";
    for (auto& e : env) {
        if (e.compare(0, prefix.size(), prefix) == 0) {
            e = prefix + value;
            return;
        }
    }
    env.push_back(prefix + value);
}

// Fills in the user's identity: gid, supplementary groups, HOME, USER, LOGNAME.
void DropToUser(Launch& l, uid_t uid) {
    l.dropUser = true;
    l.uid = uid;
    l.gid = static_cast<gid_t>(uid);
    for (char** e = environ; e && *e; ++e)
        l.env.push_back(*e);
    std::vector<char> buf(16384);
    struct passwd pw;
    struct passwd* found = nullptr;
    if (getpwuid_r(uid, &pw, buf.data(), buf.size(), &found) == 0 && found) {
        l.gid = pw.pw_gid;
        int count = 64;
        l.groups.resize(static_cast<size_t>(count));
        if (getgrouplist(pw.pw_name, pw.pw_gid, l.groups.data(), &count) < 0) {
            l.groups.resize(static_cast<size_t>(count));
            getgrouplist(pw.pw_name, pw.pw_gid, l.groups.data(), &count);
        }
        l.groups.resize(static_cast<size_t>(count > 0 ? count : 0));
        SetEnv(l.env, "HOME", pw.pw_dir);
        SetEnv(l.env, "USER", pw.pw_name);
        SetEnv(l.env, "LOGNAME", pw.pw_name);
    }
    if (const char* sudoGid = getenv("SUDO_GID")) {
        if (!found && *sudoGid)
            l.gid = static_cast<gid_t>(strtoul(sudoGid, nullptr, 10));
    }
    if (l.groups.empty())
        l.groups.push_back(l.gid);
}

std::vector<std::string> ArgsFor(const std::string& program, const std::wstring& parameters) {
    std::vector<std::string> args{program};
    for (const auto& a : SplitCommandLine(parameters))
        args.push_back(WideToUtf8(a));
    return args;
}

}  // namespace

// ---------------------------------------------------------------- public

bool FindProcessByName(const wchar_t* exeName, DWORD* processId) {
    if (!exeName || !*exeName)
        return false;
    pid_t pid = 0;
    if (!FindFirst(WideToUtf8(exeName), pid))
        return false;
    if (processId)
        *processId = static_cast<DWORD>(pid);
    return true;
}

bool KillProcessByName(const wchar_t* exeName) {
    if (!exeName || !*exeName)
        return false;
    pid_t pid = 0;
    if (!FindFirst(WideToUtf8(exeName), pid))
        return false;
    if (kill(pid, SIGKILL) != 0)
        return false;
    // SIGKILL lands asynchronously: wait (briefly) until the process is gone,
    // so that the next call finds the next instance, not this dying one.
    const std::string dir = "/proc/" + std::to_string(pid);
    for (int i = 0; i < kKillSettleSteps && IsRunning(dir); ++i)
        Sleep(kKillSettleStepMs);
    return true;
}

bool RunAsShellUser(const wchar_t* file, const wchar_t* parameters, const wchar_t* folder,
                    int /*showCommand*/) {
    if (!file || !*file)
        return false;
    Launch l;
    l.program = ResolveProgram(WideToUtf8(file));
    l.args = ArgsFor(l.program, parameters ? parameters : L"");
    if (folder && *folder)
        l.folder = WideToUtf8(folder);
    uid_t uid = 0;
    if (FindShellUser(uid))
        DropToUser(l, uid);
    if (Spawn(l, true))
        return true;
    WriteLog("RunAsShellUser: cannot start %s: %s", l.program.c_str(), strerror(errno));
    return false;
}

bool ShellOpen(const std::wstring& target) {
    if (target.empty())
        return false;
    const char* opener = getenv("KORVEL_URL_OPENER");
    Launch l;
    l.program = ResolveProgram(opener && *opener ? opener : "xdg-open");
    l.args = {l.program, WideToUtf8(target)};
    // A browser started for root would run with root's profile: open it as
    // the desktop user instead, as the shell does on Windows.
    uid_t uid = 0;
    if (FindShellUser(uid))
        DropToUser(l, uid);
    if (Spawn(l, true))
        return true;
    WriteLog("ShellOpen: cannot open %s with %s: %s", WideToUtf8(target).c_str(), l.program.c_str(),
             strerror(errno));
    return false;
}

// ---------------------------------------------------------------- ChildProcess

ChildProcess::ChildProcess(ChildProcess&& other) noexcept {
    *this = std::move(other);
}

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept {
    if (this != &other) {
        m_pid = other.m_pid;
        m_reaped = other.m_reaped;
        m_status = other.m_status;
        other.m_pid = -1;
        other.m_reaped = false;
        other.m_status = 0;
    }
    return *this;
}

ChildProcess::~ChildProcess() = default;

bool ChildProcess::Start(const std::wstring& file, const std::wstring& parameters,
                         const wchar_t* folder, bool /*hidden*/, ChildProcess& out) {
    out = ChildProcess();
    if (file.empty())
        return false;
    Launch l;
    l.program = ResolveProgram(WideToUtf8(file));
    l.args = ArgsFor(l.program, parameters);
    if (folder && *folder)
        l.folder = WideToUtf8(folder);
    pid_t pid = Spawn(l, false);
    if (!pid) {
        WriteLog("ChildProcess: cannot start %s: %s", l.program.c_str(), strerror(errno));
        return false;
    }
    out.m_pid = pid;
    return true;
}

namespace {
// Non-blocking reap; true once the child has ended (status stored).
bool TryReap(int pid, int& status) {
    int st = 0;
    pid_t r;
    do {
        r = waitpid(pid, &st, WNOHANG);
    } while (r < 0 && errno == EINTR);
    if (r == pid) {
        status = st;
        return true;
    }
    return r < 0;  // not our child any more: nothing to wait for
}

int OpenPidFd(int pid) {
#ifdef SYS_pidfd_open
    return static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
#else
    (void)pid;
    return -1;
#endif
}
}  // namespace

bool ChildProcess::Wait(int64_t timeoutMs) {
    if (m_pid <= 0)
        return false;
    if (m_reaped)
        return true;
    const uint32_t start = GetTickCount();
    int pidfd = OpenPidFd(m_pid);
    for (;;) {
        if (TryReap(m_pid, m_status)) {
            m_reaped = true;
            break;
        }
        int64_t left = timeoutMs < 0 ? 100 : timeoutMs - (GetTickCount() - start);
        if (left <= 0)
            break;
        int slice = static_cast<int>(left < 100 ? left : 100);
        if (pidfd >= 0) {
            struct pollfd p = {pidfd, POLLIN, 0};
            poll(&p, 1, slice);
        } else {
            Sleep(static_cast<uint32_t>(slice < 10 ? slice : 10));
        }
    }
    if (pidfd >= 0)
        close(pidfd);
    return m_reaped;
}

bool ChildProcess::Terminate(int exitCode) {
    if (m_pid <= 0 || m_reaped)
        return false;
    if (kill(m_pid, SIGKILL) != 0)
        return false;
    int status = 0;
    while (waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
    }
    // TerminateProcess hands the caller's exit code to whoever asks afterwards.
    m_status = (exitCode & 0xFF) << 8;
    m_reaped = true;
    return true;
}

DWORD ChildProcess::GetExitCode() {
    if (m_pid <= 0)
        return 0;
    if (!m_reaped && TryReap(m_pid, m_status))
        m_reaped = true;
    if (!m_reaped)
        return STILL_ACTIVE_CODE;
    if (WIFEXITED(m_status))
        return static_cast<DWORD>(WEXITSTATUS(m_status));
    if (WIFSIGNALED(m_status))
        return 128u + static_cast<DWORD>(WTERMSIG(m_status));
    return 0;
}

// ---------------------------------------------------------------- command line

std::vector<std::wstring> SplitCommandLine(const std::wstring& parameters) {
    // CommandLineToArgvW: 2n backslashes + quote = n backslashes and a quote
    // that toggles quoting; 2n+1 = n backslashes and a literal quote; inside
    // quotes, each "" gives a literal quote (every third quote of a run).
    std::vector<std::wstring> args;
    std::wstring cur;
    bool inArg = false;
    int quotes = 0;
    size_t backslashes = 0;
    const size_t n = parameters.size();
    for (size_t i = 0; i < n;) {
        wchar_t c = parameters[i];
        if ((c == L' ' || c == L'\t') && quotes == 0) {
            if (inArg)
                args.push_back(cur);
            cur.clear();
            inArg = false;
            backslashes = 0;
            ++i;
            continue;
        }
        inArg = true;
        if (c == L'\\') {
            cur += c;
            ++backslashes;
            ++i;
            continue;
        }
        if (c != L'"') {
            cur += c;
            backslashes = 0;
            ++i;
            continue;
        }
        cur.erase(cur.size() - (backslashes + 1) / 2);
        if (backslashes % 2 == 0) {
            ++quotes;
        } else {
            cur += L'"';
        }
        backslashes = 0;
        ++i;
        for (; i < n && parameters[i] == L'"'; ++i) {
            if (++quotes == 3) {
                cur += L'"';
                quotes = 0;
            }
        }
        if (quotes == 2)
            quotes = 0;
    }
    if (inArg)
        args.push_back(cur);
    return args;
}
