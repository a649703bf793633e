#pragma once
// Group-of-blocks headers: reading one where a macroblock row may begin, and searching forward for
// the next one after damage, so decoding can resume there instead of giving up the picture.

#include <cstddef>

#include "video/h263/BitReader.h"

namespace vistrel::h263 {

struct GroupHeader {
    int group = 0;      // GN: the macroblock row the group begins (one row per group at our sizes)
    int quantiser = 0;  // GQUANT; 0 is not a quantiser
};

// At the start of a macroblock row: reads a header if one stands there (right away, or after zero
// stuffing to the next byte boundary, as encoders align them). Valid macroblock data never starts
// with sixteen zero bits, so a stream without such headers is never misread. Leaves the reader where
// it was when there is none.
bool ReadGroupHeader(BitReader& reader, bool continuousPresence, GroupHeader* header);

// Searches from bit `from` to the end of the data for a start code followed by a group number in
// [firstGroup, lastGroup] and a non-zero quantiser, at any bit position (damage shifts alignment as
// much as encoders do). On success the reader stands behind that header.
bool FindGroupHeader(BitReader& reader, std::size_t from, int firstGroup, int lastGroup, bool continuousPresence,
                     GroupHeader* header);

}  // namespace vistrel::h263
