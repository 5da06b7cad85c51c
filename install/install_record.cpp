#include "install/install_record.h"

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <set>

#include "install/seven_zip_headers.h"
#include "platform/folders.h"
#include "platform/install_fs.h"
#include "platform/log.h"
#include "platform/text.h"

namespace {

constexpr size_t kSectionBlock = 1 << 20;

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

// The entry's folder must really lie inside root: a folder replaced by a link
// to somewhere else must not lead the removal there.
bool ParentInside(const std::string& root, const std::string& full) {
    const size_t cut = full.find_last_of('/');
    const std::string parent = ResolveRealPath(full.substr(0, cut));
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
        const PathKind kind = GetPathKindNoFollow(full);
        if (kind == PathKind::kMissing || !ParentInside(root, full))
            continue;
        if (isFolder) {
            if (kind == PathKind::kFolder)
                folders.push_back(full);
        } else if (kind != PathKind::kFolder && RemoveFileNoFollow(full)) {
            ++removed;
        }
    }
    // Deepest first, so a parent is empty by the time its turn comes.
    std::sort(folders.begin(), folders.end(),
              [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
    for (const std::string& f : folders)
        if (RemoveEmptyFolder(f))
            ++removed;
    return removed;
}

// Every safe entry name, folders with a trailing "/" and the folders the
// extraction made on the way (they count as installed too).
// Names as the extraction installs them: exact names from the headers (in
// archive order) where InstalledEntryName allows, else the library's.
std::vector<std::string> CollectEntryNames(archive* a, const ArchiveRangeReader& read) {
    ArchiveHeaders headers;
    std::string unreadable;  // the library's names are used then
    ReadArchiveHeaders(read, headers, unreadable);
    std::vector<std::string> names;
    std::set<std::string> seen;
    archive_entry* entry = nullptr;
    int r;
    for (size_t index = 0;
         (r = archive_read_next_header(a, &entry)) == ARCHIVE_OK || r == ARCHIVE_WARN; ++index) {
        const char* given = archive_entry_pathname(entry);
        if (!given)
            continue;
        const std::string path = index < headers.entries.size()
                                     ? InstalledEntryName(given, headers.entries[index].name)
                                     : std::string(given);
        if (!IsSafeName(path))
            continue;
        std::string name = path;
        if (archive_entry_filetype(entry) == AE_IFDIR && name.back() != '/')
            name += '/';
        for (size_t cut = name.find('/'); cut != std::string::npos && cut + 1 < name.size();
             cut = name.find('/', cut + 1))
            if (seen.insert(name.substr(0, cut + 1)).second)
                names.push_back(name.substr(0, cut + 1));
        if (seen.insert(name).second)
            names.push_back(name);
    }
    return names;
}

// An archive that lies inside a larger file (the payload inside the package),
// read in place: the archive reader reads only its headers.
struct FileSection {
    std::ifstream in;
    int64_t base = 0;
    int64_t size = 0;
    int64_t pos = 0;
    std::vector<char> block = std::vector<char>(kSectionBlock);

    // For the header reader; leaves the archive reader's position alone.
    bool ReadAt(uint64_t offset, uint64_t length, std::string& bytes) {
        if (offset > static_cast<uint64_t>(size) || length > static_cast<uint64_t>(size) - offset)
            return false;
        bytes.assign(static_cast<size_t>(length), '\0');
        in.clear();
        in.seekg(static_cast<std::streamoff>(base + static_cast<int64_t>(offset)));
        return length == 0 ||
               static_cast<bool>(in.read(&bytes[0], static_cast<std::streamsize>(length)));
    }
};

la_ssize_t ReadSection(archive*, void* data, const void** buffer) {
    FileSection& s = *static_cast<FileSection*>(data);
    const int64_t left = s.size - s.pos;
    const int64_t want = left < static_cast<int64_t>(s.block.size()) ? left : s.block.size();
    *buffer = s.block.data();
    if (want <= 0)
        return 0;
    s.in.clear();
    s.in.seekg(static_cast<std::streamoff>(s.base + s.pos));
    s.in.read(s.block.data(), static_cast<std::streamsize>(want));
    const int64_t got = s.in.gcount();
    if (got <= 0)
        return -1;
    s.pos += got;
    return static_cast<la_ssize_t>(got);
}

la_int64_t SeekSection(archive*, void* data, la_int64_t offset, int whence) {
    FileSection& s = *static_cast<FileSection*>(data);
    const int64_t from = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? s.pos : s.size;
    const int64_t to = from + offset;
    if (to < 0 || to > s.size)
        return ARCHIVE_FATAL;
    s.pos = to;
    return to;
}

la_int64_t SkipSection(archive*, void* data, la_int64_t request) {
    FileSection& s = *static_cast<FileSection*>(data);
    const int64_t step = request < s.size - s.pos ? request : s.size - s.pos;
    s.pos += step;
    return step;
}

}  // namespace

std::vector<std::string> ListArchiveEntries(const void* data, size_t size) {
    const ScopedUtf8Names utf8Names;  // as the extraction reads them
    archive* a = archive_read_new();
    if (!a)
        return {};
    archive_read_support_format_7zip(a);
    std::vector<std::string> names;
    const auto read = [data, size](uint64_t offset, uint64_t length, std::string& bytes) {
        if (offset > size || length > size - offset)
            return false;
        bytes.assign(static_cast<const char*>(data) + offset, static_cast<size_t>(length));
        return true;
    };
    if (archive_read_open_memory(a, data, size) == ARCHIVE_OK)
        names = CollectEntryNames(a, read);
    archive_read_free(a);
    return names;
}

std::vector<std::string> ListArchiveEntries(const std::string& file, int64_t offset, int64_t size) {
    const ScopedUtf8Names utf8Names;  // as the extraction reads them
    FileSection section;
    section.in.open(file, std::ios::binary);
    section.base = offset;
    section.size = size;
    archive* a = archive_read_new();
    if (!a || !section.in || offset < 0 || size < 0) {
        archive_read_free(a);
        return {};
    }
    archive_read_support_format_7zip(a);
    archive_read_set_callback_data(a, &section);
    archive_read_set_read_callback(a, ReadSection);
    archive_read_set_seek_callback(a, SeekSection);
    archive_read_set_skip_callback(a, SkipSection);
    std::vector<std::string> names;
    if (archive_read_open1(a) == ARCHIVE_OK)
        names = CollectEntryNames(a, [&section](uint64_t at, uint64_t length, std::string& bytes) {
            return section.ReadAt(at, length, bytes);
        });
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
        std::string full = base + "/" + n;
        if (!n.empty() && n.back() == '/')
            full.pop_back();
        if (IsSafeName(n) && GetPathKindNoFollow(full) != PathKind::kMissing &&
            seen.insert(n).second)
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
    return RenameReplacing(temp, path);
}

int ClearPreviousInstall(const std::wstring& folder) {
    WriteLog("Begin delete file.(%s)", WideToOem(folder).c_str());
    int removed = 0;
    std::vector<std::string> names;
    const std::string root = ResolveRealPath(WideToUtf8(folder));
    if (!root.empty() && PathFileExists(JoinPath(folder, Utf8ToWide(kUninstallExeName))) &&
        ReadInstalledFilesList(folder, names)) {
        removed = RemoveListed(root, names);
        if (RemoveFileNoFollow(root + "/" + kInstalledListName))
            ++removed;
    } else {
        WriteLog("No installed-files list: nothing cleared.");
    }
    WriteLog("End delete file.");
    return removed;
}
