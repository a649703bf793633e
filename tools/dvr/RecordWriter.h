#pragma once
// Playback records as the DVR writes them: a 38-byte (version 1) or 54-byte (version 2) header
// protected by a CRC-16, then one channel's payload.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vistrel::dvr {

constexpr std::size_t kRecordHeaderV1 = 38;
constexpr std::size_t kRecordHeaderV2 = 54;
constexpr std::uint8_t kRecordMagic[4] = {0xFF, 0xFF, 0xFE, 0xDD};

constexpr std::uint32_t kRecordKeyFrame = 1u << 2;
constexpr std::uint32_t kRecordDiscontinuity = 1u << 3;
constexpr std::uint32_t kRecordEnd = 1u << 30;

constexpr std::uint16_t kRecordTypeH263 = 1;
constexpr std::uint16_t kRecordTypeMpeg4 = 13;
constexpr std::uint16_t kRecordTypeMpeg4Packets = 14;

constexpr std::uint16_t kSizeCode320x240 = 2;
constexpr std::uint16_t kSizeCode640x480 = 0;

// End code of the end record that closes a complete answer.
constexpr std::uint16_t kEndCodeRangeDone = 1;

struct RecordFields {
    int version = 2;  // 1 or 2; other values are written as given (to make damaged records)
    std::uint16_t channel = 0;
    std::uint32_t timestampMs = 0;
    std::uint32_t flags = 0;
    std::uint16_t type = 0;
    std::uint16_t sizeCode = kSizeCode320x240;
    std::uint16_t endCode = 0;  // written to bytes 40..41 of end records (version 2 only)
};

// CRC-16, polynomial 0x1021, initial 0xFFFF, most significant bit first, no final xor.
std::uint16_t recordCrc16(const std::uint8_t* data, std::size_t length);

// Appends a record; the payload length field is `payloadLength`.
void appendRecord(std::vector<std::uint8_t>& out, const RecordFields& fields,
                  const std::uint8_t* payload, std::size_t payloadLength);

// Appends the end record closing an answer, stamped with `timestampMs`.
void appendEndRecord(std::vector<std::uint8_t>& out, std::uint32_t timestampMs, std::uint16_t endCode);

inline std::size_t recordHeaderSize(int version) {
    return version == 1 ? kRecordHeaderV1 : kRecordHeaderV2;
}

}  // namespace vistrel::dvr
