#pragma once
// IMA ADPCM encoding of the recorded channels' audio, tracking the same state the client's
// decoding step computes, so that its block headers match what we encoded.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vistrel::dvr {

struct ImaAdpcmState {
    int predictor = 0;  // -32768..32767
    int index = 0;      // 0..88
};

// One decoding step: the predictor after nibble n (0..15). The state moves on.
int imaAdpcmDecodeStep(int nibble, ImaAdpcmState& state);

// The nibble that brings the decoder's predictor nearest to `sample`; the state moves on.
int imaAdpcmEncodeSample(int sample, ImaAdpcmState& state);

// Encodes an even number of samples, two per byte, the first of each pair in the high nibble
// (the order in which the DVR's packets carry them).
std::vector<std::uint8_t> imaAdpcmEncode(const std::int16_t* samples, std::size_t count, ImaAdpcmState& state);

}  // namespace vistrel::dvr
