// Windows special folders mapped onto the XDG conventions of the Linux desktop.
#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <string>
#include <vector>

#include "platform/folders.h"
#include "platform/log.h"
#include "platform/text.h"

namespace {
std::string EnvOr(const char* name, const std::string& fallback) {
    const char* v = getenv(name);
    return (v && *v) ? std::string(v) : fallback;
}

// XDG base variables hold absolute paths; a relative value is to be ignored.
std::string XdgOr(const char* name, const std::string& fallback) {
    const char* v = getenv(name);
    return (v && v[0] == '/') ? std::string(v) : fallback;
}

std::string Home() {
    const char* v = getenv("HOME");
    if (v && *v)
        return v;
    std::vector<char> buf(16384);
    struct passwd pw;
    struct passwd* found = nullptr;
    if (getpwuid_r(getuid(), &pw, buf.data(), buf.size(), &found) == 0 && found)
        return pw.pw_dir;
    return "/";
}
std::string ConfigHome() {
    return XdgOr("XDG_CONFIG_HOME", Home() + "/.config");
}
std::string DataHome() {
    return XdgOr("XDG_DATA_HOME", Home() + "/.local/share");
}

// Reads XDG_<NAME>_DIR from user-dirs.dirs ("$HOME/..." or an absolute path).
std::string UserDir(const char* name, const char* fallbackLeaf) {
    const std::string wanted = std::string("XDG_") + name + "_DIR=";
    std::ifstream in(ConfigHome() + "/user-dirs.dirs");
    std::string line;
    while (std::getline(in, line)) {
        if (line.compare(0, wanted.size(), wanted) != 0)
            continue;
        std::string v = line.substr(wanted.size());
        if (v.size() >= 2 && v.front() == '"' && v.back() == '"')
            v = v.substr(1, v.size() - 2);
        if (v.compare(0, 5, "$HOME") == 0)
            v = Home() + v.substr(5);
        if (!v.empty() && v[0] == '/') {
            while (v.size() > 1 && v.back() == '/')
                v.pop_back();
            return v;
        }
    }
    return Home() + "/" + fallbackLeaf;
}

bool CopyToBuffer(const std::string& path, wchar_t buffer[kMaxPath]) {
    std::wstring w = Utf8ToWide(path);
    if (path.empty() || w.size() >= static_cast<size_t>(kMaxPath))
        return false;
    wcscpy(buffer, w.c_str());
    return true;
}

const char kQuickLaunch[] = "/Microsoft/Internet Explorer/Quick Launch";
const char kPinned[] = "/Microsoft/Internet Explorer/Quick Launch/User Pinned/TaskBar";
}  // namespace

bool GetShellFolder(int kind, wchar_t buffer[kMaxPath]) {
    std::string path;
    switch (kind) {
        case kFolderQuickLaunch:
            path = ConfigHome() + kQuickLaunch;
            break;
        case kFolderPinnedTaskbar:
            path = ConfigHome() + kPinned;
            break;
        case kFolderUserPrograms:
            path = DataHome() + "/applications";
            break;
        case kFolderCommonPrograms: {
            std::string dirs = EnvOr("XDG_DATA_DIRS", "/usr/local/share:/usr/share");
            std::string first = dirs.substr(0, dirs.find(':'));
            if (first.empty() || first[0] != '/')
                first = "/usr/local/share";
            while (first.size() > 1 && first.back() == '/')
                first.pop_back();
            path = first + "/applications";
            break;
        }
        default:
            path = UserDir("DESKTOP", "Desktop");
            break;
    }
    return CopyToBuffer(path, buffer);
}

bool GetAppDataFolder(wchar_t buffer[kMaxPath]) {
    return CopyToBuffer(ConfigHome(), buffer);
}

std::wstring GetDocumentsFolder() {
    return Utf8ToWide(UserDir("DOCUMENTS", "Documents"));
}

