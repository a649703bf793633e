#pragma once
// The live MPEG-4 decoder over the codec library (stream coding 5).

#include "video/decoders/LiveDecoder.h"
#include "video/decoders/Mpeg4Policy.h"

namespace vistrel {

class CDecKvr4 final : public decoders::LiveDecoder<decoders::Mpeg4Policy> {};

}  // namespace vistrel
