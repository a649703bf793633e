#include "fuzz/KeptBlocksMemory.h"

#include <cstdlib>

#include "fuzz/FuzzSupport.h"
#include "kvr_syst/Kvr_Except.h"

namespace vistrel::fuzz {

namespace {

constexpr std::size_t kSide = kMaxPictureSide + 32;
constexpr std::size_t kMaxStoreBytes = kSide * kSide * 3 / 2 * 4 + kSide * kSide;

void release(const KeptBlockPool::Block& b) { std::free(b.p); }

}  // namespace

KeptBlocksMemory::~KeptBlocksMemory() { pool_.drain(release); }

void* KeptBlocksMemory::New(std::size_t size) {
    if (size > kMaxStoreBytes) Kvr_Mem_Failed("fuzz cap", long(size));
    if (handedOut_ + size <= kInputAllowance) handedOut_ += size;
    else if (!beyondGranted_) beyondGranted_ = true;
    else Kvr_Mem_Failed("fuzz input allowance", long(size));
    for (Block& l : lent_) {
        if (l.p != nullptr) continue;
        // Only with a free row in the lent table may a kept block go out.
        l = pool_.take(size);
        if (l.p != nullptr) return l.p;
        break;
    }
    void* p = std::malloc(size ? size : 1);
    if (p == nullptr) Kvr_Mem_Failed("fuzz", long(size));
    return p;
}

void KeptBlocksMemory::Delete(void* p, std::size_t size) {
    if (p == nullptr) return;
    Block given{p, size};
    for (Block& l : lent_) {
        if (l.p == p) {
            given = l;
            l = Block{};
            break;
        }
    }
    if (!pool_.keep(given, release)) Finding("library block given back twice");
}

}  // namespace vistrel::fuzz
