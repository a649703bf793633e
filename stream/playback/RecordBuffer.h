#pragma once
// A growable buffer holding one playback record: the 54-byte header, then the payload.

#include <cstddef>
#include <cstdint>
#include <memory>

#include "stream/playback/RecordFormat.h"

namespace vistrel::playback {

class RecordBuffer {
public:
    RecordBuffer() = default;
    explicit RecordBuffer(std::size_t capacity) { Replace(capacity); }

    // A fresh buffer of `capacity` bytes; the old content is dropped. False (and the old buffer
    // kept) when memory runs out.
    bool Replace(std::size_t capacity);
    // At least `capacity` bytes with the first `keep` bytes preserved.
    bool Grow(std::size_t capacity, std::size_t keep);

    std::uint8_t* data() { return data_.get(); }
    const std::uint8_t* data() const { return data_.get(); }
    std::size_t capacity() const { return capacity_; }

    RecordHeaderView header() const { return {data_.get()}; }
    std::uint8_t* payload() { return data_.get() + kRecordHeaderSize; }
    const std::uint8_t* payload() const { return data_.get() + kRecordHeaderSize; }
    std::uint32_t payloadLength() const { return header().payloadLength(); }
    void setPayloadLength(std::uint32_t length) { PutLe32(data_.get() + kOffPayloadLength, length); }
    // Header plus payload.
    std::size_t length() const { return kRecordHeaderSize + payloadLength(); }

    void swap(RecordBuffer& other) noexcept {
        data_.swap(other.data_);
        std::swap(capacity_, other.capacity_);
    }

private:
    std::unique_ptr<std::uint8_t[]> data_;
    std::size_t capacity_ = 0;
};

}  // namespace vistrel::playback
