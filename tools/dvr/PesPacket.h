#pragma once
// The MPEG-style packets carried by type-14 records: start code prefix, stream id, packet length,
// a packet header with a time stamp, then the elementary stream data.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vistrel::dvr {

constexpr std::uint8_t kAudioStreamId = 0xC0;
constexpr std::uint8_t kVideoStreamId = 0xE0;
// Bytes before the stream data: 6 fixed, 3 flag/length bytes and a 5-byte time stamp.
constexpr std::size_t kPesHeaderSize = 14;

// A packet of `streamId` with a presentation time stamp in milliseconds.
std::vector<std::uint8_t> makePesPacket(std::uint8_t streamId, std::uint32_t timestampMs, const std::uint8_t* data,
                                        std::size_t length);

}  // namespace vistrel::dvr
