#include "stream/playback/PlaybackDecoderFactory.h"

#include "stream/playback/RecordFormat.h"

// The decoder classes come from the video layer; until a class is in the tree its record type has
// no decoder, which the player treats like any other type it cannot show.
#if __has_include("video/decoders/PCDec263.h")
#include "video/decoders/PCDec263.h"
#define VISTREL_HAVE_PCDEC263 1
#endif
#if __has_include("video/decoders/PCDecKvr4.h")
#include "video/decoders/PCDecKvr4.h"
#define VISTREL_HAVE_PCDECKVR4 1
#endif

namespace vistrel::playback {

std::unique_ptr<PIDecoder> CreatePlaybackDecoder(int recordType) {
    switch (recordType) {
#ifdef VISTREL_HAVE_PCDEC263
        case kTypeH263:
            return std::make_unique<PCDec263>();
#endif
#ifdef VISTREL_HAVE_PCDECKVR4
        case kTypeMpeg4:
        case kTypeMpeg4Audio:
            return std::make_unique<PCDecKvr4>();
#endif
        default:
            return nullptr;
    }
}

}  // namespace vistrel::playback
