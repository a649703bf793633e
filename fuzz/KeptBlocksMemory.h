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
    std::size_t handedOut_ = 0;   // bytes granted within the allowance since StartInput()
    bool beyondGranted_ = false;  // the one request past the allowance was granted
};

}  // namespace vistrel::fuzz
