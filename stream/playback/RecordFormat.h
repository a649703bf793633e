#pragma once
// Layout of the DVR's playback records: header offsets, flags, types and little-endian accessors.
// The one description of a record, read by the player and written by the emulator.

#include <cstddef>
#include <cstdint>

#include "base/ByteOrder.h"
#include "base/DvrProtocol.h"

namespace vistrel::playback {

constexpr std::uint8_t kRecordMagic[4] = {0xFF, 0xFF, 0xFE, 0xDD};

constexpr std::size_t kRecordHeaderV1Size = 38;
constexpr std::size_t kRecordHeaderSize = 54;  // every record handed out carries the long header

// Byte offsets inside the record header.
constexpr std::size_t kOffVersion = 5;
constexpr std::size_t kOffCrc = 6;  // most significant byte first
constexpr std::size_t kOffChannel = 8;
constexpr std::size_t kOffPayloadLength = 12;
constexpr std::size_t kOffTimeStamp = 16;
constexpr std::size_t kOffFlags = 20;
constexpr std::size_t kOffType = 24;
constexpr std::size_t kOffSizeCode = 26;
constexpr std::size_t kOffEndSelector = 38;  // end records: zero means the end code follows
constexpr std::size_t kOffEndCode = 40;

constexpr std::uint8_t kHeaderVersionShort = 1;
constexpr std::uint8_t kHeaderVersionLong = 2;

constexpr std::uint32_t kFlagKeyFrame = 1u << 2;
constexpr std::uint32_t kFlagDiscontinuity = 1u << 3;
constexpr std::uint32_t kFlagEndRecord = 1u << 30;

constexpr int kTypeH263 = 1;
constexpr int kTypeSkipped = 7;  // carried in the stream, never shown
constexpr int kTypeMpeg4 = 13;
constexpr int kTypeMpeg4Audio = 14;

constexpr int kSizeCode640x480 = 0;
constexpr int kSizeCode320x240 = 2;

// End code of the end record that closes a complete answer.
constexpr int kEndCodeRangeDone = 1;

using base::kChannelCount;
using base::Le16;
using base::Le32;
using base::PutLe16;
using base::PutLe32;

// Read-only view of a 54-byte record header.
struct RecordHeaderView {
    const std::uint8_t* h;
    int channel() const { return Le16(h + kOffChannel); }
    std::uint32_t payloadLength() const { return Le32(h + kOffPayloadLength); }
    std::uint32_t timeStamp() const { return Le32(h + kOffTimeStamp); }
    std::uint32_t flags() const { return Le32(h + kOffFlags); }
    int type() const { return Le16(h + kOffType); }
    int sizeCode() const { return Le16(h + kOffSizeCode); }
    bool isEndRecord() const { return (flags() & kFlagEndRecord) != 0; }
    int endCode() const { return Le16(h + kOffEndSelector) == 0 ? Le16(h + kOffEndCode) : 0; }
};

}  // namespace vistrel::playback
