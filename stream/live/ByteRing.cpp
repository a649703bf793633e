#include "stream/live/ByteRing.h"

#include <chrono>
#include <cstring>
#include <thread>

namespace vistrel::live {

namespace {
constexpr auto kWriteRetryNap = std::chrono::milliseconds(10);
constexpr auto kReadLockLimit = std::chrono::milliseconds(1000);
}  // namespace

ByteRing::ByteRing() : data_(new std::uint8_t[kByteRingSize]) {}

std::size_t ByteRing::heldLocked() const {
    return writeIndex_ >= readIndex_ ? writeIndex_ - readIndex_ : kByteRingSize - readIndex_ + writeIndex_;
}

void ByteRing::Write(const std::uint8_t* data, std::size_t length) {
    while (length > 0) {
        {
            std::lock_guard<std::timed_mutex> guard(lock_);
            std::size_t room = writeIndex_ < readIndex_ ? readIndex_ - writeIndex_ - 1
                                                        : kByteRingSize - writeIndex_;
            if (writeIndex_ >= readIndex_ && readIndex_ == 0) room -= 1;
            const std::size_t part = room < length ? room : length;
            if (part > 0) {
                std::memcpy(data_.get() + writeIndex_, data, part);
                writeIndex_ += part;
                if (writeIndex_ == kByteRingSize) writeIndex_ = 0;
                data += part;
                length -= part;
            }
        }
        if (length > 0) std::this_thread::sleep_for(kWriteRetryNap);
    }
}

std::size_t ByteRing::Read(std::uint8_t* buffer, std::size_t capacity, std::size_t* remaining) {
    std::unique_lock<std::timed_mutex> guard(lock_, kReadLockLimit);
    if (!guard.owns_lock()) {
        if (remaining) *remaining = 0;
        return 0;
    }
    const std::size_t contiguous = writeIndex_ >= readIndex_ ? writeIndex_ - readIndex_
                                                             : kByteRingSize - readIndex_;
    const std::size_t part = contiguous < capacity ? contiguous : capacity;
    if (part > 0) {
        std::memcpy(buffer, data_.get() + readIndex_, part);
        readIndex_ += part;
        if (readIndex_ == kByteRingSize) readIndex_ = 0;
    }
    if (remaining) *remaining = heldLocked();
    return part;
}

std::size_t ByteRing::Free() {
    std::lock_guard<std::timed_mutex> guard(lock_);
    return kByteRingSize - 1 - heldLocked();
}

std::size_t ByteRing::Held() {
    std::lock_guard<std::timed_mutex> guard(lock_);
    return heldLocked();
}

void ByteRing::Reset() {
    std::lock_guard<std::timed_mutex> guard(lock_);
    writeIndex_ = 0;
    readIndex_ = 0;
}

}  // namespace vistrel::live
