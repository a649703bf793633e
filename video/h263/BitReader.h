#pragma once
// Most-significant-bit-first reader over one H.263 picture that never reads past the data it was
// given: bits beyond the end read as zero and make overrun() true.

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace vistrel::h263 {

class BitReader {
public:
    BitReader() = default;
    BitReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    // Up to 32 bits without consuming them.
    std::uint32_t show(int n) const {
        const std::uint64_t word = load64(position_ >> 3) << (position_ & 7);
        return std::uint32_t(word >> (64 - n));
    }
    void skip(int n) { position_ += std::size_t(n); }
    // Moves to any bit position; one beyond the data reads zeros and overruns as skipping there would.
    void seek(std::size_t bit) { position_ = bit; }
    std::uint32_t get(int n) {
        const std::uint32_t v = show(n);
        skip(n);
        return v;
    }
    std::uint32_t getBit() { return get(1); }

    // True once more bits were consumed than the data holds.
    bool overrun() const { return position_ > size_ * 8; }
    std::size_t bitPosition() const { return position_; }
    std::size_t bitsLeft() const { return overrun() ? 0 : size_ * 8 - position_; }
    std::size_t sizeInBits() const { return size_ * 8; }
    // The byte at `index`, zero beyond the data (for searches that skip ahead a byte at a time).
    std::uint8_t byteAt(std::size_t index) const { return index < size_ ? data_[index] : 0; }

private:
    std::uint64_t load64(std::size_t byte) const {
        std::uint64_t v = 0;
        if (byte + 8 <= size_) {
            std::memcpy(&v, data_ + byte, 8);
            return fromBigEndian(v);
        }
        for (int i = 0; i < 8; ++i) {
            v <<= 8;
            if (byte + std::size_t(i) < size_) v |= data_[byte + std::size_t(i)];
        }
        return v;
    }

    static std::uint64_t fromBigEndian(std::uint64_t v) {
#if defined(__GNUC__) && defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
        return __builtin_bswap64(v);
#else
        const auto* b = reinterpret_cast<const std::uint8_t*>(&v);
        std::uint64_t r = 0;
        for (int i = 0; i < 8; ++i) r = (r << 8) | b[i];
        return r;
#endif
    }

    const std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t position_ = 0;  // in bits from data_
};

}  // namespace vistrel::h263
