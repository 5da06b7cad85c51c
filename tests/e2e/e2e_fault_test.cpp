// The installer's workflow when the outside world misbehaves: a report service
// that is down, answers errors or never answers, and mirrors with the
// simulator's faults. Each report is tried exactly the product's ten times,
// the window closes within the bounds the reporter sets, the install succeeds
// with the package right or fails with the failure reported, and no thread of
// the run is left behind. Mirrors and service listen on ports the system
// picks, so these cases may run side by side.
#include <cjson/cJSON.h>
#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <set>
#include <thread>

#include "download/downloader.h"
#include "platform/folders.h"
#include "platform/text.h"
#include "report/install_reporter.h"
#include "tests/e2e/e2e_fixture.h"
#include "tests/fault/fault_model.h"

namespace korvel_test {
// Case names in CTest's listing instead of the parameter's bytes.
void PrintTo(const FaultCase& c, std::ostream* os) {
    *os << c.Name();
}
}  // namespace korvel_test

using namespace korvel_e2e;
using korvel_mirror::MirrorSettings;
using korvel_test::CurrentThreadCount;
using korvel_test::Fault;
using korvel_test::ThreadNames;
using korvel_test::WaitForThreadsNamedToEnd;

namespace {

constexpr int kAttempts = 10;           // the product's posts per report
constexpr uint32_t kRetryPauseMs = 50;  // shortened from 500 ms
constexpr char kRefusedPost[] = "PostReport failed, curl code = 7";  // CURLE_COULDNT_CONNECT

#if defined(__SANITIZE_ADDRESS__)
constexpr int kSlowdown = 3;
#else
constexpr int kSlowdown = 1;
#endif
// Watchdog for one install road; only a hang reaches it.
constexpr int kRoadLimitMs = 60000 * kSlowdown;

const char* const kMirrorHosts[] = {"127.0.0.61", "127.0.0.62", "127.0.0.63"};
constexpr char kCdnHost[] = "127.0.0.97";  // the CDN marker of these cases

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The run's final report (the last one, unless it is the start report).
std::optional<StoredRun> FinalOf(const std::vector<StoredRun>& runs) {
    if (runs.empty() || runs.back().status == "start") {
        return std::nullopt;
    }
    return runs.back();
}

// Installer runs on ports of their own. Waits no case depends on are
// shortened through the tuning; everything else keeps the product's values.
class OwnAddressTest : public InstallerTest {
protected:
    OwnAddressTest() : InstallerTest(Addresses::kOwn) {}

    void SetUp() override {
        // An earlier run's engine release thread may still be ending.
        ASSERT_TRUE(WaitForThreadsNamedToEnd("korvel-release", 10000)) << ThreadNames();
        m_threadsBefore = CurrentThreadCount();
        InstallerTest::SetUp();
        // The 2000 ms after the download stay: a failure shown within the
        // render thread's first frames loses the retry page's buttons to its
        // hiding of the install page (see docs/hardening.md).
        m_tuning.nBeforeInstallPassMs = 100;
        m_tuning.reporter.nRetryPauseMs = kRetryPauseMs;
    }

    // A failed case shows the end of the installer's own account of it.
    void TearDown() override {
        if (HasFailure())
            PrintInstallLogEnd();
        InstallerTest::TearDown();
    }

    // Clicks install and waits until the worker has ended in the finished or
    // the retry stage; false when the road did not end in time.
    static bool InstallRoad(SetupDlg& d) {
        Click(d.GetHwnd(), kMainX, kMainY);
        return WaitFor(
            [&] {
                const int stage = d.GetInstallStage();
                return (stage == kStageFinished || stage == kStageFailed) && d.HasWorkerEnded();
            },
            kRoadLimitMs);
    }

