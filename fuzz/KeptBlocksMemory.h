#pragma once
// The codec library's allocator for every decoder a fuzz target makes.

#include "kvr_syst/Kvr_Mem.h"

namespace vistrel::fuzz {

// Refuses picture stores for sides above kMaxPictureSide (the size a 4096 x 4096 layer needs, with
// the store's borders and maps) the way the library reports memory failures. Keeps the last few
// large blocks it was given back, poisoned, for later requests: a fresh mapping per input, faulted
// in page by page and unmapped again, cost more than decoding a small input. The smallest kept
// block that can hold a request serves it (inputs change picture sizes all the time); the part
// beyond the request stays poisoned, so an overrun is still reported.
class KeptBlocksMemory : public KVR_MEM_I {
public:
    ~KeptBlocksMemory() override;
    void* New(std::size_t size) override;
    void Delete(void* p, std::size_t size) override;

private:
    struct Block {
        void* p = nullptr;
        std::size_t capacity = 0;
    };
    static constexpr std::size_t kKeptCount = 4;
    // Kept blocks lent out, so that one given back is known by its whole size.
    static constexpr std::size_t kLentCount = 16;
    Block kept_[kKeptCount];
    Block lent_[kLentCount];
    std::size_t next_ = 0;
};

}  // namespace vistrel::fuzz
