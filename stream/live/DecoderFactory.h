#pragma once
// Makes the live decoder for a stream coding: CDec263 for H.263, CDecKvr4 for the library's MPEG-4.

#include <functional>
#include <memory>

#include "stream/live/StreamCoding.h"
#include "video/decoders/IDecoder.h"

namespace vistrel::live {

// Returns null for codings that are received and dropped, or when the decoder cannot be made.
using DecoderFactory = std::function<std::unique_ptr<IDecoder>(StreamCoding coding)>;

std::unique_ptr<IDecoder> MakeLiveDecoder(StreamCoding coding);

}  // namespace vistrel::live