    // Clicks the close button and checks that the window began to close (a
    // page without its buttons would otherwise hold the run until CTest's
    // time-out; the fixture closes it when this fails).
    static void CloseByButton(SetupDlg& d, const std::string& page) {
        Click(d.GetHwnd(), kCloseX, kCloseY);
        if (!WaitFor([&] { return d.IsClosing(); }, 5000 * kSlowdown)) {
            Screenshot(d.GetHwnd(), "close-ignored-" + page);
            ADD_FAILURE() << "the close button of the " << page << " page did not respond";
        }
    }

    // After the window closed: engines released, services stopped, and every
    // thread of the run gone (the start report's ends after its last pause).
    void ExpectThreadsEnded() {
        EXPECT_TRUE(WaitForReleasedDownloaders(10000)) << "a released engine kept running";
        StopServices();
        int threads = CurrentThreadCount();
        for (int i = 0; i < 200 && threads > m_threadsBefore; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            threads = CurrentThreadCount();
        }
        EXPECT_EQ(m_threadsBefore, threads) << "threads left after the run: " << ThreadNames();
    }

    int m_threadsBefore = 0;
};

// ---------------------------------------------------------------------------
// Report service faults

class ReportServiceFaultTest : public OwnAddressTest {
protected:
    void UseService(const std::string& reportUrl, const std::string& logUrl) {
        m_tuning.strReportUrl = reportUrl;
        m_tuning.strLogUploadUrl = logUrl;
    }

    // Runs the installer (through the install when asked), waits until the
    // start report has made `expected` attempts as `count` sees them, lets a
    // few retry pauses pass to catch one too many, then closes the window.
    // Returns the start attempts counted at the close.
    int RunAndClose(bool install, int expected, const std::function<int()>& count) {
        int seen = -1;
        HWND window = nullptr;
        RunInstaller([&](SetupDlg& d) {
            window = d.GetHwnd();
            if (install) {
                ASSERT_TRUE(InstallRoad(d));
                ASSERT_EQ(kStageFinished, d.GetInstallStage());
            }
            ASSERT_TRUE(WaitFor([&] { return count() >= expected; }, 20000 * kSlowdown));
            std::this_thread::sleep_for(std::chrono::milliseconds(6 * kRetryPauseMs));
            seen = count();
            CloseByButton(d, install ? "finished" : "install");
        });
        EXPECT_FALSE(IsWindow(window)) << "the window is still there";
        return seen;
    }