std::wstring GetProgramFilesFolder() {
    return Utf8ToWide(geteuid() == 0 ? std::string("/opt") : Home() + "/.local/opt");
}

std::wstring GetTempFolder() {
    std::string t = EnvOr("TMPDIR", "/tmp");
    if (t.back() != '/')
        t += '/';
    return Utf8ToWide(t);
}

std::wstring GetDownloadsPath(const std::wstring& subFolder, const wchar_t* fileName, bool create) {
    std::wstring path = JoinPath(PathRemoveFileSpec(GetDocumentsFolder()), L"Downloads");
    path = JoinPath(path, subFolder);
    if (create)
        CreateFolderChain(path);
    if (fileName && *fileName)
        path = JoinPath(path, fileName);
    return path;
}

int64_t GetFreeSpaceMB(const std::wstring& path) {
    // The nearest existing ancestor stands for a folder that is not there yet.
    std::string p = WideToUtf8(path);
    struct statvfs st;
    while (!p.empty()) {
        if (statvfs(p.c_str(), &st) == 0) {
            double bytes = static_cast<double>(st.f_bfree) * static_cast<double>(st.f_frsize);
            return static_cast<int64_t>(bytes / 1024.0 / 1024.0);
        }
        size_t cut = p.find_last_of('/');
        if (cut == std::string::npos)
            break;
        p = cut == 0 ? (p == "/" ? std::string() : std::string("/")) : p.substr(0, cut);
    }
    return 0;
}

std::wstring JoinPath(const std::wstring& folder, const std::wstring& name) {
    std::wstring joined = folder;
    if (!name.empty()) {
        if (!joined.empty() && joined.back() != kPathSep)
            joined += kPathSep;
        size_t start = 0;
        while (start < name.size() && name[start] == kPathSep && !joined.empty())
            ++start;
        joined += name.substr(start);
    }
    // Fold "." and ".." components as PathAppend does.
    const bool absolute = !joined.empty() && joined[0] == kPathSep;
    const bool trailing = joined.size() > 1 && joined.back() == kPathSep;
    std::vector<std::wstring> parts;
    size_t pos = 0;
    while (pos <= joined.size()) {
        size_t next = joined.find(kPathSep, pos);
        if (next == std::wstring::npos)
            next = joined.size();
        std::wstring part = joined.substr(pos, next - pos);
        if (part == L"..") {
            if (!parts.empty() && parts.back() != L"..") {
                parts.pop_back();
            } else if (!absolute) {
                parts.push_back(part);
            }
        } else if (!part.empty() && part != L".") {
            parts.push_back(part);
        }
        pos = next + 1;
    }
    std::wstring out = absolute ? std::wstring(1, kPathSep) : std::wstring();
    for (size_t k = 0; k < parts.size(); ++k) {
        if (k)
            out += kPathSep;
        out += parts[k];
    }
    if (trailing && !parts.empty())
        out += kPathSep;
    return out;
}

bool DeleteDirectoryTree(const std::wstring& folder) {
    std::string path = WideToUtf8(folder);
    if (path.empty())
        return false;
    if (path.back() != '/')
        path += '/';
    DIR* dir = opendir(path.c_str());
    if (!dir)
        return false;
    while (struct dirent* e = readdir(dir)) {
        if (!strcmp(e->d_name, ".") || !strcmp(e->d_name, ".."))
            continue;
        std::string child = path + e->d_name;
        struct stat st;
        if (lstat(child.c_str(), &st) != 0)
            continue;
        if (S_ISDIR(st.st_mode)) {
            DeleteDirectoryTree(Utf8ToWide(child));
        } else {
            unlink(child.c_str());  // failures ignored: what cannot go stays
        }
    }
    closedir(dir);
    rmdir(path.c_str());
    return true;
}

