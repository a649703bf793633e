// IMA ADPCM with the exact (2m+1)*step/8 reconstruction.

#include "tools/dvr/ImaAdpcmEncoder.h"

#include <algorithm>
#include <cstdlib>

namespace vistrel::dvr {

namespace {

constexpr int kIndexTable[16] = {-1, -1, -1, -1, 2, 4, 6, 8, -1, -1, -1, -1, 2, 4, 6, 8};

constexpr int kStepTable[89] = {
    7,    8,     9,     10,    11,    12,    13,    14,    16,    17,    19,    21,    23,    25,   28,
    31,   34,    37,    41,    45,    50,    55,    60,    66,    73,    80,    88,    97,    107,  118,
    130,  143,   157,   173,   190,   209,   230,   253,   279,   307,   337,   371,   408,   449,  494,
    544,  598,   658,   724,   796,   876,   963,   1060,  1166,  1282,  1411,  1552,  1707,  1878, 2066,
    2272, 2499,  2749,  3024,  3327,  3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845, 8630,
    9493, 10442, 11487, 12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};

}  // namespace

int imaAdpcmDecodeStep(int nibble, ImaAdpcmState& state) {
    const int step = kStepTable[state.index];
    state.index = std::clamp(state.index + kIndexTable[nibble & 15], 0, 88);
    const int magnitude = nibble & 7;
    const int diff = ((2 * magnitude + 1) * step) / 8;
    state.predictor = std::clamp((nibble & 8) ? state.predictor - diff : state.predictor + diff, -32768, 32767);
    return state.predictor;
}

int imaAdpcmEncodeSample(int sample, ImaAdpcmState& state) {
    const int step = kStepTable[state.index];
    const int diff = sample - state.predictor;
    const int magnitude = std::min(7, (4 * std::abs(diff)) / step);
    const int nibble = (diff < 0 ? 8 : 0) | magnitude;
    imaAdpcmDecodeStep(nibble, state);
    return nibble;
}

std::vector<std::uint8_t> imaAdpcmEncode(const std::int16_t* samples, std::size_t count, ImaAdpcmState& state) {
    std::vector<std::uint8_t> out;
    out.reserve(count / 2);
    for (std::size_t i = 0; i + 1 < count; i += 2) {
        const int first = imaAdpcmEncodeSample(samples[i], state);
        const int second = imaAdpcmEncodeSample(samples[i + 1], state);
        out.push_back(std::uint8_t(first << 4 | second));
    }
    return out;
}

}  // namespace vistrel::dvr
