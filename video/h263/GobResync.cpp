#include "video/h263/GobResync.h"

#include <algorithm>

namespace vistrel::h263 {

namespace {

constexpr int kStartCodeBits = 17;  // 0000 0000 0000 0000 1
constexpr int kGroupNumberBits = 5;
constexpr int kGsbiBits = 2;
constexpr int kGfidBits = 2;
constexpr int kGquantBits = 5;

// Reads the fields behind a start code the reader stands on.
void readFields(BitReader& reader, bool continuousPresence, GroupHeader* header) {
    reader.skip(kStartCodeBits);
    header->group = int(reader.get(kGroupNumberBits));
    if (continuousPresence) reader.skip(kGsbiBits);
    reader.skip(kGfidBits);
    header->quantiser = int(reader.get(kGquantBits));
}

}  // namespace

bool ReadGroupHeader(BitReader& reader, bool continuousPresence, GroupHeader* header) {
    const int stuffing = int((8 - reader.bitPosition() % 8) % 8);
    int skip = -1;
    if (reader.show(kStartCodeBits) == 1) {
        skip = 0;
    } else if (stuffing > 0 && reader.show(stuffing + kStartCodeBits) == 1) {
        skip = stuffing;
    }
    if (skip < 0) return false;
    reader.skip(skip);
    readFields(reader, continuousPresence, header);
    return true;
}

bool FindGroupHeader(BitReader& reader, std::size_t from, int firstGroup, int lastGroup, bool continuousPresence,
                     GroupHeader* header) {
    const std::size_t end = reader.sizeInBits();
    // Sixteen zero bits always cover one whole zero byte, so only the bit positions up to a byte before
    // each zero byte can begin a start code.
    for (std::size_t byte = (from + 7) / 8; byte * 8 < end; ++byte) {
        if (reader.byteAt(byte) != 0) continue;
        const std::size_t lowest = byte * 8 >= 7 ? byte * 8 - 7 : 0;
        for (std::size_t bit = std::max(lowest, from); bit <= byte * 8; ++bit) {
            reader.seek(bit);
            if (reader.show(kStartCodeBits) != 1) continue;
            GroupHeader candidate;
            readFields(reader, continuousPresence, &candidate);
            if (reader.overrun()) break;
            if (candidate.group >= firstGroup && candidate.group <= lastGroup && candidate.quantiser != 0) {
                *header = candidate;
                return true;
            }
        }
    }
    reader.seek(end);
    return false;
}

}  // namespace vistrel::h263
