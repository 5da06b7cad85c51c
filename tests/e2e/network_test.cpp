// The installer's road on networks as they are: run by an ordinary user on a
// machine that does not let it send ICMP, with mirrors reached over IPv6,
// and with the reports going over TLS. Mirrors and service listen on ports
// the system picks.
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <optional>

#include "deployment.h"
#include "platform/folders.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "report/install_reporter.h"
#include "tests/e2e/e2e_fixture.h"
#include "tests/support/test_certificates.h"

using namespace korvel_e2e;
using korvel_mirror::MirrorSettings;

namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr int kSlowdown = 3;
#else
constexpr int kSlowdown = 1;
#endif
constexpr int kRoadLimitMs = 90000 * kSlowdown;
// The build's CDN marker, so that the product's own download timings apply.
constexpr char kCdnHost[] = KORVEL_CDN_MARKER_DOMAIN;
constexpr char kInnerRoad[] = "OrdinaryUserRoad.DISABLED_FiveOrdinaryMirrorsWithoutIcmp";
constexpr char kPingGroupRange[] = "/proc/sys/net/ipv4/ping_group_range";

// One install road on the own addresses: install click, the finished page,
// the close button; the final report as the service stored it.
class NetworkRoadTest : public InstallerTest {
protected:
    NetworkRoadTest() : InstallerTest(Addresses::kOwn) {}

    void SetUp() override {
        InstallerTest::SetUp();
        m_tuning.nBeforeInstallPassMs = 100;
    }

    void TearDown() override {
        if (HasFailure())
            PrintInstallLogEnd();
        InstallerTest::TearDown();
    }

    StoredRun InstallAndClose() {
        RunInstaller([&](SetupDlg& d) {
            Click(d.GetHwnd(), kMainX, kMainY);
            ASSERT_TRUE(WaitFor(
                [&] {
                    const int stage = d.GetInstallStage();
                    return (stage == kStageFinished || stage == kStageFailed) && d.HasWorkerEnded();
                },
                kRoadLimitMs))
                << "the install road did not end";
            EXPECT_EQ(kStageFinished, d.GetInstallStage());
            Click(d.GetHwnd(), kCloseX, kCloseY);
            EXPECT_TRUE(WaitFor([&] { return d.IsClosing(); }, 5000 * kSlowdown));
        });
        const std::vector<StoredRun> runs = Reports();
        return runs.empty() ? StoredRun() : runs.back();
    }

    std::string UsedText(const StoredRun& run) {
        return Member(run.json, "used_url_info_str").value_or("");
    }
};

// ---------------------------------------------------------------------------
// An ordinary user

// Started only by UnprivilegedRoad, as an ordinary user (disabled otherwise).
class OrdinaryUserRoad : public NetworkRoadTest {};

