#include "stream/playback/PlaybackDecoderFactory.h"

#include "stream/playback/RecordFormat.h"

#include "video/decoders/PCDec263.h"
#include "video/decoders/PCDecKvr4.h"

namespace vistrel::playback {

std::unique_ptr<PIDecoder> CreatePlaybackDecoder(int recordType) {
    switch (recordType) {
        case kTypeH263: return std::make_unique<PCDec263>();
        case kTypeMpeg4:
        case kTypeMpeg4Audio: return std::make_unique<PCDecKvr4>();
        default: return nullptr;
    }
}

}  // namespace vistrel::playback
