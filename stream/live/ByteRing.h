#pragma once
// The live session's receive queue: a fixed ring of bytes between the transport's worker (the one
// writer) and the consumer thread (the one reader).

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>

namespace vistrel::live {

constexpr std::size_t kByteRingSize = 0x20000;  // 128 KB; one byte always stays free

class ByteRing {
public:
    ByteRing();
    ByteRing(const ByteRing&) = delete;
    ByteRing& operator=(const ByteRing&) = delete;

    // Blocks (10 ms naps) until every byte is written; the writer checks Free() first so that
    // it does not wait here for long.
    void Write(const std::uint8_t* data, std::size_t length);
    // Copies at most `capacity` bytes of the contiguous part; *remaining = bytes still held.
    // Gives 0 (remaining 0) when the lock is not had within a second.
    std::size_t Read(std::uint8_t* buffer, std::size_t capacity, std::size_t* remaining);
    std::size_t Free();
    std::size_t Held();
    void Reset();

private:
    std::size_t heldLocked() const;

    std::timed_mutex lock_;
    std::unique_ptr<std::uint8_t[]> data_;  // bytes are owned by whichever side the indices give them to
    std::size_t writeIndex_ = 0;            // guarded by lock_
    std::size_t readIndex_ = 0;             // guarded by lock_
};

}  // namespace vistrel::live
