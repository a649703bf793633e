#include "video/mpeg4/LibraryDecoder.h"

#include <exception>

#include "kvr_syst/Kvr_Except.h"
#include "video/mpeg4/DecoderLog.h"
#include "video/mpeg4/Mpeg4Adapter.h"

namespace vistrel::mpeg4 {

namespace {

void deleteLibraryDecoder(KVR_MP4_DEC* decoder) { Kvr_MP4_Delete_Decoder(decoder); }

}  // namespace

LibraryDecoder NewLibraryDecoder() {
    try {
        LibraryDecoder decoder(Kvr_MP4_New_Decoder(), &deleteLibraryDecoder);
        // The library would print to the console; here its messages are ours to keep quiet.
        if (decoder) Kvr_Set_Log(decoder.get(), &DecoderLog, nullptr);
        return decoder;
    } catch (const KVR_EXCEPTION&) {
    } catch (const std::exception&) {
    }
    return LibraryDecoder(nullptr, &deleteLibraryDecoder);
}

// Kept beside the library's entry points so that code running the adapter over a decoder of
// its own links without the library's decoder.
std::unique_ptr<Mpeg4Adapter> Mpeg4Adapter::Create() { return Create(&NewLibraryDecoder); }

}  // namespace vistrel::mpeg4
