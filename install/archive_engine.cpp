#include "install/archive_engine.h"

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "install/decode_plan.h"
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

    int Run(const std::string& archivePath, const std::string& outputFolder, const char* password,
            unsigned decoders);
    // Decodes everything into nothing; see ArchiveEngineCheck.
    bool Check(const void* data, size_t size, std::vector<ArchiveEntryCheck>& entries,
               std::string& archiveError);

private:
    void Report(int code) {
        if (m_onError)
            m_onError(m_context, code);
    }
    void Advance(int64_t bytes);
    void ReportProgress();
    void ItemFailed(bool report);
    Reader OpenReader(const std::string& path, const char* password);
    Reader OpenMemoryReader(const void* data, size_t size);
    static Reader NewReader();
    int FailedOpen();
    bool CountTotal(const std::string& path, const char* password, std::vector<PlanEntry>& plan);
    bool PrepareEntry(archive_entry* entry);
    bool CopyData(archive* in, EntryWriter* writer, size_t lane);
    void TakeWriterFailures(EntryWriter& writer);
    void ExtractEntries(archive* in, EntryWriter* writer, size_t lane, const DecodeUnit* unit);
    std::unique_ptr<EntryWriter> StartWriter(std::vector<archive*> outs);
    int Extract(archive* in, archive* out);
    int ExtractInParallel(const std::string& path, const char* password, size_t lanes);
    void DecodeUnits(size_t lane, const std::string& path, const char* password,
                     EntryWriter* writer);
    void CollectEvents(EntryWriter& writer);
    void Record(const std::string& name, bool ok, archive* in, bool unsafe = false);
    void KeepExactNames(const ArchiveHeaders& headers);
    void RestoreExactName(archive_entry* entry, size_t index) const;

    void* m_context;
    ArchiveErrorFunc m_onError;
    ArchiveProgressFunc m_onProgress;
    std::string m_root;
    int64_t m_total = 0;
    std::atomic<int64_t> m_done{0};
    int m_lastValue = 0;
    int m_errors = 0;  // the calling thread's
    std::atomic<bool> m_outOfMemory{false};
    std::vector<ArchiveEntryCheck>* m_checks = nullptr;  // set by Check
    std::vector<std::string> m_exactNames;               // from the headers, in archive order
    // Several decoders (ExtractInParallel): they take units in turn and leave
    // failures for the calling thread to report.
    bool m_parallel = false;
    std::vector<DecodeUnit> m_units;
    std::vector<int64_t> m_folderOf;  // each entry's solid block, in archive order
    std::atomic<size_t> m_nextUnit{0};
    std::atomic<bool> m_broken{false};  // a stream ended the run
    std::mutex m_eventLock;
    std::condition_variable m_eventWake;
    int m_decoding = 0;        // under m_eventLock: decoders still running
    int m_queuedReports = 0;   // under m_eventLock: failed items to report (261)
    int m_queuedFailures = 0;  // under m_eventLock: failures only counted
};

// Progress is reported on the calling thread only: at once by a single
// decoder, from the running count by the collector otherwise.
void EngineRun::Advance(int64_t bytes) {
    m_done += bytes;
    if (!m_parallel)
        ReportProgress();
}

void EngineRun::ReportProgress() {
    const int64_t done = m_done.load();
    const int64_t value = m_total > 0 ? done * 100 / m_total : done / 1048576;
    const int v = static_cast<int>(value > INT_MAX ? INT_MAX : value);
    if (v != m_lastValue && v != 0) {
        m_lastValue = v;
        if (m_onProgress)
            m_onProgress(m_context, v, 0);
    }
}

// A failed item is reported (261) and counted; a readable entry with a
// warning only counts.
void EngineRun::ItemFailed(bool report) {
    if (!m_parallel) {
        if (report)
            Report(kArchiveItemError);
        ++m_errors;
        return;
    }
    {
        std::lock_guard<std::mutex> lock(m_eventLock);
        ++(report ? m_queuedReports : m_queuedFailures);
    }
    m_eventWake.notify_one();
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
        if (archive_errno(a.get()) == ENOMEM)
            m_outOfMemory = true;
        return Reader();
    }
    return a;
}

