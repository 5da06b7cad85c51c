// The mirror echo: ICMP where the system allows it, else a TCP connection's
// round trip; IPv4 and IPv6.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/ping.h"
#include "tests/support/log_capture.h"
#include "tests/support/test_support.h"

namespace {

// A TCP socket bound on loopback; listening or not (then connections are refused).
class Port {
public:
    Port(int family, bool listening) {
        m_fd = socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_storage s{};
        socklen_t len;
        if (family == AF_INET6) {
            auto* a = reinterpret_cast<sockaddr_in6*>(&s);
            a->sin6_family = AF_INET6;
            a->sin6_addr = in6addr_loopback;
            len = sizeof(*a);
        } else {
            auto* a = reinterpret_cast<sockaddr_in*>(&s);
            a->sin_family = AF_INET;
            a->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            len = sizeof(*a);
        }
        m_ok = m_fd >= 0 && bind(m_fd, reinterpret_cast<sockaddr*>(&s), len) == 0 &&
               (!listening || listen(m_fd, 4) == 0) &&
               getsockname(m_fd, reinterpret_cast<sockaddr*>(&s), &len) == 0;
        m_port = family == AF_INET6 ? ntohs(reinterpret_cast<sockaddr_in6*>(&s)->sin6_port)
                                    : ntohs(reinterpret_cast<sockaddr_in*>(&s)->sin_port);
    }
    ~Port() {
        if (m_fd >= 0)
            close(m_fd);
    }
    bool ok() const { return m_ok; }
    uint16_t port() const { return m_port; }

private:
    int m_fd = -1;
    bool m_ok = false;
    uint16_t m_port = 0;
};

PingRequest TcpOnly(uint16_t port) {
    PingRequest r;
    r.timeoutMs = 2000;
    r.tcpPort = port;
    r.icmpAllowed = false;
    return r;
}

TEST(EchoRequest, LayoutAndChecksum) {
    unsigned char req[kIcmpRequestSize];
    BuildEchoRequest(0x1234, 7, 0xA1B2C3D4u, req);
    EXPECT_EQ(req[0], 8);
    EXPECT_EQ(req[1], 0);
    EXPECT_EQ(req[4], 0x34);
    EXPECT_EQ(req[5], 0x12);
    EXPECT_EQ(req[6], 7);
    EXPECT_EQ(req[8], 0xD4);
    EXPECT_EQ(req[11], 0xA1);
    for (size_t i = 12; i < kIcmpRequestSize; ++i)
        EXPECT_EQ(req[i], 0);
    // A correct checksum makes the sum over the whole message come out as zero.
    EXPECT_EQ(IcmpChecksum(req, kIcmpRequestSize), 0);
    BuildEchoRequest(0x1234, 7, 0xA1B2C3D4u, req, kIcmp6EchoRequest);
    EXPECT_EQ(req[0], 128);
}

TEST(Ping, LoopbackAnswersByWhicheverMethodIsPermitted) {
    Port open(AF_INET, true);
    ASSERT_TRUE(open.ok());
    PingRequest r;
    r.tcpPort = open.port();
    int ms = -1;
    PingMethod method = PingMethod::kNone;
    ASSERT_TRUE(PingAddress("127.0.0.1", r, &ms, &method));
    EXPECT_GE(ms, 0);
    EXPECT_NE(method, PingMethod::kNone);
    // Root may always open the raw socket.
    if (geteuid() == 0) {
        EXPECT_EQ(method, PingMethod::kIcmp);
    }
    EXPECT_FALSE(PingAddress("not-an-address", r, &ms));
    EXPECT_FALSE(PingAddress("", r, &ms));
}

TEST(Ping, WithoutIcmpAConnectionRoundTripAnswers) {
    Port open(AF_INET, true);
    Port closed(AF_INET, false);
    ASSERT_TRUE(open.ok() && closed.ok());
    int ms = -1;
    PingMethod method = PingMethod::kNone;
    EXPECT_TRUE(PingAddress("127.0.0.1", TcpOnly(open.port()), &ms, &method));
    EXPECT_EQ(method, PingMethod::kTcpConnect);
    EXPECT_GE(ms, 0);
    EXPECT_LT(ms, 2000);
    // A refused connection is no answer, and the time stays untouched.
    ms = -7;
    EXPECT_FALSE(PingAddress("127.0.0.1", TcpOnly(closed.port()), &ms, &method));
    EXPECT_EQ(ms, -7);
    EXPECT_EQ(method, PingMethod::kTcpConnect);
}

TEST(Ping, SilentHostGivesUpAtTheTimeOut) {
    // 192.0.2.0/24 is reserved for documentation: nothing answers there.
    PingRequest r = TcpOnly(80);
    r.timeoutMs = 300;
    int ms = -1;
    EXPECT_FALSE(PingAddress("192.0.2.1", r, &ms));
    EXPECT_EQ(ms, -1);
}

TEST(Ping, Ipv6LoopbackAnswersByEchoAndByConnection) {
    if (!korvel_test::HasIpv6Loopback())
        GTEST_SKIP() << "this machine has no IPv6 loopback (::1)";
    Port open(AF_INET6, true);
    ASSERT_TRUE(open.ok());
    PingRequest r;
    r.tcpPort = open.port();
    int ms = -1;
    PingMethod method = PingMethod::kNone;
    EXPECT_TRUE(PingAddress("::1", r, &ms, &method));
    if (geteuid() == 0) {
        EXPECT_EQ(method, PingMethod::kIcmp);
    }
    EXPECT_TRUE(PingAddress("::1", TcpOnly(open.port()), &ms, &method));
    EXPECT_EQ(method, PingMethod::kTcpConnect);
}

TEST(Ping, MethodIsLoggedWhenItChanges) {
    Port open(AF_INET, true);
    ASSERT_TRUE(open.ok());
    PingRequest icmp;
    icmp.tcpPort = open.port();
    PingMethod first = PingMethod::kNone;
    int ms = 0;
    ASSERT_TRUE(PingAddress("127.0.0.1", TcpOnly(open.port()), &ms));
    ASSERT_TRUE(PingAddress("127.0.0.1", icmp, &ms, &first));
    if (first == PingMethod::kTcpConnect)
        GTEST_SKIP() << "ICMP is not permitted here, so the method cannot change";
    korvel_test::LogCapture log;
    ASSERT_TRUE(PingAddress("127.0.0.1", TcpOnly(open.port()), &ms));
    ASSERT_TRUE(PingAddress("127.0.0.1", TcpOnly(open.port()), &ms));
    EXPECT_EQ(log.Count("Ping method : tcp-connect\n"), 1);
}

TEST(ResolveHost, NumericAndNamedHosts) {
    EXPECT_EQ(ResolveHost("127.0.0.1"), std::vector<std::string>{"127.0.0.1"});
    EXPECT_TRUE(ResolveHost("").empty());
    EXPECT_TRUE(ResolveHost("no-such-host.invalid").empty());
    const std::vector<std::string> local = ResolveHost("localhost");
    ASSERT_FALSE(local.empty());
    for (const std::string& a : local)
        EXPECT_TRUE(a == "127.0.0.1" || a == "::1") << a;
    if (korvel_test::HasIpv6Loopback()) {
        EXPECT_EQ(ResolveHost("::1"), std::vector<std::string>{"::1"});
    }
}

}  // namespace
