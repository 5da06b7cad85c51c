// The bounds that keep one client from filling the disk or flooding the
// service, and the installer's own retries that must pass them untouched.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>

#include "report/install_reporter.h"
#include "tests/report/fake_adapters.h"
#include "tests/report/service_fixture.h"
#include "tests/support/test_support.h"

using namespace service_test;

namespace {

class QuotaTest : public ::testing::Test {
protected:
    // A service whose post bound runs on the test's clock.
    void Start(ServiceOptions options) {
        options.dbPath = tmp.Sub("reports.db");
        options.limiterClock = [this] { return nowMs.load(); };
        running = std::make_unique<RunningService>(options);
        ASSERT_TRUE(running->IsServing());
        client = running->Client();
    }
    int64_t Counter(const char* name) {
        const auto counters = running->service.Store().Counters();
        auto it = counters.find(name);
        return it == counters.end() ? 0 : it->second;
    }

    korvel_test::TempDir tmp;
    std::atomic<int64_t> nowMs{1000000};
    std::unique_ptr<RunningService> running;
    std::unique_ptr<httplib::Client> client;
};

}  // namespace

TEST_F(QuotaTest, OnlyTheFirstThreeCopiesOfARunsLogAreKept) {
    ServiceOptions options;
    options.logDir = tmp.Sub("log-copies");
    Start(options);
    for (int copy = 1; copy <= 5; ++copy) {
        auto res = PostLog(*client, "copy " + std::to_string(copy));
        ASSERT_TRUE(res);
        EXPECT_EQ(res->status, 200) << copy;
        EXPECT_EQ(res->body, "{\"result\":{\"res\":true}}");
    }
    EXPECT_EQ(running->service.Store().CountLogs(), 3);
    EXPECT_EQ(Counter(counter::kLogCopiesDropped), 2);
    std::string content;
    StoredLog log;
    ASSERT_TRUE(running->service.Store().FindLog(3, log, &content));
    EXPECT_EQ(content, "copy 3");
    EXPECT_FALSE(running->service.Store().FindLog(4, log));
    // Another run still gets its copies.
    EXPECT_EQ(Status(PostLog(*client, "other", "00000000000000000000000000000001")), 200);
    EXPECT_EQ(running->service.Store().CountLogs(), 4);
    // The folder mirrors exactly the stored logs.
    const auto stored = running->service.Store().Logs();
    ASSERT_EQ(stored.size(), 4u);
    EXPECT_EQ(korvel_test::ReadFile(stored[2].strFile), "copy 3");
    EXPECT_EQ(korvel_test::ReadFile(stored[3].strFile), "other");
    size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(tmp.Sub("log-copies")))
        files += entry.is_regular_file();
    EXPECT_EQ(files, 4u);
    auto page = client->Get("/");
    ASSERT_TRUE(page);
    EXPECT_NE(page->body.find("<b>2</b>repeated log copies not kept"), std::string::npos);
}

TEST_F(QuotaTest, AFullLogStoreAnswers507AndCountsTheRefusal) {
    ServiceOptions options;
    options.logQuota.nStoreBytes = 100;
    Start(options);
    EXPECT_EQ(Status(PostLog(*client, std::string(60, 'a'), "00000000000000000000000000000001")),
              200);
    EXPECT_EQ(Status(PostLog(*client, std::string(40, 'b'), "00000000000000000000000000000002")),
              200);  // exactly at the bound
    auto full = PostLog(*client, "c", "00000000000000000000000000000003");
    ASSERT_TRUE(full);
    EXPECT_EQ(full->status, 507);
    EXPECT_NE(full->body.find("\"res\":false"), std::string::npos);
    EXPECT_EQ(running->service.Store().CountLogs(), 2);
    EXPECT_EQ(running->service.Store().LogBytes(), 100);
    EXPECT_EQ(Counter(counter::kLogsRefusedStoreFull), 1);
    // Reports are not logs: they are still taken.
    EXPECT_EQ(Status(PostReport(*client, ReportJson("downLoad_fail"))), 200);
    auto page = client->Get("/");
    ASSERT_TRUE(page);
    EXPECT_NE(page->body.find("<b>1</b>logs refused, store full (507)"), std::string::npos);
}

