#include <cjson/cJSON.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

#include "http_server.h"
#include "report/install_reporter.h"
#include "report_service.h"
#include "tests/report/fake_adapters.h"
#include "tests/report/service_process.h"
#include "tests/support/test_support.h"

namespace {

const char* kUuid = "89ABCDEF0123456789ABCDEF01234567";
constexpr size_t kMaxLog = 4096;

using JsonPtr = std::unique_ptr<cJSON, decltype(&cJSON_Delete)>;
JsonPtr Parse(const std::string& text) {
    return JsonPtr(cJSON_Parse(text.c_str()), cJSON_Delete);
}

class ServiceTest : public ::testing::Test {
protected:
    void SetUp() override {
        ServiceOptions options;
        options.dbPath = tmp.Sub("reports.db");
        options.maxLogBytes = kMaxLog;
        std::string error;
        ASSERT_TRUE(service.Open(options, error)) << error;
        server = std::make_unique<ReportHttpServer>(service);
        port = server->Bind("127.0.0.1", 0);
        ASSERT_GT(port, 0);
        server->Start();
        client = std::make_unique<httplib::Client>("127.0.0.1", port);
    }

    std::string Url(const char* path) const {
        return "http://127.0.0.1:" + std::to_string(port) + path;
    }

    // The answer must be 400 with {"result":{"res":false,"error":"..."}}.
    void ExpectRejected(const httplib::Result& result, const std::string& what) {
        ASSERT_TRUE(result) << what;
        EXPECT_EQ(result->status, 400) << what;
        JsonPtr body = Parse(result->body);
        const cJSON* res = cJSON_GetObjectItem(cJSON_GetObjectItem(body.get(), "result"), "res");
        const cJSON* error =
            cJSON_GetObjectItem(cJSON_GetObjectItem(body.get(), "result"), "error");
        EXPECT_TRUE(cJSON_IsFalse(res)) << what << ": " << result->body;
        EXPECT_TRUE(cJSON_IsString(error) && *error->valuestring) << what;
    }

    httplib::Result PostReportForm(const std::string& json,
                                   const std::string& appId = "Korvel 12") {
        return client->Post("/api/install/online.php",
                            httplib::MultipartFormDataItems{{"json_data", json, "", ""},
                                                            {"app_id", appId, "", ""}});
    }
    httplib::Result PostLog(const std::string& content, const std::string& fileName) {
        return client->Post("/api/install/index_log.php",
                            httplib::MultipartFormDataItems{
                                {"app_id", "Korvel 12", "", ""},
                                {"log_type", "install_fail", "", ""},
                                {"install_log", content, fileName, "application/octet-stream"}});
    }

    korvel_test::TempDir tmp;
    ReportService service;
    std::unique_ptr<ReportHttpServer> server;
    std::unique_ptr<httplib::Client> client;
    int port = 0;
};

MirrorRecord Mirror(const std::string& domain, bool consistent, int ping) {
    return MirrorRecord{"http://" + domain + "/k12.exe", domain, consistent, true, ping};
}

}  // namespace