// The headers alone give the total and what the plan needs; the 7z reader
// skips unread data without decoding.
bool EngineRun::CountTotal(const std::string& path, const char* password,
                           std::vector<PlanEntry>& plan) {
    Reader a = OpenReader(path, password);
    if (!a)
        return false;
    archive_entry* entry = nullptr;
    int r;
    while ((r = archive_read_next_header(a.get(), &entry)) == ARCHIVE_OK || r == ARCHIVE_WARN) {
        if (archive_entry_filetype(entry) == AE_IFREG && archive_entry_size_is_set(entry))
            m_total += archive_entry_size(entry);
        RestoreExactName(entry, plan.size());
        PlanEntry p;
        p.link = archive_entry_filetype(entry) == AE_IFLNK || archive_entry_hardlink(entry);
        const char* name = archive_entry_pathname(entry);
        p.name = name ? name : "";
        plan.push_back(p);
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

bool EngineRun::CopyData(archive* in, EntryWriter* writer, size_t lane) {
    const void* block = nullptr;
    size_t size = 0;
    la_int64_t offset = 0;
    for (;;) {
        int r = archive_read_data_block(in, &block, &size, &offset);
        if (r == ARCHIVE_EOF)
            return true;
        if (r < ARCHIVE_WARN) {
            if (archive_errno(in) == ENOMEM)
                m_outOfMemory = true;
            return false;
        }
        if (writer)
            writer->Data(block, size, offset, lane);
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
// the writer's side is reported a little later, still on the calling thread.
// With a unit, only its entries are read: the reader skips the others
// without decoding as long as it has read nothing, so a unit's pass decodes
// its own block alone and ends after the block's last entry.
void EngineRun::ExtractEntries(archive* in, EntryWriter* writer, size_t lane,
                               const DecodeUnit* unit) {
    archive_entry* entry = nullptr;
    for (size_t index = 0; !m_broken && (!unit || index <= unit->last); ++index) {
        int r = archive_read_next_header(in, &entry);
        if (r == ARCHIVE_EOF)
            break;
        if (unit && m_folderOf[index] != unit->folder) {
            if (r == ARCHIVE_FATAL)
                break;  // the entry's own unit reports it
            continue;
        }
        if (r >= ARCHIVE_WARN)
            RestoreExactName(entry, index);
        const char* stored = r >= ARCHIVE_WARN ? archive_entry_pathname(entry) : nullptr;
        const std::string name = stored ? stored : "";
        if (r == ARCHIVE_WARN) {
            Record(name, false, in);
            ItemFailed(false);
        }
        if (r < ARCHIVE_WARN) {
            if (archive_errno(in) == ENOMEM)
                m_outOfMemory = true;
            Record(name, false, in);
            ItemFailed(true);
            if (r == ARCHIVE_FATAL) {
                m_broken = true;
                break;
            }
            continue;
        }
        if (!PrepareEntry(entry)) {
            if (r == ARCHIVE_OK)
                Record(name, false, in, true);
            ItemFailed(true);
            continue;
        }
        if (writer)
            writer->Begin(entry, lane);
        const bool ok = archive_entry_size(entry) <= 0 || CopyData(in, writer, lane);
        if (r == ARCHIVE_OK)
            Record(name, ok, in);
        if (writer) {
            writer->End(ok, lane);
            if (!m_parallel)
                TakeWriterFailures(*writer);
        } else if (!ok) {
            ItemFailed(true);
        }
        if (!ok && archive_errno(in) != 0 && archive_read_data_skip(in) == ARCHIVE_FATAL) {
            m_broken = true;
            break;
        }
    }
}

// A writer thread that cannot start (the process is out of threads or
// memory) ends the run as out of memory, before anything is written.
std::unique_ptr<EntryWriter> EngineRun::StartWriter(std::vector<archive*> outs) {
    try {
        return std::make_unique<EntryWriter>(std::move(outs));
    } catch (const std::system_error&) {
        m_outOfMemory = true;
        ++m_errors;
        return nullptr;
    }
}

// The disk work runs on the writer's thread; its failures count here.
int EngineRun::Extract(archive* in, archive* out) {
    std::unique_ptr<EntryWriter> writer = StartWriter({out});
    if (!writer)
        return m_errors;
    ExtractEntries(in, writer.get(), 0, nullptr);
    if (!writer->Finish())
        ++m_errors;
    TakeWriterFailures(*writer);
    return m_errors;
}

Writer NewDiskWriter() {
    Writer out(archive_write_disk_new());
    if (out)
        archive_write_disk_set_options(out.get(), ARCHIVE_EXTRACT_TIME | ARCHIVE_EXTRACT_PERM |
                                                      ARCHIVE_EXTRACT_SECURE_NODOTDOT |
                                                      ARCHIVE_EXTRACT_SECURE_SYMLINKS);
    return out;
}

// One decoder per lane takes units until none is left; each unit is a pass
// of a reader of its own. The calling thread reports meanwhile.
int EngineRun::ExtractInParallel(const std::string& path, const char* password, size_t lanes) {
    std::vector<Writer> outs;
    std::vector<archive*> raw;
    for (size_t i = 0; i < lanes; ++i) {
        outs.push_back(NewDiskWriter());
        if (!outs.back()) {
            m_outOfMemory = true;
            return ++m_errors;
        }
        raw.push_back(outs.back().get());
    }
    std::unique_ptr<EntryWriter> writer = StartWriter(raw);
    if (!writer)
        return m_errors;
    // The folders first, from here: a folder the disk writer makes itself
    // gets its time when the writers close, after the files went in; one
    // that a file's path made first would get it at once and lose it again.
    if (m_units.front().folder < 0) {
        Reader in = OpenReader(path, password);
        if (!in) {
            writer->Finish();
            return ++m_errors;
        }
        ExtractEntries(in.get(), writer.get(), 0, &m_units.front());
        m_nextUnit = 1;
    }
    m_parallel = true;
    std::vector<std::thread> decoders;
    for (size_t lane = 0; lane < lanes; ++lane) {
        std::lock_guard<std::mutex> lock(m_eventLock);
        try {
            decoders.emplace_back(&EngineRun::DecodeUnits, this, lane, path, password,
                                  writer.get());
            ++m_decoding;
        } catch (const std::system_error&) {
            break;  // fewer decoders; the units still all get done
        }
    }
    if (decoders.empty()) {
        m_outOfMemory = true;
        ++m_errors;
    }
    CollectEvents(*writer);
    for (std::thread& t : decoders)
        t.join();
    if (!writer->Finish())
        ++m_errors;
    TakeWriterFailures(*writer);
    return m_errors;
}

void EngineRun::DecodeUnits(size_t lane, const std::string& path, const char* password,
                            EntryWriter* writer) {
    const ScopedUtf8Names utf8Names;
    for (size_t u = m_nextUnit++; u < m_units.size() && !m_broken; u = m_nextUnit++) {
        Reader in = OpenReader(path, password);
        if (!in) {
            // It opened before: a failure now is the system's (memory, files).
            ItemFailed(false);
            m_broken = true;
            break;
        }
        ExtractEntries(in.get(), writer, lane, &m_units[u]);
    }
    {
        std::lock_guard<std::mutex> lock(m_eventLock);
        --m_decoding;
    }
    m_eventWake.notify_one();
}

// Until the last decoder ends: failures reported as they come, progress a
// few dozen times a second.
void EngineRun::CollectEvents(EntryWriter& writer) {
    constexpr std::chrono::milliseconds kProgressPeriod(25);
    std::unique_lock<std::mutex> lock(m_eventLock);
    for (;;) {
        const bool done = m_decoding == 0;
        const int reports = m_queuedReports;
        const int failures = m_queuedFailures;
        m_queuedReports = m_queuedFailures = 0;
        lock.unlock();
        for (int i = 0; i < reports; ++i)
            Report(kArchiveItemError);
        m_errors += reports + failures;
        TakeWriterFailures(writer);
        ReportProgress();
        lock.lock();
        if (done)
            return;
        m_eventWake.wait_for(lock, kProgressPeriod, [this] {
            return m_decoding == 0 || m_queuedReports > 0 || m_queuedFailures > 0;
        });
    }
}

int EngineRun::FailedOpen() {
    if (m_outOfMemory) {
        Report(kEngineOutOfMemory);
        return kEngineOutOfMemory;
    }
    Report(kArchiveRunErrors);
    return kEngineFatal;
}

size_t DecoderCount(unsigned asked) {
    if (asked == 0)
        asked = std::min(std::max(std::thread::hardware_concurrency(), 1u), kMaxArchiveDecoders);
    return asked;
}

int EngineRun::Run(const std::string& archivePath, const std::string& outputFolder,
                   const char* password, unsigned decoders) {
    const ScopedUtf8Names utf8Names;
    CreateFolderChainA(outputFolder + "/");
    m_root = ResolveRealPath(outputFolder);
    if (m_root.empty()) {
        Report(kEngineFatal);
        return kEngineFatal;
    }
    if (m_root == "/")
        m_root.clear();  // names are joined with "/"
    ArchiveHeaders headers;
    std::string unreadable;  // the library's names are used then, in one pass
    const bool headersRead = ReadArchiveHeadersFromFile(archivePath, headers, unreadable);
    if (headersRead)
        KeepExactNames(headers);
    std::vector<PlanEntry> plan;
    if (!CountTotal(archivePath, password, plan))
        return FailedOpen();
    if (headersRead && plan.size() == headers.entries.size() && DecoderCount(decoders) > 1) {
        for (size_t i = 0; i < plan.size(); ++i)
            m_folderOf.push_back(plan[i].folder = headers.entries[i].folder);
        m_units = PlanDecodeUnits(plan, headers.folderSizes);
    }
    int errors;
    if (!m_units.empty()) {
        // The entries without data are written on this thread, before the decoders start.
        const size_t blocks = m_units.size() - (m_units.front().folder < 0 ? 1 : 0);
        errors = ExtractInParallel(archivePath, password, std::min(DecoderCount(decoders), blocks));
    } else {
        Reader in = OpenReader(archivePath, password);
        if (!in)
            return FailedOpen();
        Writer out = NewDiskWriter();
        if (!out) {
            Report(kEngineOutOfMemory);
            return kEngineOutOfMemory;
        }
        errors = Extract(in.get(), out.get());
    }
    if (errors == 0)
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
    ExtractEntries(in.get(), nullptr, 0, nullptr);
    const int errors = m_errors;
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
    return ArchiveEngineMain(argc, argv, context, onError, onProgress, ArchiveEngineOptions());
}

int ArchiveEngineMain(int argc, const char* const* argv, void* context, ArchiveErrorFunc onError,
                      ArchiveProgressFunc onProgress, const ArchiveEngineOptions& options) {
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
    return run.Run(argv[2], argv[3] + 2, password, options.decoders);
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
