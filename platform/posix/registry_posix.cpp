// The registry on POSIX: one SQLite file shared by every process of the user
// (or of the machine, for root). Every operation is one transaction; writers
// take the write lock up front (BEGIN IMMEDIATE) and wait for each other
// through the busy timeout, so concurrent writers from several processes lose
// nothing. Schema and view rules: docs/platform.md.
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "platform/log.h"
#include "platform/registry.h"

namespace {

constexpr int kBusyTimeoutMs = 30000;
constexpr int kBusyRetries = 5;
constexpr size_t kMaxKeyNameLen = 255;
constexpr int kSchemaVersion = 1;
constexpr LONG kErrorRegistryIo = 1016;  // ERROR_REGISTRY_IO_FAILED

// Fixed ids of the hive roots.
constexpr int64_t kRootClasses = 1;
constexpr int64_t kRootUser = 2;
constexpr int64_t kRootMachine = 3;

const char kSchema[] =
    "CREATE TABLE IF NOT EXISTS reg_key ("
    " id INTEGER PRIMARY KEY AUTOINCREMENT,"
    " parent INTEGER NOT NULL,"
    " name TEXT NOT NULL,"
    " name_fold TEXT NOT NULL,"
    " class TEXT NOT NULL DEFAULT '',"
    " UNIQUE (parent, name_fold));"
    "CREATE TABLE IF NOT EXISTS reg_value ("
    " key_id INTEGER NOT NULL,"
    " name TEXT NOT NULL,"
    " name_fold TEXT NOT NULL,"
    " type INTEGER NOT NULL,"
    " data BLOB NOT NULL,"
    " PRIMARY KEY (key_id, name_fold));"
    "INSERT OR IGNORE INTO reg_key (id, parent, name, name_fold) VALUES"
    " (1, 0, 'HKEY_CLASSES_ROOT', 'hkey_classes_root'),"
    " (2, 0, 'HKEY_CURRENT_USER', 'hkey_current_user'),"
    " (3, 0, 'HKEY_LOCAL_MACHINE', 'hkey_local_machine');";

std::string Fold(const std::string& name) {
    std::string out = name;
    for (auto& c : out) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

std::string EnvOr(const char* name, const std::string& fallback) {
    const char* v = getenv(name);
    return (v && *v) ? std::string(v) : fallback;
}

void MakeParentFolders(const std::string& file) {
    for (size_t i = 1; i < file.size(); ++i) {
        if (file[i] == '/')
            mkdir(file.substr(0, i).c_str(), 0755);
    }
}

// One prepared statement; the first failing step records its SQLite code in
// the transaction's error slot, and later statements of that transaction do nothing.
class Stmt {
public:
    Stmt(sqlite3* db, int& error, const char* sql) : m_error(error) {
        if (m_error == SQLITE_OK) {
            int rc = sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr);
            if (rc != SQLITE_OK)
                Fail(rc);
        }
    }
    ~Stmt() { sqlite3_finalize(m_stmt); }
    Stmt(const Stmt&) = delete;
    Stmt& operator=(const Stmt&) = delete;

    Stmt& Bind(int i, int64_t v) {
        if (m_stmt)
            sqlite3_bind_int64(m_stmt, i, v);
        return *this;
    }
    Stmt& Bind(int i, const std::string& s) {
        if (m_stmt)
            sqlite3_bind_text(m_stmt, i, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
        return *this;
    }
    Stmt& BindBlob(int i, const void* data, size_t size) {
        if (m_stmt) {
            sqlite3_bind_blob(m_stmt, i, size ? data : "", static_cast<int>(size),
                              SQLITE_TRANSIENT);
        }
        return *this;
    }
    // True while a row is available; false at the end and after a failure.
    bool Step() {
        if (!m_stmt || m_error != SQLITE_OK)
            return false;
        int rc = sqlite3_step(m_stmt);
        if (rc == SQLITE_ROW)
            return true;
        if (rc != SQLITE_DONE)
            Fail(rc);
        return false;
    }
    int64_t Int(int col) const { return sqlite3_column_int64(m_stmt, col); }
    std::string Text(int col) const {
        const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, col));
        return p ? std::string(p, static_cast<size_t>(sqlite3_column_bytes(m_stmt, col))) : "";
    }
    std::string Blob(int col) const {
        const auto* p = static_cast<const char*>(sqlite3_column_blob(m_stmt, col));
        return p ? std::string(p, static_cast<size_t>(sqlite3_column_bytes(m_stmt, col))) : "";
    }

private:
    void Fail(int rc) {
        if (m_error == SQLITE_OK)
            m_error = rc;
    }
    int& m_error;
    sqlite3_stmt* m_stmt = nullptr;
};