TEST_F(ServiceTest, ReporterRoundTripAppearsInReportsJsonAndOnThePage) {
    FakeAdapters adapters;
    adapters.Add("eth0", {0x3c, 0x97, 0x0e, 0x12, 0x34, 0x56});
    korvel_test::WriteFile(tmp.Sub("install.log"), "00:00:02 : Download_CheckDownload <b>\n");
    ReporterTuning tuning;
    tuning.nRetryPauseMs = 0;
    tuning.adapters = &adapters;
    tuning.localTime = [] { return std::string("2020-10-15_09:05:03"); };
    InstallReporter reporter(Url("/api/install/online.php"), kUuid, "Korvel 12", "opt", "src",
                             "12.0.0.2", true, true, tmp.Sub("install.log"),
                             Url("/api/install/index_log.php"), tuning);
    reporter.SetLanguageName("English");
    ASSERT_EQ(SendStartReport(&reporter), 0);
    reporter.MarkStarted();
    reporter.MarkDownloadBegin();
    reporter.SetProgress(40, 300000, 250000, false);
    reporter.SetUrlInfo({Mirror("mirror-one", true, 35), Mirror("mirror-two", false, 80)},
                        {Mirror("mirror-one", true, 35)});
    reporter.SetDownloadResult(DownloadResult{false, 9, "DOWNLOAD_ERROR_MD5", 28, "a", "b"});
    ASSERT_TRUE(SendFinalReportWithRetries(&reporter, ReportOptions()));
    const std::string finalDoc = reporter.BuildFinalDocument(ReportOptions());

    auto listing = client->Get("/api/install/reports.json");
    ASSERT_TRUE(listing);
    JsonPtr root = Parse(listing->body);
    const cJSON* reports = cJSON_GetObjectItem(root.get(), "reports");
    ASSERT_EQ(cJSON_GetArraySize(reports), 2);
    const cJSON* last = cJSON_GetArrayItem(reports, 1);
    EXPECT_STREQ(cJSON_GetObjectItem(last, "client_addr")->valuestring, "127.0.0.1");
    EXPECT_STREQ(cJSON_GetObjectItem(last, "app_id")->valuestring, "Korvel 12");
    // Every member as posted (times aside, which moved on since).
    JsonPtr expected = Parse(finalDoc);
    const cJSON* stored = cJSON_GetObjectItem(last, "report");
    int members = 0;
    for (const cJSON* m = expected->child; m; m = m->next, ++members) {
        const cJSON* got = cJSON_GetObjectItemCaseSensitive(stored, m->string);
        ASSERT_NE(got, nullptr) << m->string;
        if (std::string(m->string).find("second") == std::string::npos &&
            std::string(m->string).find("time_string") == std::string::npos) {
            EXPECT_TRUE(cJSON_Compare(got, m, 1)) << m->string;
        }
    }
    EXPECT_EQ(members, cJSON_GetArraySize(stored));
    const cJSON* logs = cJSON_GetObjectItem(last, "logs");
    ASSERT_EQ(cJSON_GetArraySize(logs), 1);
    const std::string logUrl = cJSON_GetObjectItem(cJSON_GetArrayItem(logs, 0), "url")->valuestring;
    auto log = client->Get(logUrl.c_str());
    ASSERT_TRUE(log);
    EXPECT_EQ(log->body, "00:00:02 : Download_CheckDownload <b>\n");

    auto page = client->Get("/");
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 200);
    EXPECT_NE(page->body.find("<tr><td>downLoad_fail</td><td>1</td></tr>"), std::string::npos);
    EXPECT_NE(page->body.find("<tr><td>start</td><td>1</td></tr>"), std::string::npos);
    EXPECT_NE(page->body.find("DOWNLOAD_ERROR_MD5"), std::string::npos);
    EXPECT_NE(page->body.find("href=\"" + logUrl + "\""), std::string::npos);
    EXPECT_NE(page->body.find("<tr><td>mirror-one</td><td class=\"n\">1</td>"), std::string::npos);
    EXPECT_NE(page->body.find("<td class=\"n\">35 ms</td><td class=\"n\">100.0 %</td>"),
              std::string::npos);
}