    void ExpectInstalled() {
        EXPECT_TRUE(PathFileExists(Utf8ToWide(ProgramFolder() + "/Korvel64.exe")));
        EXPECT_TRUE(DownloadedPackage() == m_package) << "the package differs from the served one";
    }
};

// Nothing listens on the report port: both reports fail at connect, ten times
// each (the reporter logs every failed post), and neither holds up the
// install or the close.
TEST_F(ReportServiceFaultTest, ServiceDownInstallCompletesAndEachReportTriesTenTimes) {
    MirrorSettings downSettings = MirrorAt("127.0.0.1");
    downSettings.refuse = true;  // bound, never listening
    korvel_mirror::MirrorServer down(downSettings, std::make_shared<korvel_mirror::FileSet>());
    std::string error;
    ASSERT_TRUE(down.Start(error)) << error;
    UseService(down.BaseUrl() + kReportPath, down.BaseUrl() + kLogUploadPath);
    StartOwnMirrors(m_package, {MirrorAt(kMirrorHosts[0])}, nullptr);

    const int startAttempts =
        RunAndClose(true, kAttempts, [&] { return CountOf(InstallLog(), kRefusedPost); });
    EXPECT_EQ(kAttempts, startAttempts) << "start report attempts";
    const std::string log = InstallLog();
    const size_t closeAt = log.find("OnBtnClose(user close)");
    ASSERT_NE(std::string::npos, closeAt);
    EXPECT_EQ(kAttempts, CountOf(log.substr(closeAt), kRefusedPost)) << "final report attempts";
    EXPECT_NE(std::string::npos, log.find("Exit app.", closeAt));
    ExpectInstalled();
    ExpectThreadsEnded();
}

// A service that takes the connection and closes it without an answer.
TEST_F(ReportServiceFaultTest, DroppedConnectionsInstallCompletesAndEachReportTriesTenTimes) {
    FaultyReportService service(FaultyReportService::Fault::kDrop);
    std::string error;
    ASSERT_TRUE(service.Start(error)) << error;
    UseService(service.Url(kReportPath), service.Url(kLogUploadPath));
    StartOwnMirrors(m_package, {MirrorAt(kMirrorHosts[0]), MirrorAt(kMirrorHosts[1])}, nullptr);

    EXPECT_EQ(kAttempts,
              RunAndClose(true, kAttempts, [&] { return service.Count(kReportPath, "start"); }));
    EXPECT_EQ(kAttempts, service.Count(kReportPath, "success"));
    EXPECT_EQ(2u * kAttempts, service.Attempts().size()) << "nothing else, no log upload";
    ExpectInstalled();
    service.Stop();
    ExpectThreadsEnded();
}

// A service answering, but (except for the control) never with the accepted reply.
struct ReplyCase {
    const char* name;
    int status;
    const char* body;
    int attempts;  // posts per report until one counts as sent
};

class ReportReplyTest : public ReportServiceFaultTest,
                        public ::testing::WithParamInterface<ReplyCase> {};

TEST_P(ReportReplyTest, EachReportTriesUntilAcceptedOrTenTimesAndTheWindowCloses) {
    const ReplyCase c = GetParam();
    FaultyReportService service(FaultyReportService::Fault::kReply, c.status, c.body);
    std::string error;
    ASSERT_TRUE(service.Start(error)) << error;
    UseService(service.Url(kReportPath), service.Url(kLogUploadPath));

    EXPECT_EQ(c.attempts,
              RunAndClose(false, c.attempts, [&] { return service.Count(kReportPath, "start"); }));
    EXPECT_EQ(c.attempts, service.Count(kReportPath, "cancel"));
    EXPECT_EQ(2u * c.attempts, service.Attempts().size());
    service.Stop();
    ExpectThreadsEnded();
}

const ReplyCase kReplyCases[] = {
    {"status_500_with_refusal", 500, R"({"result":{"res":false,"error":"storage failed"}})",
     kAttempts},
    {"status_500_html_page", 500, "<html><body>Internal Server Error</body></html>", kAttempts},
    {"res_as_string", 200, R"({"result":{"res":"true"}})", kAttempts},
    {"result_without_res", 200, R"({"result":true})", kAttempts},
    {"not_json", 200, "OK", kAttempts},
    {"empty_body", 200, "", kAttempts},
    // The control: the same counting sees a single post once it is accepted.
    {"accepted", 200, R"({"result":{"res":true}})", 1},
};

void PrintTo(const ReplyCase& c, std::ostream* os) {
    *os << c.name;
}

INSTANTIATE_TEST_SUITE_P(Reply, ReportReplyTest, ::testing::ValuesIn(kReplyCases),
                         [](const ::testing::TestParamInfo<ReplyCase>& info) {
                             return std::string(info.param.name);
                         });

// The bounds of a silent service, shortened from 20 s and the upload's 15 s
// low-speed window.
constexpr long kPostBoundSec = 1;
constexpr long kUploadBoundSec = 2;

class SilentServiceTest : public ReportServiceFaultTest {
protected:
    void SetUp() override {
        ReportServiceFaultTest::SetUp();
        m_tuning.reporter.nPostTimeoutSec = kPostBoundSec;
        m_tuning.reporter.nUploadLowSpeedSec = kUploadBoundSec;
        std::string error;
        ASSERT_TRUE(m_service.Start(error)) << error;
        UseService(m_service.Url(kReportPath), m_service.Url(kLogUploadPath));
    }

