#include "platform/ping.h"

#include <cstring>

namespace {

void PutLe16(unsigned char* p, uint16_t v) {
    p[0] = static_cast<unsigned char>(v & 0xff);
    p[1] = static_cast<unsigned char>(v >> 8);
}

}  // namespace

uint16_t IcmpChecksum(const unsigned char* data, size_t length) {
    uint32_t sum = 0;
    for (size_t i = 0; i + 1 < length; i += 2)
        sum += static_cast<uint32_t>(data[i] | (data[i + 1] << 8));
    if (length & 1)
        sum += data[length - 1];
    while (sum >> 16)
        sum = (sum & 0xffff) + (sum >> 16);
    return static_cast<uint16_t>(~sum);
}

void BuildEchoRequest(uint16_t identifier, uint16_t sequence, uint32_t sendTime,
                      unsigned char out[kIcmpRequestSize], unsigned char type) {
    memset(out, 0, kIcmpRequestSize);
    out[0] = type;
    PutLe16(out + 4, identifier);
    PutLe16(out + 6, sequence);
    for (int i = 0; i < 4; ++i)
        out[8 + i] = static_cast<unsigned char>(sendTime >> (8 * i));
    PutLe16(out + 2, IcmpChecksum(out, kIcmpRequestSize));
}

const char* PingMethodName(PingMethod method) {
    switch (method) {
        case PingMethod::kIcmp:
            return "icmp";
        case PingMethod::kIcmpDatagram:
            return "icmp-datagram";
        case PingMethod::kTcpConnect:
            return "tcp-connect";
        case PingMethod::kNone:
            break;
    }
    return "none";
}