TEST_F(OrdinaryUserRoad, DISABLED_FiveOrdinaryMirrorsWithoutIcmp) {
    if (geteuid() == 0)
        GTEST_SKIP() << "this road is the ordinary user's; UnprivilegedRoad starts it";
    // The program folder and registry store an ordinary user gets by default
    // ($HOME/.local/opt, $XDG_DATA_HOME/korvel/registry.db).
    unsetenv("ProgramW6432");
    unsetenv("KORVEL_REGISTRY_DB");
    std::vector<MirrorSettings> mirrors;
    for (const char* host :
         {"127.0.0.41", "127.0.0.42", "127.0.0.43", "127.0.0.44", "127.0.0.45", "127.0.0.46"}) {
        mirrors.push_back(MirrorAt(host));
    }
    const MirrorSettings cdn = MirrorAt(kCdnHost);
    StartOwnMirrors(m_package, mirrors, &cdn);
    const StoredRun final = InstallAndClose();
    EXPECT_EQ("success", final.status) << final.json;
    EXPECT_EQ("false", Member(final.json, "amazon_download").value_or("")) << final.json;
    const std::string used = UsedText(final);
    EXPECT_EQ(5, CountOf(used, "(domain-127.0.0.4")) << used;
    EXPECT_EQ(std::string::npos, used.find(kCdnHost)) << used;
    EXPECT_TRUE(DownloadedPackage() == m_package) << "the package differs from the served one";
    const std::string program = Home() + "/.local/opt/Korvel/Korvel 12";
    EXPECT_TRUE(PathFileExists(Utf8ToWide(program + "/Korvel64.exe"))) << program;
    EXPECT_TRUE(PathFileExists(Utf8ToWide(program + "/uninstall.exe")));
    EXPECT_TRUE(PathFileExists(Utf8ToWide(Home() + "/Desktop/Korvel 12 (x64).desktop")));
    EXPECT_EQ(Home() + "/.local/share/korvel/registry.db", GetRegistryStorePath());
    bool registered = false;
    for (DWORD view : {DWORD(0), DWORD(KEY_WOW64_64KEY)}) {
        CMyRegKey key;
        registered =
            registered ||
            key.Open(HKEY_LOCAL_MACHINE,
                     "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Korvel 12 (x64)",
                     KEY_READ | view) == ERROR_SUCCESS;
    }
    EXPECT_TRUE(registered) << "no uninstall entry in the user's registry store";
    bool installStart = false;
    for (const std::vector<std::string>& args : Launches())
        installStart = installStart || (args.size() > 1 && args[1] == "/install");
    EXPECT_TRUE(installStart) << "the hand-off did not start the product with /install";
    // The outer case reads which echo the run used.
    const std::string log = InstallLog();
    const size_t at = log.find("Ping method : ");
    ASSERT_NE(std::string::npos, at) << "no ping method logged";
    printf("used-mirrors: %s\n", used.c_str());
    printf("%s\n", log.substr(at, log.find('\n', at) - at).c_str());
}

// Writes a value into a /proc/sys file and puts the old one back at the end.
class SysctlOverride {
public:
    explicit SysctlOverride(const char* path) : m_path(path) {
        std::ifstream in(path);
        std::getline(in, m_old);
    }
    ~SysctlOverride() {
        if (m_changed)
            Write(m_old);
    }
    const std::string& Old() const { return m_old; }
    bool Set(const std::string& value) {
        m_changed = Write(value);
        return m_changed;
    }

private:
    bool Write(const std::string& value) {
        const int fd = open(m_path.c_str(), O_WRONLY | O_CLOEXEC);
        if (fd < 0)
            return false;
        const bool ok = write(fd, value.data(), value.size()) == ssize_t(value.size());
        close(fd);
        return ok;
    }
    std::string m_path;
    std::string m_old;
    bool m_changed = false;
};

// True when the range "low high" admits the group.
bool RangeAdmits(const std::string& range, gid_t gid) {
    unsigned long low = 1, high = 0;
    if (sscanf(range.c_str(), "%lu %lu", &low, &high) != 2)
        return false;
    return gid >= low && gid <= high;
}

std::string RunCapture(const std::string& command, int& status) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) {
        status = -1;
        return out;
    }
    std::array<char, 4096> buf;
    size_t n;
    while ((n = fread(buf.data(), 1, buf.size(), pipe)) > 0)
        out.append(buf.data(), n);
    status = pclose(pipe);
    return out;
}

