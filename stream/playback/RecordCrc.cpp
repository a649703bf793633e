#include "stream/playback/RecordCrc.h"

#include <array>
#include <mutex>

#include "stream/playback/RecordFormat.h"

namespace vistrel::playback {

namespace {

constexpr std::uint16_t kPolynomial = 0x1021;
constexpr std::uint16_t kInitial = 0xFFFF;

std::array<std::uint16_t, 256> gTable;  // written once under gTableOnce, read-only afterwards
std::once_flag gTableOnce;

void fillTable() {
    for (unsigned i = 0; i < 256; ++i) {
        std::uint16_t c = std::uint16_t(i << 8);
        for (int bit = 0; bit < 8; ++bit)
            c = (c & 0x8000) ? std::uint16_t((c << 1) ^ kPolynomial) : std::uint16_t(c << 1);
        gTable[i] = c;
    }
}

inline std::uint16_t step(std::uint16_t crc, std::uint8_t byte) {
    return std::uint16_t((crc << 8) ^ gTable[((crc >> 8) ^ byte) & 0xFF]);
}

}  // namespace

void BuildRecordCrcTable() { std::call_once(gTableOnce, fillTable); }

std::uint16_t RecordCrc16(const std::uint8_t* data, std::size_t length) {
    BuildRecordCrcTable();
    std::uint16_t crc = kInitial;
    for (std::size_t i = 0; i < length; ++i) crc = step(crc, data[i]);
    return crc;
}

std::uint16_t RecordHeaderCrc(const std::uint8_t* header, std::size_t headerLength) {
    BuildRecordCrcTable();
    std::uint16_t crc = kInitial;
    for (std::size_t i = 0; i < headerLength; ++i) {
        const bool crcField = i == kOffCrc || i == kOffCrc + 1;
        crc = step(crc, crcField ? 0 : header[i]);
    }
    return crc;
}

}  // namespace vistrel::playback
