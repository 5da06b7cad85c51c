// ICMP echo over raw or datagram sockets, and the TCP connect round trip
// where the system permits neither.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/log.h"
#include "platform/ping.h"
#include "platform/system.h"

namespace {

constexpr unsigned char kIcmpEchoReply = 0;
constexpr unsigned char kIcmp6EchoReply = 129;

std::atomic<uint16_t> g_sequence{0};
std::atomic<int> g_loggedMethod{static_cast<int>(PingMethod::kNone)};

uint16_t GetLe16(const unsigned char* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
uint32_t GetLe32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// A numeric address of either family.
struct Address {
    sockaddr_storage storage{};
    socklen_t length = 0;
    int family = AF_UNSPEC;
    const sockaddr* get() const { return reinterpret_cast<const sockaddr*>(&storage); }
};

bool ParseAddress(const std::string& text, Address& out) {
    auto* v4 = reinterpret_cast<sockaddr_in*>(&out.storage);
    if (inet_pton(AF_INET, text.c_str(), &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        out.family = AF_INET;
        out.length = sizeof(sockaddr_in);
        return true;
    }
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&out.storage);
    if (inet_pton(AF_INET6, text.c_str(), &v6->sin6_addr) == 1) {
        v6->sin6_family = AF_INET6;
        out.family = AF_INET6;
        out.length = sizeof(sockaddr_in6);
        return true;
    }
    return false;
}

struct Fd {
    int fd = -1;
    ~Fd() {
        if (fd >= 0)
            close(fd);
    }
};

// The errors of a socket the system will not let us have, as opposed to a
// failure of the network or of the process.
bool IsRefusedByPolicy(int error) {
    return error == EPERM || error == EACCES || error == EPROTONOSUPPORT ||
           error == ESOCKTNOSUPPORT;
}

// Opens the ICMP socket of the address's family: raw, else datagram. kNone
// with `refused` set when both were refused by policy.
PingMethod OpenIcmp(int family, Fd& s, bool& refused) {
    const int protocol = family == AF_INET6 ? static_cast<int>(IPPROTO_ICMPV6) : IPPROTO_ICMP;
    s.fd = socket(family, SOCK_RAW | SOCK_CLOEXEC, protocol);
    if (s.fd >= 0)
        return PingMethod::kIcmp;
    const int rawError = errno;
    s.fd = socket(family, SOCK_DGRAM | SOCK_CLOEXEC, protocol);
    if (s.fd >= 0)
        return PingMethod::kIcmpDatagram;
    const int datagramError = errno;
    refused = IsRefusedByPolicy(rawError) && IsRefusedByPolicy(datagramError);
    if (!refused)
        fprintf(stderr, "WSASocket() failed: %d\n", datagramError);
    return PingMethod::kNone;
}

// A matching echo reply in buf (n bytes) yields its send time. Raw IPv4
// sockets deliver the IP header; the others deliver the ICMP message alone.
bool MatchReply(int family, PingMethod method, const unsigned char* buf, ssize_t n, uint16_t id,
                uint16_t seq, uint32_t* sendTime) {
    if (n <= 0)
        return false;
    const bool withIpHeader = family == AF_INET && method == PingMethod::kIcmp;
    const size_t header = withIpHeader ? static_cast<size_t>(buf[0] & 0x0f) * 4 : 0;
    if (static_cast<size_t>(n) < header + 12)
        return false;
    const unsigned char* icmp = buf + header;
    if (icmp[0] != (family == AF_INET6 ? kIcmp6EchoReply : kIcmpEchoReply))
        return false;
    // The kernel rewrites the identifier of datagram sockets.
    if (method == PingMethod::kIcmp && GetLe16(icmp + 4) != id)
        return false;
    if (GetLe16(icmp + 6) != seq)
        return false;
    *sendTime = GetLe32(icmp + 8);
    return true;
}

bool IcmpEcho(const Fd& s, PingMethod method, const Address& to, uint32_t timeoutMs,
              int* roundTripMs) {
    const uint16_t id = static_cast<uint16_t>(getpid() & 0xffff);
    const uint16_t seq = static_cast<uint16_t>(++g_sequence);
    const uint32_t sent = GetTickCount();
    unsigned char request[kIcmpRequestSize];
    BuildEchoRequest(id, seq, sent, request,
                     to.family == AF_INET6 ? kIcmp6EchoRequest : kIcmpEchoRequest);
    if (sendto(s.fd, request, sizeof(request), 0, to.get(), to.length) < 0)
        return false;
    unsigned char reply[256];
    while (GetTickCount() - sent < timeoutMs) {
        pollfd p{s.fd, POLLIN, 0};
        if (poll(&p, 1, 100) <= 0)
            continue;
        const ssize_t n = recv(s.fd, reply, sizeof(reply), 0);
        uint32_t replySent = 0;
        if (MatchReply(to.family, method, reply, n, id, seq, &replySent)) {
            *roundTripMs = static_cast<int>(GetTickCount() - replySent);
            return true;
        }
    }
    return false;
}

// The time until a TCP connection to the address is established. A refused
// connection is no answer: nothing serves there.
bool TcpRoundTrip(Address to, uint16_t port, uint32_t timeoutMs, int* roundTripMs) {
    // Only here: a raw IPv6 socket refuses a destination port other than its protocol.
    if (to.family == AF_INET6)
        reinterpret_cast<sockaddr_in6*>(&to.storage)->sin6_port = htons(port);
    else
        reinterpret_cast<sockaddr_in*>(&to.storage)->sin_port = htons(port);
    Fd s;
    s.fd = socket(to.family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (s.fd < 0)
        return false;
    const uint32_t start = GetTickCount();
    if (connect(s.fd, to.get(), to.length) != 0) {
        if (errno != EINPROGRESS)
            return false;
        for (;;) {
            const uint32_t spent = GetTickCount() - start;
            if (spent >= timeoutMs)
                return false;
            pollfd p{s.fd, POLLOUT, 0};
            const int r = poll(&p, 1, static_cast<int>(timeoutMs - spent));
            if (r > 0)
                break;
            if (r < 0 && errno != EINTR)
                return false;
        }
        int error = 0;
        socklen_t len = sizeof(error);
        if (getsockopt(s.fd, SOL_SOCKET, SO_ERROR, &error, &len) != 0 || error != 0)
            return false;
    }
    *roundTripMs = static_cast<int>(GetTickCount() - start);
    return true;
}

void LogMethod(PingMethod method) {
    const int m = static_cast<int>(method);
    if (g_loggedMethod.exchange(m) != m)
        WriteLog("Ping method : %s\n", PingMethodName(method));
}

}  // namespace

bool PingAddress(const std::string& address, const PingRequest& request, int* roundTripMs,
                 PingMethod* method) {
    if (method)
        *method = PingMethod::kNone;
    Address to;
    if (!ParseAddress(address, to))
        return false;
    Fd s;
    bool refused = !request.icmpAllowed;
    PingMethod used = request.icmpAllowed ? OpenIcmp(to.family, s, refused) : PingMethod::kNone;
    if (used == PingMethod::kNone) {
        if (!refused)
            return false;
        used = PingMethod::kTcpConnect;
    }
    LogMethod(used);
    if (method)
        *method = used;
    int ms = 0;
    const bool ok = used == PingMethod::kTcpConnect
                        ? TcpRoundTrip(to, request.tcpPort, request.timeoutMs, &ms)
                        : IcmpEcho(s, used, to, request.timeoutMs, &ms);
    if (ok && roundTripMs)
        *roundTripMs = ms;
    return ok;
}

std::vector<std::string> ResolveHost(const std::string& host) {
    std::vector<std::string> out;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;  // one entry per address
    addrinfo* list = nullptr;
    if (host.empty() || getaddrinfo(host.c_str(), nullptr, &hints, &list) != 0)
        return out;
    for (const addrinfo* a = list; a; a = a->ai_next) {
        char text[INET6_ADDRSTRLEN] = {0};
        const void* raw = a->ai_family == AF_INET6
                              ? static_cast<const void*>(
                                    &reinterpret_cast<const sockaddr_in6*>(a->ai_addr)->sin6_addr)
                              : &reinterpret_cast<const sockaddr_in*>(a->ai_addr)->sin_addr;
        if ((a->ai_family == AF_INET || a->ai_family == AF_INET6) &&
            inet_ntop(a->ai_family, raw, text, sizeof(text))) {
            out.push_back(text);
        }
    }
    freeaddrinfo(list);
    return out;
}