// The whole road as the user "nobody", with a home of its own and without the
// right to send ICMP: the ordinary mirrors are pinged by connection round
// trips and used, the CDN stays in reserve.
TEST(UnprivilegedRoad, OrdinaryUserWithoutIcmpGetsTheOrdinaryMirrors) {
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to start the road as another user (runuser)";
    const passwd* user = getpwnam("nobody");
    if (!user)
        GTEST_SKIP() << "no user \"nobody\" on this machine";
    SysctlOverride icmp(kPingGroupRange);
    if (icmp.Old().empty())
        GTEST_SKIP() << kPingGroupRange << " cannot be read here";
    const bool icmpOff = !RangeAdmits(icmp.Old(), user->pw_gid);
    if (!icmpOff && !icmp.Set("1 0"))
        GTEST_SKIP() << "unprivileged ICMP is allowed (" << icmp.Old()
                     << ") and this test may not switch it off (" << kPingGroupRange
                     << " is read-only here)";
    korvel_test::TempDir home;
    ASSERT_EQ(0, chown(home.path().c_str(), user->pw_uid, user->pw_gid));
    char self[4096] = {0};
    ASSERT_GT(readlink("/proc/self/exe", self, sizeof(self) - 1), 0);
    const std::string command =
        "runuser -u nobody -- env HOME='" + home.path() + "' TMPDIR='" + home.path() + "' '" +
        self + "' --gtest_also_run_disabled_tests --gtest_filter=" + kInnerRoad + " 2>&1";
    int status = 0;
    const std::string out = RunCapture(command, status);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << out;
    EXPECT_NE(std::string::npos, out.find("[  PASSED  ] 1 test.")) << out;
    EXPECT_EQ(std::string::npos, out.find("[  SKIPPED ]")) << out;
    EXPECT_NE(std::string::npos, out.find("Ping method : tcp-connect")) << out;
    const size_t used = out.find("used-mirrors: ");
    if (used != std::string::npos)
        printf("%s\n", out.substr(used, out.find('\n', used) - used).c_str());
}

}  // namespace

namespace {

// ---------------------------------------------------------------------------
// IPv6 mirrors

class Ipv6Road : public NetworkRoadTest {};

// Mirrors of both families as one set; the first IPv6 one flips bytes in
// whatever it serves, which is repaired from the others. The report
// names the IPv6 mirror by its host part as written.
TEST_F(Ipv6Road, MixedSetWithABadIpv6MirrorInstallsAndReportsItAsWritten) {
    if (!korvel_test::HasIpv6Loopback())
        GTEST_SKIP() << "this machine has no IPv6 loopback (::1)";
    MirrorSettings bad = MirrorAt("::1");
    // A flipped byte every 256 KiB: each of its ranges (a sixth or eighth of
    // the package) holds one.
    for (uint64_t at = 7; at < m_package.size(); at += 262144)
        bad.corruptOffsets.push_back(at);
    StartOwnMirrors(
        m_package, {MirrorAt("127.0.0.47"), bad, MirrorAt("::1"), MirrorAt("127.0.0.48")}, nullptr);
    const StoredRun final = InstallAndClose();
    EXPECT_EQ("success", final.status) << final.json;
    EXPECT_TRUE(DownloadedPackage() == m_package) << "a byte of the package is wrong";
    const std::string used = UsedText(final);
    const std::string probed = Member(final.json, "all_url_info_str").value_or("");
    for (size_t i : {1u, 2u}) {
        const std::string name = "(domain-[::1]:" + std::to_string(Mirror(i).Port()) + ",";
        EXPECT_NE(std::string::npos, used.find(name)) << used;
        EXPECT_NE(std::string::npos, probed.find(name)) << probed;
    }
    EXPECT_EQ(4, CountOf(used, "(domain-")) << used;
    EXPECT_NE(std::string::npos, InstallLog().find("Download_RepairData"))
        << "no block was repaired";
}

// ---------------------------------------------------------------------------
// Reports over TLS

class TlsReportRoad : public NetworkRoadTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_certs.Make({"127.0.0.1"}, m_certError)) << m_certError;
        NetworkRoadTest::SetUp();
        m_tuning.reporter.caFile = m_certs.CaFile();
    }
    TlsFiles ReportServiceTls() const override {
        return TlsFiles{m_certs.CertFile(), m_certs.KeyFile()};
    }

    korvel_test::TestCertificates m_certs;
    std::string m_certError;
};

TEST_F(TlsReportRoad, StartAndFinalReportsArriveOverTls) {
    StartOwnMirrors(m_package,
                    {MirrorAt("127.0.0.49"), MirrorAt("127.0.0.50"), MirrorAt("127.0.0.51")},
                    nullptr);
    const StoredRun final = InstallAndClose();
    EXPECT_EQ("success", final.status) << final.json;
    const std::vector<StoredRun> runs = Reports();
    ASSERT_EQ(2u, runs.size());
    EXPECT_EQ("start", runs[0].status);
    EXPECT_EQ(std::string::npos, InstallLog().find("PostReport failed")) << "a post was refused";
}

}  // namespace
