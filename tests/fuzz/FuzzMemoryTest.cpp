// The fuzzing executables' allocators keep large blocks for later requests. What they must not
// lose is the sanitizer's view: a kept block, and the part of a lent one past its request, are
// poisoned; the library's memory allowance per input fails requests the way real exhaustion does.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include <sanitizer/asan_interface.h>

#include "fuzz/KeptBlockPool.h"
#include "fuzz/KeptBlocksMemory.h"
#include "kvr_syst/Kvr_Except.h"

namespace {

using vistrel::fuzz::KeptBlockPool;
using vistrel::fuzz::KeptBlocksMemory;

bool poisoned(const void* p) { return __asan_address_is_poisoned(p) != 0; }

TEST(KeptBlocksMemory, AKeptBlockServesASmallerRequestWithItsTailStillPoisoned) {
    KeptBlocksMemory memory;
    auto* first = static_cast<std::uint8_t*>(memory.New(300000));
    memory.Delete(first, 300000);
    EXPECT_TRUE(poisoned(first));
    EXPECT_TRUE(poisoned(first + 299999));

    auto* second = static_cast<std::uint8_t*>(memory.New(200000));
    ASSERT_EQ(second, first);
    EXPECT_FALSE(poisoned(second));
    EXPECT_FALSE(poisoned(second + 199999));
    EXPECT_TRUE(poisoned(second + 200000));
    memory.Delete(second, 200000);
    EXPECT_TRUE(poisoned(second));
}

TEST(KeptBlocksMemory, AnInputGetsItsAllowanceAndOneRequestBeyondThenFailsUntilTheNextInput) {
    KeptBlocksMemory memory;
    const std::size_t quarter = KeptBlocksMemory::kInputAllowance / 4;
    memory.StartInput();
    void* held[5] = {};
    for (int i = 0; i < 4; ++i) held[i] = memory.New(quarter);
    held[4] = memory.New(quarter);  // the one request past the allowance
    EXPECT_THROW(memory.New(1000), KVR_MEM_EXCEPTION);
    for (void* p : held) memory.Delete(p, quarter);

    memory.StartInput();
    void* again = memory.New(quarter);
    EXPECT_NE(again, nullptr);
    memory.Delete(again, quarter);
}

TEST(KeptBlocksMemory, AStoreForASideBeyondTheLimitIsRefusedAsAMemoryFailure) {
    KeptBlocksMemory memory;
    memory.StartInput();
    EXPECT_THROW(memory.New(std::size_t(1) << 31), KVR_MEM_EXCEPTION);
}

// Inputs alternate between small and large pictures: the largest blocks must survive a run of
// smaller ones, which go oldest first, or every large picture is faulted in afresh.
TEST(KeptBlockPool, LetsTheOldestGoButTheLargestAndLendsOnlyForRequestsOfAQuarterOfABlockOrMore) {
    constexpr std::size_t kUnit = 100000;
    auto pool = std::make_unique<KeptBlockPool>();
    std::vector<void*> freed;
    auto free = [&freed](const KeptBlockPool::Block& b) {
        freed.push_back(b.p);
        std::free(b.p);
    };
    auto give = [&](std::size_t size) {
        void* p = std::malloc(size);
        EXPECT_TRUE(pool->keep({p, size}, free));
        return p;
    };
    std::vector<void*> large, small;
    for (std::size_t i = 0; i < KeptBlockPool::kLargestKept; ++i) large.push_back(give((20 + i) * kUnit));
    for (std::size_t i = 0; i < KeptBlockPool::kMaxBlocks; ++i) small.push_back(give(kUnit + i));
    const std::vector<void*> oldestSmall(small.begin(), small.begin() + KeptBlockPool::kLargestKept);
    EXPECT_EQ(freed, oldestSmall);

    EXPECT_EQ(pool->take(KeptBlockPool::kLarge - 1).p, nullptr);  // under the size worth keeping
    EXPECT_EQ(pool->take(3 * kUnit).p, nullptr);                  // the large blocks are more than four times that
    const KeptBlockPool::Block lent = pool->take(6 * kUnit);
    EXPECT_EQ(lent.p, large[0]);  // the smallest that holds it
    EXPECT_FALSE(poisoned(static_cast<std::uint8_t*>(lent.p) + 6 * kUnit - 1));
    EXPECT_TRUE(poisoned(static_cast<std::uint8_t*>(lent.p) + 6 * kUnit));
    EXPECT_EQ(pool->take(100 * kUnit).p, nullptr);

    ASSERT_TRUE(pool->keep(lent, free));
    EXPECT_FALSE(pool->keep(lent, free));  // given back twice
    pool->drain(free);
    EXPECT_EQ(freed.size(), KeptBlockPool::kLargestKept + KeptBlockPool::kMaxBlocks);
}

TEST(KeptHeapBlocks, ALargeBlockDeletedIsPoisonedAndLentAgainWithItsTailPoisoned) {
    auto* first = new std::uint8_t[500000];
    first[0] = 1;
    delete[] first;
    EXPECT_TRUE(poisoned(first));

    auto* second = new std::uint8_t[400000];
    ASSERT_EQ(second, first);
    second[399999] = 2;
    EXPECT_TRUE(poisoned(second + 400000));
    delete[] second;
    EXPECT_TRUE(poisoned(second + 10));
}

TEST(KeptHeapBlocks, SmallBlocksAreTheSanitizersOwn) {
    auto block = std::make_unique<std::uint8_t[]>(64);
    EXPECT_FALSE(poisoned(block.get() + 63));
    EXPECT_TRUE(poisoned(block.get() + 64));
}

TEST(KeptHeapBlocksDeathTest, ALargeBlockDeletedTwiceIsReported) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            std::uint8_t* volatile p = new std::uint8_t[300000];
            delete[] p;
            delete[] p;
        },
        "block deleted twice");
}

}  // namespace
