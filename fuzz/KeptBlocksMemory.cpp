#include "fuzz/KeptBlocksMemory.h"

#include <cstdlib>
#include <utility>

#include <sanitizer/asan_interface.h>

#include "fuzz/FuzzSupport.h"
#include "kvr_syst/Kvr_Except.h"

namespace vistrel::fuzz {

namespace {

constexpr std::size_t kSide = kMaxPictureSide + 32;
constexpr std::size_t kMaxStoreBytes = kSide * kSide * 3 / 2 * 4 + kSide * kSide;
// Blocks from here up come from their own mappings under AddressSanitizer.
constexpr std::size_t kKeepFrom = 64 * 1024;

void release(void* p, std::size_t size) {
    if (p == nullptr) return;
    ASAN_UNPOISON_MEMORY_REGION(p, size);
    std::free(p);
}

}  // namespace

KeptBlocksMemory::~KeptBlocksMemory() {
    for (Kept& k : kept_) release(k.block, k.size);
}

void* KeptBlocksMemory::New(std::size_t size) {
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

void KeptBlocksMemory::Delete(void* p, std::size_t size) {
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

void UseKeptBlocksMemory() {
    // Never destroyed: decoders of static objects may give blocks back at exit.
    static KeptBlocksMemory* memory = [] {
        auto* m = new KeptBlocksMemory;
        Kvr_Set_Decoder_Mem(m);
        return m;
    }();
    (void)memory;
}

}  // namespace vistrel::fuzz