    // Every attempt on `path` with `status` was ended by the client at its bound.
    void ExpectHeldToTheBound(const char* path, const std::string& status, long boundSec) {
        for (const auto& a : m_service.Attempts()) {
            if (a.path == path && a.status == status) {
                EXPECT_TRUE(a.ended);
                EXPECT_GE(a.heldSeconds, boundSec - 0.1) << path << " " << status;
                EXPECT_LT(a.heldSeconds, boundSec + 3.0 * kSlowdown) << path << " " << status;
            }
        }
    }

    // Closes the window (after a download when asked) and returns the seconds
    // from the click until the window was gone.
    double TimeTheClose(bool download) {
        Clock::time_point clicked;
        HWND window = nullptr;
        RunInstaller([&](SetupDlg& d) {
            window = d.GetHwnd();
            if (download) {
                ASSERT_TRUE(InstallRoad(d));
                EXPECT_EQ(kStageFailed, d.GetInstallStage());
            }
            clicked = Clock::now();
            CloseByButton(d, download ? "retry" : "install");
        });
        const double seconds = SecondsSince(clicked);
        EXPECT_FALSE(IsWindow(window));
        // The start report went on beside the run, bounded alike.
        EXPECT_TRUE(WaitFor([&] { return m_service.Count(kReportPath, "start") >= kAttempts; },
                            40000 * kSlowdown));
        return seconds;
    }

    FaultyReportService m_service{FaultyReportService::Fault::kSilent};
};

// Closing before the install: ten final posts, each cut at the post bound.
TEST_F(SilentServiceTest, EachPostEndsAtItsBoundAndTheWindowCloses) {
    const double seconds = TimeTheClose(false);
    EXPECT_EQ(kAttempts, m_service.Count(kReportPath, "cancel"));
    EXPECT_EQ(0, m_service.Count(kLogUploadPath, "cancel"));
    ExpectHeldToTheBound(kReportPath, "cancel", kPostBoundSec);
    ExpectHeldToTheBound(kReportPath, "start", kPostBoundSec);
    // At least the ten bounded posts; far from the product's 10 x 20 s, and a
    // post without its bound would never end.
    EXPECT_GE(seconds, kAttempts * kPostBoundSec - 0.5);
    EXPECT_LT(seconds, kAttempts * (kPostBoundSec + kRetryPauseMs / 1000.0) + 10.0 * kSlowdown);
    EXPECT_EQ(2 * kAttempts, static_cast<int>(m_service.Attempts().size()));
    EXPECT_EQ(kAttempts, m_service.Count(kReportPath, "start"));
    m_service.Stop();
    ExpectThreadsEnded();
}

// After a failed download each final post is followed by the log upload,
// which ends at its own, longer bound.
TEST_F(SilentServiceTest, EachLogUploadEndsAtItsBoundAndTheWindowCloses) {
    MirrorSettings refusing = MirrorAt(kMirrorHosts[0]);
    refusing.refuse = true;
    StartOwnMirrors(m_package, {refusing}, nullptr);
    const double seconds = TimeTheClose(true);
    EXPECT_EQ(kAttempts, m_service.Count(kReportPath, "downLoad_fail"));
    EXPECT_EQ(kAttempts, m_service.Count(kLogUploadPath, "downLoad_fail"));
    ExpectHeldToTheBound(kReportPath, "downLoad_fail", kPostBoundSec);
    ExpectHeldToTheBound(kLogUploadPath, "downLoad_fail", kUploadBoundSec);
    const double bounded = kAttempts * (kPostBoundSec + kUploadBoundSec);
    EXPECT_GE(seconds, bounded - 0.5);
    EXPECT_LT(seconds, bounded + kAttempts * kRetryPauseMs / 1000.0 + 15.0 * kSlowdown);
    m_service.Stop();
    ExpectThreadsEnded();
}

// ---------------------------------------------------------------------------
// Mirror faults on the whole workflow

using korvel_test::FaultCase;

// libcurl results a transfer can give up with under each fault: a stall ends
// at the low-speed limit (CURLE_OPERATION_TIMEDOUT) or is cut by the
// dispatcher (CURLE_ABORTED_BY_CALLBACK); a reset is a receive error or a
// short body (CURLE_RECV_ERROR, CURLE_PARTIAL_FILE).
std::set<int> GiveUpCodes(const FaultCase& c) {
    std::set<int> codes;
    for (Fault f : c.faults) {
        if (f == Fault::kStall) {
            codes.insert({28, 42});
        } else if (f == Fault::kReset) {
            codes.insert({56, 18});
        }
    }
    return codes;
}

// Every ordinary mirror fails its probe, so only the CDN can serve.
bool OnlyCdnServes(const FaultCase& c) {
    FaultCase without = c;
    without.cdn = false;
    return c.cdn && korvel_test::Expect(without).errors == std::set<int>{kDownloadCheckUrlError};
}

// Engine timings shortened so that stalls and resets are noticed in about a
// second (the product waits 6 s); the CDN marker names this suite's CDN host.
const DownloaderTuning& FaultTuning() {
    static const DownloaderTuning tuning = [] {
        DownloaderTuning t;
        t.dispatchPeriodMs = 200;
        t.stallLimitMs = 1000;
        // libcurl averages over its last seconds: a limit above what a stalled
        // burst averages to ends the transfer after one second.
        t.lowSpeedLimit = 16 * 1024;
        t.lowSpeedTimeS = 1;
        t.pingTimeoutMs = 500;
        t.flagTimeoutMs = 1000;
        t.cdnMarkerDomain = kCdnHost;
        t.cdnMarkerPrefix = "kcdn.";
        return t;
    }();
    return tuning;
}

// The engine suite's fault model on the whole workflow: the same fault modes
// and the same rule for what must come out, read from the window, the files
// and the final report.
class MirrorFaultTest : public OwnAddressTest, public ::testing::WithParamInterface<FaultCase> {
protected:
    void SetUp() override {
        OwnAddressTest::SetUp();
        m_tuning.downloader = &FaultTuning();
    }

