#pragma once
// The H.263 picture and macroblock layers: the picture header and the intra and predicted
// macroblock loops that fill one output picture from one coded picture.

#include <cstdint>

#include "video/h263/BitReader.h"
#include "video/h263/BlockReconstruction.h"

namespace vistrel::h263 {

// Picture-size codes (freeze-release bit and source format of PTYPE read as one 4-bit number).
constexpr int kSizeQcif = 2;     // 176 x 144
constexpr int kSizeCif = 3;      // 352 x 288
constexpr int kSize320x240 = 6;  // initial size
constexpr int kSize640x480 = 7;
constexpr int kSize640x240 = 8;

// Width and height of a supported size code; false for any other code.
bool SizeCodeDimensions(int code, int* width, int* height);
// The size code of a width and height, or -1.
int SizeCodeFor(int width, int height);

constexpr int kInitialQuantiser = 10;

struct PictureHeader {
    int temporalReference = 0;
    int ptype = 0;     // the 13 PTYPE bits, bit 13 least significant
    int sizeCode = 0;  // PTYPE bits 5..8
    bool predicted = false;
    bool unrestrictedVectors = false;  // read, not acted on
    bool arithmeticCoding = false;     // read, not acted on
    bool advancedPrediction = false;   // read, not acted on
    bool pbFrames = false;             // read, not acted on
    bool continuousPresence = false;
    int quantiser = kInitialQuantiser;
};

// Reads the header up to the first macroblock. False when the data does not begin with a picture
// start code and group number 0 (the frame is then not a picture).
bool ReadPictureHeader(BitReader& reader, PictureHeader* header);

// Everything the macroblock loops need, owned by the caller.
struct MacroblockContext {
    ReconstructionTarget target;
    int columns = 0;  // macroblocks per row
    int rows = 0;
    std::int16_t* blocks = nullptr;   // 6 x 64 coefficients, raster order
    std::int32_t* modes = nullptr;    // one per macroblock: its type, or kModeLost
    std::int32_t* vectors = nullptr;  // two per macroblock (x, y in half samples)
    int quantiser = kInitialQuantiser;
    bool continuousPresence = false;  // CPM of the picture header: GOB headers then carry GSBI
    // The reference holds an earlier picture of this size (a lost intra macroblock copies from it).
    bool hasPrevious = false;
};

// A macroblock lost to damage; it predicts later vectors as an uncoded one (zero).
constexpr std::int32_t kModeLost = -1;

// Both decode every macroblock they can and return false when the data was damaged (a code that does
// not exist, a block running past 64 coefficients, a group header out of place, data ending early).
// Damage ends the group of blocks, not the picture: decoding resumes at the next group header beyond
// it, and the macroblocks in between are concealed (Conceal.h); without a later header the rest of
// the picture is. The picture is complete either way.
bool DecodeIntraMacroblocks(BitReader& reader, MacroblockContext& context);
bool DecodePredictedMacroblocks(BitReader& reader, MacroblockContext& context);

}  // namespace vistrel::h263