// What one operation sees: the connection and the transaction's error slot.
struct Tx {
    sqlite3* db;
    int error = SQLITE_OK;
    bool Exec(const char* sql) {
        if (error != SQLITE_OK)
            return false;
        int rc = sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
        if (rc != SQLITE_OK)
            error = rc;
        return rc == SQLITE_OK;
    }
};

bool IsBusy(int rc) {
    return (rc & 0xFF) == SQLITE_BUSY || (rc & 0xFF) == SQLITE_LOCKED;
}

// The process-wide connection. One operation at a time per process (the
// lock); other processes are kept apart by SQLite's file locks.
class Store {
public:
    enum Mode { kRead, kWrite };

    // Runs body(Tx&) -> LONG as one transaction; commits when it returns
    // ERROR_SUCCESS (or any status, for reads), retries when the file was busy.
    template <typename Body>
    LONG Run(Mode mode, Body body) {
        std::lock_guard<std::mutex> hold(m_lock);
        if (!Connect())
            return ERROR_ACCESS_DENIED;
        int lastError = SQLITE_OK;
        for (int attempt = 0; attempt < kBusyRetries; ++attempt) {
            Tx tx{m_db};
            if (!tx.Exec(mode == kWrite ? "BEGIN IMMEDIATE" : "BEGIN")) {
                lastError = tx.error;
                if (IsBusy(tx.error))
                    continue;
                break;
            }
            LONG status = body(tx);
            if (tx.error == SQLITE_OK && (status == ERROR_SUCCESS || mode == kRead)) {
                tx.Exec("COMMIT");
            }
            if (tx.error == SQLITE_OK) {
                if (status != ERROR_SUCCESS && mode == kWrite)
                    Rollback();
                return status;
            }
            lastError = tx.error;
            Rollback();
            if (!IsBusy(tx.error))
                break;
        }
        WriteLog("Registry store error %d (%s) in %s", lastError, sqlite3_errstr(lastError),
                 m_path.c_str());
        return IsBusy(lastError) ? ERROR_ACCESS_DENIED : kErrorRegistryIo;
    }

    std::string CurrentPath() {
        std::string data = EnvOr("XDG_DATA_HOME", EnvOr("HOME", "/root") + "/.local/share");
        return EnvOr("KORVEL_REGISTRY_DB", data + "/korvel/registry.db");
    }

private:
    void Rollback() {
        if (!sqlite3_get_autocommit(m_db))
            sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
    }

    // (Re)opens when the configured file changed or after a fork: a child
    // must not use its parent's connection, so that one is abandoned unclosed.
    bool Connect() {
        const std::string path = CurrentPath();
        if (m_db && m_pid != getpid()) {
            m_abandoned.push_back(m_db);
            m_db = nullptr;
        }
        if (m_db && path == m_path)
            return true;
        if (m_db)
            sqlite3_close_v2(m_db);
        m_db = nullptr;
        m_path = path;
        m_pid = getpid();
        MakeParentFolders(path);
        sqlite3* db = nullptr;
        int rc =
            sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
        if (rc == SQLITE_OK) {
            sqlite3_busy_timeout(db, kBusyTimeoutMs);
            rc = Prepare(db);
        }
        if (rc != SQLITE_OK) {
            WriteLog("Registry store %s cannot be opened: %s", path.c_str(), sqlite3_errstr(rc));
            sqlite3_close_v2(db);
            return false;
        }
        m_db = db;
        return true;
    }

