// Mirrors over HTTPS and over IPv6: probed, sorted and used as one set with
// plain IPv4 mirrors; a bad block from either kind is repaired from another.
#include <algorithm>

#include "tests/download/engine_fixture.h"
#include "tests/support/log_capture.h"
#include "tests/support/test_certificates.h"

namespace korvel_test {
namespace {

using korvel_mirror::MirrorServer;
using korvel_mirror::MirrorSettings;

constexpr size_t kSize = 3000000;
constexpr uint64_t kMiB = 1048576;

// One flipped byte in each 1 MiB block: whatever range such a mirror serves
// holds a bad block.
std::vector<uint64_t> OneBadByteEachBlock() {
    return {5, kMiB + 5, 2 * kMiB + 5};
}

class NetworkMirrorTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        ServeContent(Content(kSize, 47));
    }
    std::vector<std::string> CheckedDomains() {
        std::vector<UrlCfg> checked;
        Engine().GetCheckedUrls(checked);
        std::vector<std::string> out;
        for (const UrlCfg& u : checked)
            out.push_back(u.domain);
        return out;
    }
    static bool Has(const std::vector<std::string>& list, const std::string& item) {
        return std::find(list.begin(), list.end(), item) != list.end();
    }
    void ExpectVerified() {
        EXPECT_EQ(Engine().GetDownloadState(), kStateFinished);
        EXPECT_TRUE(DestContent() == *m_content) << "the file differs from the served one";
    }
};

// ---------------------------------------------------------------------------
// HTTPS

class HttpsMirrorTest : public NetworkMirrorTest {
protected:
    void SetUp() override {
        NetworkMirrorTest::SetUp();
        std::string error;
        ASSERT_TRUE(m_certs.Make(
            {"127.0.0.1", "127.0.0.51", "127.0.0.52", "127.0.0.53", "127.0.0.99", "::1"}, error))
            << error;
    }
    MirrorServer* AddHttps(int host, MirrorSettings s = MirrorSettings(), bool trusted = true) {
        s.tlsCert = trusted ? m_certs.CertFile() : m_certs.UntrustedCertFile();
        s.tlsKey = trusted ? m_certs.KeyFile() : m_certs.UntrustedKeyFile();
        return AddMirror(host, s);
    }
    DownloaderTuning Trusting() {
        DownloaderTuning t = FastTuning();
        t.caFile = m_certs.CaFile();
        return t;
    }
    static std::string HostPart(MirrorServer* m) {
        return m->Address() + ":" + std::to_string(m->Port());
    }

    TestCertificates m_certs;
};

TEST_F(HttpsMirrorTest, HttpsOnlySetDownloadsAndVerifies) {
    MirrorServer* a = AddHttps(51);
    MirrorServer* b = AddHttps(52);
    ASSERT_EQ(Url(a).compare(0, 8, "https://"), 0);
    Run(MakeConfig(*m_content, {Url(a), Url(b)}), Trusting());
    ExpectVerified();
    EXPECT_EQ(UsedUrls(), (std::vector<std::string>{Url(a), Url(b)}));
    EXPECT_EQ(CheckedDomains(), (std::vector<std::string>{HostPart(a), HostPart(b)}));
    for (MirrorServer* m : {a, b}) {
        // Only TLS reaches the HTTP side, so these requests came over HTTPS.
        EXPECT_EQ(CountMethod(*m, "HEAD"), 1);
        int flags = 0;
        for (const auto& r : m->Requests())
            flags += r.path == "/flag.php";
        EXPECT_EQ(flags, 1) << "the capacity probe goes to the mirror's own scheme";
        EXPECT_FALSE(RangesSeen(*m).empty());
    }
}

TEST_F(HttpsMirrorTest, MixedSetRepairsAnHttpsMirrorsBadBlockFromAnother) {
    MirrorSettings bad;
    bad.corruptOffsets = OneBadByteEachBlock();
    MirrorServer* plain1 = AddMirror(53);
    MirrorServer* tls = AddHttps(51, bad);
    MirrorServer* plain2 = AddMirror(54);
    Run(MakeConfig(*m_content, {Url(plain1), Url(tls), Url(plain2)}), Trusting());
    ExpectVerified();
    EXPECT_EQ(UsedUrls(), (std::vector<std::string>{Url(plain1), Url(tls), Url(plain2)}));
    EXPECT_FALSE(RangesSeen(*tls).empty());
    const std::string repair = Engine().GetRepairLink();
    EXPECT_TRUE(repair == Url(plain1) || repair == Url(plain2)) << repair;
}

TEST_F(HttpsMirrorTest, UntrustedCertificateIsNeverDownloadedFrom) {
    MirrorServer* plain = AddMirror(53);
    MirrorServer* untrusted = AddHttps(52, MirrorSettings(), false);
    MirrorServer* trusted = AddHttps(51);
    Run(MakeConfig(*m_content, {Url(untrusted), Url(plain), Url(trusted)}), Trusting());
    ExpectVerified();
    EXPECT_EQ(UsedUrls(), (std::vector<std::string>{Url(plain), Url(trusted)}));
    EXPECT_TRUE(untrusted->Requests().empty()) << "a request passed an untrusted handshake";
}

