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

void release(void* p, std::size_t capacity) {
    if (p == nullptr) return;
    ASAN_UNPOISON_MEMORY_REGION(p, capacity);
    std::free(p);
}

}  // namespace

KeptBlocksMemory::~KeptBlocksMemory() {
    for (Block& k : kept_) release(k.p, k.capacity);
}

void* KeptBlocksMemory::New(std::size_t size) {
    if (size > kMaxStoreBytes) Kvr_Mem_Failed("fuzz cap", long(size));
    if (handedOut_ + size <= kInputAllowance) handedOut_ += size;
    else if (!beyondGranted_) beyondGranted_ = true;
    else Kvr_Mem_Failed("fuzz input allowance", long(size));
    Block* best = nullptr;
    if (size >= kKeepFrom) {
        for (Block& k : kept_) {
            if (k.p != nullptr && k.capacity >= size && (best == nullptr || k.capacity < best->capacity))
                best = &k;
        }
    }
    if (best != nullptr) {
        for (Block& l : lent_) {
            if (l.p != nullptr) continue;
            l = *best;
            void* p = std::exchange(best->p, nullptr);
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
    std::size_t capacity = size;
    for (Block& l : lent_) {
        if (l.p == p) {
            capacity = l.capacity;
            l = Block{};
            break;
        }
    }
    if (capacity < kKeepFrom) {
        std::free(p);
        return;
    }
    Block& slot = kept_[next_++ % kKeptCount];
    release(slot.p, slot.capacity);
    // Poisoned while kept, so a use after the library let it go is still reported.
    ASAN_POISON_MEMORY_REGION(p, capacity);
    slot = Block{p, capacity};
}

}  // namespace vistrel::fuzz
