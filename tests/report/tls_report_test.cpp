// Reports and log uploads over TLS: the service serves HTTPS with a
// certificate of the test's own CA; the reporter trusts that CA only when its
// tuning names it.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "http_server.h"
#include "report/install_reporter.h"
#include "report_service.h"
#include "report_store.h"
#include "tests/report/fake_adapters.h"
#include "tests/report/service_process.h"
#include "tests/support/test_certificates.h"
#include "tests/support/test_support.h"

namespace {

const char* kUuid = "89ABCDEF0123456789ABCDEF01234567";

class TlsReportTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(certs.Make({"127.0.0.1"}, error)) << error;
        ServiceOptions options;
        options.dbPath = tmp.Sub("reports.db");
        options.logDir = tmp.Sub("logs");
        ASSERT_TRUE(service.Open(options, error)) << error;
        HttpOptions http;
        http.tls = TlsFiles{certs.CertFile(), certs.KeyFile()};
        server = std::make_unique<ReportHttpServer>(service, std::move(http));
        ASSERT_TRUE(server->IsValid());
        port = server->Bind("127.0.0.1", 0);
        ASSERT_GT(port, 0);
        server->Start();
        adapters.Add("eth0", {0x3c, 0x97, 0x0e, 0x12, 0x34, 0x56});
        korvel_test::WriteFile(tmp.Sub("install.log"), "00:00:02 : Download failed\n");
    }

    std::string Url(const char* scheme, const char* path) const {
        return std::string(scheme) + "://127.0.0.1:" + std::to_string(port) + path;
    }

    std::unique_ptr<InstallReporter> Reporter(const std::string& scheme, const std::string& ca) {
        ReporterTuning tuning;
        tuning.nAttempts = 1;
        tuning.nRetryPauseMs = 0;
        tuning.nPostTimeoutSec = 10;
        tuning.nUploadCeilingSec = 10;
        tuning.adapters = &adapters;
        tuning.caFile = ca;
        return std::make_unique<InstallReporter>(
            Url(scheme.c_str(), kReportPath), kUuid, "Korvel 12", "opt", "src", "12.0.0.2", true,
            true, tmp.Sub("install.log"), Url(scheme.c_str(), kLogUploadPath), tuning);
    }

    int StoredReports() {
        ReportStore store;
        std::string error;
        EXPECT_TRUE(store.Open(tmp.Sub("reports.db"), error)) << error;
        return store.CountReports();
    }

    korvel_test::TempDir tmp;
    korvel_test::TestCertificates certs;
    FakeAdapters adapters;
    ReportService service;
    std::unique_ptr<ReportHttpServer> server;
    int port = 0;
};

TEST_F(TlsReportTest, ReportAndLogGoOverTlsWhenTheCaIsTrusted) {
    auto reporter = Reporter("https", certs.CaFile());
    EXPECT_TRUE(reporter->SendStart());
    reporter->MarkStarted();
    reporter->MarkDownloadBegin();
    reporter->SetDownloadResult(DownloadResult{false, 16, "DispatchFailError", 28, "", ""});
    EXPECT_TRUE(reporter->SendFinal(ReportOptions()));
    EXPECT_EQ(StoredReports(), 2);
    const std::string json = service.HandleReportsJson().body;
    EXPECT_NE(json.find("downLoad_fail"), std::string::npos);
    EXPECT_NE(json.find("\"logs\":[{"), std::string::npos) << "the log upload did not arrive";
}

TEST_F(TlsReportTest, UntrustedServiceGetsNothing) {
    // The system's store does not know the test's CA.
    EXPECT_FALSE(Reporter("https", "")->SendStart());
    // Plain HTTP to a TLS port is no report either.
    EXPECT_FALSE(Reporter("http", certs.CaFile())->SendStart());
    EXPECT_EQ(StoredReports(), 0);
}

TEST(TlsServiceProgram, RefusesHalfOrUnusableTlsSettings) {
    korvel_test::TempDir tmp;
    korvel_test::WriteFile(tmp.Sub("bad.pem"), "not a certificate\n");
    const std::string db = tmp.Sub("r.db"), logs = tmp.Sub("logs"), bad = tmp.Sub("bad.pem");
    auto run = [&](std::vector<const char*> extra) {
        const pid_t child = fork();
        if (child == 0) {
            std::vector<const char*> argv{"korvel-report-service",
                                          "--listen",
                                          "127.0.0.1:0",
                                          "--db",
                                          db.c_str(),
                                          "--log-dir",
                                          logs.c_str()};
            argv.insert(argv.end(), extra.begin(), extra.end());
            argv.push_back(nullptr);
            execv(KORVEL_REPORT_SERVICE_PATH, const_cast<char* const*>(argv.data()));
            _exit(127);
        }
        int status = -1;
        waitpid(child, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    EXPECT_EQ(run({"--tls-cert", bad.c_str()}), 2);
    EXPECT_EQ(run({"--tls-cert", bad.c_str(), "--tls-key", bad.c_str()}), 1);
}

// The program with --tls-cert: says https, and a trusting reporter gets through.
TEST(TlsServiceProgram, ServesHttpsWithItsCertificate) {
    korvel_test::TempDir tmp;
    korvel_test::TestCertificates certs;
    std::string error;
    ASSERT_TRUE(certs.Make({"127.0.0.1"}, error)) << error;
    const std::string db = tmp.Sub("r.db");
    service_test::ServiceProcess service;
    ASSERT_TRUE(service.Start({"--listen", "127.0.0.1:0", "--db", db, "--log-dir", tmp.Sub("logs"),
                               "--tls-cert", certs.CertFile(), "--tls-key", certs.KeyFile()}));
    const std::string& line = service.FirstLine();
    EXPECT_NE(line.find("listening on https://127.0.0.1:"), std::string::npos) << line;
    const std::string base = line.substr(line.find("https://"));
    FakeAdapters adapters;
    ReporterTuning tuning;
    tuning.nAttempts = 1;
    tuning.adapters = &adapters;
    tuning.caFile = certs.CaFile();
    InstallReporter reporter(base + kReportPath, kUuid, "Korvel 12", "", "", "12.0.0.2", true, true,
                             "", base + kLogUploadPath, tuning);
    EXPECT_TRUE(reporter.SendStart());
    const int status = service.Stop();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    ReportStore store;
    ASSERT_TRUE(store.Open(db, error)) << error;
    EXPECT_EQ(store.CountReports(), 1);
}

}  // namespace
