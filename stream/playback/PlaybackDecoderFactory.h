#pragma once
// Makes the playback decoder a record type needs; the player takes the maker so tests can fake it.

#include <functional>
#include <memory>

#include "video/decoders/PIDecoder.h"

namespace vistrel::playback {

// Null for a type without a playback decoder.
using DecoderFactory = std::function<std::unique_ptr<PIDecoder>(int recordType)>;

// PCDec263 for type 1, PCDecKvr4 for types 13 and 14.
std::unique_ptr<PIDecoder> CreatePlaybackDecoder(int recordType);

}  // namespace vistrel::playback
