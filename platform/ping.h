// Echo probe of a mirror host (the Windows raw-ICMP pinger's counterpart).
// The 44-byte request carries type, code, checksum, our identifier and
// sequence, the send time and a zero payload. A raw socket comes first; where
// the system refuses it, the unprivileged ICMP datagram socket (the kernel
// owns identifier and checksum there, replies are matched on the sequence);
// where both are refused for lack of rights, the time of a TCP connection to
// the mirror's port stands in, so that a machine that may not send ICMP does
// not take every mirror for unreachable. IPv4 and IPv6 (ICMPv6) alike.
// Thread-safe: each call opens and closes its own socket.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

constexpr size_t kIcmpRequestSize = 44;
constexpr unsigned char kIcmpEchoRequest = 8;
constexpr unsigned char kIcmp6EchoRequest = 128;

// Fills the 44-byte echo request (little-endian fields, RFC 1071 checksum).
// For ICMPv6 the system fills the checksum; ours is then overwritten.
void BuildEchoRequest(uint16_t identifier, uint16_t sequence, uint32_t sendTime,
                      unsigned char out[kIcmpRequestSize], unsigned char type = kIcmpEchoRequest);
// RFC 1071 checksum, summed as little-endian 16-bit words.
uint16_t IcmpChecksum(const unsigned char* data, size_t length);

enum class PingMethod { kNone, kIcmp, kIcmpDatagram, kTcpConnect };
// "icmp", "icmp-datagram", "tcp-connect" ("none" before any ping).
const char* PingMethodName(PingMethod method);

struct PingRequest {
    uint32_t timeoutMs = 2000;
    uint16_t tcpPort = 80;    // the round trip's port when ICMP is not permitted
    bool icmpAllowed = true;  // false: behave as if both ICMP sockets were refused (tests)
};

// Pings a numeric IPv4 or IPv6 address; true with the round-trip time when an
// answer came within the time-out. `method` (optional) tells which way was
// taken. The first ping of the process and every change of method log
// "Ping method : NAME".
bool PingAddress(const std::string& address, const PingRequest& request, int* roundTripMs,
                 PingMethod* method = nullptr);
// Numeric addresses of a host name, IPv4 and IPv6, in the resolver's order;
// empty when unresolved.
std::vector<std::string> ResolveHost(const std::string& host);
