#pragma once
// What every target needs: reading its own parameters from the front of the input, exact-size heap
// copies (so ASan sees a read one byte past the data), reads of every sample a decoder hands out,
// and the rule that a library assertion raised by stream data is a finding.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace vistrel::fuzz {

// Largest picture side a target accepts from any decoder; anything bigger is reported.
constexpr int kMaxPictureSide = 4096;

// Takes parameters from the front of the input; what is left is the stream.
class ByteSource {
public:
    ByteSource(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::uint8_t byte() {
        if (size_ == 0) return 0;
        --size_;
        return *data_++;
    }
    std::size_t size() const { return size_; }
    const std::uint8_t* data() const { return data_; }

private:
    const std::uint8_t* data_;
    std::size_t size_;
};

// A heap block of exactly `size` bytes (at least one, so the pointer is never null).
class HeapCopy {
public:
    // `zeros` more bytes follow the copy (a terminator for text parsers), counted in size().
    HeapCopy(const std::uint8_t* data, std::size_t size, std::size_t zeros = 0)
        : bytes_(new std::uint8_t[size + zeros ? size + zeros : 1]), size_(size + zeros) {
        if (size) std::memcpy(bytes_.get(), data, size);
        if (zeros) std::memset(bytes_.get() + size, 0, zeros);
    }
    std::uint8_t* data() { return bytes_.get(); }
    std::size_t size() const { return size_; }

private:
    std::unique_ptr<std::uint8_t[]> bytes_;
    std::size_t size_;
};

// Cuts the stream into chunks whose sizes come from a small table read from the input, so the
// fuzzer controls where the cuts fall. Table entry b gives a chunk of (b + 1) * unit bytes.
class Chunker {
public:
    Chunker(ByteSource& source, std::size_t unit) : unit_(unit) {
        count_ = std::size_t(source.byte() % kMaxSizes) + 1;
        for (std::size_t i = 0; i < count_; ++i) sizes_[i] = source.byte();
    }
    std::size_t next() { return (std::size_t(sizes_[index_++ % count_]) + 1) * unit_; }

private:
    static constexpr std::size_t kMaxSizes = 8;
    std::uint8_t sizes_[kMaxSizes] = {};
    std::size_t count_ = 0;
    std::size_t index_ = 0;
    std::size_t unit_;
};

[[noreturn]] inline void Finding(const char* what) {
    std::fprintf(stderr, "fuzz finding: %s\n", what);
    std::fflush(stderr);
    std::abort();
}

// Reads `width` samples of each row through memcpy, whose range check reports a row that leaves
// the decoder's memory. One row buffer serves every picture: a fresh picture-sized block per
// picture made the harness, not the decoder, the cost of a small input (mapping, page faults).
inline unsigned FoldRows(const std::uint8_t* const* rows, const std::uint8_t* first, std::ptrdiff_t stride,
                         int width, int height) {
    thread_local std::unique_ptr<std::uint8_t[]> row(new std::uint8_t[kMaxPictureSide]);
    unsigned sum = 0;
    for (int r = 0; r < height; ++r) {
        std::memcpy(row.get(), rows ? rows[r] : first + r * stride, std::size_t(width));
        for (int i = 0; i < width; i += 61) sum += row[std::size_t(i)];
    }
    return sum;
}

// Reads `size` bytes through memcpy, a piece at a time, so a range longer than its block is
// reported without a copy as large as the range.
inline unsigned ReadThrough(const std::uint8_t* data, std::size_t size) {
    constexpr std::size_t kPiece = 4096;
    thread_local std::unique_ptr<std::uint8_t[]> piece(new std::uint8_t[kPiece]);
    unsigned sum = 0;
    for (std::size_t at = 0; at < size; at += kPiece) {
        const std::size_t n = size - at < kPiece ? size - at : kPiece;
        std::memcpy(piece.get(), data + at, n);
        sum += piece[0] + piece[n - 1];
    }
    return sum;
}

// Reads every sample the decoder claims to own once, plane by plane.
inline unsigned CopyPicture(const std::uint8_t* y, const std::uint8_t* u, const std::uint8_t* v, int width,
                            int height, std::ptrdiff_t lumaStride, std::ptrdiff_t chromaStride) {
    if (width <= 0 || height <= 0 || width > kMaxPictureSide || height > kMaxPictureSide)
        Finding("picture size out of range");
    if (y == nullptr || u == nullptr || v == nullptr) Finding("picture without planes");
    const int cw = (width + 1) / 2;
    const int ch = (height + 1) / 2;
    return FoldRows(nullptr, y, lumaStride, width, height) + FoldRows(nullptr, u, chromaStride, cw, ch) +
           FoldRows(nullptr, v, chromaStride, cw, ch);
}

// The picture area one input may make the decoders produce. A few hundred bytes can describe
// a hundred large pictures, each concealed whole, and the fuzzer then spends its time on single
// inputs instead of trying new ones; what lies beyond the budget is reached by shorter inputs.
// 2^18 luma samples: one 512 x 512 picture, two CIF or ten QCIF ones; the first picture is
// always decoded whole, however large.
class PictureBudget {
public:
    static constexpr std::uint64_t kSamples = std::uint64_t(1) << 18;
    void spend(int width, int height) {
        if (width > 0 && height > 0) spent_ += std::uint64_t(width) * std::uint64_t(height);
    }
    bool exhausted() const { return spent_ >= kSamples; }

private:
    std::uint64_t spent_ = 0;
};

// The library's assertion exception marks a programming error; one raised while decoding stream
// data (even if some caller swallowed it) is a finding. The exception keeps its line in a
// process-wide field, which this watch clears before the input and checks after it.
class AssertWatch {
public:
    AssertWatch();
    ~AssertWatch();
};

}  // namespace vistrel::fuzz