TEST_F(HttpsMirrorTest, UntrustedOnlyMirrorFailsWithCheckUrlError) {
    MirrorServer* untrusted = AddHttps(52, MirrorSettings(), false);
    Run(MakeConfig(*m_content, {Url(untrusted)}), Trusting());
    EXPECT_EQ(Engine().GetDownloadState(), kStateFailed);
    EXPECT_EQ(Engine().GetErrorCode(), kDownloadCheckUrlError);
    EXPECT_TRUE(untrusted->Requests().empty());
}

// Without the test's CA the system's store decides, and it does not know it.
TEST_F(HttpsMirrorTest, WithoutTheCaFileTheSystemStoreDecides) {
    MirrorServer* a = AddHttps(51);
    Run(MakeConfig(*m_content, {Url(a)}), FastTuning());
    EXPECT_EQ(Engine().GetDownloadState(), kStateFailed);
    EXPECT_EQ(Engine().GetErrorCode(), kDownloadCheckUrlError);
    EXPECT_TRUE(a->Requests().empty());
}

TEST_F(HttpsMirrorTest, HttpsCdnServesAloneWhenNoMirrorPasses) {
    MirrorSettings refuse;
    refuse.refuse = true;
    MirrorServer* down = AddMirror(53, refuse);
    MirrorServer* cdn = AddHttps(99);
    DownloaderTuning t = Trusting();
    t.cdnMarkerDomain = "127.0.0.99";
    Run(MakeConfig(*m_content, {Url(down), Url(cdn)}), t);
    ExpectVerified();
    EXPECT_EQ(UsedUrls(), (std::vector<std::string>{Url(cdn)}));
    EXPECT_FALSE(RangesSeen(*cdn).empty());
}

// A failed range with nowhere else to go: the give-up names the HTTPS
// mirror's host part as it names a plain one's.
TEST_F(HttpsMirrorTest, GiveUpNamesTheHttpsMirrorsHostPart) {
    MirrorSettings reset;
    reset.resetAfter = 100000;
    MirrorServer* a = AddHttps(51, reset);
    korvel_test::LogCapture log;
    Run(MakeConfig(*m_content, {Url(a)}), Trusting());
    EXPECT_EQ(Engine().GetDownloadState(), kStateFailed);
    EXPECT_EQ(Engine().GetErrorCode(), kDispatchFailError);
    EXPECT_EQ(Engine().GetFailedLink(), Url(a));
    EXPECT_TRUE(log.Contains("Download_Dispatch link :(" + HostPart(a) + ").\n"));
}

// ---------------------------------------------------------------------------
// IPv6

class Ipv6MirrorTest : public NetworkMirrorTest {
protected:
    void SetUp() override {
        if (!korvel_test::HasIpv6Loopback())
            GTEST_SKIP() << "this machine has no IPv6 loopback (::1)";
        NetworkMirrorTest::SetUp();
    }
    MirrorServer* AddV6(MirrorSettings s = MirrorSettings()) {
        s.address = "::1";
        s.port = 0;
        std::string error;
        MirrorServer* m = m_mirrors->Add(s, &error);
        EXPECT_NE(m, nullptr) << error;
        return m;
    }
    // The system's own echo (ICMPv6, or the connection round trip).
    static DownloaderTuning RealEcho() {
        DownloaderTuning t = FastTuning();
        t.pinger = nullptr;
        return t;
    }
};

TEST_F(Ipv6MirrorTest, Ipv6MirrorsAloneArePingedProbedAndUsed) {
    MirrorServer* a = AddV6();
    MirrorServer* b = AddV6();
    MirrorServer* c = AddV6();
    ASSERT_EQ(Url(a).compare(0, 12, "http://[::1]"), 0) << Url(a);
    Run(MakeConfig(*m_content, {Url(a), Url(b), Url(c)}), RealEcho());
    ExpectVerified();
    EXPECT_EQ(UsedUrls().size(), 3u);
    const std::vector<std::string> domains = CheckedDomains();
    for (MirrorServer* m : {a, b, c}) {
        EXPECT_TRUE(Has(domains, "[::1]:" + std::to_string(m->Port())))
            << "the domain is the host part as written";
        EXPECT_EQ(CountMethod(*m, "HEAD"), 1);
        EXPECT_FALSE(RangesSeen(*m).empty());
    }
}

TEST_F(Ipv6MirrorTest, MixedSetRepairsAnIpv6MirrorsBadBlockFromAnIpv4One) {
    MirrorSettings bad;
    bad.corruptOffsets = OneBadByteEachBlock();
    MirrorServer* v4a = AddMirror(55);
    MirrorServer* v6 = AddV6(bad);
    MirrorServer* v4b = AddMirror(56);
    Run(MakeConfig(*m_content, {Url(v4a), Url(v6), Url(v4b)}), RealEcho());
    ExpectVerified();
    const std::vector<std::string> used = UsedUrls();
    EXPECT_EQ(used.size(), 3u);
    EXPECT_TRUE(Has(used, Url(v6)));
    EXPECT_TRUE(Has(CheckedDomains(), "[::1]:" + std::to_string(v6->Port())));
    EXPECT_FALSE(RangesSeen(*v6).empty());
    const std::string repair = Engine().GetRepairLink();
    EXPECT_TRUE(repair == Url(v4a) || repair == Url(v4b)) << repair;
}

}  // namespace
}  // namespace korvel_test
