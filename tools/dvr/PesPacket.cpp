// Packet headers of type-14 record payloads.

#include "tools/dvr/PesPacket.h"

namespace vistrel::dvr {

std::vector<std::uint8_t> makePesPacket(std::uint8_t streamId, std::uint32_t timestampMs, const std::uint8_t* data,
                                        std::size_t length) {
    std::vector<std::uint8_t> p(kPesHeaderSize);
    p[2] = 0x01;
    p[3] = streamId;
    // The packet length counts what follows it; a video packet too long for 16 bits says 0.
    const std::size_t rest = kPesHeaderSize - 6 + length;
    const std::size_t field = rest > 0xFFFF ? 0 : rest;
    p[4] = std::uint8_t(field >> 8);
    p[5] = std::uint8_t(field);
    p[6] = 0x81;                                                // marker bits '10', original
    p[7] = 0x80;                                                // a presentation time stamp follows
    p[8] = 5;                                                   // header bytes after this one
    const std::uint64_t pts = std::uint64_t(timestampMs) * 90;  // 90 kHz clock
    p[9] = std::uint8_t(0x21 | ((pts >> 29) & 0x0E));
    p[10] = std::uint8_t(pts >> 22);
    p[11] = std::uint8_t(0x01 | ((pts >> 14) & 0xFE));
    p[12] = std::uint8_t(pts >> 7);
    p[13] = std::uint8_t(0x01 | ((pts << 1) & 0xFE));
    if (length > 0) p.insert(p.end(), data, data + length);
    return p;
}

}  // namespace vistrel::dvr