    void StartCaseMirrors(const FaultCase& c) {
        std::vector<MirrorSettings> mirrors;
        const auto perMirror = c.FaultsPerMirror();
        for (size_t i = 0; i < perMirror.size(); ++i) {
            MirrorSettings s = MirrorAt(kMirrorHosts[i]);
            for (Fault f : perMirror[i]) {
                korvel_test::ApplyFault(f, s, m_package.size());
            }
            mirrors.push_back(s);
        }
        const MirrorSettings cdn = MirrorAt(kCdnHost);
        StartOwnMirrors(m_package, mirrors, c.cdn ? &cdn : nullptr);
    }

    bool IsMirrorUrl(const std::string& url) {
        for (size_t i = 0; i < MirrorCount(); ++i) {
            if (url == Mirror(i).FileUrl("Korvel12_x64.exe")) {
                return true;
            }
        }
        return false;
    }

    void ExpectInstalled(const FaultCase& c, const StoredRun& final) {
        EXPECT_EQ("success", final.status) << final.json;
        EXPECT_TRUE(DownloadedPackage() == m_package) << "a byte of the package is wrong";
        EXPECT_TRUE(PathFileExists(Utf8ToWide(ProgramFolder() + "/Korvel64.exe")));
        EXPECT_EQ(0, StoredLogCount());
        EXPECT_FALSE(Member(final.json, "curl_error") || Member(final.json, "last_fail_link"))
            << "failure members in a success report";
        if (OnlyCdnServes(c)) {
            const std::string used = Member(final.json, "used_url_info_str").value_or("");
            EXPECT_EQ(std::string("(domain-") + kCdnHost + ",invalid-1,ping_time-0)", used);
        }
    }

