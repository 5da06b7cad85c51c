// Mirror probing and selection: who is asked what, and who is used.
#include <map>

#include "download/mirror_prober.h"
#include "platform/ping.h"
#include "tests/download/engine_fixture.h"

namespace korvel_test {
namespace {

using korvel_mirror::MirrorServer;
using korvel_mirror::MirrorSettings;

class ProbeTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        ServeContent(Content(2000000, 31));
    }
    MirrorServer* Cdn(MirrorSettings s = MirrorSettings()) { return AddMirror(99, s); }
};

TEST_F(ProbeTest, TwelveItemsOnlyTenProbedFiveFastestUsed) {
    std::vector<MirrorServer*> ms;
    std::vector<std::string> urls;
    for (int i = 0; i < 12; ++i) {
        ms.push_back(AddMirror(71 + i));
        urls.push_back(Url(ms.back()));
    }
    DownloaderTuning t = FastTuning();
    // Later mirrors answer faster, so the order comes from the ping times.
    t.pinger = [](const std::string& host, int* ms) {
        *ms = 100 - std::stoi(host.substr(host.rfind('.') + 1));
        return true;
    };
    Run(MakeConfig(*m_content, urls), t);
    EXPECT_EQ(Engine().GetDownloadState(), kStateFinished);
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(CountMethod(*ms[i], "HEAD"), 1) << i;
    EXPECT_TRUE(ms[10]->Requests().empty());
    EXPECT_TRUE(ms[11]->Requests().empty());
    EXPECT_EQ(UsedUrls(), (std::vector<std::string>{urls[9], urls[8], urls[7], urls[6], urls[5]}));
    std::vector<UrlCfg> checked;
    Engine().GetCheckedUrls(checked);
    ASSERT_EQ(checked.size(), 10u);
    EXPECT_EQ(checked[0].domain, "127.0.0.71:" + std::to_string(ms[0]->Port()));
    EXPECT_EQ(checked[0].pingTime, 29);
    EXPECT_TRUE(RangesSeen(*ms[0]).empty());
}

TEST_F(ProbeTest, NoPingAnswersLeaveTheCdnAloneWithFiveTransfers) {
    MirrorServer* a = AddMirror(83);
    MirrorServer* cdn = Cdn();
    DownloaderTuning t = FastTuning();
    t.pinger = [](const std::string&, int*) { return false; };
    Run(MakeConfig(*m_content, {Url(a), Url(cdn)}), t);
    EXPECT_EQ(Engine().GetDownloadState(), kStateFinished);
    EXPECT_EQ(UsedUrls(), (std::vector<std::string>{Url(cdn)}));
    EXPECT_TRUE(Engine().IsUsingCdn()) << "every byte came from the CDN";
    EXPECT_TRUE(a->Requests().empty()) << "an unreachable mirror is not asked for its size";
    EXPECT_EQ(RangesSeen(*cdn).size(), 5u);
    EXPECT_EQ(CountMethod(*cdn, "GET"), 5) << "the CDN gets no capacity probe";
    DownloadStats s;
    Engine().GetDownloadStats(s);
    EXPECT_EQ(s.itemCount, 5);
}

TEST_F(ProbeTest, CapacityProbeNeedsTwoCharactersStartingWithOne) {
    MirrorSettings s0, s1, s10;
    s0.flagBody = "0";
    s1.flagBody = "1";
    s10.flagBody = "10";
    MirrorServer* a = AddMirror(84, s0);
    MirrorServer* b = AddMirror(85, s1);
    MirrorServer* c = AddMirror(86, s10);
    Run(MakeConfig(*m_content, {Url(a), Url(b), Url(c)}));
    EXPECT_EQ(Engine().GetDownloadState(), kStateFinished);
    EXPECT_EQ(UsedUrls(), (std::vector<std::string>{Url(c)}));
    EXPECT_EQ(CountMethod(*a, "HEAD"), 1);
    EXPECT_TRUE(RangesSeen(*a).empty());
    EXPECT_TRUE(RangesSeen(*b).empty());
    // Its two transfers, and a split of the remainder when one ends early.
    EXPECT_GE(RangesSeen(*c).size(), 2u);
}

