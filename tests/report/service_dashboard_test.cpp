// The dashboard: figures per day and per group from a generated store,
// escaping of every report text, and the page in a real headless browser.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <regex>

#include "tests/report/service_fixture.h"
#include "tests/support/test_support.h"

using namespace service_test;

namespace {

// 2026-12-09 12:00:00 UTC: "today" of every page in this file.
constexpr int64_t kNow = 1796817600;
constexpr int64_t kDay = 86400;

struct Generated {
    int nStarts = 0;
    int nFinals = 0;
};

// Reports of installers over `days` days before kNow, the same for every seed.
Generated Fill(ReportStore& store, int days, int runsPerDay, unsigned seed) {
    std::mt19937 random(seed);
    const char* versions[] = {"12.0.0.2 official (15/10/2020)", "12.0.0.3 official (02/11/2020)",
                              "12.1.0.0 beta (20/11/2020)"};
    const char* languages[] = {"English", "German", "Chinese(Simplified)", "French", "Japanese"};
    const char* mirrors[] = {"cdn.korvel.example", "mirror-eu.korvel.example",
                             "mirror-us.korvel.example", "mirror-asia.korvel.example"};
    const char* errors[] = {"DOWNLOAD_ERROR_MD5", "DOWNLOAD_ERROR_TIMEOUT",
                            "DOWNLOAD_ERROR_NO_SPACE", "DOWNLOAD_ERROR_HTTP"};
    Generated g;
    const int64_t first = kNow / kDay * kDay - int64_t(days - 1) * kDay;
    for (int day = 0; day < days; ++day) {
        // A slow rise in installs and a release with more failures in the middle.
        const int runs = runsPerDay + day * runsPerDay / 60 + int(random() % 10);
        for (int run = 0; run < runs; ++run) {
            char uuid[33];
            snprintf(uuid, sizeof(uuid), "%08X%08X%016X", seed, day, run);
            const int64_t at = first + day * kDay + int64_t(random() % kDay);
            const std::string version = versions[day < 10 ? 0 : (day < 20 ? random() % 3 : 1)];
            const unsigned roll = random() % 100;
            const bool beta = version.find("beta") != std::string::npos;
            const char* status = roll < (beta ? 60u : 82u)   ? "success"
                                 : roll < (beta ? 75u : 88u) ? "downLoad_fail"
                                 : roll < 92                 ? "install_fail"
                                 : roll < 96                 ? "donwload_cancel"
                                                             : "cancel";
            const std::string mirror = mirrors[random() % 4];
            const std::string extra =
                ",\"app_version\":\"" + version + "\",\"language\":\"" + languages[random() % 5] +
                "\",\"system_type\":\"" + (random() % 5 ? "win64" : "win32") +
                "\",\"download_second\":" + std::to_string(40 + random() % 200 + day) +
                ",\"average_speed\":" + std::to_string(2000000 + random() % 3000000) +
                ",\"download_last_error\":\"" +
                (std::string(status) == "downLoad_fail" ? errors[random() % 4] : "") +
                "\",\"install_last_error\":\"" +
                (std::string(status) == "install_fail" ? "INSTALL_ERROR_EXTRACT" : "") +
                "\",\"used_url_info\":[{\"invalid\":" + std::to_string(random() % 7 == 0) +
                ",\"domain\":\"" + mirror +
                "\",\"ping_time\":" + std::to_string(20 + random() % 80) + "}]";
            int64_t id = 0;
            EXPECT_TRUE(store.AddReport({0, at, "198.51.100.9", "Korvel 12", uuid, "start", 1015,
                                         ReportJson("start", uuid)},
                                        id));
            EXPECT_TRUE(store.AddReport({0, at + 200, "198.51.100.9", "Korvel 12", uuid, status,
                                         1015, ReportJson(status, uuid, extra)},
                                        id));
            ++g.nStarts;
            ++g.nFinals;
            if (std::string(status).find("fail") != std::string::npos) {
                StoredLog log{0, at + 201, "198.51.100.9", "Korvel 12", status, uuid, "", 0};
                EXPECT_EQ(store.AddLog(log, "00:00:01 : failed\n", LogQuota(), id),
                          LogOutcome::Stored);
            }
        }
    }
    return g;
}

class DashboardTest : public ::testing::Test {
protected:
    void Start() {
        ServiceOptions options;
        options.dbPath = tmp.Sub("reports.db");
        options.wallClock = [] { return kNow; };
        running = std::make_unique<RunningService>(options);
        ASSERT_TRUE(running->IsServing());
        client = running->Client();
    }
    std::string Page(const std::string& path) {
        auto res = client->Get(path.c_str());
        EXPECT_TRUE(res && res->status == 200) << path;
        return res ? res->body : "";
    }

    korvel_test::TempDir tmp;
    std::unique_ptr<RunningService> running;
    std::unique_ptr<httplib::Client> client;
};

}  // namespace