    void ExpectFailureReported(const FaultCase& c, const StoredRun& final) {
        EXPECT_EQ("downLoad_fail", final.status) << final.json;
        const std::optional<std::string> error = Member(final.json, "download_last_error");
        ASSERT_TRUE(error.has_value()) << final.json;
        std::set<std::string> allowed;
        for (int code : korvel_test::Expect(c).errors) {
            allowed.insert(DownloadErrorName(code));
        }
        EXPECT_TRUE(allowed.count(*error)) << "download_last_error " << *error;
        const std::optional<std::string> curl = Member(final.json, "curl_error");
        const std::optional<std::string> link = Member(final.json, "last_fail_link");
        ASSERT_TRUE(curl && link && Member(final.json, "repair_link")) << final.json;
        // A transfer that gave up names its mirror and its libcurl result;
        // a failure without one (no source, blocks that stayed wrong) neither.
        if (link->empty()) {
            EXPECT_EQ("0", *curl);
            EXPECT_NE("DispatchFailError", *error) << "a dispatch failure names its link";
        } else {
            EXPECT_TRUE(IsMirrorUrl(*link)) << "last_fail_link " << *link;
            EXPECT_TRUE(GiveUpCodes(c).count(std::stoi(*curl))) << "curl_error " << *curl;
        }
        EXPECT_TRUE(InstallLog().find("Download Failed. Show retry.") != std::string::npos);
        EXPECT_FALSE(PathFileExists(Utf8ToWide(ProgramFolder() + "/Korvel64.exe")));
        EXPECT_EQ(1, StoredLogCount()) << "the log goes with a failure";
    }
};

TEST_P(MirrorFaultTest, InstallsTheRightPackageOrReportsTheFailure) {
    const FaultCase c = GetParam();
    const korvel_test::Expectation expect = korvel_test::Expect(c);
    StartCaseMirrors(c);
    int stage = -1;
    SetupOutcome outcome;
    RunInstaller([&](SetupDlg& d) {
        ASSERT_TRUE(InstallRoad(d)) << "the install road did not end";
        stage = d.GetInstallStage();
        outcome = d.GetOutcome();
        Screenshot(d.GetHwnd(), "fault-" + c.Name());
        CloseByButton(d, c.Name());
    });
    const std::optional<StoredRun> final = FinalOf(Reports());
    ASSERT_TRUE(final.has_value()) << "no final report";
    if (stage == kStageFinished) {
        EXPECT_TRUE(expect.mayVerify) << "installed although no mirror could deliver";
        EXPECT_TRUE(outcome.bDownloadOk && outcome.bInstallOk);
        ExpectInstalled(c, *final);
    } else {
        EXPECT_EQ(kStageFailed, stage) << "the retry page";
        EXPECT_TRUE(expect.mayFail)
            << "failed with " << outcome.strDownloadError << " although a sound source was there";
        EXPECT_FALSE(outcome.bDownloadOk);
        ExpectFailureReported(c, *final);
    }
    ExpectThreadsEnded();
}

// A handful out of the engine suite's combinations: each fault the workflow
// must ride out beside a sound mirror or on the CDN, each way a download can
// fail for good, and pairs.
const FaultCase kWorkflowCases[] = {
    {{Fault::kCorrupt}, 2, false},
    {{Fault::kStall}, 2, false},
    {{Fault::kIgnoreRange}, 2, false},
    {{Fault::kReset}, 1, true},
    {{Fault::kErrorStatus}, 1, true},
    {{Fault::kHeadLength}, 1, true},
    {{Fault::kRefuse}, 1, false},
    {{Fault::kStall}, 1, false},
    {{Fault::kReset}, 1, false},
    {{Fault::kCorrupt}, 1, false},
    {{Fault::kReset, Fault::kCorrupt}, 2, false},
    {{Fault::kStall, Fault::kHeadLength}, 3, false},
    {{Fault::kErrorStatus, Fault::kRefuse}, 2, true},
};

INSTANTIATE_TEST_SUITE_P(Workflow, MirrorFaultTest, ::testing::ValuesIn(kWorkflowCases),
                         [](const ::testing::TestParamInfo<FaultCase>& info) {
                             return info.param.Name();
                         });

}  // namespace
