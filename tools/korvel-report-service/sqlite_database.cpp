#include <sqlite3.h>

#include <mutex>

#include "sql_database.h"

namespace {

// A prepared statement finalised on every road out.
class Statement {
public:
    Statement(sqlite3* db, const std::string& sql) {
        sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()), &m_stmt, nullptr);
    }
    ~Statement() { sqlite3_finalize(m_stmt); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool IsValid() const { return m_stmt != nullptr; }
    // Binds by name, so a placeholder used twice ($5 … $5) takes one value.
    bool Bind(size_t number, const SqlValue& value) {
        const std::string name = "$" + std::to_string(number);
        const int index = sqlite3_bind_parameter_index(m_stmt, name.c_str());
        if (index == 0)
            return true;  // not used by this statement
        switch (value.kind) {
            case SqlValue::Kind::Int:
                return sqlite3_bind_int64(m_stmt, index, value.number) == SQLITE_OK;
            case SqlValue::Kind::Text:
                return sqlite3_bind_text64(m_stmt, index, value.bytes.data(), value.bytes.size(),
                                           SQLITE_TRANSIENT, SQLITE_UTF8) == SQLITE_OK;
            case SqlValue::Kind::Blob:
                return sqlite3_bind_blob64(m_stmt, index, value.bytes.data(), value.bytes.size(),
                                           SQLITE_TRANSIENT) == SQLITE_OK;
        }
        return false;
    }
    int Step() { return sqlite3_step(m_stmt); }
    SqlRow Row() {
        SqlRow row;
        const int columns = sqlite3_column_count(m_stmt);
        for (int c = 0; c < columns; ++c) {
            const void* data = sqlite3_column_blob(m_stmt, c);
            const int size = sqlite3_column_bytes(m_stmt, c);
            row.emplace_back(
                data ? std::string(static_cast<const char*>(data), static_cast<size_t>(size))
                     : std::string());
        }
        return row;
    }

private:
    sqlite3_stmt* m_stmt = nullptr;
};

// One connection behind one lock: SQLite writes one at a time anyway.
class SqliteDatabase : public SqlDatabase {
public:
    explicit SqliteDatabase(sqlite3* db) : m_db(db) {}
    ~SqliteDatabase() override { sqlite3_close(m_db); }

    SqlDialect Dialect() const override { return SqlDialect::Sqlite; }

    bool Run(const std::string& sql, const std::vector<SqlValue>& params, std::vector<SqlRow>* rows,
             std::string& error) override {
        std::lock_guard<std::mutex> guard(m_lock);
        Statement s(m_db, sql);
        if (!s.IsValid())
            return Fail(error);
        for (size_t i = 0; i < params.size(); ++i) {
            if (!s.Bind(i + 1, params[i]))
                return Fail(error);
        }
        for (;;) {
            const int step = s.Step();
            if (step == SQLITE_DONE)
                return true;
            if (step != SQLITE_ROW)
                return Fail(error);
            if (rows)
                rows->push_back(s.Row());
        }
    }

    bool RunScript(const std::string& sql, std::string& error) override {
        std::lock_guard<std::mutex> guard(m_lock);
        if (!Exec("BEGIN IMMEDIATE;", error))
            return false;
        if (!Exec(sql.c_str(), error)) {
            std::string ignored;
            Exec("ROLLBACK;", ignored);
            return false;
        }
        return Exec("COMMIT;", error);
    }

    bool Exec(const char* sql, std::string& error) {
        char* message = nullptr;
        if (sqlite3_exec(m_db, sql, nullptr, nullptr, &message) == SQLITE_OK)
            return true;
        error = message ? message : "sqlite error";
        sqlite3_free(message);
        return false;
    }

private:
    bool Fail(std::string& error) {
        error = sqlite3_errmsg(m_db);
        return false;
    }

    std::mutex m_lock;
    sqlite3* m_db;
};

}  // namespace

std::unique_ptr<SqlDatabase> OpenSqliteDatabase(const std::string& path, std::string& error) {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
        SQLITE_OK) {
        error = db ? sqlite3_errmsg(db) : "cannot open database";
        sqlite3_close(db);
        return nullptr;
    }
    sqlite3_busy_timeout(db, 5000);
    auto database = std::make_unique<SqliteDatabase>(db);
    if (!database->Exec("PRAGMA journal_mode=WAL;", error))
        return nullptr;
    return database;
}

bool IsPostgresLocation(const std::string& location) {
    return location.rfind("postgresql://", 0) == 0 || location.rfind("postgres://", 0) == 0;
}
