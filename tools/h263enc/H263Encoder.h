#pragma once
// A small baseline H.263 encoder for test streams and the DVR emulator: intra and predicted
// pictures, a cheap half-sample motion search, a fixed quantiser, QCIF, CIF and the DVR's private
// sizes 320x240, 640x480 and 640x240. Its reconstruction is exactly what our decoder produces.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace vistrel::h263enc {

// One input picture in planar 4:2:0, borrowed for the duration of the call.
struct I420View {
    const std::uint8_t* y = nullptr;
    const std::uint8_t* cb = nullptr;
    const std::uint8_t* cr = nullptr;
    int yStride = 0;
    int cStride = 0;
};

constexpr int kMinQuantiser = 1;
constexpr int kMaxQuantiser = 31;

class H263Encoder {
public:
    // width x height must be 176x144, 352x288, 320x240, 640x480 or 640x240 (valid() tells).
    // quantiser 1..31 (clamped); gopLength: an intra picture every gopLength pictures (<= 1: all intra).
    H263Encoder(int width, int height, int quantiser = 8, int gopLength = 12);
    ~H263Encoder();
    H263Encoder(const H263Encoder&) = delete;
    H263Encoder& operator=(const H263Encoder&) = delete;

    bool valid() const { return sizeCode_ > 0; }
    int width() const { return width_; }
    int height() const { return height_; }
    // The picture-size code written into PTYPE (2, 3, 6, 7 or 8).
    int sizeCode() const { return sizeCode_; }

    // Encodes one picture into `picture` (replacing its content): the bytes of one H.263 picture
    // from its start code, byte-aligned at the end. False on an invalid encoder or missing planes.
    bool encode(const I420View& frame, std::vector<std::uint8_t>* picture);
    std::vector<std::uint8_t> encode(const I420View& frame);

    // The next picture is intra (and the GOP count restarts there).
    void forceIntra() { forceIntra_ = true; }
    bool lastWasIntra() const { return lastWasIntra_; }
    void setQuantiser(int quantiser);
    int quantiser() const { return quantiser_; }

    // The decoder's picture after the last encode: packed I420 (luma stride width, chroma width / 2).
    const std::uint8_t* reconstruction() const;
    std::size_t frameBytes() const { return frameBytes_; }

    struct Work;  // buffers of the encoder (defined in H263Encoder.cpp)

private:
    int width_ = 0;
    int height_ = 0;
    int sizeCode_ = 0;
    int quantiser_ = 8;
    int gopLength_ = 12;
    std::size_t frameBytes_ = 0;
    bool forceIntra_ = true;
    bool lastWasIntra_ = false;
    int sinceIntra_ = 0;
    std::uint64_t picturesEncoded_ = 0;
    std::unique_ptr<Work> work_;
};

// Live frame form: the picture behind a 2-byte little-endian length word that counts itself,
// optionally preceded by the 14-byte frame header (whose bytes 1 and 3 carry the high half of the
// length, so pictures of 64 KiB and more need it). `headerWord` fills header bytes 5, 7, 9, 11.
// False (nothing appended) when the picture does not fit the chosen form.
bool AppendLiveFrame(std::vector<std::uint8_t>* out, const std::uint8_t* picture, std::size_t size,
                     bool withHeader, std::uint32_t headerWord = 0);

}  // namespace vistrel::h263enc
