#pragma once
// Hiding macroblocks lost to damage: they are marked while the picture is decoded (so they predict
// later vectors as uncoded macroblocks would) and filled from the reference picture once it is done.

#include "video/h263/PictureLayer.h"

namespace vistrel::h263 {

// Marks macroblocks [from, to) (raster order) lost: mode kModeLost, vectors zero.
void MarkLost(MacroblockContext& context, int from, int to);

// Fills every lost macroblock. Predicted pictures: predicted from the reference with the vector of a
// neighbour that was decoded (above, else left, else below; intra and lost neighbours tell nothing),
// or with no motion. Intra pictures: the co-located macroblock of the previous picture, or mid-grey
// when there is none (context.hasPrevious).
void ConcealLost(MacroblockContext& context, bool predicted);

}  // namespace vistrel::h263
