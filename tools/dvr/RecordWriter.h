#pragma once
// Playback records as the DVR writes them: a 38-byte (version 1) or 54-byte (version 2) header
// protected by a CRC-16, then one channel's payload.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "stream/playback/RecordFormat.h"

namespace vistrel::dvr {

// The emulator writes records by the same layout the player reads.
using playback::kEndCodeRangeDone;
using playback::kFlagDiscontinuity;
using playback::kFlagEndRecord;
using playback::kFlagKeyFrame;
using playback::kRecordHeaderSize;
using playback::kRecordHeaderV1Size;
using playback::kRecordMagic;
using playback::kSizeCode320x240;
using playback::kSizeCode640x480;
using playback::kTypeH263;
using playback::kTypeMpeg4;
using playback::kTypeMpeg4Audio;

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
void appendRecord(std::vector<std::uint8_t>& out, const RecordFields& fields, const std::uint8_t* payload,
                  std::size_t payloadLength);

// Appends the end record closing an answer, stamped with `timestampMs`.
void appendEndRecord(std::vector<std::uint8_t>& out, std::uint32_t timestampMs, std::uint16_t endCode);

inline std::size_t recordHeaderSize(int version) { return version == 1 ? kRecordHeaderV1Size : kRecordHeaderSize; }

}  // namespace vistrel::dvr
