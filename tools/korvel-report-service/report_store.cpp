#include "report_store.h"

#include <sqlite3.h>

namespace {

const char* kSchema =
    "CREATE TABLE IF NOT EXISTS reports("
    " id INTEGER PRIMARY KEY AUTOINCREMENT, received_at INTEGER NOT NULL,"
    " client_addr TEXT NOT NULL, app_id TEXT NOT NULL, uuid TEXT NOT NULL,"
    " install_status TEXT NOT NULL, version INTEGER NOT NULL, document TEXT NOT NULL);"
    "CREATE INDEX IF NOT EXISTS reports_uuid ON reports(uuid);"
    "CREATE TABLE IF NOT EXISTS logs("
    " id INTEGER PRIMARY KEY AUTOINCREMENT, received_at INTEGER NOT NULL,"
    " client_addr TEXT NOT NULL, app_id TEXT NOT NULL, log_type TEXT NOT NULL,"
    " uuid TEXT NOT NULL, file TEXT NOT NULL, size INTEGER NOT NULL);"
    "CREATE INDEX IF NOT EXISTS logs_uuid ON logs(uuid);";

// A prepared statement finalised on every road out.
class Statement {
public:
    Statement(sqlite3* db, const char* sql) { sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr); }
    ~Statement() { sqlite3_finalize(m_stmt); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool IsValid() const { return m_stmt != nullptr; }
    void Bind(int index, const std::string& text) {
        sqlite3_bind_text(m_stmt, index, text.data(), static_cast<int>(text.size()),
                          SQLITE_TRANSIENT);
    }
    void Bind(int index, int64_t value) { sqlite3_bind_int64(m_stmt, index, value); }
    int Step() { return sqlite3_step(m_stmt); }
    int64_t Int(int column) { return sqlite3_column_int64(m_stmt, column); }
    std::string Text(int column) {
        const unsigned char* text = sqlite3_column_text(m_stmt, column);
        return text ? std::string(reinterpret_cast<const char*>(text),
                                  static_cast<size_t>(sqlite3_column_bytes(m_stmt, column)))
                    : std::string();
    }

private:
    sqlite3_stmt* m_stmt = nullptr;
};

const char* kReportColumns =
    "SELECT id, received_at, client_addr, app_id, uuid, install_status, version, document "
    "FROM reports ORDER BY id";
const char* kLogColumns =
    "SELECT id, received_at, client_addr, app_id, log_type, uuid, file, size FROM logs";

StoredReport ReadReport(Statement& s) {
    StoredReport r;
    r.nId = s.Int(0);
    r.nReceivedAt = s.Int(1);
    r.strClientAddr = s.Text(2);
    r.strAppId = s.Text(3);
    r.strUuid = s.Text(4);
    r.strStatus = s.Text(5);
    r.nVersion = s.Int(6);
    r.strDocument = s.Text(7);
    return r;
}

StoredLog ReadLog(Statement& s) {
    StoredLog l;
    l.nId = s.Int(0);
    l.nReceivedAt = s.Int(1);
    l.strClientAddr = s.Text(2);
    l.strAppId = s.Text(3);
    l.strLogType = s.Text(4);
    l.strUuid = s.Text(5);
    l.strFile = s.Text(6);
    l.nSize = s.Int(7);
    return l;
}

}  // namespace

ReportStore::~ReportStore() {
    if (m_db)
        sqlite3_close(m_db);
}

bool ReportStore::Exec(const char* sql, std::string& error) {
    char* message = nullptr;
    if (sqlite3_exec(m_db, sql, nullptr, nullptr, &message) == SQLITE_OK)
        return true;
    error = message ? message : "sqlite error";
    sqlite3_free(message);
    return false;
}

bool ReportStore::Open(const std::string& path, std::string& error) {
    std::lock_guard<std::mutex> guard(m_lock);
    if (sqlite3_open_v2(path.c_str(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
        SQLITE_OK) {
        error = m_db ? sqlite3_errmsg(m_db) : "cannot open database";
        sqlite3_close(m_db);
        m_db = nullptr;
        return false;
    }
    sqlite3_busy_timeout(m_db, 5000);
    return Exec("PRAGMA journal_mode=WAL;", error) && Exec(kSchema, error);
}

bool ReportStore::AddReport(const StoredReport& report, int64_t& id) {
    std::lock_guard<std::mutex> guard(m_lock);
    Statement s(m_db,
                "INSERT INTO reports(received_at, client_addr, app_id, uuid, install_status,"
                " version, document) VALUES(?,?,?,?,?,?,?)");
    if (!s.IsValid())
        return false;
    s.Bind(1, report.nReceivedAt);
    s.Bind(2, report.strClientAddr);
    s.Bind(3, report.strAppId);
    s.Bind(4, report.strUuid);
    s.Bind(5, report.strStatus);
    s.Bind(6, report.nVersion);
    s.Bind(7, report.strDocument);
    if (s.Step() != SQLITE_DONE)
        return false;
    id = sqlite3_last_insert_rowid(m_db);
    return true;
}

bool ReportStore::AddLog(const StoredLog& log, int64_t& id) {
    std::lock_guard<std::mutex> guard(m_lock);
    Statement s(m_db,
                "INSERT INTO logs(received_at, client_addr, app_id, log_type, uuid, file, size)"
                " VALUES(?,?,?,?,?,?,?)");
    if (!s.IsValid())
        return false;
    s.Bind(1, log.nReceivedAt);
    s.Bind(2, log.strClientAddr);
    s.Bind(3, log.strAppId);
    s.Bind(4, log.strLogType);
    s.Bind(5, log.strUuid);
    s.Bind(6, log.strFile);
    s.Bind(7, log.nSize);
    if (s.Step() != SQLITE_DONE)
        return false;
    id = sqlite3_last_insert_rowid(m_db);
    return true;
}

std::vector<StoredReport> ReportStore::Reports() {
    std::lock_guard<std::mutex> guard(m_lock);
    std::vector<StoredReport> out;
    Statement s(m_db, kReportColumns);
    while (s.IsValid() && s.Step() == SQLITE_ROW)
        out.push_back(ReadReport(s));
    return out;
}

std::vector<StoredLog> ReportStore::Logs() {
    std::lock_guard<std::mutex> guard(m_lock);
    std::vector<StoredLog> out;
    Statement s(m_db, (std::string(kLogColumns) + " ORDER BY id").c_str());
    while (s.IsValid() && s.Step() == SQLITE_ROW)
        out.push_back(ReadLog(s));
    return out;
}

bool ReportStore::FindLog(int64_t id, StoredLog& out) {
    std::lock_guard<std::mutex> guard(m_lock);
    Statement s(m_db, (std::string(kLogColumns) + " WHERE id = ?").c_str());
    if (!s.IsValid())
        return false;
    s.Bind(1, id);
    if (s.Step() != SQLITE_ROW)
        return false;
    out = ReadLog(s);
    return true;
}

int64_t ReportStore::CountReports() {
    std::lock_guard<std::mutex> guard(m_lock);
    Statement s(m_db, "SELECT COUNT(*) FROM reports");
    return s.IsValid() && s.Step() == SQLITE_ROW ? s.Int(0) : -1;
}

int64_t ReportStore::CountLogs() {
    std::lock_guard<std::mutex> guard(m_lock);
    Statement s(m_db, "SELECT COUNT(*) FROM logs");
    return s.IsValid() && s.Step() == SQLITE_ROW ? s.Int(0) : -1;
}