TEST_F(ServiceTest, BadReportsAreRefusedAndNothingIsStored) {
    ExpectRejected(client->Post("/api/install/online.php", "--xyz\r\ngarbage",
                                "multipart/form-data; boundary=xyz"),
                   "malformed multipart");
    ExpectRejected(client->Post("/api/install/online.php", "json_data=%7B%7D",
                                "application/x-www-form-urlencoded"),
                   "not multipart");
    ExpectRejected(PostReportForm("not json"), "non-JSON");
    ExpectRejected(PostReportForm("[1,2]"), "array");
    ExpectRejected(PostReportForm("{\"version\":\"1015\",\"install_status\":\"start\"}"),
                   "version as text");
    ExpectRejected(PostReportForm("{\"install_status\":\"start\"}"), "no version");
    ExpectRejected(PostReportForm("{\"version\":1015,\"install_status\":\"Start\"}"),
                   "unknown status");
    ExpectRejected(PostReportForm("{\"version\":1015,\"install_status\":\"start\"} x"),
                   "trailing bytes");
    ExpectRejected(
        client->Post("/api/install/online.php",
                     httplib::MultipartFormDataItems{
                         {"json_data", "{\"version\":1,\"install_status\":\"start\"}", "", ""}}),
        "no app_id");
    ExpectRejected(client->Post("/api/install/online.php",
                                httplib::MultipartFormDataItems{{"app_id", "a", "", ""}}),
                   "no json_data");
    // Texts that one of the store engines could not hold are refused on both.
    ExpectRejected(PostReportForm("{\"version\":1,\"install_status\":\"start\"}", "K\xff"),
                   "app_id not UTF-8");
    ExpectRejected(
        PostReportForm("{\"version\":1,\"install_status\":\"start\"}", std::string("K\0x", 3)),
        "app_id with NUL");
    ExpectRejected(
        PostReportForm("{\"version\":1,\"install_status\":\"start\",\"uuid\":\"\xc0\xaf\"}"),
        "overlong uuid");
    EXPECT_EQ(service.Store().CountReports(), 0);

    auto ok = PostReportForm("{\"version\":1015,\"install_status\":\"success\",\"extra\":[1]}");
    ASSERT_TRUE(ok);
    EXPECT_EQ(ok->status, 200);
    EXPECT_EQ(ok->body, "{\"result\":{\"res\":true}}");
    auto huge = PostReportForm("{\"version\":-1e300,\"install_status\":\"cancel\"}");
    ASSERT_TRUE(huge);
    EXPECT_EQ(huge->status, 200);
    const auto stored = service.Store().Reports();
    ASSERT_EQ(stored.size(), 2u);
    EXPECT_EQ(stored[0].nVersion, 1015);
    EXPECT_EQ(stored[0].strDocument,
              "{\"version\":1015,\"install_status\":\"success\",\"extra\":[1]}");
    EXPECT_EQ(stored[1].nVersion, INT64_MIN);
    auto accented = PostReportForm("{\"version\":1,\"install_status\":\"start\"}",
                                   "Korvel \xe2\x82\xac \xf0\x9f\x98\x80");
    ASSERT_TRUE(accented);
    EXPECT_EQ(accented->status, 200);
}

TEST_F(ServiceTest, LogsNeedARunUuidNameAndFitTheLimit) {
    for (const std::string& name :
         {std::string("89abcdef0123456789abcdef01234567"), std::string(kUuid) + ".log",
          std::string(kUuid).substr(1), std::string("../") + kUuid, std::string()}) {
        ExpectRejected(PostLog("line\n", name), "file name '" + name + "'");
    }
    ExpectRejected(PostLog(std::string(kMaxLog + 1, 'x'), kUuid), "oversized log");
    ExpectRejected(client->Post("/api/install/index_log.php",
                                httplib::MultipartFormDataItems{{"app_id", "Korvel 12", "", ""},
                                                                {"log_type", "x", "", ""}}),
                   "no file part");
    EXPECT_EQ(service.Store().CountLogs(), 0);

    auto ok = PostLog(std::string(kMaxLog, 'y'), kUuid);
    ASSERT_TRUE(ok);
    EXPECT_EQ(ok->status, 200);
    EXPECT_EQ(service.Store().CountLogs(), 1);
    StoredLog stored;
    std::string content;
    ASSERT_TRUE(service.Store().FindLog(1, stored, &content));
    EXPECT_EQ(stored.nSize, static_cast<int64_t>(kMaxLog));
    EXPECT_EQ(stored.strLogType, "install_fail");
    EXPECT_EQ(content, std::string(kMaxLog, 'y'));
}

