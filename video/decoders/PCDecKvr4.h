#pragma once
// The playback MPEG-4 decoder (record types 13 and 14).

#include "video/decoders/PlaybackDecoder.h"
#include "video/decoders/Mpeg4Policy.h"

namespace vistrel {

class PCDecKvr4 final : public decoders::PlaybackDecoder<decoders::Mpeg4Policy> {};

}  // namespace vistrel
