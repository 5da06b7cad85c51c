#include "install/install_record.h"

#include <archive.h>
#include <archive_entry.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>

#include "platform/folders.h"
#include "platform/log.h"
#include "platform/text.h"

namespace {

bool IsSafeName(const std::string& name) {
    if (name.empty() || name[0] == '/')
        return false;
    size_t pos = 0;
    while (pos <= name.size()) {
        size_t next = name.find('/', pos);
        if (next == std::string::npos)
            next = name.size();
        if (name.compare(pos, next - pos, "..") == 0 && next - pos == 2)
            return false;
        pos = next + 1;
    }
    return true;
}

std::string Escape(const std::string& name) {
    std::string out;
    for (char c : name) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out;
}

std::string Unescape(const std::string& line) {
    std::string out;
    for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '\\' && i + 1 < line.size()) {
            ++i;
            out += line[i] == 'n' ? '\n' : line[i];
        } else {
            out += line[i];
        }
    }
    return out;
}

std::string RealPath(const std::string& path) {
    char real[PATH_MAX];
    return realpath(path.c_str(), real) ? std::string(real) : std::string();
}

// The entry's folder must really lie inside root: a folder replaced by a link
// to somewhere else must not lead the removal there.
bool ParentInside(const std::string& root, const std::string& full) {
    const size_t cut = full.find_last_of('/');
    const std::string parent = RealPath(full.substr(0, cut));
    return parent == root ||
           (parent.size() > root.size() && parent.compare(0, root.size(), root) == 0 &&
            parent[root.size()] == '/');
}

int RemoveListed(const std::string& root, std::vector<std::string> names) {
    int removed = 0;
    std::vector<std::string> folders;
    for (const std::string& name : names) {
        if (!IsSafeName(name))
            continue;
        const bool isFolder = name.back() == '/';
        std::string full = root + "/" + name;
        if (isFolder)
            full.pop_back();
        struct stat st;
        if (lstat(full.c_str(), &st) != 0 || !ParentInside(root, full))
            continue;
        if (isFolder) {
            if (S_ISDIR(st.st_mode))
                folders.push_back(full);
        } else if (!S_ISDIR(st.st_mode) && unlink(full.c_str()) == 0) {
            ++removed;
        }
    }
    // Deepest first, so a parent is empty by the time its turn comes.
    std::sort(folders.begin(), folders.end(),
              [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
    for (const std::string& f : folders)
        if (rmdir(f.c_str()) == 0)
            ++removed;
    return removed;
}

}  // namespace

std::vector<std::string> ListArchiveEntries(const void* data, size_t size) {
    std::vector<std::string> names;
    std::set<std::string> seen;
    archive* a = archive_read_new();
    if (!a)
        return names;
    archive_read_support_format_7zip(a);
    if (archive_read_open_memory(a, data, size) == ARCHIVE_OK) {
        archive_entry* entry = nullptr;
        int r;
        while ((r = archive_read_next_header(a, &entry)) == ARCHIVE_OK || r == ARCHIVE_WARN) {
            const char* path = archive_entry_pathname(entry);
            if (!path || !IsSafeName(path))
                continue;
            std::string name = path;
            if (archive_entry_filetype(entry) == AE_IFDIR && name.back() != '/')
                name += '/';
            // Folders the extraction made on the way count as installed too.
            for (size_t cut = name.find('/'); cut != std::string::npos && cut + 1 < name.size();
                 cut = name.find('/', cut + 1))
                if (seen.insert(name.substr(0, cut + 1)).second)
                    names.push_back(name.substr(0, cut + 1));
            if (seen.insert(name).second)
                names.push_back(name);
        }
    }
    archive_read_free(a);
    return names;
}

bool ReadInstalledFilesList(const std::wstring& folder, std::vector<std::string>& names) {
    std::ifstream in(WideToUtf8(JoinPath(folder, Utf8ToWide(kInstalledListName))),
                     std::ios::binary);
    if (!in)
        return false;
    std::string line;
    while (std::getline(in, line))
        if (!line.empty())
            names.push_back(Unescape(line));
    return true;
}

bool WriteInstalledFilesList(const std::wstring& folder, const std::vector<std::string>& names) {
    const std::string base = WideToUtf8(folder);
    std::vector<std::string> merged;
    std::set<std::string> seen;
    std::vector<std::string> earlier;
    ReadInstalledFilesList(folder, earlier);
    for (const std::string& n : earlier) {
        struct stat st;
        std::string full = base + "/" + n;
        if (!n.empty() && n.back() == '/')
            full.pop_back();
        if (IsSafeName(n) && lstat(full.c_str(), &st) == 0 && seen.insert(n).second)
            merged.push_back(n);
    }
    for (const std::string& n : names)
        if (seen.insert(n).second)
            merged.push_back(n);
    const std::string path = base + "/" + kInstalledListName;
    const std::string temp = path + ".new";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        for (const std::string& n : merged)
            out << Escape(n) << '\n';
        if (!out.flush())
            return false;
    }
    return rename(temp.c_str(), path.c_str()) == 0;
}

int ClearPreviousInstall(const std::wstring& folder) {
    WriteLog("Begin delete file.(%s)", WideToOem(folder).c_str());
    int removed = 0;
    std::vector<std::string> names;
    const std::string root = RealPath(WideToUtf8(folder));
    if (!root.empty() && PathFileExists(JoinPath(folder, Utf8ToWide(kUninstallExeName))) &&
        ReadInstalledFilesList(folder, names)) {
        removed = RemoveListed(root, names);
        if (unlink((root + "/" + kInstalledListName).c_str()) == 0)
            ++removed;
    } else {
        WriteLog("No installed-files list: nothing cleared.");
    }
    WriteLog("End delete file.");
    return removed;
}
