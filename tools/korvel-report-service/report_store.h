// Storage of the reports and uploaded logs the service receives, in SQLite
// (the default, one process) or PostgreSQL (shared by several processes).
// Both get the same tables and the same statements; log contents live in the
// database too, so that every instance serves every log.
// Thread rule: every operation may be called from any thread.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class SqlDatabase;

struct StoredReport {
    int64_t nId = 0;
    int64_t nReceivedAt = 0;  // Unix seconds
    std::string strClientAddr;
    std::string strAppId;  // the form's "app_id" part
    std::string strUuid;
    std::string strStatus;
    int64_t nVersion = 0;
    std::string strDocument;  // the JSON object as received
};

struct StoredLog {
    int64_t nId = 0;
    int64_t nReceivedAt = 0;
    std::string strClientAddr;
    std::string strAppId;
    std::string strLogType;
    std::string strUuid;
    std::string strFile;  // the local copy's path when the instance keeps one, else ""
    int64_t nSize = 0;
};

// Bounds on what AddLog keeps.
struct LogQuota {
    int nCopiesPerRun = 3;                       // copies kept per uuid
    int64_t nStoreBytes = 1024LL * 1024 * 1024;  // all logs together
};

enum class LogOutcome {
    Stored,
    CopyLimit,  // the run already has its copies: nothing stored
    StoreFull,  // the total bound would be passed: nothing stored
    Failed,     // the database failed
};

// Names of the counters kept beside the reports.
namespace counter {
constexpr const char* kLogCopiesDropped = "log_copies_dropped";
constexpr const char* kLogsRefusedStoreFull = "logs_refused_store_full";
constexpr const char* kPostsRateLimited = "posts_rate_limited";
}  // namespace counter

class ReportStore {
public:
    // Tables of this version are created by Open; an older or newer database is refused.
    static constexpr int kSchemaVersion = 1;

    ReportStore();
    ~ReportStore();
    ReportStore(const ReportStore&) = delete;
    ReportStore& operator=(const ReportStore&) = delete;

    // A SQLite file or a postgresql:// URL; creates the tables on first use.
    bool Open(const std::string& location, std::string& error);
    bool IsPostgres() const;

    // Inserts and returns the new row id in `id`.
    bool AddReport(const StoredReport& report, int64_t& id);
    // Stores the log unless a bound stops it; the id of a stored log in `id`.
    LogOutcome AddLog(const StoredLog& log, const std::string& content, const LogQuota& quota,
                      int64_t& id);

    // Reports and logs received at or after `since` (Unix seconds), oldest first.
    std::vector<StoredReport> Reports(int64_t since = 0);
    std::vector<StoredLog> Logs(int64_t since = 0);
    // One log's record and, when `content` is given, its bytes.
    bool FindLog(int64_t id, StoredLog& out, std::string* content = nullptr);
    int64_t CountReports();
    int64_t CountLogs();
    int64_t LogBytes();

    // Counters of what the bounds turned away (see namespace counter).
    void Bump(const char* name);
    std::map<std::string, int64_t> Counters();

private:
    bool CreateSchema(std::string& error);
    int64_t Single(const char* sql);
    // The stored logs' total, summed again at most once a second: summing
    // every log row on each upload would grow with the store.
    bool KnownLogBytes(int64_t& total);

    std::unique_ptr<SqlDatabase> m_db;
    std::mutex m_bytesLock;  // guards the two below
    int64_t m_nLogBytes = 0;
    int64_t m_nLogBytesSummedMs = -1;  // steady clock; -1: never summed
};
