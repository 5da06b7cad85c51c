// The folder chooser: the desktop's own dialog program (zenity or kdialog, or
// the one named by KORVEL_FOLDER_CHOOSER), run as a child process while the
// UI thread keeps dispatching messages, and the SHBrowseForFolderW shape.
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/posix/gui/window_internal.h"
#include "platform/text.h"

extern char** environ;

struct ITEMIDLIST_K {
    std::wstring path;
};

namespace gui {
namespace {

std::string FindInPath(const std::string& name) {
    if (name.find('/') != std::string::npos)
        return access(name.c_str(), X_OK) == 0 ? name : "";
    const char* path = std::getenv("PATH");
    std::string all = path ? path : "/usr/local/bin:/usr/bin:/bin";
    size_t start = 0;
    while (start <= all.size()) {
        size_t end = all.find(':', start);
        std::string dir =
            all.substr(start, end == std::string::npos ? std::string::npos : end - start);
        std::string candidate = (dir.empty() ? "." : dir) + "/" + name;
        if (access(candidate.c_str(), X_OK) == 0)
            return candidate;
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return "";
}

std::vector<std::string> ChooserCommand(const std::string& title, const std::string& initial) {
    if (const char* custom = std::getenv("KORVEL_FOLDER_CHOOSER")) {
        std::string program = FindInPath(custom);
        if (!program.empty())
            return {program, title, initial};
        return {};
    }
    std::string zenity = FindInPath("zenity");
    if (!zenity.empty()) {
        std::vector<std::string> cmd{zenity, "--file-selection", "--directory", "--title=" + title};
        if (!initial.empty())
            cmd.push_back("--filename=" + initial + "/");
        return cmd;
    }
    std::string kdialog = FindInPath("kdialog");
    if (!kdialog.empty())
        return {kdialog, "--getexistingdirectory", initial.empty() ? "." : initial, "--title",
                title};
    return {};
}

// Starts the chooser with its standard output on a pipe; -1 when it cannot start.
pid_t Start(const std::vector<std::string>& cmd, int& readEnd) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    std::vector<char*> argv;
    for (const std::string& a : cmd)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (pid < 0)
        close(fds[0]);
    else
        readEnd = fds[0];
    return pid;
}

// Reads what is there; true once the pipe is closed.
bool Drain(int fd, std::string& out, int waitMs) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, waitMs) <= 0)
        return false;
    char buffer[4096];
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n > 0) {
        out.append(buffer, static_cast<size_t>(n));
        return false;
    }
    return n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN);
}

std::mutex g_listLock;
std::set<ITEMIDLIST_K*> g_lists;  // item lists handed out, freed by CoTaskMemFree

LRESULT BrowserProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == BFFM_SETSELECTIONW && lParam) {
        auto* initial = reinterpret_cast<std::wstring*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (initial)
            *initial = reinterpret_cast<const wchar_t*>(lParam);
        return TRUE;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

}  // namespace
}  // namespace gui

using namespace gui;

bool BrowseForFolder(HWND owner, const wchar_t* title, const wchar_t* initial,
                     std::wstring& chosen) {
    std::vector<std::string> cmd =
        ChooserCommand(WideToUtf8(title ? title : L""), WideToUtf8(initial ? initial : L""));
    int fd = -1;
    pid_t pid = cmd.empty() ? -1 : Start(cmd, fd);
    if (pid < 0)
        return false;  // no chooser on this desktop: the same as a cancel
    HWND top = owner ? TopLevelOf(owner) : nullptr;
    const bool disable = top && IsWindowEnabled(top);
    if (disable)
        EnableWindow(top, FALSE);
    std::string output;
    bool closed = false;
    if (IsUiThread()) {
        while (!closed)
            PumpMessagesUntil([&] { return closed = closed || Drain(fd, output, 0); }, 100);
    } else {
        while (!closed)
            closed = Drain(fd, output, 100);
    }
    close(fd);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (disable)
        EnableWindow(top, TRUE);
    while (!output.empty() && (output.back() == '\n' || output.back() == '\r'))
        output.pop_back();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || output.empty())
        return false;
    chosen = Utf8ToWide(output);
    return true;
}

LPITEMIDLIST SHBrowseForFolderW(BROWSEINFOW* info) {
    if (!info)
        return nullptr;
    std::wstring initial;
    if (info->lpfn && IsUiThread()) {
        // The callback preselects through BFFM_SETSELECTIONW on the browser window.
        static std::once_flag once;
        std::call_once(once,
                       [] { RegisterBuiltinClass(L"korvelfolderbrowser", BrowserProc, nullptr); });
        HWND browser = CreateWindowExW(0, L"KorvelFolderBrowser", L"", WS_POPUP, 0, 0, 1, 1,
                                       nullptr, nullptr, nullptr, nullptr);
        if (browser) {
            SetWindowLongPtrW(browser, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&initial));
            info->lpfn(browser, BFFM_INITIALIZED, 0, info->lParam);
            DestroyWindow(browser);
        }
    }
    std::wstring chosen;
    if (!BrowseForFolder(info->hwndOwner, info->lpszTitle, initial.c_str(), chosen)) {
        SetLastError(0);
        return nullptr;
    }
    if (info->pszDisplayName) {
        size_t slash = chosen.find_last_of(L'/');
        std::wstring name = slash == std::wstring::npos || slash + 1 == chosen.size()
                                ? chosen
                                : chosen.substr(slash + 1);
        name.resize(std::min<size_t>(name.size(), kMaxPath - 1));
        std::wcsncpy(info->pszDisplayName, name.c_str(), kMaxPath);
    }
    auto* list = new ITEMIDLIST_K{chosen};
    std::lock_guard<std::mutex> hold(g_listLock);
    g_lists.insert(list);
    return list;
}

BOOL SHGetPathFromIDListW(PCIDLIST_ABSOLUTE list, LPWSTR path) {
    if (!list || !path)
        return FALSE;
    {
        std::lock_guard<std::mutex> hold(g_listLock);
        if (!g_lists.count(const_cast<ITEMIDLIST_K*>(list)))
            return FALSE;
    }
    if (list->path.size() >= static_cast<size_t>(kMaxPath)) {
        path[0] = 0;
        return FALSE;
    }
    std::wcsncpy(path, list->path.c_str(), kMaxPath);
    return TRUE;
}

void CoTaskMemFree(void* memory) {
    if (!memory)
        return;
    auto* list = static_cast<ITEMIDLIST_K*>(memory);
    {
        std::lock_guard<std::mutex> hold(g_listLock);
        if (!g_lists.erase(list)) {
            std::free(memory);  // anything else handed out with the C allocator
            return;
        }
    }
    delete list;
}
