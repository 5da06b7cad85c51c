#include "download/icmp_ping.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/system.h"

namespace {

std::atomic<uint16_t> g_sequence{0};

void PutLe16(unsigned char* p, uint16_t v) {
    p[0] = static_cast<unsigned char>(v & 0xff);
    p[1] = static_cast<unsigned char>(v >> 8);
}
uint16_t GetLe16(const unsigned char* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
uint32_t GetLe32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

struct Socket {
    int fd = -1;
    bool datagram = false;  // kernel-owned identifier
    ~Socket() {
        if (fd >= 0)
            close(fd);
    }
};

bool OpenSocket(Socket& s) {
    s.fd = socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (s.fd >= 0)
        return true;
    int rawError = errno;
    s.fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (s.fd >= 0) {
        s.datagram = true;
        return true;
    }
    fprintf(stderr, "WSASocket() failed: %d\n", rawError);
    return false;
}

// A matching echo reply in buf (n bytes) yields its send time.
bool MatchReply(const Socket& s, const unsigned char* buf, ssize_t n, uint16_t id, uint16_t seq,
                uint32_t* sendTime) {
    size_t header = s.datagram ? 0 : static_cast<size_t>(buf[0] & 0x0f) * 4;
    if (n < 0 || static_cast<size_t>(n) < header + 12)
        return false;
    const unsigned char* icmp = buf + header;
    if (icmp[0] != 0)
        return false;
    if (!s.datagram && GetLe16(icmp + 4) != id)
        return false;
    if (GetLe16(icmp + 6) != seq)
        return false;
    *sendTime = GetLe32(icmp + 8);
    return true;
}

}  // namespace

uint16_t IcmpChecksum(const unsigned char* data, size_t length) {
    uint32_t sum = 0;
    for (size_t i = 0; i + 1 < length; i += 2)
        sum += GetLe16(data + i);
    if (length & 1)
        sum += data[length - 1];
    while (sum >> 16)
        sum = (sum & 0xffff) + (sum >> 16);
    return static_cast<uint16_t>(~sum);
}

void BuildEchoRequest(uint16_t identifier, uint16_t sequence, uint32_t sendTime,
                      unsigned char out[kIcmpRequestSize]) {
    memset(out, 0, kIcmpRequestSize);
    out[0] = 8;
    PutLe16(out + 4, identifier);
    PutLe16(out + 6, sequence);
    for (int i = 0; i < 4; ++i)
        out[8 + i] = static_cast<unsigned char>(sendTime >> (8 * i));
    PutLe16(out + 2, IcmpChecksum(out, kIcmpRequestSize));
}

bool PingAddress(const std::string& address, uint32_t timeoutMs, int* roundTripMs) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    if (inet_pton(AF_INET, address.c_str(), &to.sin_addr) != 1)
        return false;
    Socket s;
    if (!OpenSocket(s))
        return false;
    const uint16_t id = static_cast<uint16_t>(getpid() & 0xffff);
    const uint16_t seq = static_cast<uint16_t>(++g_sequence);
    const uint32_t sent = GetTickCount();
    unsigned char request[kIcmpRequestSize];
    BuildEchoRequest(id, seq, sent, request);
    if (sendto(s.fd, request, sizeof(request), 0, reinterpret_cast<sockaddr*>(&to), sizeof(to)) <
        0) {
        return false;
    }
    unsigned char reply[256];
    while (GetTickCount() - sent < timeoutMs) {
        pollfd p{s.fd, POLLIN, 0};
        if (poll(&p, 1, 100) <= 0)
            continue;
        ssize_t n = recv(s.fd, reply, sizeof(reply), 0);
        uint32_t replySent = 0;
        if (MatchReply(s, reply, n, id, seq, &replySent)) {
            *roundTripMs = static_cast<int>(GetTickCount() - replySent);
            return true;
        }
    }
    return false;
}

std::string ResolveIPv4(const std::string& host) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    addrinfo* list = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &list) != 0 || !list)
        return std::string();
    char text[INET_ADDRSTRLEN] = {0};
    inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(list->ai_addr)->sin_addr, text,
              sizeof(text));
    freeaddrinfo(list);
    return text;
}
