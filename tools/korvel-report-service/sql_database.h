// The two stores the service runs on, SQLite (one process) and PostgreSQL
// (several processes sharing one database), behind one small interface so
// that the report store sends both the same SQL text.
// Statements use $1..$n placeholders, which both engines accept. A row comes
// back as one string per column: integers in decimal, text and blobs as
// their bytes, NULL as an empty string.
// Thread rule: Run may be called from any thread; each implementation
// serialises or pools its connections itself.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct SqlValue {
    enum class Kind { Int, Text, Blob };
    Kind kind = Kind::Text;
    int64_t number = 0;
    std::string bytes;

    static SqlValue Int(int64_t n) { return {Kind::Int, n, {}}; }
    static SqlValue Text(std::string s) { return {Kind::Text, 0, std::move(s)}; }
    static SqlValue Blob(std::string s) { return {Kind::Blob, 0, std::move(s)}; }
};

using SqlRow = std::vector<std::string>;

enum class SqlDialect { Sqlite, Postgres };

class SqlDatabase {
public:
    virtual ~SqlDatabase() = default;
    virtual SqlDialect Dialect() const = 0;
    // One statement; its rows (RETURNING included) go to `rows` when given.
    virtual bool Run(const std::string& sql, const std::vector<SqlValue>& params,
                     std::vector<SqlRow>* rows, std::string& error) = 0;
    // Several parameterless statements in one transaction (schema set-up).
    virtual bool RunScript(const std::string& sql, std::string& error) = 0;
};

// A SQLite file, created when missing, in WAL mode so outside readers do not block.
std::unique_ptr<SqlDatabase> OpenSqliteDatabase(const std::string& path, std::string& error);
// A PostgreSQL connection string (postgresql://…); up to `poolSize` connections.
std::unique_ptr<SqlDatabase> OpenPostgresDatabase(const std::string& conninfo, int poolSize,
                                                  std::string& error);
// "postgresql://…" or "postgres://…" selects PostgreSQL; anything else is a SQLite file.
bool IsPostgresLocation(const std::string& location);