TEST_F(ProbeTest, WrongSizeOnHeadLeavesTheMirrorOut) {
    MirrorSettings wrong;
    wrong.headLength = 1999999;
    MirrorServer* a = AddMirror(87, wrong);
    MirrorServer* b = AddMirror(88);
    Run(MakeConfig(*m_content, {Url(a), Url(b)}));
    EXPECT_EQ(UsedUrls(), (std::vector<std::string>{Url(b)}));
    EXPECT_TRUE(RangesSeen(*a).empty());
    EXPECT_EQ(CountMethod(*a, "GET"), 0) << "no capacity probe after a size mismatch";
}

// Two ordinary mirrors pass: the CDN is added behind them; the first CDN URL
// has the wrong size, so the second becomes the CDN mirror.
TEST_F(ProbeTest, WrongSizedCdnIsSkippedForTheNextCdnUrl) {
    MirrorSettings wrong;
    wrong.headLength = 5;
    MirrorServer* a = AddMirror(89);
    MirrorServer* b = AddMirror(90);
    MirrorServer* cdn1 = Cdn(wrong);
    MirrorServer* cdn2 = Cdn();
    Run(MakeConfig(*m_content, {Url(cdn1), Url(a), Url(cdn2), Url(b)}));
    EXPECT_EQ(Engine().GetDownloadState(), kStateFinished);
    EXPECT_EQ(UsedUrls(), (std::vector<std::string>{Url(a), Url(b), Url(cdn2)}));
    EXPECT_TRUE(RangesSeen(*cdn1).empty());
    EXPECT_EQ(RangesSeen(*cdn2).size(), 2u);
    std::vector<UrlCfg> checked;
    Engine().GetCheckedUrls(checked);
    ASSERT_EQ(checked.size(), 4u);
    EXPECT_FALSE(checked[0].fileSizeConsistent);
    EXPECT_EQ(checked[0].domain, FastTuning().cdnMarkerDomain);
    EXPECT_TRUE(checked[2].fileSizeConsistent);
}

TEST_F(ProbeTest, NoUsableMirrorFailsWithCheckUrlError) {
    MirrorSettings refuse;
    refuse.refuse = true;
    MirrorServer* a = AddMirror(91, refuse);
    Run(MakeConfig(*m_content, {Url(a)}));
    EXPECT_EQ(Engine().GetDownloadState(), kStateFailed);
    EXPECT_EQ(Engine().GetErrorCode(), kDownloadCheckUrlError);
    EXPECT_EQ(m_events.Finals()[0], (std::vector<int>{kEventFailed, 0, 0}));
}

TEST(UrlHostPart, BetweenSchemeAndDownloadFolderAsWritten) {
    std::string host;
    ASSERT_TRUE(GetUrlHostPart("http://dl1.example.com:8080/download/a.exe", host));
    EXPECT_EQ(host, "dl1.example.com:8080");
    ASSERT_TRUE(GetUrlHostPart("https://dl1.example.com/download/a.exe", host));
    EXPECT_EQ(host, "dl1.example.com");
    ASSERT_TRUE(GetUrlHostPart("http://[::1]:18891/download/pkg.exe", host));
    EXPECT_EQ(host, "[::1]:18891");
    EXPECT_FALSE(GetUrlHostPart("http://dl1.example.com/files/a.exe", host));
    EXPECT_FALSE(GetUrlHostPart("ftp://dl1.example.com/download/a.exe", host));
    EXPECT_FALSE(GetUrlHostPart("HTTP://dl1.example.com/download/a.exe", host));
}

TEST(UrlHostPart, EndpointTakesBracketsAndPortsApart) {
    MirrorEndpoint e;
    ASSERT_TRUE(ParseMirrorEndpoint("http://[::1]:18891/download/pkg.exe", e));
    EXPECT_EQ(e.host, "::1");
    EXPECT_EQ(e.port, 18891);
    EXPECT_EQ(e.scheme, "http");
    ASSERT_TRUE(ParseMirrorEndpoint("https://[2001:db8::5]/download/pkg.exe", e));
    EXPECT_EQ(e.host, "2001:db8::5");
    EXPECT_EQ(e.port, 443);
    EXPECT_EQ(e.scheme, "https");
    ASSERT_TRUE(ParseMirrorEndpoint("http://dl.example.com/download/pkg.exe", e));
    EXPECT_EQ(e.host, "dl.example.com");
    EXPECT_EQ(e.port, 80);
    ASSERT_TRUE(ParseMirrorEndpoint("https://127.0.0.95:18995/download/pkg.exe", e));
    EXPECT_EQ(e.host, "127.0.0.95");
    EXPECT_EQ(e.port, 18995);
    for (const char* bad :
         {"http://[::1/download/a", "http://[::1]x/download/a", "http://[]:80/download/a",
          "http://host:abc/download/a", "http://host:99999/download/a", "http://host:0/download/a",
          "http://:80/download/a", "http:///download/a", "http://host:+80/download/a"}) {
        EXPECT_FALSE(ParseMirrorEndpoint(bad, e)) << bad;
    }
}