TEST_F(ServiceTest, FiftyConcurrentPostsAreAllStored) {
    ReporterTuning tuning;
    FakeAdapters none;
    tuning.adapters = &none;
    InstallReporter reporter(Url("/api/install/online.php"), kUuid, "Korvel 12", "", "", "", false,
                             false, "", "", tuning);
    std::vector<std::thread> threads;
    std::atomic<int> accepted{0};
    for (int i = 0; i < 50; ++i) {
        threads.emplace_back([&, i] {
            const std::string doc =
                "{\"version\":1015,\"install_status\":\"start\",\"n\":" + std::to_string(i) + "}";
            if (reporter.PostReport(Url("/api/install/online.php"), doc, "Korvel 12"))
                ++accepted;
        });
    }
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(accepted.load(), 50);
    EXPECT_EQ(service.Store().CountReports(), 50);
}

TEST_F(ServiceTest, RawRequestsInProcess) {
    const std::string bad =
        "POST /api/install/online.php HTTP/1.1\r\nHost: x\r\nContent-Type: multipart/form-data; "
        "boundary=B\r\nContent-Length: 9\r\n\r\n--B\r\nzzzz";
    const std::string reply = server->HandleRaw(bad);
    EXPECT_EQ(reply.rfind("HTTP/1.1 400", 0), 0u) << reply;
    EXPECT_NE(reply.find("\"res\":false"), std::string::npos);

    const std::string body =
        "--B\r\nContent-Disposition: form-data; name=\"json_data\"\r\n\r\n"
        "{\"version\":1015,\"install_status\":\"cancel\"}\r\n"
        "--B\r\nContent-Disposition: form-data; name=\"app_id\"\r\n\r\nKorvel 12\r\n--B--\r\n";
    const std::string good =
        "POST /api/install/online.php HTTP/1.1\r\nHost: x\r\nContent-Type: multipart/form-data; "
        "boundary=B\r\nContent-Length: " +
        std::to_string(body.size()) + "\r\n\r\n" + body;
    const std::string accepted = server->HandleRaw(good, "10.1.2.3");
    EXPECT_EQ(accepted.rfind("HTTP/1.1 200", 0), 0u) << accepted;
    const auto reports = service.Store().Reports();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].strClientAddr, "10.1.2.3");
    EXPECT_EQ(reports[0].strStatus, "cancel");
}

TEST(ServiceOptions, ListenAddresses) {
    std::string host;
    int port = -1;
    EXPECT_TRUE(ParseListenAddress("127.0.0.1:0", host, port));
    EXPECT_EQ(host, "127.0.0.1");
    EXPECT_EQ(port, 0);
    EXPECT_TRUE(ParseListenAddress("[::1]:18090", host, port));
    EXPECT_EQ(host, "::1");
    EXPECT_EQ(port, 18090);
    EXPECT_FALSE(ParseListenAddress("127.0.0.1", host, port));
    EXPECT_FALSE(ParseListenAddress(":80", host, port));
    EXPECT_FALSE(ParseListenAddress("h:99999", host, port));
    EXPECT_FALSE(ParseListenAddress("h:8a", host, port));
}

// The program itself: prints its bound address, serves, and ends cleanly on SIGTERM.
TEST(ServiceProgram, ServesUntilSigterm) {
    korvel_test::TempDir tmp;
    service_test::ServiceProcess service;
    ASSERT_TRUE(service.Start({"--listen", "127.0.0.1:0", "--db", tmp.Sub("r.db")}));
    const std::string& line = service.FirstLine();
    const size_t at = line.rfind(':');
    ASSERT_NE(at, std::string::npos) << line;
    httplib::Client client("127.0.0.1", std::stoi(line.substr(at + 1)));
    auto posted =
        client.Post("/api/install/online.php",
                    httplib::MultipartFormDataItems{
                        {"json_data", "{\"version\":1015,\"install_status\":\"start\"}", "", ""},
                        {"app_id", "Korvel 12", "", ""}});
    ASSERT_TRUE(posted);
    EXPECT_EQ(posted->status, 200);
    const int status = service.Stop();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    ReportStore store;
    std::string error;
    ASSERT_TRUE(store.Open(tmp.Sub("r.db"), error));
    EXPECT_EQ(store.CountReports(), 1);
}
