#include "install/archive_engine.h"

#include <archive.h>
#include <archive_entry.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "install/entry_writer.h"
#include "install/seven_zip.h"
#include "install/seven_zip_headers.h"
#include "platform/install_fs.h"
#include "platform/text.h"

namespace {

constexpr size_t kReadBlock = 1 << 20;
constexpr int kEngineFatal = 2;
constexpr int kEngineOutOfMemory = 8;
constexpr int kEngineBadCommandLine = 255;

struct ReaderDeleter {
    void operator()(archive* a) const { archive_read_free(a); }
};
struct WriterDeleter {
    void operator()(archive* a) const { archive_write_free(a); }
};
using Reader = std::unique_ptr<archive, ReaderDeleter>;
using Writer = std::unique_ptr<archive, WriterDeleter>;

std::vector<std::string> SplitComponents(const std::string& path) {
    std::vector<std::string> parts;
    size_t pos = 0;
    while (pos <= path.size()) {
        size_t next = path.find('/', pos);
        if (next == std::string::npos)
            next = path.size();
        if (next > pos)
            parts.push_back(path.substr(pos, next - pos));
        pos = next + 1;
    }
    return parts;
}

// Entry names must stay below the output folder on their own.
bool IsUnsafeName(const char* name) {
    if (!name || !*name || name[0] == '/')
        return true;
    for (const std::string& part : SplitComponents(name))
        if (part == "..")
            return true;
    return false;
}

// Whether a symbolic link stored at entryName with this target may resolve
// outside the output folder (root: the folder's real path). ".." is allowed
// only as a leading run: after a name it would climb out of whatever that
// name (possibly another link) resolves to, which no lexical check can follow.
bool LinkEscapes(const std::string& root, const std::string& entryName, const std::string& target) {
    if (target.empty())
        return true;
    const std::vector<std::string> rootParts = SplitComponents(root);
    std::vector<std::string> stack;
    if (target[0] != '/') {
        stack = rootParts;
        for (const std::string& part : SplitComponents(entryName))
            stack.push_back(part);
        stack.pop_back();  // the link's own folder
    }
    bool named = false;
    for (const std::string& part : SplitComponents(target)) {
        if (part == ".")
            continue;
        if (part != "..") {
            named = true;
            stack.push_back(part);
            continue;
        }
        if (named || target[0] == '/' || stack.size() <= rootParts.size())
            return true;
        stack.pop_back();
    }
    if (stack.size() < rootParts.size())
        return true;
    for (size_t i = 0; i < rootParts.size(); ++i)
        if (stack[i] != rootParts[i])
            return true;
    return false;
}

class EngineRun {
public:
    EngineRun(void* context, ArchiveErrorFunc onError, ArchiveProgressFunc onProgress)
        : m_context(context), m_onError(onError), m_onProgress(onProgress) {}

    int Run(const std::string& archivePath, const std::string& outputFolder, const char* password);
    // Decodes everything into nothing; see ArchiveEngineCheck.
    bool Check(const void* data, size_t size, std::vector<ArchiveEntryCheck>& entries,
               std::string& archiveError);

private:
    void Report(int code) {
        if (m_onError)
            m_onError(m_context, code);
    }
    void Advance(int64_t bytes);
    Reader OpenReader(const std::string& path, const char* password);
    Reader OpenMemoryReader(const void* data, size_t size);
    static Reader NewReader();
    int FailedOpen();
    bool CountTotal(const std::string& path, const char* password);
    bool PrepareEntry(archive_entry* entry);
    bool CopyData(archive* in, EntryWriter* writer);
    void TakeWriterFailures(EntryWriter& writer);
    int ExtractAll(archive* in, EntryWriter* writer);
    int Extract(archive* in, archive* out);
    void Record(const std::string& name, bool ok, archive* in, bool unsafe = false);
    void KeepExactNames(const ArchiveHeaders& headers);
    void RestoreExactName(archive_entry* entry, size_t index) const;