bool WriteWholeFile(const std::wstring& path, const void* data, size_t size) {
    const std::string name = WideToUtf8(path);
    const int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    // File systems without reservations (EOPNOTSUPP) simply allocate while writing.
    bool ok = size == 0 || fallocate(fd, 0, 0, static_cast<off_t>(size)) == 0 ||
              (errno != ENOSPC && errno != EFBIG && errno != EDQUOT);
    const char* p = static_cast<const char*>(data);
    for (size_t done = 0; ok && done < size;) {
        const ssize_t n = write(fd, p + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        ok = n > 0;
        done += ok ? static_cast<size_t>(n) : 0;
    }
    ok = close(fd) == 0 && ok;
    if (!ok)
        unlink(name.c_str());
    return ok;
}

bool PathFileExists(const std::wstring& path) {
    struct stat st;
    return !path.empty() && stat(WideToUtf8(path).c_str(), &st) == 0;
}

bool PathIsDirectory(const std::wstring& path) {
    struct stat st;
    return !path.empty() && stat(WideToUtf8(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool CreateDirectoryPath(const std::wstring& path) {
    std::string p = WideToUtf8(path);
    if (p.empty())
        return false;
    if (mkdir(p.c_str(), 0755) == 0)
        return true;
    return errno == EEXIST && PathIsDirectory(path);
}

bool DeleteFilePath(const std::wstring& path) {
    return unlink(WideToUtf8(path).c_str()) == 0;
}

namespace {
// MOVEFILE_COPY_ALLOWED across file systems: copy the bytes, then remove the source.
bool CopyThenDelete(const std::string& from, const std::string& to) {
    struct stat st;
    if (stat(from.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    int in = open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return false;
    int out = open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, st.st_mode & 07777);
    bool ok = out >= 0 && fchmod(out, st.st_mode & 07777) == 0;  // the umask does not apply
    char buf[65536];
    while (ok) {
        ssize_t n = read(in, buf, sizeof(buf));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        for (ssize_t done = 0; ok && done < n;) {
            ssize_t w = write(out, buf + done, static_cast<size_t>(n - done));
            if (w < 0 && errno == EINTR)
                continue;
            ok = w > 0;
            done += w > 0 ? w : 0;
        }
    }
    close(in);
    if (out >= 0 && close(out) != 0)
        ok = false;
    if (!ok) {
        if (out >= 0)
            unlink(to.c_str());
        return false;
    }
    return unlink(from.c_str()) == 0;
}
}  // namespace

bool MoveFilePath(const std::wstring& from, const std::wstring& to) {
    const std::string f = WideToUtf8(from);
    const std::string t = WideToUtf8(to);
    if (rename(f.c_str(), t.c_str()) == 0)
        return true;
    return errno == EXDEV && CopyThenDelete(f, t);
}

std::wstring PathRemoveFileSpec(const std::wstring& path) {
    std::wstring p = path;
    while (p.size() > 1 && p.back() == kPathSep)
        p.pop_back();
    size_t cut = p.find_last_of(kPathSep);
    if (cut == std::wstring::npos)
        return std::wstring();
    return cut == 0 ? std::wstring(1, kPathSep) : p.substr(0, cut);
}

std::wstring PathFindFileName(const std::wstring& path) {
    size_t cut = path.find_last_of(kPathSep);
    return cut == std::wstring::npos ? path : path.substr(cut + 1);
}

// ---- Trash (the freedesktop.org trash layout) ----

namespace {

dev_t DeviceOf(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0 ? st.st_dev : static_cast<dev_t>(-1);
}

// The nearest existing ancestor's device: the home trash may not exist yet.
dev_t DeviceOfNearest(std::string path) {
    struct stat st;
    while (!path.empty() && stat(path.c_str(), &st) != 0) {
        const size_t cut = path.find_last_of('/');
        path = cut == std::string::npos || cut == 0 ? std::string("/") : path.substr(0, cut);
    }
    return stat(path.c_str(), &st) == 0 ? st.st_dev : static_cast<dev_t>(-1);
}

// The mount point of the file system holding `path` (an absolute path).
std::string TopDirectory(const std::string& path) {
    const dev_t device = DeviceOf(path);
    std::string top = path;
    while (top != "/") {
        const size_t cut = top.find_last_of('/');
        const std::string parent = cut == 0 ? std::string("/") : top.substr(0, cut);
        if (DeviceOf(parent) != device)
            break;
        top = parent;
    }
    return top;
}

bool MakeDir(const std::string& path, mode_t mode) {
    return mkdir(path.c_str(), mode) == 0 || errno == EEXIST;
}

// A trash directory with its files/ and info/, created when missing.
bool PrepareTrash(const std::string& trash) {
    struct stat st;
    if (!MakeDir(trash, 0700) || lstat(trash.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return false;
    return MakeDir(trash + "/files", 0700) && MakeDir(trash + "/info", 0700);
}

std::string TrashOfVolume(const std::string& top) {
    const std::string uid = std::to_string(getuid());
    const std::string shared = (top == "/" ? std::string() : top) + "/.Trash";
    struct stat st;
    // Only an administrator-made shared trash is trusted: a real directory with the sticky bit.
    if (lstat(shared.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX) &&
        PrepareTrash(shared + "/" + uid))
        return shared + "/" + uid;
    const std::string own = (top == "/" ? std::string() : top) + "/.Trash-" + uid;
    return PrepareTrash(own) ? own : std::string();
}

// Path= of a .trashinfo: percent-encoded as a URL path, "/" kept.
std::string EscapeTrashPath(const std::string& path) {
    static const char* kHex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : path) {
        if (isalnum(c) || strchr("/-_.~!$&'()*+,;=:@", c)) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

std::string DeletionDate() {
    const time_t now = time(nullptr);
    struct tm local;
    localtime_r(&now, &local);
    char text[32];
    strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
    return text;
}

// Reserves a free name by creating its .trashinfo exclusively (so two
// trashings cannot pick the same name), then renames the entry in.
bool TrashInto(const std::string& trash, const std::string& source, const std::string& infoPath,
               std::string& trashedAs) {
    std::string leaf = source.substr(source.find_last_of('/') + 1);
    for (int n = 1; n < 10000; ++n) {
        const std::string name = n == 1 ? leaf : leaf + " " + std::to_string(n);
        const std::string info = trash + "/info/" + name + ".trashinfo";
        const std::string target = trash + "/files/" + name;
        struct stat st;
        if (lstat(target.c_str(), &st) == 0)
            continue;
        const int fd = open(info.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            return false;
        }
        const std::string text = "[Trash Info]\nPath=" + EscapeTrashPath(infoPath) +
                                 "\nDeletionDate=" + DeletionDate() + "\n";
        const bool written =
            write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
        close(fd);
        if (written && rename(source.c_str(), target.c_str()) == 0) {
            trashedAs = target;
            return true;
        }
        unlink(info.c_str());
        return false;
    }
    return false;
}

}  // namespace

bool MoveToTrash(const std::wstring& path, std::wstring& trashedAs) {
    std::string source = WideToUtf8(path);
    while (source.size() > 1 && source.back() == '/')
        source.pop_back();
    if (source.empty() || source[0] != '/' || DeviceOf(source) == static_cast<dev_t>(-1))
        return false;
    std::string trash = DataHome() + "/Trash";
    std::string infoPath = source;
    if (DeviceOfNearest(trash) != DeviceOf(source)) {
        const std::string top = TopDirectory(source);
        if (top == source)
            return false;  // a mount point cannot be renamed into a trash
        trash = TrashOfVolume(top);
        // Relative to the volume's top, so the entry restores wherever it is mounted.
        infoPath = source.substr(top == "/" ? 1 : top.size() + 1);
    } else if (!CreateFolderChain(Utf8ToWide(DataHome())) || !PrepareTrash(trash)) {
        trash.clear();
    }
    std::string trashed;
    if (trash.empty() || !TrashInto(trash, source, infoPath, trashed))
        return false;
    trashedAs = Utf8ToWide(trashed);
    return true;
}
