#include "stream/live/DecoderFactory.h"

#include <new>

#include "video/decoders/CDec263.h"
#include "video/decoders/CDecKvr4.h"

namespace vistrel::live {

std::unique_ptr<IDecoder> MakeLiveDecoder(StreamCoding coding) {
    switch (coding) {
        case StreamCoding::H263: return std::unique_ptr<IDecoder>(new (std::nothrow) CDec263);
        case StreamCoding::Kvr4: return std::unique_ptr<IDecoder>(new (std::nothrow) CDecKvr4);
        default: return nullptr;  // received and dropped
    }
}

}  // namespace vistrel::live
