#include "stream/playback/RecordBuffer.h"

#include <cstring>
#include <new>

namespace vistrel::playback {

bool RecordBuffer::Replace(std::size_t capacity) {
    std::unique_ptr<std::uint8_t[]> fresh(new (std::nothrow) std::uint8_t[capacity]);
    if (!fresh) return false;
    data_ = std::move(fresh);
    capacity_ = capacity;
    return true;
}

bool RecordBuffer::Grow(std::size_t capacity, std::size_t keep) {
    if (capacity <= capacity_) return true;
    std::unique_ptr<std::uint8_t[]> fresh(new (std::nothrow) std::uint8_t[capacity]);
    if (!fresh) return false;
    if (keep > capacity_) keep = capacity_;
    if (keep > 0) std::memcpy(fresh.get(), data_.get(), keep);
    data_ = std::move(fresh);
    capacity_ = capacity;
    return true;
}

}  // namespace vistrel::playback