TEST_F(DashboardTest, DayFiguresAndRangeComeFromTheStore) {
    Start();
    ReportStore& store = running->service.Store();
    int64_t id = 0;
    const int64_t today = kNow / kDay * kDay;
    // Yesterday: three starts, two finished, one of them a success in 100 s.
    for (int i = 0; i < 3; ++i)
        store.AddReport({0, today - kDay + i, "a", "K", "U" + std::to_string(i), "start", 1, "{}"},
                        id);
    store.AddReport(
        {0, today - kDay + 10, "a", "K", "U0", "success", 1,
         ReportJson("success", "U0", ",\"download_second\":100,\"average_speed\":2097152")},
        id);
    store.AddReport({0, today - kDay + 11, "a", "K", "U1", "install_fail", 1,
                     ReportJson("install_fail", "U1", ",\"install_last_error\":\"E_X\"")},
                    id);
    // 40 days ago: outside the default range.
    store.AddReport({0, today - 40 * kDay, "a", "K", "old", "start", 1, "{}"}, id);

    const std::string page = Page("/");
    EXPECT_NE(page.find("Last 30 days: 2026-11-10 to 2026-12-09"), std::string::npos);
    EXPECT_NE(page.find("<title>12-08 started: 3</title>"), std::string::npos);
    EXPECT_NE(page.find("<title>12-08 finished: 2</title>"), std::string::npos);
    EXPECT_NE(page.find("<title>12-08 success rate: 50 %</title>"), std::string::npos);
    EXPECT_NE(page.find("<title>12-08 median download time: 100 s</title>"), std::string::npos);
    EXPECT_NE(page.find("<title>12-08 average speed: 2.0 MB/s</title>"), std::string::npos);
    EXPECT_NE(page.find("<b>3</b>installs started"), std::string::npos);
    EXPECT_NE(page.find("<tr><td>install_last_error: E_X</td><td class=\"n\">1</td>"),
              std::string::npos);
    EXPECT_NE(Page("/?days=90").find("<b>4</b>installs started"), std::string::npos);
    for (const char* bad : {"/?days=0", "/?days=367", "/?days=abc", "/?days=-1"}) {
        auto res = client->Get(bad);
        ASSERT_TRUE(res);
        EXPECT_EQ(res->status, 400) << bad;
    }
}

TEST_F(DashboardTest, EveryReportTextIsEscapedAndNothingIsLoadedFromElsewhere) {
    Start();
    const std::string evil = "<script>alert('x')</script>\\\"><img src=//evil.example/a>";
    int64_t id = 0;
    const int64_t at = kNow - 3600;
    ASSERT_TRUE(running->service.Store().AddReport(
        {0, at, "a", "K", "EVIL", "downLoad_fail", 1,
         ReportJson("downLoad_fail", "EVIL",
                    ",\"app_version\":\"" + evil + "\",\"language\":\"" + evil +
                        "\",\"system_type\":\"" + evil + "\",\"download_last_error\":\"" + evil +
                        "\",\"used_url_info\":[{\"invalid\":1,\"domain\":\"" + evil +
                        "\",\"ping_time\":5}]")},
        id));
    const std::string page = Page("/");
    EXPECT_EQ(page.find("<script"), std::string::npos);
    EXPECT_EQ(page.find("<img"), std::string::npos);
    EXPECT_NE(page.find("&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt;&quot;&gt;&lt;img"),
              std::string::npos);
    // Every reference stays on this service: relative links and a data: icon only.
    const std::regex reference(R"((src|href|xlink:href)\s*=\s*"([^"]*)\")");
    for (auto it = std::sregex_iterator(page.begin(), page.end(), reference);
         it != std::sregex_iterator(); ++it) {
        const std::string target = (*it)[2];
        EXPECT_TRUE((target.rfind("/", 0) == 0 && target.rfind("//", 0) != 0) || target == "data:,")
            << target;
    }
    EXPECT_EQ(page.find("url("), std::string::npos);
    EXPECT_EQ(page.find("@import"), std::string::npos);
}

// The page as a person sees it: a few thousand generated reports over 30
// days, rendered by headless Chromium. KORVEL_SCREENSHOT_DIR keeps the picture.
TEST_F(DashboardTest, RendersInHeadlessChromium) {
    const char* chromium = nullptr;
    for (const char* candidate : {"/usr/bin/chromium", "/usr/bin/chromium-browser"}) {
        if (access(candidate, X_OK) == 0)
            chromium = candidate;
    }
    if (!chromium)
        GTEST_SKIP() << "no chromium (Debian package chromium, ./run deps)";
    Start();
    const Generated g = Fill(running->service.Store(), 30, 70, 7);
    ASSERT_GT(g.nStarts, 2000);
    const std::string shot = tmp.Sub("dashboard.png");
    const std::string dom = tmp.Sub("dom.html");
    const std::string flags =
        " --headless --no-sandbox --disable-gpu --disable-quic --no-first-run"
        " --disable-background-networking --disable-component-update --disable-sync"
        " --hide-scrollbars --user-data-dir=" +
        tmp.Sub("profile");
    const std::string url = running->Url("/?days=30");
    const std::string common = std::string("timeout 120 ") + chromium + flags;
    ASSERT_EQ(std::system((common + " --window-size=1280,2900 --screenshot=" + shot + " " + url +
                           " >" + tmp.Sub("chromium.log") + " 2>&1")
                              .c_str()),
              0)
        << korvel_test::ReadFile(tmp.Sub("chromium.log"));
    ASSERT_EQ(std::system((common + " --dump-dom " + url + " >" + dom + " 2>/dev/null").c_str()),
              0);
    const std::string rendered = korvel_test::ReadFile(dom);
    EXPECT_NE(rendered.find("<b>" + std::to_string(g.nStarts) + "</b>installs started"),
              std::string::npos);
    EXPECT_GE(std::count(rendered.begin(), rendered.end(), '\n'), 100);
    EXPECT_NE(rendered.find("<svg"), std::string::npos);
    EXPECT_NE(rendered.find("mirror-eu.korvel.example"), std::string::npos);
    const auto size = std::filesystem::file_size(shot);
    EXPECT_GT(size, 20000u);  // a page of charts, not a blank one
    if (const char* keep = getenv("KORVEL_SCREENSHOT_DIR")) {
        std::filesystem::copy_file(shot, std::string(keep) + "/dashboard.png",
                                   std::filesystem::copy_options::overwrite_existing);
    }
}