    void* m_context;
    ArchiveErrorFunc m_onError;
    ArchiveProgressFunc m_onProgress;
    std::string m_root;
    int64_t m_total = 0;
    int64_t m_done = 0;
    int m_lastValue = 0;
    int m_errors = 0;
    bool m_outOfMemory = false;
    std::vector<ArchiveEntryCheck>* m_checks = nullptr;  // set by Check
    std::vector<std::string> m_exactNames;               // from the headers, in archive order
};

void EngineRun::Advance(int64_t bytes) {
    m_done += bytes;
    const int64_t value = m_total > 0 ? m_done * 100 / m_total : m_done / 1048576;
    const int v = static_cast<int>(value > INT_MAX ? INT_MAX : value);
    if (v != m_lastValue && v != 0) {
        m_lastValue = v;
        if (m_onProgress)
            m_onProgress(m_context, v, 0);
    }
}

Reader EngineRun::NewReader() {
    Reader a(archive_read_new());
    if (a)
        archive_read_support_format_7zip(a.get());
    return a;
}

Reader EngineRun::OpenMemoryReader(const void* data, size_t size) {
    Reader a = NewReader();
    if (!a)
        return a;
    if (archive_read_open_memory(a.get(), data, size) != ARCHIVE_OK) {
        m_outOfMemory = archive_errno(a.get()) == ENOMEM;
        if (m_checks)
            Record("", false, a.get());
        return Reader();
    }
    return a;
}

Reader EngineRun::OpenReader(const std::string& path, const char* password) {
    Reader a = NewReader();
    if (!a)
        return a;
    if (password && *password)
        archive_read_add_passphrase(a.get(), password);
    if (archive_read_open_filename(a.get(), path.c_str(), kReadBlock) != ARCHIVE_OK) {
        m_outOfMemory = archive_errno(a.get()) == ENOMEM;
        return Reader();
    }
    return a;
}

// The headers alone give the total; the 7z reader skips unread data without decoding.
bool EngineRun::CountTotal(const std::string& path, const char* password) {
    Reader a = OpenReader(path, password);
    if (!a)
        return false;
    archive_entry* entry = nullptr;
    int r;
    while ((r = archive_read_next_header(a.get(), &entry)) == ARCHIVE_OK || r == ARCHIVE_WARN) {
        if (archive_entry_filetype(entry) == AE_IFREG && archive_entry_size_is_set(entry))
            m_total += archive_entry_size(entry);
    }
    return r == ARCHIVE_EOF;
}

// Refuses unsafe names and links; otherwise anchors the names below the root.
bool EngineRun::PrepareEntry(archive_entry* entry) {
    const char* name = archive_entry_pathname(entry);
    if (IsUnsafeName(name))
        return false;
    const char* hardlink = archive_entry_hardlink(entry);
    if (hardlink) {
        if (IsUnsafeName(hardlink))
            return false;
        archive_entry_copy_hardlink(entry, (m_root + "/" + hardlink).c_str());
    }
    const char* symlink = archive_entry_symlink(entry);
    if (archive_entry_filetype(entry) == AE_IFLNK &&
        (!symlink || LinkEscapes(m_root, name, symlink)))
        return false;
    archive_entry_copy_pathname(entry, (m_root + "/" + name).c_str());
    return true;
}

bool EngineRun::CopyData(archive* in, EntryWriter* writer) {
    const void* block = nullptr;
    size_t size = 0;
    la_int64_t offset = 0;
    for (;;) {
        int r = archive_read_data_block(in, &block, &size, &offset);
        if (r == ARCHIVE_EOF)
            return true;
        if (r < ARCHIVE_WARN) {
            m_outOfMemory = m_outOfMemory || archive_errno(in) == ENOMEM;
            return false;
        }
        if (writer)
            writer->Data(block, size, offset);
        Advance(static_cast<int64_t>(size));
    }
}

void EngineRun::Record(const std::string& name, bool ok, archive* in, bool unsafe) {
    if (!m_checks)
        return;
    ArchiveEntryCheck c;
    c.name = name;
    c.ok = ok;
    c.unsafe = unsafe;
    if (!ok) {
        const char* text = unsafe ? "unsafe name or link target" : archive_error_string(in);
        c.error = text ? text : "the entry cannot be read";
    }
    m_checks->push_back(c);
}

void EngineRun::KeepExactNames(const ArchiveHeaders& headers) {
    for (const ArchiveHeaderEntry& e : headers.entries)
        m_exactNames.push_back(e.name);
}

// The entry gets its name as stored back where InstalledEntryName allows it.
void EngineRun::RestoreExactName(archive_entry* entry, size_t index) const {
    const char* given = archive_entry_pathname(entry);
    if (!given || index >= m_exactNames.size())
        return;
    const std::string name = InstalledEntryName(given, m_exactNames[index]);
    if (name != given)
        archive_entry_copy_pathname(entry, name.c_str());
}

void EngineRun::TakeWriterFailures(EntryWriter& writer) {
    for (int n = writer.TakeFailures(); n > 0; --n) {
        Report(kArchiveItemError);
        ++m_errors;
    }
}

// Every failed item is reported and counted; a broken stream ends the run.
// Without a writer (a check) the data is decoded and dropped. A failure on
// the writer's side is reported a little later, still on this thread.
int EngineRun::ExtractAll(archive* in, EntryWriter* writer) {
    archive_entry* entry = nullptr;
    for (size_t index = 0;; ++index) {
        int r = archive_read_next_header(in, &entry);
        if (r == ARCHIVE_EOF)
            break;
        if (r >= ARCHIVE_WARN)
            RestoreExactName(entry, index);
        const char* stored = r >= ARCHIVE_WARN ? archive_entry_pathname(entry) : nullptr;
        const std::string name = stored ? stored : "";
        if (r == ARCHIVE_WARN) {
            Record(name, false, in);
            ++m_errors;
        }
        if (r < ARCHIVE_WARN) {
            m_outOfMemory = archive_errno(in) == ENOMEM;
            Record(name, false, in);
            Report(kArchiveItemError);
            ++m_errors;
            if (r == ARCHIVE_FATAL)
                break;
            continue;
        }
        if (!PrepareEntry(entry)) {
            if (r == ARCHIVE_OK)
                Record(name, false, in, true);
            Report(kArchiveItemError);
            ++m_errors;
            continue;
        }
        if (writer)
            writer->Begin(entry);
        const bool ok = archive_entry_size(entry) <= 0 || CopyData(in, writer);
        if (r == ARCHIVE_OK)
            Record(name, ok, in);
        if (writer) {
            writer->End(ok);
            TakeWriterFailures(*writer);
        } else if (!ok) {
            Report(kArchiveItemError);
            ++m_errors;
        }
        if (!ok && archive_errno(in) != 0 && archive_read_data_skip(in) == ARCHIVE_FATAL)
            break;
    }
    return m_errors;
}

// The disk work runs on the writer's thread; its failures count here.
// A thread that cannot start (the process is out of threads or memory) ends
// the run as out of memory, before anything is written.
int EngineRun::Extract(archive* in, archive* out) {
    std::unique_ptr<EntryWriter> writer;
    try {
        writer.reset(new EntryWriter(out));
    } catch (const std::system_error&) {
        m_outOfMemory = true;
        return ++m_errors;
    }
    ExtractAll(in, writer.get());
    if (!writer->Finish())
        ++m_errors;
    TakeWriterFailures(*writer);
    return m_errors;
}

int EngineRun::FailedOpen() {
    if (m_outOfMemory) {
        Report(kEngineOutOfMemory);
        return kEngineOutOfMemory;
    }
    Report(kArchiveRunErrors);
    return kEngineFatal;
}

int EngineRun::Run(const std::string& archivePath, const std::string& outputFolder,
                   const char* password) {
    const ScopedUtf8Names utf8Names;
    CreateFolderChainA(outputFolder + "/");
    m_root = ResolveRealPath(outputFolder);
    if (m_root.empty()) {
        Report(kEngineFatal);
        return kEngineFatal;
    }
    if (m_root == "/")
        m_root.clear();  // names are joined with "/"
    if (!CountTotal(archivePath, password))
        return FailedOpen();
    ArchiveHeaders headers;
    std::string unreadable;  // the library's names are used then
    if (ReadArchiveHeadersFromFile(archivePath, headers, unreadable))
        KeepExactNames(headers);
    Reader in = OpenReader(archivePath, password);
    if (!in)
        return FailedOpen();
    Writer out(archive_write_disk_new());
    if (!out) {
        Report(kEngineOutOfMemory);
        return kEngineOutOfMemory;
    }
    archive_write_disk_set_options(out.get(), ARCHIVE_EXTRACT_TIME | ARCHIVE_EXTRACT_PERM |
                                                  ARCHIVE_EXTRACT_SECURE_NODOTDOT |
                                                  ARCHIVE_EXTRACT_SECURE_SYMLINKS);
    if (Extract(in.get(), out.get()) == 0)
        return 0;
    if (m_outOfMemory) {
        Report(kEngineOutOfMemory);
        return kEngineOutOfMemory;
    }
    Report(kArchiveRunErrors);
    return kEngineFatal;
}

// Names are checked against a stand-in root: the link rules are lexical.
bool EngineRun::Check(const void* data, size_t size, std::vector<ArchiveEntryCheck>& entries,
                      std::string& archiveError) {
    const ScopedUtf8Names utf8Names;
    m_checks = &entries;
    m_root = "/payload";
    ArchiveHeaders headers;
    std::string unreadable;
    const auto read = [data, size](uint64_t offset, uint64_t length, std::string& bytes) {
        if (offset > size || length > size - offset)
            return false;
        bytes.assign(static_cast<const char*>(data) + offset, static_cast<size_t>(length));
        return true;
    };
    if (ReadArchiveHeaders(read, headers, unreadable))
        KeepExactNames(headers);
    Reader in = OpenMemoryReader(data, size);
    if (!in) {
        archiveError = entries.empty() ? "the archive cannot be opened" : entries.back().error;
        entries.clear();
        return false;
    }
    const int errors = ExtractAll(in.get(), nullptr);
    // Failures without a name belong to the archive as a whole.
    std::vector<ArchiveEntryCheck> named;
    for (ArchiveEntryCheck& e : entries) {
        if (!e.name.empty())
            named.push_back(std::move(e));
        else if (archiveError.empty())
            archiveError = e.error;
    }
    entries.swap(named);
    return errors == 0;
}

}  // namespace

int ArchiveEngineMain(int argc, const char* const* argv, void* context, ArchiveErrorFunc onError,
                      ArchiveProgressFunc onProgress) {
    const bool ok = argv && (argc == 4 || argc == 5) && argv[1] && strcmp(argv[1], "x") == 0 &&
                    argv[2] && *argv[2] && argv[3] && strncmp(argv[3], "-o", 2) == 0 &&
                    argv[3][2] && (argc == 4 || (argv[4] && strncmp(argv[4], "-p", 2) == 0));
    if (!ok) {
        if (onError)
            onError(context, kEngineBadCommandLine);
        return kEngineBadCommandLine;
    }
    const char* password = argc == 5 ? argv[4] + 2 : nullptr;
    EngineRun run(context, onError, onProgress);
    return run.Run(argv[2], argv[3] + 2, password);
}

bool ArchiveEngineCheck(const void* data, size_t size, std::vector<ArchiveEntryCheck>& entries,
                        std::string& archiveError) {
    entries.clear();
    archiveError.clear();
    if (!data)
        return false;
    EngineRun run(nullptr, nullptr, nullptr);
    return run.Check(data, size, entries, archiveError);
}
