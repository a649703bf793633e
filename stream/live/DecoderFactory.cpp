#include "stream/live/DecoderFactory.h"

#include <new>

#if __has_include("video/decoders/CDec263.h")
#include "video/decoders/CDec263.h"
#define VISTREL_LIVE_HAVE_CDEC263 1
#endif
#if __has_include("video/decoders/CDecKvr4.h")
#include "video/decoders/CDecKvr4.h"
#define VISTREL_LIVE_HAVE_CDECKVR4 1
#endif

namespace vistrel::live {

std::unique_ptr<IDecoder> MakeLiveDecoder(StreamCoding coding) {
    switch (coding) {
#ifdef VISTREL_LIVE_HAVE_CDEC263
        case StreamCoding::H263:
            return std::unique_ptr<IDecoder>(new (std::nothrow) CDec263);
#endif
#ifdef VISTREL_LIVE_HAVE_CDECKVR4
        case StreamCoding::Kvr4:
            return std::unique_ptr<IDecoder>(new (std::nothrow) CDecKvr4);
#endif
        default:
            return nullptr;
    }
}

}  // namespace vistrel::live
