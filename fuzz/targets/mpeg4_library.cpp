// The MPEG-4 library on raw elementary-stream bytes, fed in chunks whose sizes the input chooses
// (a unit of a picture split anywhere), then flushed. Every picture it hands out is copied.

#include <algorithm>
#include <cstdlib>
#include <new>
#include <utility>

#include <sanitizer/asan_interface.h>

#include "fuzz/FuzzSupport.h"
#include "fuzz/FuzzTarget.h"
#include "kvr_syst/Kvr_MP4_Dec.h"

namespace {

using namespace vistrel::fuzz;

// Refuses picture stores for sides above kMaxPictureSide (the size a 4096 x 4096 layer needs,
// with the store's borders and maps) the way the library reports memory failures. Keeps the last
// few large blocks it was given back, poisoned, for the next input: a fresh mapping per input,
// faulted in page by page and unmapped again, used to cost more than decoding a small input.
class CappedMemory : public KVR_MEM_I {
public:
    ~CappedMemory() override {
        for (Kept& k : kept_) release(k.block, k.size);
    }
    void* New(std::size_t size) override {
        if (size > kMaxStoreBytes) Kvr_Mem_Failed("fuzz cap", long(size));
        for (Kept& k : kept_) {
            if (k.block != nullptr && k.size == size) {
                void* p = std::exchange(k.block, nullptr);
                ASAN_UNPOISON_MEMORY_REGION(p, size);
                return p;
            }
        }
        void* p = std::malloc(size ? size : 1);
        if (p == nullptr) Kvr_Mem_Failed("fuzz", long(size));
        return p;
    }
    void Delete(void* p, std::size_t size) override {
        if (p == nullptr) return;
        if (size < kKeepFrom) {
            std::free(p);
            return;
        }
        Kept& slot = kept_[next_++ % kKeptCount];
        release(slot.block, slot.size);
        // Poisoned while kept, so a use after the library let it go is still reported.
        ASAN_POISON_MEMORY_REGION(p, size);
        slot = Kept{p, size};
    }

private:
    static void release(void* p, std::size_t size) {
        if (p == nullptr) return;
        ASAN_UNPOISON_MEMORY_REGION(p, size);
        std::free(p);
    }

    static constexpr std::size_t kSide = kMaxPictureSide + 32;
    static constexpr std::size_t kMaxStoreBytes = kSide * kSide * 3 / 2 * 4 + kSide * kSide;
    // Blocks from here up come from their own mappings under AddressSanitizer.
    static constexpr std::size_t kKeepFrom = 64 * 1024;
    static constexpr std::size_t kKeptCount = 4;
    struct Kept {
        void* block = nullptr;
        std::size_t size = 0;
    };
    Kept kept_[kKeptCount];
    std::size_t next_ = 0;
};

unsigned takePicture(KVR_MP4_DEC* decoder) {
    if (!decoder->Is_Frame_Ready()) return 0;
    KVR_MP4_FRAME f{};
    decoder->Consume_Frame(&f);
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
    static CappedMemory memory;
    KVR_MP4_DEC* decoder = Kvr_MP4_New_Decoder();
    if (decoder == nullptr) return 0;
    decoder->Set_Memory_Manager(&memory);
    const std::uint8_t* p = source.data();
    std::size_t left = source.size();
    while (left > 0) {
        const std::size_t n = std::min(left, chunker.next());
        HeapCopy chunk(p, n);
        std::size_t pos = 0;
        // The adapter's way: decode again from wherever the library stopped.
        while (pos < n) {
            int used = 0;
            if (!guarded([&] { used = decoder->Decode(chunk.data() + pos, int(n - pos)); }))
                used = int(std::min<std::size_t>(4, n - pos));
            guarded([&] { takePicture(decoder); });
            if (used <= 0) break;
            if (std::size_t(used) > n - pos) Finding("library consumed more than it was given");
            pos += std::size_t(used);
        }
        p += n;
        left -= n;
    }
    guarded([&] { decoder->Decode(nullptr, 0); });
    guarded([&] { takePicture(decoder); });
    Kvr_MP4_Delete_Decoder(decoder);
    return 0;
}
