#pragma once
// Finds, checks and returns playback records one at a time from the playback ring.

#include <cstdint>

#include "stream/playback/PlaybackRing.h"
#include "stream/playback/RecordBuffer.h"

namespace vistrel::playback {

// Spare room every record buffer keeps behind the payload (frame header insertion, conversion).
constexpr std::size_t kRecordSpare = 4168;
constexpr std::size_t kRecordGrowStep = 10240;
// A header announcing more than this is taken as damaged: no recorder frame comes near it, and
// believing it would let one hostile word allocate gigabytes.
constexpr std::uint32_t kMaxRecordPayload = 0x400000;

// Types the reader hands out; end records are handed out whatever their type.
bool IsReturnedRecordType(int type);

// The next acceptable record (54-byte header + payload) in `record`; false when the stream has
// ended, memory ran out, or a stop flag was raised. A stop leaves the ring as if this call had not
// started, so the same record is read again by the next call.
bool ReadRecord(PlaybackRing& ring, RecordBuffer& record, StopFlags stopFlags);

// Puts the 14-byte live frame header in front of the payload unless it is there already
// (checkPresent = false inserts unconditionally). The buffer must have 14 bytes of spare room.
void InsertFrameHeader(RecordBuffer& record, bool checkPresent = true);

}  // namespace vistrel::playback