TEST_F(QuotaTest, OneAddressOverItsPostBoundGets429UntilTheMinuteRefills) {
    ServiceOptions options;
    options.maxPostsPerMinute = 10;
    Start(options);
    for (int i = 0; i < 10; ++i)
        ASSERT_EQ(Status(PostReport(*client, ReportJson("start"))), 200) << i;
    auto over = PostReport(*client, ReportJson("start"));
    ASSERT_TRUE(over);
    EXPECT_EQ(over->status, 429);
    EXPECT_NE(over->body.find("\"res\":false"), std::string::npos);
    EXPECT_EQ(Status(PostLog(*client, "log")), 429);  // logs share the bound
    EXPECT_EQ(running->service.Store().CountReports(), 10);
    EXPECT_EQ(running->service.Store().CountLogs(), 0);
    EXPECT_EQ(running->service.RateLimited(), 2u);
    // Another address is not affected.
    const std::string raw =
        "POST /api/install/online.php HTTP/1.1\r\nHost: x\r\nContent-Type: multipart/form-data; "
        "boundary=B\r\nContent-Length: ";
    const std::string body = "--B\r\nContent-Disposition: form-data; name=\"json_data\"\r\n\r\n" +
                             ReportJson("cancel") +
                             "\r\n--B\r\nContent-Disposition: form-data; name=\"app_id\"\r\n\r\n"
                             "Korvel 12\r\n--B--\r\n";
    const std::string reply = running->server->HandleRaw(
        raw + std::to_string(body.size()) + "\r\n\r\n" + body, "10.0.0.8");
    EXPECT_EQ(reply.rfind("HTTP/1.1 200", 0), 0u) << reply;
    // Six seconds bring back one post of ten a minute.
    nowMs += 6000;
    EXPECT_EQ(Status(PostReport(*client, ReportJson("start"))), 200);
    EXPECT_EQ(Status(PostReport(*client, ReportJson("start"))), 429);
    nowMs += 60000;
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(Status(PostReport(*client, ReportJson("start"))), 200) << i;
}

TEST_F(QuotaTest, ZeroPostsPerMinuteMeansNoBound) {
    ServiceOptions options;
    options.maxPostsPerMinute = 0;
    Start(options);
    for (int i = 0; i < 300; ++i)
        ASSERT_EQ(Status(PostReport(*client, ReportJson("start"))), 200) << i;
}

// Every attempt the installer can make for one run, back to back from one
// address at the default bounds: ten start posts, ten final posts each
// followed by its log upload. Every one of them is answered as accepted.
TEST_F(QuotaTest, TheInstallersFullRetryPatternPassesUntouched) {
    Start(ServiceOptions());
    FakeAdapters adapters;
    adapters.Add("eth0", {0x3c, 0x97, 0x0e, 0x12, 0x34, 0x56});
    ReporterTuning tuning;
    tuning.adapters = &adapters;
    korvel_test::WriteFile(tmp.Sub("install.log"), "00:00:01 : Download failed\n");
    InstallReporter reporter(running->Url("/api/install/online.php"), kRunUuid, "Korvel 12", "", "",
                             "12.0.0.2", true, true, tmp.Sub("install.log"),
                             running->Url("/api/install/index_log.php"), tuning);
    reporter.MarkStarted();
    reporter.MarkDownloadBegin();
    reporter.SetDownloadResult(DownloadResult{false, 9, "DOWNLOAD_ERROR_MD5", 28, "a", "b"});
    const std::string start = "{\"version\":1015,\"uuid\":\"" + std::string(kRunUuid) +
                              "\",\"install_status\":\"start\"}";
    const std::string final = reporter.BuildFinalDocument(ReportOptions());
    for (int attempt = 0; attempt < 10; ++attempt)
        EXPECT_TRUE(
            reporter.PostReport(running->Url("/api/install/online.php"), start, "Korvel 12"));
    for (int attempt = 0; attempt < 10; ++attempt) {
        EXPECT_TRUE(
            reporter.PostReport(running->Url("/api/install/online.php"), final, "Korvel 12"));
        auto upload = PostLog(*client, korvel_test::ReadFile(tmp.Sub("install.log")));
        EXPECT_EQ(Status(upload), 200);
        EXPECT_EQ(upload->body, "{\"result\":{\"res\":true}}");
    }
    EXPECT_EQ(running->service.Store().CountReports(), 20);
    EXPECT_EQ(running->service.Store().CountLogs(), 3);
    EXPECT_EQ(Counter(counter::kLogCopiesDropped), 7);
    EXPECT_EQ(running->service.RateLimited(), 0u);
}
