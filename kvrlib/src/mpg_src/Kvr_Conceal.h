// Concealment of macroblocks lost to stream damage, from the reference pictures and the neighbours.
#pragma once

#include <exception>

#include "mpg_src/Kvr_MP4_MB.h"

// What KVR_MB_INFO::Lost holds for a macroblock of the anchor being decoded (and, once it is
// concealed, for the B-VOPs that follow it).
enum { KVR_DECODED = 0, KVR_LOST = 1, KVR_CONCEALED = 2 };

// Marks macroblocks [From, To) of the anchor being decoded as lost. They are stored as not coded
// (what later pictures and a B-VOP see of them) and concealed once the picture's loop has ended, so
// that the concealment can look at the packets decoded after them as well.
void Kvr_Mark_Lost(KVR_MP4_STATE* D, int From, int To);

// Conceals every lost macroblock of the anchor just decoded, in raster order, each from what is known
// around it (decoded or concealed before). An I-VOP copies the co-located block of the past reference;
// a P-VOP predicts from it with the vector among the past one there, zero, the known neighbours'
// vectors and their median whose reference block lies among samples most like the known ones around
// (interlaced: whose prediction joins best onto them); a GMC S-VOP uses the global motion.
// Without a decoded reference the samples are interpolated from the nearest decoded ones in each
// direction (mid-grey when there is none). An intra picture that looks unlike its reference blends the
// copy into that interpolation, and interpolates alone where the reference differs right around the
// macroblock (an interlaced one interpolates throughout).
void Kvr_Conceal_Lost(KVR_MP4_STATE* D);

// Keeps the first stream error of the VOP for its caller. The first form must be called from a handler.
void Kvr_Note_Damage(KVR_MP4_STATE* D);
void Kvr_Note_Damage(KVR_MP4_STATE* D, std::exception_ptr Error);
