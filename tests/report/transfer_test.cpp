#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "report/install_reporter.h"
#include "tests/report/fake_adapters.h"
#include "tests/report/scripted_service.h"
#include "tests/support/test_support.h"

namespace {

const char* kUuid = "0123456789ABCDEF0123456789ABCDEF";

struct Rig {
    korvel_test::TempDir tmp;
    ScriptedService service;
    FakeAdapters adapters;
    std::string logPath = tmp.Sub("install.log");
    std::unique_ptr<InstallReporter> reporter;

    explicit Rig(const std::string& logFile = "") {
        korvel_test::WriteFile(logPath, "00:00:01 : Download_CheckDownload\n");
        ReporterTuning tuning;
        tuning.nRetryPauseMs = 0;
        tuning.adapters = &adapters;
        tuning.localTime = [] { return std::string("2020-10-15_09:05:03"); };
        reporter = std::make_unique<InstallReporter>(
            service.ReportUrl(), kUuid, "Korvel 12", "opt", "src", "12.0.0.2", false, true,
            logFile.empty() ? logPath : logFile, service.UploadUrl(), tuning);
    }
    void FailDownload() {
        reporter->MarkStarted();
        reporter->MarkDownloadBegin();
        reporter->SetDownloadResult(DownloadResult{false, 4, "DOWNLOAD_ERROR", 7, "l", "r"});
    }
};

std::vector<std::string> Names(const std::vector<ScriptedService::Part>& parts) {
    std::vector<std::string> names;
    for (const auto& p : parts)
        names.push_back(p.name);
    return names;
}

}  // namespace

TEST(PostReport, OnlyResultResTrueIsAccepted) {
    Rig rig;
    rig.service.QueueReplies({"{\"result\":{\"res\":true}}", "{\"result\":true}", "{\"res\":true}",
                              "{\"result\":{\"res\":\"true\"}}", "{\"result\":{\"res\":false}}",
                              "{\"result\":{\"res\":1}}", "", "<html>busy</html>",
                              "[{\"result\":{\"res\":true}}]"});
    const std::vector<bool> expected = {true,  false, false, false, false,
                                        false, false, false, false};
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(rig.reporter->PostReport(rig.service.ReportUrl(), "{}", "Korvel 12"), expected[i])
            << "reply " << i;
    }
}

TEST(PostReport, SendsJsonDataThenAppId) {
    Rig rig;
    ASSERT_TRUE(rig.reporter->SendStart());
    const auto reports = rig.service.Reports();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(Names(reports[0]), (std::vector<std::string>{"json_data", "app_id"}));
    EXPECT_EQ(reports[0][0].content, rig.reporter->BuildStartDocument());
    EXPECT_EQ(reports[0][1].content, "Korvel 12");
}

TEST(PostReport, UnreachableServiceIsAFailure) {
    Rig rig;
    EXPECT_FALSE(rig.reporter->PostReport("http://127.0.0.1:1/api/install/online.php", "{}", "a"));
}

// A service that takes the connection and never answers must not hold the
// closing installer for long: the post gives up after its time limit.
TEST(PostReport, SilentServiceTimesOut) {
    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(listener, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)), 0);
    ASSERT_EQ(listen(listener, 4), 0);
    socklen_t len = sizeof(addr);
    getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len);
    ReporterTuning tuning;
    tuning.nPostTimeoutSec = 1;
    tuning.nUploadLowSpeedSec = 1;
    korvel_test::TempDir tmp;
    korvel_test::WriteFile(tmp.Sub("install.log"), "x\n");
    const std::string base = "http://127.0.0.1:" + std::to_string(ntohs(addr.sin_port));
    InstallReporter reporter(base + "/api/install/online.php", kUuid, "Korvel 12", "", "", "",
                             false, false, tmp.Sub("install.log"), base + "/log", tuning);
    EXPECT_FALSE(reporter.PostReport(base + "/api/install/online.php", "{}", "Korvel 12"));
    EXPECT_FALSE(reporter.UploadLog(base + "/log", kUuid, tmp.Sub("install.log"), "a", "t"));
    EXPECT_EQ(reporter.Tuning().nPostTimeoutSec, 1);
    close(listener);
    EXPECT_EQ(ReporterTuning().nPostTimeoutSec, 20);
    EXPECT_EQ(ReporterTuning().nUploadLowSpeedBytesPerSec, 1024);
    EXPECT_EQ(ReporterTuning().nUploadLowSpeedSec, 15);
    EXPECT_EQ(ReporterTuning().nUploadCeilingSec, 300);
}