    static int Prepare(sqlite3* db) {
        int rc = SQLITE_OK;
        for (int attempt = 0; attempt < kBusyRetries; ++attempt) {
            rc = sqlite3_exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL;", nullptr,
                              nullptr, nullptr);
            if (rc == SQLITE_OK) {
                Tx tx{db};
                tx.Exec("BEGIN IMMEDIATE");
                tx.Exec(kSchema);
                tx.Exec(("PRAGMA user_version=" + std::to_string(kSchemaVersion)).c_str());
                tx.Exec("COMMIT");
                rc = tx.error;
                if (!sqlite3_get_autocommit(db)) {
                    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
                }
            }
            if (!IsBusy(rc))
                break;
        }
        return rc;
    }

    std::mutex m_lock;
    sqlite3* m_db = nullptr;
    std::string m_path;
    pid_t m_pid = 0;
    std::vector<sqlite3*> m_abandoned;  // inherited over fork; kept reachable, never used
};

Store& GetStore() {
    static Store* store = new Store();  // lives until process exit
    return *store;
}

int64_t RootId(HKEY root) {
    if (root == HKEY_CLASSES_ROOT)
        return kRootClasses;
    if (root == HKEY_CURRENT_USER)
        return kRootUser;
    if (root == HKEY_LOCAL_MACHINE)
        return kRootMachine;
    return 0;
}

std::vector<std::string> SplitKeyPath(const char* path) {
    std::vector<std::string> parts;
    std::string p = path ? path : "";
    size_t pos = 0;
    while (pos <= p.size()) {
        size_t next = p.find('\\', pos);
        if (next == std::string::npos)
            next = p.size();
        if (next > pos)
            parts.push_back(p.substr(pos, next - pos));
        pos = next + 1;
    }
    return parts;
}

// The 32-bit view of HKLM\SOFTWARE is HKLM\SOFTWARE\WOW6432Node, as for a
// 32-bit program on 64-bit Windows.
void Redirect(int64_t start, bool view32, std::vector<std::string>& parts) {
    if (!view32 || start != kRootMachine || parts.empty())
        return;
    if (Fold(parts[0]) != "software")
        return;
    if (parts.size() > 1 && Fold(parts[1]) == "wow6432node")
        return;
    parts.insert(parts.begin() + 1, "WOW6432Node");
}

bool KeyExists(Tx& tx, int64_t id) {
    Stmt s(tx.db, tx.error, "SELECT 1 FROM reg_key WHERE id = ?");
    return s.Bind(1, id).Step();
}

int64_t FindChild(Tx& tx, int64_t parent, const std::string& name) {
    Stmt s(tx.db, tx.error, "SELECT id FROM reg_key WHERE parent = ? AND name_fold = ?");
    return s.Bind(1, parent).Bind(2, Fold(name)).Step() ? s.Int(0) : 0;
}

int64_t AddChild(Tx& tx, int64_t parent, const std::string& name) {
    Stmt s(tx.db, tx.error, "INSERT INTO reg_key (parent, name, name_fold) VALUES (?, ?, ?)");
    s.Bind(1, parent).Bind(2, name).Bind(3, Fold(name)).Step();
    return tx.error == SQLITE_OK ? sqlite3_last_insert_rowid(tx.db) : 0;
}

// Walks the path below start; creates missing keys when asked.
LONG Resolve(Tx& tx, int64_t start, const char* path, bool view32, bool create, int64_t& out) {
    std::vector<std::string> parts = SplitKeyPath(path);
    Redirect(start, view32, parts);
    int64_t id = start;
    for (const auto& part : parts) {
        if (part.size() > kMaxKeyNameLen)
            return ERROR_INVALID_PARAMETER;
        int64_t child = FindChild(tx, id, part);
        if (!child && create)
            child = AddChild(tx, id, part);
        if (!child)
            return ERROR_FILE_NOT_FOUND;  // a store error overrides it in Run
        id = child;
    }
    out = id;
    return ERROR_SUCCESS;
}

struct Value {
    DWORD type = REG_NONE;
    std::string data;
};

LONG ReadValue(Tx& tx, int64_t key, const char* name, Value& out) {
    if (!KeyExists(tx, key))
        return ERROR_KEY_DELETED;
    Stmt s(tx.db, tx.error, "SELECT type, data FROM reg_value WHERE key_id = ? AND name_fold = ?");
    if (!s.Bind(1, key).Bind(2, Fold(name ? name : "")).Step())
        return ERROR_FILE_NOT_FOUND;
    out.type = static_cast<DWORD>(s.Int(0));
    out.data = s.Blob(1);
    return ERROR_SUCCESS;
}

