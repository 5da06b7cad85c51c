#include <sqlite3.h>

#include <condition_variable>
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

// One statement a caller waits for.
struct Job {
    const std::string& sql;
    const std::vector<SqlValue>& params;
    std::vector<SqlRow>* rows;
    size_t nRowsBefore;  // rows of a statement that is undone are dropped again
    std::string error;
    bool ok = false;
    bool done = false;
};

// One connection behind one lock. Each commit waits for the disk, so the
// statements that queue up while one batch commits run together in the next
// transaction (group commit): one disk wait for many posts, and every caller
// still hears of its statement only once it is durable.
class SqliteDatabase : public SqlDatabase {
public:
    explicit SqliteDatabase(sqlite3* db) : m_db(db) {}
    ~SqliteDatabase() override { sqlite3_close(m_db); }

    SqlDialect Dialect() const override { return SqlDialect::Sqlite; }

    bool Run(const std::string& sql, const std::vector<SqlValue>& params, std::vector<SqlRow>* rows,
             std::string& error) override {
        Job job{sql, params, rows, rows ? rows->size() : 0, {}, false, false};
        std::unique_lock<std::mutex> queue(m_queueLock);
        m_queue.push_back(&job);
        while (!job.done) {
            if (m_bBatchRunning) {
                m_batchDone.wait(queue);
                continue;
            }
            // This caller commits everything queued so far, its own job included.
            std::vector<Job*> batch;
            batch.swap(m_queue);
            m_bBatchRunning = true;
            queue.unlock();
            RunBatch(batch);
            queue.lock();
            for (Job* j : batch)
                j->done = true;
            m_bBatchRunning = false;
            m_batchDone.notify_all();
        }
        if (!job.ok)
            error = job.error;
        return job.ok;
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

    bool Execute(Job& job) {
        Statement s(m_db, job.sql);
        if (!s.IsValid())
            return Fail(job.error);
        for (size_t i = 0; i < job.params.size(); ++i) {
            if (!s.Bind(i + 1, job.params[i]))
                return Fail(job.error);
        }
        for (;;) {
            const int step = s.Step();
            if (step == SQLITE_DONE)
                return true;
            if (step != SQLITE_ROW)
                return Fail(job.error);
            if (job.rows)
                job.rows->push_back(s.Row());
        }
    }

    void RunBatch(const std::vector<Job*>& batch) {
        std::lock_guard<std::mutex> guard(m_lock);
        if (batch.size() == 1) {
            batch[0]->ok = Execute(*batch[0]);
            return;
        }
        std::string error;
        if (!Exec("BEGIN IMMEDIATE;", error)) {
            for (Job* job : batch)
                job->error = error;
            return;
        }
        // A savepoint per statement: one that fails leaves the others in.
        for (Job* job : batch) {
            std::string ignored;
            Exec("SAVEPOINT job;", ignored);
            job->ok = Execute(*job);
            if (!job->ok) {
                Exec("ROLLBACK TO job;", ignored);
                if (job->rows)
                    job->rows->resize(job->nRowsBefore);
            }
            Exec("RELEASE job;", ignored);
        }
        if (Exec("COMMIT;", error))
            return;
        Exec("ROLLBACK;", error);
        for (Job* job : batch) {
            job->ok = false;
            job->error = "commit failed: " + error;
            if (job->rows)
                job->rows->resize(job->nRowsBefore);
        }
    }

    std::mutex m_lock;  // the connection
    sqlite3* m_db;
    std::mutex m_queueLock;  // guards the two below
    std::vector<Job*> m_queue;
    bool m_bBatchRunning = false;
    std::condition_variable m_batchDone;
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
