#include "stream/playback/ImaAdpcm.h"

#include <algorithm>
#include <cstdio>

namespace vistrel::playback {

const int kImaIndexTable[16] = {-1, -1, -1, -1, 2, 4, 6, 8, -1, -1, -1, -1, 2, 4, 6, 8};

const int kImaStepTable[89] = {
    7,    8,     9,     10,    11,    12,    13,    14,    16,    17,    19,    21,    23,    25,   28,
    31,   34,    37,    41,    45,    50,    55,    60,    66,    73,    80,    88,    97,    107,  118,
    130,  143,   157,   173,   190,   209,   230,   253,   279,   307,   337,   371,   408,   449,  494,
    544,  598,   658,   724,   796,   876,   963,   1060,  1166,  1282,  1411,  1552,  1707,  1878, 2066,
    2272, 2499,  2749,  3024,  3327,  3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845, 8630,
    9493, 10442, 11487, 12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};

int DecodeADPCMC(int nibble, AdpcmState* state) {
    if (nibble < 0 || nibble > 15) {
        std::fputs("[DecodeADPCMC] Error in ADPCM sample, aborting.\n\n", stderr);
        return 0;
    }
    if (!state) {
        std::fputs("[DecodeADPCMC] Error in ADPCMState, aborting.\n\n", stderr);
        return 0;
    }
    // A state filled by someone else could hold any index; the table must not be left.
    const int step = kImaStepTable[std::clamp(state->stepIndex, 0, 88)];
    state->stepIndex = std::clamp(state->stepIndex + kImaIndexTable[nibble], 0, 88);
    const int magnitude = nibble & 7;
    // The exact product, not the shift-and-add of the reference coder: they differ in rounding.
    const int diff = ((2 * magnitude + 1) * step) / 8;
    int p = (nibble & 8) ? state->predictor - diff : state->predictor + diff;
    p = std::clamp(p, -32768, 32767);
    state->predictor = p;
    return p;
}

}  // namespace vistrel::playback