LONG WriteValue(Tx& tx, int64_t key, const char* name, DWORD type, const void* data, size_t size) {
    if (!KeyExists(tx, key))
        return ERROR_KEY_DELETED;
    const std::string n = name ? name : "";
    Stmt s(tx.db, tx.error,
           "INSERT INTO reg_value (key_id, name, name_fold, type, data) VALUES (?, ?, ?, ?, ?)"
           " ON CONFLICT (key_id, name_fold) DO UPDATE SET type = excluded.type,"
           " data = excluded.data");
    s.Bind(1, key).Bind(2, n).Bind(3, Fold(n)).Bind(4, static_cast<int64_t>(type));
    s.BindBlob(5, data, size).Step();
    return ERROR_SUCCESS;
}

// Deletes the values and sub-keys below id, and id itself when asked.
void DeleteTree(Tx& tx, int64_t id, bool includeSelf) {
    const char* tree =
        "WITH RECURSIVE sub(id) AS (SELECT id FROM reg_key WHERE parent = ?1"
        " UNION ALL SELECT k.id FROM reg_key k JOIN sub ON k.parent = sub.id) ";
    Stmt values(
        tx.db, tx.error,
        (std::string(tree) + "DELETE FROM reg_value WHERE key_id IN sub OR key_id = ?1").c_str());
    values.Bind(1, id).Step();
    Stmt keys(tx.db, tx.error, (std::string(tree) + "DELETE FROM reg_key WHERE id IN sub").c_str());
    keys.Bind(1, id).Step();
    if (includeSelf) {
        Stmt self(tx.db, tx.error, "DELETE FROM reg_key WHERE id = ? AND parent <> 0");
        self.Bind(1, id).Step();
    }
}

bool ViewIs32(DWORD access) {
    return (access & KEY_WOW64_64KEY) == 0;
}

}  // namespace

std::string GetRegistryStorePath() {
    return GetStore().CurrentPath();
}

CMyRegKey::~CMyRegKey() {
    Close();
}

LONG CMyRegKey::Create(HKEY root, const char* subKey) {
    Close();
    m_strSubKey = subKey ? subKey : "";
    const int64_t start = RootId(root);
    if (!start)
        return ERROR_INVALID_HANDLE;
    int64_t id = 0;
    LONG r = GetStore().Run(Store::kWrite,
                            [&](Tx& tx) { return Resolve(tx, start, subKey, true, true, id); });
    if (r == ERROR_SUCCESS) {
        m_hKey = id;
        m_nAccess = KEY_ALL_ACCESS;
    }
    return r;
}

LONG CMyRegKey::Open(HKEY root, const char* subKey, DWORD access) {
    Close();
    m_strSubKey = subKey ? subKey : "";
    const int64_t start = RootId(root);
    if (!start)
        return ERROR_INVALID_HANDLE;
    int64_t id = 0;
    LONG r = GetStore().Run(Store::kRead, [&](Tx& tx) {
        return Resolve(tx, start, subKey, ViewIs32(access), false, id);
    });
    if (r == ERROR_SUCCESS) {
        m_hKey = id;
        m_nAccess = access;
    }
    return r;
}

LONG CMyRegKey::Close() {
    m_hKey = 0;
    m_nAccess = 0;
    return ERROR_SUCCESS;
}

LONG CMyRegKey::SetString(const char* name, const char* value) {
    if (!m_hKey)
        return ERROR_INVALID_HANDLE;
    if (!(m_nAccess & KEY_SET_VALUE))
        return ERROR_ACCESS_DENIED;
    const std::string text = value ? value : "";
    const int64_t key = m_hKey;
    return GetStore().Run(Store::kWrite, [&](Tx& tx) {
        return WriteValue(tx, key, name, REG_SZ, text.c_str(), text.size() + 1);
    });
}

