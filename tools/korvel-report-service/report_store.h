// SQLite storage of the reports and uploaded logs the service receives.
// Thread rule: every operation may be called from any thread; one connection
// guarded by one lock serialises them (the database runs in WAL mode so that
// outside readers do not block the service).
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

struct sqlite3;

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
    std::string strFile;  // path of the stored copy
    int64_t nSize = 0;
};

class ReportStore {
public:
    ReportStore() = default;
    ReportStore(const ReportStore&) = delete;
    ReportStore& operator=(const ReportStore&) = delete;
    ~ReportStore();

    // Opens or creates the database and its tables; false with a message on failure.
    bool Open(const std::string& path, std::string& error);

    // Inserts and returns the new row id in `id`.
    bool AddReport(const StoredReport& report, int64_t& id);
    bool AddLog(const StoredLog& log, int64_t& id);

    // Everything stored, oldest first.
    std::vector<StoredReport> Reports();
    std::vector<StoredLog> Logs();
    bool FindLog(int64_t id, StoredLog& out);
    int64_t CountReports();
    int64_t CountLogs();

private:
    bool Exec(const char* sql, std::string& error);

    std::mutex m_lock;
    sqlite3* m_db = nullptr;
};
