#pragma once
// Large blocks given back by a fuzz target, kept poisoned for later requests instead of returned
// to the system.
//
// Under AddressSanitizer every block from 128 KB up is a mapping of its own: made, faulted in page
// by page and unmapped again. Decoders allocate their pictures afresh for every input, so that
// churn cost more than decoding a small input. A kept block is poisoned whole and a lent one beyond
// its request, so a use after it was given back, or past the end of a request, is still reported.
//
// Inputs change picture sizes all the time. When too many are kept, the block given back longest
// ago goes, except the few largest: a picture store evicted by a run of small ones had to be faulted
// in again by the next input with a large picture. Keeping only the largest was worse: once a few
// huge stores filled the pool, every middling one was mapped afresh for each input. A block is lent
// only for a request of at least a quarter of it, so small requests do not take the large ones away.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <utility>

#include <sanitizer/asan_interface.h>

namespace vistrel::fuzz {

class KeptBlockPool {
public:
    // Smaller blocks come from the sanitizer's own size classes, which it reuses by itself.
    static constexpr std::size_t kLarge = 64 * 1024;
    static constexpr std::size_t kMaxBlocks = 16;
    static constexpr std::size_t kLargestKept = 4;  // stay while others can go
    static constexpr std::size_t kMaxBytes = std::size_t(384) << 20;

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
    // blocks given back longest ago, apart from the kLargestKept largest, while more than kMaxBlocks
    // or kMaxBytes are kept; a small block straight away. False when the block is kept already: it
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
            givenAt_[kMaxBlocks] = ++clock_;
            bytes_ += given.capacity;
            for (;;) {
                std::size_t count = 0;
                for (const Block& k : kept_) count += k.p != nullptr;
                if (count <= kMaxBlocks && bytes_ <= kMaxBytes) break;
                const std::size_t v = victim();
                evicted[evictedCount++] = kept_[v];
                bytes_ -= kept_[v].capacity;
                kept_[v] = Block{};
            }
            // The spare slot only takes a block in; one left there moves to a vacant slot.
            for (std::size_t i = 0; i < kMaxBlocks && kept_[kMaxBlocks].p != nullptr; ++i) {
                if (kept_[i].p != nullptr) continue;
                std::swap(kept_[i], kept_[kMaxBlocks]);
                givenAt_[i] = givenAt_[kMaxBlocks];
            }
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
    // The block to let go: given back longest ago, among those outside the kLargestKept largest when
    // there are any.
    std::size_t victim() const {
        std::size_t best = kMaxBlocks + 1;
        bool bestLarge = true;
        for (std::size_t i = 0; i <= kMaxBlocks; ++i) {
            if (kept_[i].p == nullptr) continue;
            std::size_t larger = 0;
            for (std::size_t j = 0; j <= kMaxBlocks; ++j) {
                if (kept_[j].p == nullptr || j == i) continue;
                larger += kept_[j].capacity > kept_[i].capacity ||
                          (kept_[j].capacity == kept_[i].capacity && j < i);
            }
            const bool large = larger < kLargestKept;
            if (best > kMaxBlocks || (bestLarge && !large) ||
                (bestLarge == large && givenAt_[i] < givenAt_[best])) {
                best = i;
                bestLarge = large;
            }
        }
        return best;
    }

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
    std::uint64_t givenAt_[kMaxBlocks + 1] = {};
    std::uint64_t clock_ = 0;
    std::size_t bytes_ = 0;
};

}  // namespace vistrel::fuzz
