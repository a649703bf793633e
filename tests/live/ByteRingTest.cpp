#include <gtest/gtest.h>

#include <numeric>
#include <thread>

#include "stream/live/ByteRing.h"

namespace vistrel::live {
namespace {

TEST(ByteRing, HoldsAtMostOneByteLessThanItsSizeAndReadsContiguousParts) {
    ByteRing ring;
    EXPECT_EQ(ring.Free(), kByteRingSize - 1);
    std::vector<std::uint8_t> data(kByteRingSize - 1);
    std::iota(data.begin(), data.end(), 0);
    ring.Write(data.data(), data.size());
    EXPECT_EQ(ring.Free(), 0u);
    EXPECT_EQ(ring.Held(), kByteRingSize - 1);

    std::vector<std::uint8_t> out(1000);
    std::size_t remaining = 0;
    ASSERT_EQ(ring.Read(out.data(), out.size(), &remaining), 1000u);
    EXPECT_EQ(remaining, kByteRingSize - 1 - 1000);
    EXPECT_TRUE(std::equal(out.begin(), out.end(), data.begin()));
    EXPECT_EQ(ring.Free(), 1000u);

    // Writing across the end wraps; a read then stops at the end of the storage.
    const std::vector<std::uint8_t> more(1000, 0xAB);
    ring.Write(more.data(), more.size());
    std::vector<std::uint8_t> rest(kByteRingSize);
    const std::size_t first = ring.Read(rest.data(), rest.size(), &remaining);
    EXPECT_EQ(first, kByteRingSize - 1000);
    EXPECT_EQ(remaining, 999u);
    EXPECT_EQ(rest[first - 1], 0xAB);  // the one byte written before the wrap
    EXPECT_EQ(ring.Read(rest.data(), rest.size(), &remaining), 999u);
    EXPECT_EQ(remaining, 0u);
    EXPECT_EQ(ring.Read(rest.data(), rest.size(), &remaining), 0u);

    ring.Write(more.data(), 10);
    ring.Reset();
    EXPECT_EQ(ring.Held(), 0u);
}

TEST(ByteRing, AWriterWaitsForTheReaderAndNothingIsLostOrReordered) {
    ByteRing ring;
    constexpr std::size_t kTotal = 3 * kByteRingSize + 12345;
    std::thread writer([&] {
        std::vector<std::uint8_t> block(1024);
        for (std::size_t sent = 0; sent < kTotal;) {
            const std::size_t n = std::min<std::size_t>(block.size(), kTotal - sent);
            for (std::size_t i = 0; i < n; ++i) block[i] = static_cast<std::uint8_t>((sent + i) % 251);
            ring.Write(block.data(), n);
            sent += n;
        }
    });
    std::size_t got = 0;
    bool ordered = true;
    std::vector<std::uint8_t> buffer(16384);
    while (got < kTotal) {
        std::size_t remaining = 0;
        const std::size_t n = ring.Read(buffer.data(), buffer.size(), &remaining);
        for (std::size_t i = 0; i < n; ++i) ordered = ordered && buffer[i] == (got + i) % 251;
        got += n;
        if (n == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    writer.join();
    EXPECT_TRUE(ordered);
    EXPECT_EQ(ring.Held(), 0u);
}

}  // namespace
}  // namespace vistrel::live
