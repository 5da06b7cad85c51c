// The report store on both engines: the same statements must give the same
// results on SQLite and on a real PostgreSQL server, and several service
// instances sharing one PostgreSQL database must lose nothing.
#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <sqlite3.h>

#include <atomic>
#include <set>
#include <thread>

#include "report_store.h"
#include "sql_database.h"
#include "tests/report/postgres_server.h"
#include "tests/report/service_fixture.h"
#include "tests/support/test_support.h"

using namespace service_test;

namespace {

// One server for the whole program, stopped at its exit; each test takes a
// database of its own.
PostgresServer& Server() {
    static PostgresServer server;
    return server;
}

int g_nDatabase = 0;

class StoreTest : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        if (std::string(GetParam()) == "sqlite") {
            location = tmp.Sub("reports.db");
            return;
        }
        if (!Server().IsRunning())
            GTEST_SKIP() << "no PostgreSQL server: " << Server().Problem();
        location = Server().CreateDatabase("korvel_" + std::to_string(++g_nDatabase));
        ASSERT_FALSE(location.empty());
    }
    bool IsPostgres() const { return std::string(GetParam()) == "postgres"; }
    // A statement run behind the store's back.
    void RawExec(const std::string& sql) {
        if (IsPostgres()) {
            PGconn* conn = PQconnectdb(location.c_str());
            PGresult* res = PQexec(conn, sql.c_str());
            EXPECT_EQ(PQresultStatus(res), PGRES_COMMAND_OK) << PQerrorMessage(conn);
            PQclear(res);
            PQfinish(conn);
            return;
        }
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(location.c_str(), &db), SQLITE_OK);
        EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(db);
    }

    korvel_test::TempDir tmp;
    std::string location;
};

StoredLog Log(const std::string& uuid, int64_t at = 100) {
    StoredLog log;
    log.nReceivedAt = at;
    log.strClientAddr = "192.0.2.1";
    log.strAppId = "Korvel 12";
    log.strLogType = "install_fail";
    log.strUuid = uuid;
    return log;
}

}  // namespace

TEST_P(StoreTest, ReportsAndLogsRoundTripByteForByte) {
    ReportStore store;
    std::string error;
    ASSERT_TRUE(store.Open(location, error)) << error;
    EXPECT_EQ(store.IsPostgres(), IsPostgres());
    StoredReport report;
    report.nReceivedAt = 1796803542;
    report.strClientAddr = "::1";
    report.strAppId = "Korvel 12 \xc3\xa9";
    report.strUuid = kRunUuid;
    report.strStatus = "success";
    report.nVersion = INT64_MIN;
    report.strDocument = "{\"version\":1015,\"k\":\"\xff\xfe \\u0000 '\\\" ;--\"}";
    int64_t first = 0, second = 0;
    ASSERT_TRUE(store.AddReport(report, first));
    report.nReceivedAt += 86400;
    ASSERT_TRUE(store.AddReport(report, second));
    EXPECT_GT(second, first);
    const auto all = store.Reports();
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0].nId, first);
    EXPECT_EQ(all[0].strDocument, report.strDocument);
    EXPECT_EQ(all[0].strAppId, report.strAppId);
    EXPECT_EQ(all[0].nVersion, INT64_MIN);
    EXPECT_EQ(store.Reports(report.nReceivedAt).size(), 1u);

    const std::string binary("line\0\x80\xff\r\n", 9);
    int64_t id = 0;
    ASSERT_EQ(store.AddLog(Log(kRunUuid), binary, LogQuota(), id), LogOutcome::Stored);
    StoredLog found;
    std::string content;
    ASSERT_TRUE(store.FindLog(id, found, &content));
    EXPECT_EQ(content, binary);
    EXPECT_EQ(found.nSize, 9);
    EXPECT_EQ(found.strClientAddr, "192.0.2.1");
    EXPECT_FALSE(store.FindLog(id + 1, found, &content));
    EXPECT_EQ(store.LogBytes(), 9);
    store.Bump(counter::kLogCopiesDropped);
    store.Bump(counter::kLogCopiesDropped);
    EXPECT_EQ(store.Counters()[counter::kLogCopiesDropped], 2);
}

TEST_P(StoreTest, LogBoundsPerRunAndInTotal) {
    ReportStore store;
    std::string error;
    ASSERT_TRUE(store.Open(location, error)) << error;
    LogQuota quota;
    quota.nStoreBytes = 10;
    int64_t id = 0;
    for (int copy = 0; copy < 3; ++copy)
        ASSERT_EQ(store.AddLog(Log(kRunUuid), "ab", quota, id), LogOutcome::Stored);
    EXPECT_EQ(store.AddLog(Log(kRunUuid), "ab", quota, id), LogOutcome::CopyLimit);
    EXPECT_EQ(store.AddLog(Log("B"), "abcde", quota, id), LogOutcome::StoreFull);
    EXPECT_EQ(store.AddLog(Log("B"), "abcd", quota, id), LogOutcome::Stored);
    EXPECT_EQ(store.CountLogs(), 4);
    EXPECT_EQ(store.LogBytes(), 10);
}