TEST(UploadLog, ThreePartsInOrderNamedByTheUuid) {
    Rig rig;
    ASSERT_TRUE(rig.reporter->UploadLog(rig.service.UploadUrl(), kUuid, rig.logPath, "Korvel 12",
                                        "downLoad_fail"));
    const auto uploads = rig.service.Uploads();
    ASSERT_EQ(uploads.size(), 1u);
    EXPECT_EQ(Names(uploads[0]), (std::vector<std::string>{"app_id", "log_type", "install_log"}));
    EXPECT_EQ(uploads[0][0].content, "Korvel 12");
    EXPECT_EQ(uploads[0][1].content, "downLoad_fail");
    EXPECT_EQ(uploads[0][2].filename, kUuid);
    EXPECT_EQ(uploads[0][2].content, "00:00:01 : Download_CheckDownload\n");
}

TEST(UploadLog, NothingIsSentWithoutNameOrFile) {
    Rig rig;
    const std::string url = rig.service.UploadUrl();
    EXPECT_FALSE(rig.reporter->UploadLog(url, "", rig.logPath, "a", "t"));
    EXPECT_FALSE(rig.reporter->UploadLog(url, kUuid, "", "a", "t"));
    EXPECT_FALSE(rig.reporter->UploadLog(url, kUuid, rig.tmp.Sub("missing.log"), "a", "t"));
    EXPECT_TRUE(rig.service.Uploads().empty());
}

TEST(FinalReport, UploadsOnlyAfterTheTwoFailures) {
    struct Road {
        const char* status;
        std::function<void(InstallReporter&)> drive;
        bool upload;
    };
    const std::vector<Road> roads = {
        {"cancel", [](InstallReporter&) {}, false},
        {"donwload_cancel",
         [](InstallReporter& r) {
             r.MarkStarted();
             r.MarkDownloadBegin();
         },
         false},
        {"install_cancel",
         [](InstallReporter& r) {
             r.MarkStarted();
             r.SetDownloadResult(DownloadResult{true, 0, "", 0, "", ""});
             r.MarkInstallBegin();
         },
         false},
        {"success",
         [](InstallReporter& r) {
             r.MarkStarted();
             r.SetDownloadResult(DownloadResult{true, 0, "", 0, "", ""});
             r.SetInstallResult(InstallResult{true, 0, "", true});
         },
         false},
        {"install_fail",
         [](InstallReporter& r) {
             r.MarkStarted();
             r.SetDownloadResult(DownloadResult{true, 0, "", 0, "", ""});
             r.SetInstallResult(InstallResult{false, 2, "E", false});
         },
         true},
        {"downLoad_fail",
         [](InstallReporter& r) {
             r.MarkStarted();
             r.SetDownloadResult(DownloadResult{false, 2, "E", 7, "", ""});
         },
         true},
    };
    for (const auto& road : roads) {
        Rig rig;
        road.drive(*rig.reporter);
        EXPECT_TRUE(rig.reporter->SendFinal(ReportOptions())) << road.status;
        const auto uploads = rig.service.Uploads();
        ASSERT_EQ(uploads.size(), road.upload ? 1u : 0u) << road.status;
        if (road.upload) {
            EXPECT_EQ(uploads[0][1].content, road.status);
        }
    }
}

TEST(FinalReport, DeletedLogMeansNoUploadButTheReportCounts) {
    Rig rig;
    rig.FailDownload();
    ASSERT_EQ(unlink(rig.logPath.c_str()), 0);
    EXPECT_TRUE(rig.reporter->SendFinal(ReportOptions()));
    EXPECT_EQ(rig.service.Reports().size(), 1u);
    EXPECT_TRUE(rig.service.Uploads().empty());
}

TEST(Retries, FinalPostFailingTwiceUploadsTheLogThreeTimes) {
    Rig rig;
    rig.FailDownload();
    rig.service.QueueReplies({"{\"result\":{\"res\":false}}", "oops"});
    EXPECT_TRUE(SendFinalReportWithRetries(rig.reporter.get(), ReportOptions()));
    EXPECT_EQ(rig.service.Reports().size(), 3u);
    const auto uploads = rig.service.Uploads();
    ASSERT_EQ(uploads.size(), 3u);
    for (const auto& upload : uploads)
        EXPECT_EQ(upload[2].content, uploads[0][2].content);
}

TEST(Retries, StartReportStopsAtTheFirstAcceptedPostAndGivesUpAfterTen) {
    Rig rig;
    rig.service.QueueReplies({"", "", ""});
    EXPECT_EQ(SendStartReport(rig.reporter.get()), 0);
    EXPECT_EQ(rig.service.Reports().size(), 4u);

    Rig refusing;
    refusing.service.QueueReplies(std::vector<std::string>(12, "{\"result\":{\"res\":false}}"));
    EXPECT_EQ(SendStartReport(refusing.reporter.get()), 0);
    EXPECT_EQ(refusing.service.Reports().size(), 10u);
    EXPECT_FALSE(SendFinalReportWithRetries(nullptr, ReportOptions()));
    EXPECT_EQ(SendStartReport(nullptr), 0);
}