// The real probe pings the host alone; where ICMP is not permitted the
// connection round trip goes to the mirror's own port.
TEST(MirrorPing, CheckPingPingsTheHostOfEitherScheme) {
    std::vector<std::string> hosts;
    DownloaderTuning t;
    t.pinger = [&hosts](const std::string& host, int* ms) {
        hosts.push_back(host);
        *ms = 3;
        return true;
    };
    DownloaderCurl engine(t);
    int ms = -1;
    EXPECT_TRUE(engine.CheckPing("http://127.0.0.5:1234/download/x", &ms));
    EXPECT_EQ(ms, 3);
    EXPECT_TRUE(engine.CheckPing("https://[::1]:443/download/x", &ms));
    EXPECT_TRUE(engine.CheckPing("https://dl.example.com/download/x", &ms));
    EXPECT_FALSE(engine.CheckPing("http://127.0.0.5:1234/files/x", &ms));
    EXPECT_EQ(hosts, (std::vector<std::string>{"127.0.0.5", "::1", "dl.example.com"}));
}

TEST(MirrorPing, RealEchoReachesLoopbackMirrors) {
    DownloaderTuning t;
    t.pingTimeoutMs = 1000;
    DownloaderCurl engine(t);
    korvel_mirror::MirrorSet set;
    korvel_mirror::MirrorServer* m = set.Add(korvel_mirror::MirrorSettings());
    ASSERT_NE(m, nullptr);
    int ms = -1;
    EXPECT_TRUE(engine.CheckPing(m->FileUrl("x"), &ms));
    EXPECT_GE(ms, 0);
}

// The prober alone, without an engine: a mirror that does not echo is
// marked unusable and never asked for its size; one that echoes but refuses
// the size request is probed and dropped; a CDN mirror is kept apart and
// only taken when its size is right.
TEST(MirrorProberAlone, MarksFailedMirrorsAndKeepsTheCdnApart) {
    DownloaderTuning t;
    t.cdnMarkerDomain = "cdn.example";
    t.probeConnectTimeoutMs = 1000;
    t.probeTimeoutMs = 1000;
    t.pinger = [](const std::string& host, int* ms) {
        *ms = 7;
        return host != "127.0.0.2";
    };
    MirrorProber prober(t, "");
    DownloadTask task;
    task.size = 1000;
    const char* urls[] = {"http://127.0.0.2:9/download/a", "http://127.0.0.1:9/download/a",
                          "http://cdn.example.invalid:9/download/a"};
    for (int i = 0; i < 3; ++i) {
        snprintf(task.urls[i].url, sizeof(task.urls[i].url), "%s", urls[i]);
        task.urls[i].fileSizeConsistent = true;
    }
    const MirrorProbeResults r = prober.ProbeAll(task);
    ASSERT_EQ(r.checked.size(), 3u);
    EXPECT_EQ(r.checked[1].pingTime, 7);
    EXPECT_EQ(r.checked[1].domain, "127.0.0.1:9");
    EXPECT_TRUE(r.candidates.empty());
    EXPECT_FALSE(r.haveCdn);
    for (int i = 0; i < 3; ++i)
        EXPECT_FALSE(task.urls[i].fileSizeConsistent) << urls[i];
    EXPECT_TRUE(prober.IsCdnUrl(urls[2]));
    EXPECT_FALSE(prober.IsCdnUrl(urls[1]));
    EXPECT_EQ(prober.GetDownloadFileLength(urls[1]), -1);
}

}  // namespace
}  // namespace korvel_test
