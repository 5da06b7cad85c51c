// ICMP echo probe of a mirror host. Uses a raw socket with the 44-byte request
// (type 8, our identifier and sequence, send time, zero payload); where raw
// sockets are refused, an unprivileged ICMP datagram socket, on which the
// kernel owns identifier and checksum and replies are matched on the sequence.
// Thread-safe: each call opens and closes its own socket.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

constexpr size_t kIcmpRequestSize = 44;

// Fills the 44-byte echo request (little-endian fields, RFC 1071 checksum).
void BuildEchoRequest(uint16_t identifier, uint16_t sequence, uint32_t sendTime,
                      unsigned char out[kIcmpRequestSize]);
// RFC 1071 checksum, summed as little-endian 16-bit words.
uint16_t IcmpChecksum(const unsigned char* data, size_t length);

// Pings a dotted IPv4 address; true with the round-trip time when a matching
// echo reply came within timeoutMs.
bool PingAddress(const std::string& address, uint32_t timeoutMs, int* roundTripMs);
// First IPv4 address of a host name in dotted form; empty when unresolved.
std::string ResolveIPv4(const std::string& host);
