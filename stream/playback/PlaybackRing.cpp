#include "stream/playback/PlaybackRing.h"

#include <algorithm>
#include <cstring>

#include "platform/Tick.h"

namespace vistrel::playback {

PlaybackRing::PlaybackRing() : data_(new std::uint8_t[kSize]) {}

std::size_t PlaybackRing::held() const {
    return writeIndex_ >= readIndex_ ? writeIndex_ - readIndex_ : kSize - readIndex_ + writeIndex_;
}

void PlaybackRing::Write(const std::uint8_t* data, std::size_t length) {
    while (length > 0) {
        lock_.lock();
        std::size_t room;
        if (writeIndex_ < readIndex_) room = readIndex_ - writeIndex_ - 1;
        else room = kSize - writeIndex_ - (readIndex_ == 0 ? 1 : 0);
        const std::size_t n = std::min(room, length);
        std::memcpy(data_.get() + writeIndex_, data, n);
        writeIndex_ = (writeIndex_ + n) % kSize;
        data += n;
        length -= n;
        lock_.unlock();
        if (length > 0) platform::sleepMs(kFullPollMs);
    }
}

std::size_t PlaybackRing::Free() {
    platform::LockGuard guard(lock_);
    return kSize - 1 - held();
}

void PlaybackRing::Reset() {
    platform::LockGuard guard(lock_);
    writeIndex_ = 0;
    readIndex_ = 0;
    endOfStream_.store(0);
    pending_.clear();
    pendingPosition_ = 0;
}

void PlaybackRing::SetEndOfStream() { endOfStream_.exchange(1); }

void PlaybackRing::Unread(const std::uint8_t* data, std::size_t count) {
    if (count == 0) return;
    platform::LockGuard guard(lock_);
    std::vector<std::uint8_t> joined;
    joined.reserve(count + pending_.size() - pendingPosition_);
    joined.insert(joined.end(), data, data + count);
    joined.insert(joined.end(), pending_.begin() + std::ptrdiff_t(pendingPosition_), pending_.end());
    pending_ = std::move(joined);
    pendingPosition_ = 0;
}

std::size_t PlaybackRing::Read(std::uint8_t* destination, std::size_t count, StopFlags stopFlags) {
    std::size_t got = 0;
    {
        platform::LockGuard guard(lock_);
        if (pendingPosition_ < pending_.size()) {
            got = std::min(count, pending_.size() - pendingPosition_);
            std::memcpy(destination, pending_.data() + pendingPosition_, got);
            pendingPosition_ += got;
            if (pendingPosition_ == pending_.size()) {
                pending_.clear();
                pendingPosition_ = 0;
            }
        }
    }
    while (got < count) {
        if (AnyRaised(stopFlags)) {
            // Keep what this read already took, in front of anything still pending.
            Unread(destination, got);
            return 0;
        }
        // Read before the lock: the writer sets it only after its last write, so an empty ring seen
        // afterwards really is drained.
        const bool ended = endOfStream_.load() != 0;
        if (!lock_.tryLock(kLockWaitMs)) continue;
        bool empty = false;
        const std::size_t available = writeIndex_ >= readIndex_ ? writeIndex_ - readIndex_ : kSize - readIndex_;
        const std::size_t n = std::min(available, count - got);
        std::memcpy(destination + got, data_.get() + readIndex_, n);
        readIndex_ = (readIndex_ + n) % kSize;
        got += n;
        empty = readIndex_ == writeIndex_;
        lock_.unlock();
        if (got < count && empty) {
            if (ended) break;
            platform::sleepMs(kEmptyPollMs);
        }
    }
    return got;
}

}  // namespace vistrel::playback
