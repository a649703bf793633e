#pragma once
// Large blocks given back by a fuzz target, kept poisoned for later requests instead of returned
// to the system.
//
// Under AddressSanitizer every block from 128 KB up is a mapping of its own: made, faulted in page
// by page and unmapped again. Decoders allocate their pictures afresh for every input, so that
// churn cost more than decoding a small input. A kept block is poisoned whole and a lent one beyond
// its request, so a use after it was given back, or past the end of a request, is still reported.
//
// Inputs change picture sizes all the time. The pool keeps the largest blocks (a picture store
// evicted by a small one had to be faulted in again by the next input with a large picture), and
// lends a block only for a request of at least a quarter of it, so small requests do not take
// the large blocks away.

#include <atomic>
#include <cstddef>
#include <utility>

#include <sanitizer/asan_interface.h>

namespace vistrel::fuzz {

class KeptBlockPool {
public:
    // Smaller blocks come from the sanitizer's own size classes, which it reuses by itself.
    static constexpr std::size_t kLarge = 64 * 1024;
    static constexpr std::size_t kMaxBlocks = 8;
    static constexpr std::size_t kMaxBytes = std::size_t(256) << 20;

    struct Block {
        void* p = nullptr;
        std::size_t capacity = 0;
    };

    // A kept block that can hold size bytes (the smallest that does), unpoisoned up to size; an
    // empty block when none fits.
    Block take(std::size_t size) {
        if (size < kLarge) return {};
        Hold hold(busy_);
        Block* best = nullptr;
        for (Block& k : kept_) {
            if (k.p == nullptr || k.capacity < size || k.capacity / 4 > size) continue;
            if (best == nullptr || k.capacity < best->capacity) best = &k;
        }
        if (best == nullptr) return {};
        const Block lent = *best;
        *best = Block{};
        bytes_ -= lent.capacity;
        ASAN_UNPOISON_MEMORY_REGION(lent.p, size);
        return lent;
    }

    // Poisons and keeps a block given back. Whatever does not stay goes to `free`, unpoisoned: the
    // smallest blocks, while more than kMaxBlocks or kMaxBytes are kept (the given one too, when it
    // is the smallest), and a small block straight away. False when the block is kept already: it
    // was given back twice.
    template <class Free>
    bool keep(Block given, Free&& free) {
        if (given.capacity < kLarge) {
            free(given);
            return true;
        }
        Block evicted[kMaxBlocks + 1];
        std::size_t evictedCount = 0;
        {
            Hold hold(busy_);
            for (const Block& k : kept_)
                if (k.p == given.p) return false;
            ASAN_POISON_MEMORY_REGION(given.p, given.capacity);
            kept_[kMaxBlocks] = given;
            bytes_ += given.capacity;
            for (;;) {
                std::size_t count = 0;
                Block* smallest = nullptr;
                for (Block& k : kept_) {
                    if (k.p == nullptr) continue;
                    ++count;
                    if (smallest == nullptr || k.capacity < smallest->capacity) smallest = &k;
                }
                if (count <= kMaxBlocks && bytes_ <= kMaxBytes) break;
                evicted[evictedCount++] = *smallest;
                bytes_ -= smallest->capacity;
                *smallest = Block{};
            }
            // The spare slot only takes a block in; one left there moves to a vacant slot.
            for (std::size_t i = 0; i < kMaxBlocks && kept_[kMaxBlocks].p != nullptr; ++i)
                if (kept_[i].p == nullptr) std::swap(kept_[i], kept_[kMaxBlocks]);
        }
        for (std::size_t i = 0; i < evictedCount; ++i) {
            ASAN_UNPOISON_MEMORY_REGION(evicted[i].p, evicted[i].capacity);
            free(evicted[i]);
        }
        return true;
    }

    // Every kept block, emptied out (unpoisoned) for the caller to free.
    template <class Free>
    void drain(Free&& free) {
        Hold hold(busy_);
        for (Block& k : kept_) {
            if (k.p == nullptr) continue;
            ASAN_UNPOISON_MEMORY_REGION(k.p, k.capacity);
            free(k);
            k = Block{};
        }
        bytes_ = 0;
    }

private:
    // The targets decode on one thread, but a transport's threads may allocate too.
    class Hold {
    public:
        explicit Hold(std::atomic_flag& busy) : busy_(busy) {
            while (busy_.test_and_set(std::memory_order_acquire)) {
            }
        }
        ~Hold() { busy_.clear(std::memory_order_release); }

    private:
        std::atomic_flag& busy_;
    };

    std::atomic_flag busy_ = ATOMIC_FLAG_INIT;
    Block kept_[kMaxBlocks + 1];  // the last slot only while keep() takes a block in
    std::size_t bytes_ = 0;
};

}  // namespace vistrel::fuzz
