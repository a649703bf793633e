#pragma once
// The live H.263 decoder (stream coding 1).

#include "video/decoders/H263Policy.h"
#include "video/decoders/LiveDecoder.h"

namespace vistrel {

class CDec263 final : public decoders::LiveDecoder<decoders::H263Policy> {};

}  // namespace vistrel
