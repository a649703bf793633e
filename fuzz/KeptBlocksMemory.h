#pragma once
// The codec library's allocator for every decoder a fuzz target makes.

#include "fuzz/KeptBlockPool.h"
#include "kvr_syst/Kvr_Mem.h"

namespace vistrel::fuzz {

// Refuses picture stores for sides above kMaxPictureSide (the size a 4096 x 4096 layer needs, with
// the store's borders and maps) the way the library reports memory failures. Large blocks given
// back are kept for later requests (see KeptBlockPool).
//
// Each input gets an allowance: past kInputAllowance bytes handed out since StartInput(), requests
// fail the way the library reports memory failures, except one (so a picture store up to the cap
// can still be built after smaller ones). A few hundred bytes can hold a hundred layer headers,
// each rebuilding and clearing the picture store for a new large size within a single call;
// without the allowance those inputs cost seconds, and the library's way out of a failed
// allocation is exercised as well.
class KeptBlocksMemory : public KVR_MEM_I {
public:
    static constexpr std::size_t kInputAllowance = std::size_t(32) << 20;

    ~KeptBlocksMemory() override;
    void* New(std::size_t size) override;
    void Delete(void* p, std::size_t size) override;
    void StartInput() {
        handedOut_ = 0;
        beyondGranted_ = false;
    }

private:
    using Block = KeptBlockPool::Block;
    KeptBlockPool pool_;
    // Kept blocks lent out, so that one given back is known by its whole size (the library passes
    // the size it asked for).
    static constexpr std::size_t kLentCount = 16;
    Block lent_[kLentCount];
    std::size_t handedOut_ = 0;   // bytes granted within the allowance since StartInput()
    bool beyondGranted_ = false;  // the one request past the allowance was granted
};

}  // namespace vistrel::fuzz