LONG CMyRegKey::SetDword(const char* name, DWORD value) {
    if (!m_hKey)
        return ERROR_INVALID_HANDLE;
    if (!(m_nAccess & KEY_SET_VALUE))
        return ERROR_ACCESS_DENIED;
    unsigned char bytes[4];
    for (int i = 0; i < 4; ++i)
        bytes[i] = static_cast<unsigned char>(value >> (8 * i));
    const int64_t key = m_hKey;
    return GetStore().Run(Store::kWrite,
                          [&](Tx& tx) { return WriteValue(tx, key, name, REG_DWORD, bytes, 4); });
}

LONG CMyRegKey::QueryValue(const char* name, void* buffer, DWORD* size) {
    if (!m_hKey)
        return ERROR_INVALID_HANDLE;
    if (!(m_nAccess & KEY_QUERY_VALUE))
        return ERROR_ACCESS_DENIED;
    if (buffer && !size)
        return ERROR_INVALID_PARAMETER;
    Value v;
    const int64_t key = m_hKey;
    LONG r = GetStore().Run(Store::kRead, [&](Tx& tx) { return ReadValue(tx, key, name, v); });
    if (r != ERROR_SUCCESS)
        return r;
    const DWORD needed = static_cast<DWORD>(v.data.size());
    if (buffer && *size < needed) {
        *size = needed;
        return ERROR_MORE_DATA;
    }
    if (buffer && needed)
        memcpy(buffer, v.data.data(), needed);
    if (size)
        *size = needed;
    if (v.type != REG_SZ && v.type != REG_EXPAND_SZ && v.type != REG_MULTI_SZ)
        return -1;
    return ERROR_SUCCESS;
}

namespace {
// RegQueryValueEx into a fixed buffer: more data than fits is ERROR_MORE_DATA.
LONG QueryFixed(int64_t key, DWORD access, const char* name, size_t capacity, Value& v) {
    if (!key)
        return ERROR_INVALID_HANDLE;
    if (!(access & KEY_QUERY_VALUE))
        return ERROR_ACCESS_DENIED;
    LONG r = GetStore().Run(Store::kRead, [&](Tx& tx) { return ReadValue(tx, key, name, v); });
    if (r == ERROR_SUCCESS && v.data.size() > capacity)
        return ERROR_MORE_DATA;
    return r;
}

int DwordOf(const std::string& data) {
    unsigned char bytes[4] = {0, 0, 0, 0};
    memcpy(bytes, data.data(), data.size() < 4 ? data.size() : 4);
    uint32_t v =
        bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
    return static_cast<int>(v);
}
}  // namespace

LONG CMyRegKey::QueryString(const char* name, std::string& out) {
    Value v;
    LONG r = QueryFixed(m_hKey, m_nAccess, name, 200, v);
    if (r == ERROR_SUCCESS)
        out.assign(v.data.c_str(), strnlen(v.data.c_str(), v.data.size()));
    return r;
}

LONG CMyRegKey::QueryDword(const char* name, int& out) {
    Value v;
    LONG r = QueryFixed(m_hKey, m_nAccess, name, 4, v);
    if (r == ERROR_SUCCESS)
        out = DwordOf(v.data);
    return r;
}

LONG CMyRegKey::QueryDwordStrict(const char* name, int& out) {
    Value v;
    LONG r = QueryFixed(m_hKey, m_nAccess, name, 4, v);
    if (r != ERROR_SUCCESS)
        return r;
    out = DwordOf(v.data);
    return (v.type == REG_DWORD && v.data.size() == 4) ? ERROR_SUCCESS : -1;
}

