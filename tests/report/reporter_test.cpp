#include <gtest/gtest.h>

#include <atomic>
#include <regex>
#include <thread>

#include "data/json_object.h"
#include "report/install_reporter.h"
#include "tests/report/fake_adapters.h"
#include "tests/support/test_support.h"

namespace {

const char* kUuid = "0123456789ABCDEF0123456789ABCDEF";

// A reporter with a hand-driven clock, a fixed local time and a fixed adapter table.
struct ReporterRig {
    std::atomic<uint32_t> nowMs{100000};
    FakeAdapters adapters;
    korvel_test::ScopedEnv lang{"LANGUAGE", "de_DE.UTF-8"};
    korvel_test::ScopedEnv locale{"LC_ALL", "de_DE.UTF-8"};
    std::unique_ptr<InstallReporter> reporter;

    explicit ReporterRig(bool withAdapters = true) {
        if (withAdapters)
            adapters.Add("eth0", {0x3c, 0x97, 0x0e, 0x12, 0x34, 0x56});
        ReporterTuning tuning;
        tuning.nRetryPauseMs = 0;
        tuning.tickMs = [this] { return nowMs.load(); };
        tuning.localTime = [] { return std::string("2020-10-15_09:05:03"); };
        tuning.adapters = &adapters;
        reporter = std::make_unique<InstallReporter>(
            "http://127.0.0.1:1/api/install/online.php", kUuid, "Korvel 12", "opt", "src",
            "12.0.0.2 official (15/10/2020)", true, false, "/nonexistent/install.log",
            "http://127.0.0.1:1/api/install/index_log.php", tuning);
        reporter->SetLanguageName("English");
    }
    void At(uint32_t seconds) { nowMs = seconds * 1000u + 999u; }
};

MirrorRecord Mirror(const std::string& domain, bool consistent, int ping) {
    MirrorRecord m;
    m.url = "http://" + domain + "/k12.exe";
    m.domain = domain;
    m.fileSizeConsistent = consistent;
    m.networkNotFull = true;
    m.pingTime = ping;
    return m;
}

std::string Member(const std::string& doc, const std::string& key) {
    const std::regex pattern("\"" + key + "\":(\"[^\"]*\"|-?[0-9]+|\\[[^\\]]*\\])");
    std::smatch m;
    return std::regex_search(doc, m, pattern) ? m[1].str() : std::string("<absent>");
}

}  // namespace

TEST(StartReport, ExactDocument) {
    ReporterRig rig;
    EXPECT_EQ(rig.reporter->BuildStartDocument(),
              "{\"version\":1015,\"user_id\":\"3c-97-0e-12-34-56\",\"system_language\":\"German\","
              "\"language\":\"English\",\"uuid\":\"0123456789ABCDEF0123456789ABCDEF\","
              "\"app_id\":\"Korvel 12\",\"option\":\"opt\",\"source\":\"src\",\"app_type\":"
              "\"win64\",\"system_type\":\"win32\",\"localtime\":\"2020-10-15_09:05:03\","
              "\"app_version\":\"12.0.0.2 official (15/10/2020)\",\"install_status\":\"start\"}");
}

TEST(StartReport, UserIdFallsBackToUuidWithoutAdapters) {
    ReporterRig rig(false);
    EXPECT_EQ(rig.reporter->GetUserId(), kUuid);
    EXPECT_EQ(Member(rig.reporter->BuildStartDocument(), "user_id"),
              std::string("\"") + kUuid + "\"");
}

