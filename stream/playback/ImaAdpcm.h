#pragma once
// The IMA ADPCM decoding step that tracks a channel's audio state for the block headers.

#include <cstdint>

namespace vistrel::playback {

struct AdpcmState {
    int stepIndex = 0;  // 0..88
    int predictor = 0;  // -32768..32767
};

extern const int kImaIndexTable[16];
extern const int kImaStepTable[89];

// Decodes one 4-bit sample and returns the new predictor. A nibble outside 0..15 or a missing
// state is reported on standard error and gives 0 with the state untouched.
int DecodeADPCMC(int nibble, AdpcmState* state);

}  // namespace vistrel::playback