LONG CMyRegKey::QueryInfo(RegKeyInfo& info) {
    if (!m_hKey)
        return ERROR_INVALID_HANDLE;
    if (!(m_nAccess & KEY_QUERY_VALUE))
        return ERROR_ACCESS_DENIED;
    const int64_t key = m_hKey;
    RegKeyInfo result;
    LONG r = GetStore().Run(Store::kRead, [&](Tx& tx) -> LONG {
        Stmt k(tx.db, tx.error, "SELECT class FROM reg_key WHERE id = ?");
        if (!k.Bind(1, key).Step())
            return ERROR_KEY_DELETED;  // or a store error, see Run
        std::string cls = k.Text(0).substr(0, sizeof(result.szClass) - 1);
        memcpy(result.szClass, cls.c_str(), cls.size() + 1);
        result.nClassLen = static_cast<DWORD>(cls.size());
        Stmt subs(tx.db, tx.error,
                  "SELECT count(*), coalesce(max(length(CAST(name AS BLOB))), 0),"
                  " coalesce(max(length(CAST(class AS BLOB))), 0) FROM reg_key WHERE parent = ?");
        if (subs.Bind(1, key).Step()) {
            result.nSubKeys = static_cast<DWORD>(subs.Int(0));
            result.nMaxSubKeyLen = static_cast<DWORD>(subs.Int(1));
            result.nMaxClassLen = static_cast<DWORD>(subs.Int(2));
        }
        Stmt vals(tx.db, tx.error,
                  "SELECT count(*), coalesce(max(length(CAST(name AS BLOB))), 0),"
                  " coalesce(max(length(data)), 0) FROM reg_value WHERE key_id = ?");
        if (vals.Bind(1, key).Step()) {
            result.nValues = static_cast<DWORD>(vals.Int(0));
            result.nMaxValueNameLen = static_cast<DWORD>(vals.Int(1));
            result.nMaxValueLen = static_cast<DWORD>(vals.Int(2));
        }
        return ERROR_SUCCESS;
    });
    if (r == ERROR_SUCCESS)
        info = result;
    return r;
}

LONG CMyRegKey::EnumKey(DWORD index, char name[256]) {
    if (!m_hKey)
        return ERROR_INVALID_HANDLE;
    if (!(m_nAccess & KEY_ENUMERATE_SUB_KEYS))
        return ERROR_ACCESS_DENIED;
    if (!name)
        return ERROR_INVALID_PARAMETER;
    const int64_t key = m_hKey;
    std::string found;
    LONG r = GetStore().Run(Store::kRead, [&](Tx& tx) -> LONG {
        if (!KeyExists(tx, key))
            return ERROR_KEY_DELETED;
        Stmt s(tx.db, tx.error,
               "SELECT name FROM reg_key WHERE parent = ? ORDER BY name_fold LIMIT 1 OFFSET ?");
        if (!s.Bind(1, key).Bind(2, static_cast<int64_t>(index)).Step()) {
            return ERROR_NO_MORE_ITEMS;
        }
        found = s.Text(0);
        return ERROR_SUCCESS;
    });
    if (r != ERROR_SUCCESS)
        return r;
    if (found.size() > kMaxKeyNameLen)
        return ERROR_MORE_DATA;
    memcpy(name, found.c_str(), found.size() + 1);
    return ERROR_SUCCESS;
}

LONG CMyRegKey::DeleteValue(const char* name) {
    if (!m_hKey)
        return ERROR_INVALID_HANDLE;
    if (!(m_nAccess & KEY_SET_VALUE))
        return ERROR_ACCESS_DENIED;
    const int64_t key = m_hKey;
    return GetStore().Run(Store::kWrite, [&](Tx& tx) -> LONG {
        if (!KeyExists(tx, key))
            return ERROR_KEY_DELETED;
        Stmt s(tx.db, tx.error, "DELETE FROM reg_value WHERE key_id = ? AND name_fold = ?");
        s.Bind(1, key).Bind(2, Fold(name ? name : "")).Step();
        return sqlite3_changes(tx.db) > 0 ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
    });
}

LONG CMyRegKey::DeleteSubKeyTree(const char* subKey) {
    if (!m_hKey)
        return ERROR_INVALID_HANDLE;
    const DWORD needed = KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE;
    if ((m_nAccess & needed) != needed)
        return ERROR_ACCESS_DENIED;
    const int64_t key = m_hKey;
    const bool view32 = ViewIs32(m_nAccess);
    return GetStore().Run(Store::kWrite, [&](Tx& tx) -> LONG {
        if (!KeyExists(tx, key))
            return ERROR_KEY_DELETED;
        int64_t target = key;
        const bool whole = subKey && !SplitKeyPath(subKey).empty();
        if (whole) {
            LONG r = Resolve(tx, key, subKey, view32, false, target);
            if (r != ERROR_SUCCESS)
                return r;
        }
        DeleteTree(tx, target, whole);
        return ERROR_SUCCESS;
    });
}
