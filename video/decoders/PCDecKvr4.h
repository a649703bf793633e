#pragma once
// The playback MPEG-4 decoder (record types 13 and 14).

#include "video/decoders/Mpeg4Policy.h"
#include "video/decoders/PlaybackDecoder.h"

namespace vistrel {

class PCDecKvr4 final : public decoders::PlaybackDecoder<decoders::Mpeg4Policy> {};

}  // namespace vistrel
