#pragma once
// The 512 KB byte ring between the playback transport (one writer) and the player thread (one reader).

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "platform/Lock.h"

namespace vistrel::playback {

// Flags that break a blocking read; any non-zero one counts as raised.
using StopFlags = std::span<const std::atomic<std::uint32_t>* const>;

class PlaybackRing {
public:
    static constexpr std::size_t kSize = 0x80000;
    // The reader never waits longer than this for the lock, so a raised stop flag is seen soon.
    static constexpr std::uint32_t kLockWaitMs = 1000;
    static constexpr std::uint32_t kEmptyPollMs = 1;
    static constexpr std::uint32_t kFullPollMs = 10;

    PlaybackRing();
    PlaybackRing(const PlaybackRing&) = delete;
    PlaybackRing& operator=(const PlaybackRing&) = delete;

    // Writer side. Blocks (10 ms sleeps) while the ring is full.
    void Write(const std::uint8_t* data, std::size_t length);
    std::size_t Free();
    void Reset();
    void SetEndOfStream();

    // Reader side. Blocks until `count` bytes arrived (result count), the stream ended (short
    // result) or a stop flag was raised (result 0; the bytes read so far are delivered first by the
    // next read).
    std::size_t Read(std::uint8_t* destination, std::size_t count, StopFlags stopFlags);
    // Puts bytes back in front of everything else; the next reads deliver them first.
    void Unread(const std::uint8_t* data, std::size_t count);

private:
    std::size_t held() const;  // caller holds lock_

    platform::Lock lock_;
    std::unique_ptr<std::uint8_t[]> data_;  // writer fills ahead of writeIndex_, reader drains from readIndex_
    std::size_t writeIndex_ = 0;            // guarded by lock_
    std::size_t readIndex_ = 0;             // guarded by lock_
    std::atomic<std::uint32_t> endOfStream_{0};
    // Bytes handed back by an interrupted read or by Unread; guarded by lock_.
    std::vector<std::uint8_t> pending_;
    std::size_t pendingPosition_ = 0;  // guarded by lock_
};

inline bool AnyRaised(StopFlags flags) {
    for (const auto* f : flags)
        if (f && f->load() != 0) return true;
    return false;
}

}  // namespace vistrel::playback
