#pragma once
// The playback H.263 decoder (record type 1).

#include "video/decoders/H263Policy.h"
#include "video/decoders/PlaybackDecoder.h"

namespace vistrel {

class PCDec263 final : public decoders::PlaybackDecoder<decoders::H263Policy> {};

}  // namespace vistrel
