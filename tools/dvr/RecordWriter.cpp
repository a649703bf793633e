// Record header layout and its CRC.

#include "tools/dvr/RecordWriter.h"

#include <array>

namespace vistrel::dvr {

namespace {

constexpr std::uint16_t kCrcPolynomial = 0x1021;

constexpr std::array<std::uint16_t, 256> makeCrcTable() {
    std::array<std::uint16_t, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        std::uint16_t crc = std::uint16_t(i << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x8000) ? std::uint16_t((crc << 1) ^ kCrcPolynomial) : std::uint16_t(crc << 1);
        table[i] = crc;
    }
    return table;
}

constexpr std::array<std::uint16_t, 256> kCrcTable = makeCrcTable();

void put16(std::uint8_t* p, std::uint32_t v) {
    p[0] = std::uint8_t(v);
    p[1] = std::uint8_t(v >> 8);
}
void put32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = std::uint8_t(v >> (8 * i));
}

}  // namespace

std::uint16_t recordCrc16(const std::uint8_t* data, std::size_t length) {
    std::uint16_t crc = 0xFFFF;
    for (std::size_t i = 0; i < length; ++i)
        crc = std::uint16_t((crc << 8) ^ kCrcTable[((crc >> 8) ^ data[i]) & 0xFF]);
    return crc;
}

void appendRecord(std::vector<std::uint8_t>& out, const RecordFields& f, const std::uint8_t* payload,
                  std::size_t payloadLength) {
    const std::size_t headerSize = recordHeaderSize(f.version);
    const std::size_t start = out.size();
    out.resize(start + headerSize, 0);
    std::uint8_t* h = out.data() + start;
    for (int i = 0; i < 4; ++i) h[i] = kRecordMagic[i];
    h[5] = std::uint8_t(f.version);
    put16(h + 8, f.channel);
    put32(h + 12, std::uint32_t(payloadLength));
    put32(h + 16, f.timestampMs);
    put32(h + 20, f.flags);
    put16(h + 24, f.type);
    put16(h + 26, f.sizeCode);
    if (headerSize >= 42 && (f.flags & kFlagEndRecord)) put16(h + 40, f.endCode);
    const std::uint16_t crc = recordCrc16(h, headerSize);
    h[6] = std::uint8_t(crc >> 8);
    h[7] = std::uint8_t(crc);
    if (payloadLength > 0) out.insert(out.end(), payload, payload + payloadLength);
}

void appendEndRecord(std::vector<std::uint8_t>& out, std::uint32_t timestampMs, std::uint16_t endCode) {
    RecordFields f;
    f.version = 2;
    f.timestampMs = timestampMs;
    f.flags = kFlagEndRecord;
    f.endCode = endCode;
    appendRecord(out, f, nullptr, 0);
}

}  // namespace vistrel::dvr
