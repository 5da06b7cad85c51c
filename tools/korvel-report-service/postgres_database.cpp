#include <libpq-fe.h>

#include <condition_variable>
#include <mutex>

#include "sql_database.h"

namespace {

// Type oids of the parameters, so that no statement needs a cast.
constexpr Oid kInt8Oid = 20;
constexpr Oid kTextOid = 25;
constexpr Oid kByteaOid = 17;

using ResultPtr = std::unique_ptr<PGresult, decltype(&PQclear)>;

std::string ColumnValue(const PGresult* res, int row, int column) {
    if (PQgetisnull(res, row, column))
        return {};
    const char* text = PQgetvalue(res, row, column);
    if (PQftype(res, column) != kByteaOid)
        return std::string(text, static_cast<size_t>(PQgetlength(res, row, column)));
    size_t size = 0;
    unsigned char* bytes = PQunescapeBytea(reinterpret_cast<const unsigned char*>(text), &size);
    std::string out(reinterpret_cast<const char*>(bytes), bytes ? size : 0);
    PQfreemem(bytes);
    return out;
}

bool IsSuccess(const PGresult* res) {
    const ExecStatusType status = PQresultStatus(res);
    return status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
}

// A small pool: each request borrows one connection for one statement, so
// the database sees as many concurrent statements as the pool allows.
class PostgresDatabase : public SqlDatabase {
public:
    PostgresDatabase(std::string conninfo, int poolSize)
        : m_conninfo(std::move(conninfo)), m_nMaxConnections(poolSize) {}
    ~PostgresDatabase() override {
        for (PGconn* conn : m_idle)
            PQfinish(conn);
    }

    SqlDialect Dialect() const override { return SqlDialect::Postgres; }

    bool Connect(std::string& error) {
        PGconn* conn = nullptr;
        if (!Borrow(conn, error))
            return false;
        Return(conn);
        return true;
    }

    bool Run(const std::string& sql, const std::vector<SqlValue>& params, std::vector<SqlRow>* rows,
             std::string& error) override {
        PGconn* conn = nullptr;
        if (!Borrow(conn, error))
            return false;
        ResultPtr res = Execute(conn, sql, params);
        // A connection the server dropped (restart, fail-over) is renewed once.
        if (!IsSuccess(res.get()) && PQstatus(conn) == CONNECTION_BAD) {
            PQreset(conn);
            if (PQstatus(conn) == CONNECTION_OK)
                res = Execute(conn, sql, params);
        }
        const bool ok = IsSuccess(res.get());
        if (!ok)
            error = PQerrorMessage(conn);
        if (ok && rows) {
            for (int r = 0; r < PQntuples(res.get()); ++r) {
                SqlRow row;
                for (int c = 0; c < PQnfields(res.get()); ++c)
                    row.push_back(ColumnValue(res.get(), r, c));
                rows->push_back(std::move(row));
            }
        }
        Return(conn);
        return ok;
    }

    bool RunScript(const std::string& sql, std::string& error) override {
        PGconn* conn = nullptr;
        if (!Borrow(conn, error))
            return false;
        // Several statements in one simple query run as one transaction.
        ResultPtr res(PQexec(conn, ("BEGIN;" + sql + "COMMIT;").c_str()), PQclear);
        const bool ok = IsSuccess(res.get());
        if (!ok) {
            error = PQerrorMessage(conn);
            ResultPtr rollback(PQexec(conn, "ROLLBACK"), PQclear);
        }
        Return(conn);
        return ok;
    }

private:
    static ResultPtr Execute(PGconn* conn, const std::string& sql,
                             const std::vector<SqlValue>& params) {
        std::vector<std::string> numbers(params.size());
        std::vector<const char*> values(params.size());
        std::vector<int> lengths(params.size());
        std::vector<int> formats(params.size());
        std::vector<Oid> types(params.size());
        for (size_t i = 0; i < params.size(); ++i) {
            const SqlValue& p = params[i];
            if (p.kind == SqlValue::Kind::Int) {
                numbers[i] = std::to_string(p.number);
                values[i] = numbers[i].c_str();
                types[i] = kInt8Oid;
            } else {
                values[i] = p.bytes.data();
                lengths[i] = static_cast<int>(p.bytes.size());
                formats[i] = 1;  // raw bytes: no escaping, no NUL trouble
                types[i] = p.kind == SqlValue::Kind::Blob ? kByteaOid : kTextOid;
            }
        }
        return ResultPtr(
            PQexecParams(conn, sql.c_str(), static_cast<int>(params.size()), types.data(),
                         values.data(), lengths.data(), formats.data(), 0),
            PQclear);
    }

    bool Borrow(PGconn*& conn, std::string& error) {
        std::unique_lock<std::mutex> lock(m_lock);
        m_available.wait(lock, [this] { return !m_idle.empty() || m_nOpen < m_nMaxConnections; });
        if (!m_idle.empty()) {
            conn = m_idle.back();
            m_idle.pop_back();
            return true;
        }
        ++m_nOpen;
        lock.unlock();
        conn = PQconnectdb(m_conninfo.c_str());
        if (PQstatus(conn) == CONNECTION_OK) {
            // "relation already exists, skipping" on every start is not news.
            PQsetNoticeProcessor(
                conn, [](void*, const char*) {}, nullptr);
            return true;
        }
        error = conn ? PQerrorMessage(conn) : "out of memory";
        PQfinish(conn);
        conn = nullptr;
        lock.lock();
        --m_nOpen;
        m_available.notify_one();
        return false;
    }

    void Return(PGconn* conn) {
        std::lock_guard<std::mutex> guard(m_lock);
        m_idle.push_back(conn);
        m_available.notify_one();
    }

    const std::string m_conninfo;
    const int m_nMaxConnections;
    std::mutex m_lock;  // guards m_idle and m_nOpen
    std::condition_variable m_available;
    std::vector<PGconn*> m_idle;
    int m_nOpen = 0;
};

}  // namespace

std::unique_ptr<SqlDatabase> OpenPostgresDatabase(const std::string& conninfo, int poolSize,
                                                  std::string& error) {
    auto database = std::make_unique<PostgresDatabase>(conninfo, poolSize < 1 ? 1 : poolSize);
    if (!database->Connect(error))
        return nullptr;
    return database;
}