TEST(FinalReport, ExactDocumentOfAFailedDownload) {
    ReporterRig rig;
    rig.At(100);
    rig.reporter->BuildStartDocument();  // run begin
    rig.reporter->MarkStarted();
    rig.At(105);
    rig.reporter->MarkDownloadBegin();
    rig.reporter->SetProgress(57, 2097152, 1536, true);
    rig.At(165);
    rig.reporter->SetUrlInfo({Mirror("mirror-one", true, 35), Mirror("mirror-two", false, 120)},
                             {Mirror("mirror-one", true, 35)});
    DownloadResult failed{false,
                          7,
                          "DOWNLOAD_ERROR_MD5",
                          28,
                          "http://mirror-one/k12.exe",
                          "http://mirror-two/k12.exe"};
    rig.reporter->SetDownloadResult(failed);
    rig.At(170);
    ReportOptions options;
    options.nUnused = 1;
    options.nAutoInstall = 1;
    options.nAddPlan = 1;
    options.nCreateDesktop = 1;
    std::string status, logFile;
    const std::string doc = rig.reporter->BuildFinalDocument(options, &status, &logFile);
    EXPECT_EQ(status, "downLoad_fail");
    EXPECT_EQ(logFile, "/nonexistent/install.log");
    EXPECT_EQ(doc,
              "{\"version\":1015,\"user_id\":\"3c-97-0e-12-34-56\",\"system_language\":\"German\","
              "\"language\":\"English\",\"uuid\":\"0123456789ABCDEF0123456789ABCDEF\","
              "\"app_id\":\"Korvel 12\",\"option\":\"opt\",\"source\":\"src\",\"app_type\":"
              "\"win64\",\"system_type\":\"win32\",\"install_status\":\"downLoad_fail\","
              "\"localtime\":\"2020-10-15_09:05:03\",\"amazon_download\":\"true\","
              "\"show_thankyou\":\"false\",\"download_last_error\":\"DOWNLOAD_ERROR_MD5\","
              "\"install_last_error\":\"\",\"download_second\":60,\"download_time_string\":"
              "\"00:01:00\",\"install_second\":0,\"install_time_string\":\"00:00:00\","
              "\"app_run_second\":70,\"app_run_time_string\":\"00:01:10\",\"progress_rate\":57,"
              "\"speed_string\":\"2.00MB\",\"average_speed_string\":\"1.50KB\",\"speed\":2097152,"
              "\"average_speed\":1536,\"auto_install\":\"true\",\"run_app\":\"false\","
              "\"change_install_path\":\"false\",\"add_plan\":\"true\",\"create_desktop\":"
              "\"true\",\"app_version\":\"12.0.0.2 official (15/10/2020)\",\"curl_error\":28,"
              "\"last_fail_link\":\"http://mirror-one/k12.exe\",\"repair_link\":"
              "\"http://mirror-two/k12.exe\",\"all_url_info\":[{\"invalid\":1,\"domain\":"
              "\"mirror-one\",\"ping_time\":35},{\"invalid\":0,\"domain\":\"mirror-two\","
              "\"ping_time\":120}],\"all_url_info_str\":\"(domain-mirror-one,invalid-1,ping_time-"
              "35)(domain-mirror-two,invalid-0,ping_time-120)\",\"used_url_info\":[{\"invalid\":1,"
              "\"domain\":\"mirror-one\",\"ping_time\":35}],\"used_url_info_str\":\"(domain-"
              "mirror-one,invalid-1,ping_time-35)\"}");
}

TEST(FinalReport, CancelBeforeInstallCountsSecondsSinceSystemStart) {
    ReporterRig rig;
    rig.At(100);
    rig.reporter->BuildStartDocument();
    rig.At(130);
    std::string status, logFile;
    const std::string doc = rig.reporter->BuildFinalDocument(ReportOptions(), &status, &logFile);
    EXPECT_EQ(status, "cancel");
    EXPECT_EQ(logFile, "");
    EXPECT_EQ(Member(doc, "download_second"), "130");
    EXPECT_EQ(Member(doc, "install_second"), "0");
    EXPECT_EQ(Member(doc, "app_run_second"), "30");
    EXPECT_EQ(Member(doc, "all_url_info"), "<absent>");
    EXPECT_EQ(Member(doc, "used_url_info_str"), "<absent>");
    EXPECT_EQ(Member(doc, "curl_error"), "<absent>");
    EXPECT_EQ(Member(doc, "amazon_download"), "\"false\"");
}

