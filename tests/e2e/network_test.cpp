// The installer's road on networks as they are: run by an ordinary user on a
// machine that does not let it send ICMP, with mirrors reached over IPv6,
// and with the reports going over TLS. Mirrors and service listen on ports
// the system picks.
#include <cjson/cJSON.h>
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

#include "platform/folders.h"
#include "platform/text.h"
#include "report/install_reporter.h"
#include "tests/e2e/e2e_fixture.h"

using namespace korvel_e2e;
using korvel_mirror::MirrorSettings;

namespace {

constexpr int kMainX = 311, kMainY = 374;
constexpr int kCloseX = 608, kCloseY = 10;
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

std::optional<std::string> Member(const std::string& json, const char* name) {
    cJSON* doc = cJSON_Parse(json.c_str());
    const cJSON* item = cJSON_GetObjectItem(doc, name);
    std::optional<std::string> out;
    if (cJSON_IsString(item))
        out = item->valuestring;
    else if (cJSON_IsNumber(item))
        out = std::to_string(item->valueint);
    cJSON_Delete(doc);
    return out;
}

int CountOf(const std::string& text, const std::string& part) {
    int n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

MirrorSettings At(const char* address) {
    MirrorSettings s;
    s.address = address;
    return s;
}

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
        if (HasFailure()) {
            const std::string log = InstallLog();
            printf("---- end of install.log ----\n%s\n",
                   log.substr(log.size() > 6000 ? log.size() - 6000 : 0).c_str());
        }
        InstallerTest::TearDown();
    }

    StoredRun InstallAndClose() {
        RunInstaller([&](SetupDlg& d) {
            Click(d.GetHwnd(), kMainX, kMainY);
            ASSERT_TRUE(WaitFor(
                [&] {
                    const int stage = d.GetInstallStage();
                    return (stage == kStageFinished || stage == kStageFailed) &&
                           d.HasWorkerEnded();
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
    // The program folder an ordinary user gets by default ($HOME/.local/opt).
    unsetenv("ProgramW6432");
    std::vector<MirrorSettings> mirrors;
    for (const char* host : {"127.0.0.41", "127.0.0.42", "127.0.0.43", "127.0.0.44", "127.0.0.45",
                             "127.0.0.46"}) {
        mirrors.push_back(At(host));
    }
    const MirrorSettings cdn = At(kCdnHost);
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
    const std::string command = "runuser -u nobody -- env HOME='" + home.path() + "' TMPDIR='" +
                                home.path() + "' '" + self +
                                "' --gtest_also_run_disabled_tests --gtest_filter=" + kInnerRoad +
                                " 2>&1";
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
