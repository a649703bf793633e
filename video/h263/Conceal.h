#pragma once
// Hiding macroblocks lost to damage: they are marked while the picture is decoded (so they predict
// later vectors as uncoded macroblocks would) and filled from the reference picture once it is done.

#include "video/h263/PictureLayer.h"

namespace vistrel::h263 {

// Marks macroblocks [from, to) (raster order) lost: mode kModeLost; in a predicted picture their
// vectors become zero. An intra picture predicts no vectors, so there every macroblock keeps the
// previous picture's motion at that place.
void MarkLost(MacroblockContext& context, int from, int to, bool predicted);

// Fills every lost macroblock. Predicted pictures: predicted from the reference with the candidate
// vector (a neighbour's, decoded or concealed before it; their median; none) whose prediction joins
// clearly best onto the decoded macroblocks around; intra neighbours have no vector to offer. Intra
// pictures: the co-located macroblock of the previous picture moved on by that picture's motion
// there, unless its mean stands far from the interpolation below; when there is no previous picture
// (context.hasPrevious), or the decoded part of this one looks unlike it, samples interpolated from
// the nearest decoded macroblocks in each direction.
void ConcealLost(MacroblockContext& context, bool predicted);

}  // namespace vistrel::h263
