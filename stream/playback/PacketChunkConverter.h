#pragma once
// Rewrites type-14 records (one audio or video packet each) into the chunk stream the MPEG-4
// playback decoder takes: "00dc" + video data, "01wb" + 256-byte IMA ADPCM blocks.

#include <cstddef>
#include <cstdint>
#include <memory>

#include "stream/playback/ImaAdpcm.h"
#include "stream/playback/RecordBuffer.h"

namespace vistrel::playback {

constexpr std::size_t kMaxPacketLength = 0x40000;
constexpr std::size_t kAdpcmBlockSize = 256;
constexpr std::size_t kAdpcmBlockHeader = 4;
constexpr std::size_t kAdpcmBlockData = kAdpcmBlockSize - kAdpcmBlockHeader;  // 252 bytes, 504 samples
constexpr std::size_t kChunkIdSize = 4;
// Big enough for the largest packet after conversion (+ the count word).
constexpr std::size_t kConversionBufferSize = 518400;

// One channel's converter; the ADPCM state and the carried bytes continue from packet to packet.
// Owned and used by the player thread only.
struct PacketChunkConverter {
    std::unique_ptr<std::uint8_t[]> input;  // copy of the packet being converted
    std::size_t inputLength = 0;
    std::uint8_t* output = nullptr;  // the caller's conversion buffer, during one conversion
    std::size_t outputPosition = 0;
    std::size_t outputCapacity = 0;
    AdpcmState adpcmState;
    std::uint8_t block[kAdpcmBlockSize] = {};
    std::size_t carry = 0;  // data bytes already waiting in block (0..251)
};

// Null when memory runs out.
std::unique_ptr<PacketChunkConverter> CreatePacketChunkConverter();

// Rewrites the record in place: its payload becomes the 32-bit chunk byte count and the chunks,
// behind an inserted 14-byte frame header. The record buffer grows when the result needs it.
// False when the record is not to be presented (no converter or buffer, empty, oversized or
// unknown packet, no room).
bool ConvertRecord(PacketChunkConverter* converter, RecordBuffer& record, std::uint8_t* conversionBuffer,
                   std::size_t capacity);

}  // namespace vistrel::playback