TEST_P(StoreTest, SchemaIsVersionedAndKeptAcrossRestarts) {
    {
        ReportStore store;
        std::string error;
        ASSERT_TRUE(store.Open(location, error)) << error;
        int64_t id = 0;
        ASSERT_TRUE(store.AddReport(StoredReport{0, 5, "a", "b", "c", "start", 1, "{}"}, id));
    }
    {
        ReportStore again;
        std::string error;
        ASSERT_TRUE(again.Open(location, error)) << error;
        EXPECT_EQ(again.CountReports(), 1);
    }
    RawExec("UPDATE schema_version SET version = 2");
    ReportStore newer;
    std::string error;
    EXPECT_FALSE(newer.Open(location, error));
    EXPECT_NE(error.find("version 2"), std::string::npos) << error;
}

TEST_P(StoreTest, TablesOfTheUnversionedServiceAreRefused) {
    RawExec(
        "CREATE TABLE logs(id INTEGER PRIMARY KEY, received_at INTEGER, client_addr TEXT,"
        " app_id TEXT, log_type TEXT, uuid TEXT, file TEXT, size INTEGER)");
    ReportStore store;
    std::string error;
    EXPECT_FALSE(store.Open(location, error));
    EXPECT_NE(error.find("older"), std::string::npos) << error;
}

INSTANTIATE_TEST_SUITE_P(Engines, StoreTest, ::testing::Values("sqlite", "postgres"),
                         [](const auto& info) { return std::string(info.param); });

// Many writers at once share SQLite transactions; a statement that fails
// inside one must not take the others with it, nor leave rows behind.
TEST(SqliteGroupCommit, AFailingStatementLeavesTheOthersOfItsBatchIn) {
    korvel_test::TempDir tmp;
    std::string error;
    auto db = OpenSqliteDatabase(tmp.Sub("batch.db"), error);
    ASSERT_TRUE(db) << error;
    ASSERT_TRUE(db->RunScript("CREATE TABLE t(id INTEGER PRIMARY KEY, k TEXT UNIQUE);", error));
    constexpr int kThreads = 16;
    constexpr int kPerThread = 50;
    std::atomic<int> inserted{0}, refused{0};
    std::vector<std::thread> threads;
    std::mutex idsLock;
    std::set<std::string> ids;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kPerThread; ++i) {
                // Every fifth key repeats one that another thread also writes.
                const std::string key = i % 5 == 0 ? "shared" + std::to_string(i)
                                                   : std::to_string(t) + "-" + std::to_string(i);
                std::vector<SqlRow> rows;
                std::string failure;
                if (db->Run("INSERT INTO t(k) VALUES($1) RETURNING id", {SqlValue::Text(key)},
                            &rows, failure)) {
                    ++inserted;
                    ASSERT_EQ(rows.size(), 1u);
                    std::lock_guard<std::mutex> guard(idsLock);
                    EXPECT_TRUE(ids.insert(rows[0][0]).second) << "id handed out twice";
                } else {
                    ++refused;
                    EXPECT_TRUE(rows.empty());
                    EXPECT_NE(failure.find("UNIQUE"), std::string::npos) << failure;
                }
            }
        });
    }
    for (auto& t : threads)
        t.join();
    const int sharedKeys = kPerThread / 5;
    EXPECT_EQ(refused.load(), sharedKeys * (kThreads - 1));
    EXPECT_EQ(inserted.load(), kThreads * kPerThread - refused.load());
    std::vector<SqlRow> count;
    ASSERT_TRUE(db->Run("SELECT COUNT(*) FROM t", {}, &count, error));
    EXPECT_EQ(count[0][0], std::to_string(inserted.load()));
}

// Two service instances on two ports, one database: every acknowledged
// report is stored exactly once, and the per-run log bound holds across both.
TEST(SharedStore, TwoInstancesOnOnePostgresLoseNothing) {
    if (!Server().IsRunning())
        GTEST_SKIP() << "no PostgreSQL server: " << Server().Problem();
    const std::string url = Server().CreateDatabase("korvel_shared");
    ASSERT_FALSE(url.empty());
    ServiceOptions options;
    options.dbPath = url;
    options.maxPostsPerMinute = 0;
    // Both open at once: the schema is created once.
    std::unique_ptr<RunningService> a, b;
    std::thread openA([&] { a = std::make_unique<RunningService>(options); });
    std::thread openB([&] { b = std::make_unique<RunningService>(options); });
    openA.join();
    openB.join();
    ASSERT_TRUE(a->IsServing() && b->IsServing());

    constexpr int kThreads = 8;
    constexpr int kPerThread = 40;
    std::atomic<int> acked{0}, logsAcked{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            auto client = (t % 2 ? a : b)->Client();
            for (int i = 0; i < kPerThread; ++i) {
                char uuid[33];
                snprintf(uuid, sizeof(uuid), "%016X%016X", t, i);
                if (Status(PostReport(*client, ReportJson("downLoad_fail", uuid))) == 200)
                    ++acked;
                // Every thread also retries one shared run's log.
                if (i % 8 == 0 && Status(PostLog(*client, "shared run log")) == 200)
                    ++logsAcked;
            }
        });
    }
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(acked.load(), kThreads * kPerThread);
    EXPECT_EQ(logsAcked.load(), kThreads * kPerThread / 8);
    const auto reports = a->service.Store().Reports();
    EXPECT_EQ(static_cast<int>(reports.size()), acked.load());
    std::set<std::string> uuids;
    for (const auto& r : reports)
        uuids.insert(r.strUuid);
    EXPECT_EQ(uuids.size(), reports.size());
    EXPECT_EQ(b->service.Store().CountLogs(), 3);
    EXPECT_EQ(a->service.Store().Counters()[counter::kLogCopiesDropped], logsAcked.load() - 3);
}