TEST(StatusRule, EveryRoad) {
    {
        ReporterRig rig;
        EXPECT_EQ(rig.reporter->GetStatusString(), "cancel");
    }
    {  // closed during the download: download end is the moment of closing
        ReporterRig rig;
        rig.reporter->MarkStarted();
        rig.At(200);
        rig.reporter->MarkDownloadBegin();
        rig.At(260);
        std::string status;
        const std::string doc = rig.reporter->BuildFinalDocument(ReportOptions(), &status);
        EXPECT_EQ(status, "donwload_cancel");
        EXPECT_EQ(Member(doc, "download_second"), "60");
    }
    {  // closed during installation: install end is the moment of closing
        ReporterRig rig;
        rig.reporter->MarkStarted();
        rig.reporter->MarkDownloadBegin();
        rig.reporter->SetDownloadResult(DownloadResult{true, 0, "", 0, "", ""});
        rig.At(300);
        rig.reporter->MarkInstallBegin();
        rig.At(345);
        std::string status, logFile;
        const std::string doc =
            rig.reporter->BuildFinalDocument(ReportOptions(), &status, &logFile);
        EXPECT_EQ(status, "install_cancel");
        EXPECT_EQ(Member(doc, "install_second"), "45");
        EXPECT_EQ(logFile, "");
    }
    {
        ReporterRig rig;
        rig.reporter->MarkStarted();
        rig.reporter->MarkDownloadBegin();
        rig.reporter->SetDownloadResult(DownloadResult{true, 0, "", 0, "", ""});
        rig.reporter->MarkInstallBegin();
        rig.reporter->SetInstallResult(InstallResult{false, 3, "INSTALL_ERROR_EXTRACT", false});
        std::string status, logFile;
        const std::string doc =
            rig.reporter->BuildFinalDocument(ReportOptions(), &status, &logFile);
        EXPECT_EQ(status, "install_fail");
        EXPECT_EQ(logFile, "/nonexistent/install.log");
        EXPECT_EQ(Member(doc, "install_last_error"), "\"INSTALL_ERROR_EXTRACT\"");
        EXPECT_EQ(Member(doc, "curl_error"), "<absent>");
        rig.reporter->SetInstallResult(InstallResult{true, 0, "", true});
        EXPECT_EQ(rig.reporter->GetStatusString(), "success");
        EXPECT_EQ(Member(rig.reporter->BuildFinalDocument(ReportOptions()), "show_thankyou"),
                  "\"true\"");
    }
    {  // a retry after a failed download reopens the downloading phase
        ReporterRig rig;
        rig.reporter->MarkStarted();
        rig.reporter->MarkDownloadBegin();
        rig.reporter->SetDownloadResult(DownloadResult{false, 5, "E", 6, "", ""});
        EXPECT_EQ(rig.reporter->GetStatusString(), "downLoad_fail");
        rig.reporter->MarkStarted();
        rig.reporter->MarkDownloadBegin();
        EXPECT_EQ(rig.reporter->GetStatusString(), "donwload_cancel");
    }
}

TEST(ReportFormats, SizesDurationsAndLocalTime) {
    EXPECT_EQ(InstallReporter::FormatReportSize(0), "0Byte");
    EXPECT_EQ(InstallReporter::FormatReportSize(1024), "1024Byte");
    EXPECT_EQ(InstallReporter::FormatReportSize(1025), "1.00KB");
    EXPECT_EQ(InstallReporter::FormatReportSize(1048576), "1024.00KB");
    EXPECT_EQ(InstallReporter::FormatReportSize(1048577), "1.00MB");
    EXPECT_EQ(InstallReporter::FormatReportSize(-5), "-5Byte");
    EXPECT_EQ(InstallReporter::FormatDuration(3725), "01:02:05");
    EXPECT_EQ(InstallReporter::FormatDuration(0), "00:00:00");
    EXPECT_EQ(InstallReporter::FormatDuration(360000), "100:00:00");
    EXPECT_EQ(InstallReporter::FormatDuration(-1), "");
    const std::regex form("^[0-9]{4}-[0-9]{2}-[0-9]{2}_[0-9]{2}:[0-9]{2}:[0-9]{2}$");
    EXPECT_TRUE(std::regex_match(InstallReporter::FormatLocalTime(), form));
}

// The workflow, the painter and the close handling touch one reporter at
// once; every document must stay whole (and ThreadSanitizer quiet).
TEST(ReporterThreads, FinalReportWhileTheWorkflowWrites) {
    ReporterRig rig;
    std::atomic<bool> stop{false};
    std::thread workflow([&] {
        for (int i = 0; !stop; ++i) {
            rig.reporter->MarkStarted();
            rig.reporter->MarkDownloadBegin();
            rig.reporter->SetUrlInfo({Mirror("m" + std::to_string(i % 7), i % 2, i)}, {});
            rig.reporter->SetDownloadResult(DownloadResult{i % 2 == 0, i, "E", i, "a", "b"});
            rig.reporter->MarkInstallBegin();
            rig.reporter->SetInstallResult(InstallResult{i % 3 == 0, i, "I", true});
        }
    });
    std::thread painter([&] {
        for (int i = 0; !stop; ++i)
            rig.reporter->SetProgress(i % 101, i, i / 2, i % 2);
    });
    for (int i = 0; i < 300; ++i) {
        const std::string doc = rig.reporter->BuildFinalDocument(ReportOptions());
        CJsonObject parsed(doc);
        ASSERT_FALSE(parsed.IsEmpty()) << doc;
        ASSERT_NE(Member(doc, "install_status"), "<absent>");
        rig.reporter->BuildStartDocument();
    }
    stop = true;
    workflow.join();
    painter.join();
}
