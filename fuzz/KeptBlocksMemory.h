#pragma once
// The codec library's allocator for every decoder a fuzz target makes.

#include "kvr_syst/Kvr_Mem.h"

namespace vistrel::fuzz {

// Refuses picture stores for sides above kMaxPictureSide (the size a 4096 x 4096 layer needs, with
// the store's borders and maps) the way the library reports memory failures. Keeps the last few
// large blocks it was given back, poisoned, for the next input: a fresh mapping per input, faulted
// in page by page and unmapped again, cost more than decoding a small input.
class KeptBlocksMemory : public KVR_MEM_I {
public:
    ~KeptBlocksMemory() override;
    void* New(std::size_t size) override;
    void Delete(void* p, std::size_t size) override;

private:
    struct Kept {
        void* block = nullptr;
        std::size_t size = 0;
    };
    static constexpr std::size_t kKeptCount = 4;
    Kept kept_[kKeptCount];
    std::size_t next_ = 0;
};

// Makes every library decoder made from now on in this process use one KeptBlocksMemory. Called by
// each target that makes decoders, before it makes one; the first call installs it.
void UseKeptBlocksMemory();

}  // namespace vistrel::fuzz
