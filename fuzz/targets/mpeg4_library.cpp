// The MPEG-4 library on raw elementary-stream bytes, fed in chunks whose sizes the input chooses
// (a unit of a picture split anywhere), then flushed. Every picture it hands out is copied.

#include <algorithm>

#include "base/StartCode.h"
#include "fuzz/CodecLibrary.h"
#include "fuzz/FuzzSupport.h"
#include "fuzz/FuzzTarget.h"
#include "kvr_syst/Kvr_MP4_Dec.h"

namespace {

using namespace vistrel::fuzz;

unsigned takePicture(KVR_MP4_DEC* decoder, PictureBudget& budget) {
    if (!decoder->Is_Frame_Ready()) return 0;
    KVR_MP4_FRAME f{};
    decoder->Consume_Frame(&f);
    budget.spend(f.Width, f.Height);
    if (f.BpS < f.Width) Finding("picture row shorter than its width");
    return CopyPicture(f.Y, f.U, f.V, f.Width, f.Height, f.BpS, f.BpS);
}

// A damaged stream may raise the library's stream, unsupported or memory errors; those are
// answers, not findings (AssertWatch catches the assertion kind however it travels).
template <class F>
bool guarded(F&& f) {
    try {
        f();
        return true;
    } catch (const KVR_EXCEPTION&) {
        return false;
    }
}

}  // namespace

VISTREL_FUZZ_TARGET(mpeg4_library) {
    AssertWatch watch;
    ByteSource source(data, size);
    Chunker chunker(source, 16);
    PrepareCodecLibrary();
    KVR_MP4_DEC* decoder = Kvr_MP4_New_Decoder();
    if (decoder == nullptr) return 0;
    const std::uint8_t* p = source.data();
    std::size_t left = source.size();
    PictureBudget budget;
    while (left > 0 && !budget.exhausted()) {
        const std::size_t n = std::min(left, chunker.next());
        HeapCopy chunk(p, n);
        std::size_t pos = 0;
        // The adapter's way: decode again from wherever the library stopped.
        while (pos < n && !budget.exhausted()) {
            int used = 0;
            if (!guarded([&] { used = decoder->Decode(chunk.data() + pos, int(n - pos)); })) {
                // The library does not say where the unit that failed began. Going on past the
                // first unit from here re-reads at most the units this call got through before it;
                // going on a few bytes at a time decoded the failing picture again at every step.
                const std::size_t first = vistrel::base::FindStartCode(chunk.data(), n, pos);
                used = int(vistrel::base::FindStartCode(chunk.data(), n, first + 3) - pos);
            }
            guarded([&] { takePicture(decoder, budget); });
            if (used <= 0) break;
            if (std::size_t(used) > n - pos) Finding("library consumed more than it was given");
            pos += std::size_t(used);
        }
        p += n;
        left -= n;
    }
    guarded([&] { decoder->Decode(nullptr, 0); });
    guarded([&] { takePicture(decoder, budget); });
    Kvr_MP4_Delete_Decoder(decoder);
    return 0;
}
