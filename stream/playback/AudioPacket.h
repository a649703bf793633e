#pragma once
// The audio of type-14 records as sound: the IMA ADPCM bytes of an audio packet decoded to 16-bit
// samples, with the channel's decoder state carried from packet to packet.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "stream/playback/ImaAdpcm.h"

namespace vistrel::playback {

// The DVRs record mono sound at 8 kHz; the packets do not say so.
constexpr int kDvrAudioSampleRate = 8000;
constexpr int kDvrAudioChannels = 1;

// Where an audio packet's ADPCM bytes are inside a record payload. False when the payload is no
// audio packet (no start code, a video or other stream id, a header longer than the packet).
bool FindAudioPacketData(const std::uint8_t* payload, std::size_t length, std::size_t* offset, std::size_t* count);
// Where a video packet's data are (for the exporter, which copies them).
bool FindVideoPacketData(const std::uint8_t* payload, std::size_t length, std::size_t* offset, std::size_t* count);

// Decodes `count` ADPCM bytes, two samples each, the first in the high nibble as the packets carry
// them, appending to `samples`. The state moves on exactly as the block headers of the chunk
// conversion assume, so both agree sample for sample.
void DecodeAdpcmBytes(const std::uint8_t* data, std::size_t count, AdpcmState& state,
                      std::vector<std::int16_t>& samples);

}  // namespace vistrel::playback
