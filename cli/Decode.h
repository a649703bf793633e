#pragma once
// vistrel-cli decode: options, the picture sink every decoding path writes to, and the paths.

#include <cstdint>
#include <cstdio>
#include <string>

#include <vector>
#include "cli/Y4mWriter.h"

namespace vistrel::cli {

enum class Codec { Auto, H263, Mpeg4 };

struct DecodeOptions {
    std::string input;
    std::string output;  // I420 file (YUV4MPEG2 when it ends in .y4m); empty = none
    std::string bmpDir;  // one 24-bit BMP per picture; empty = none
    Codec codec = Codec::Auto;
    bool framed = false;  // input is in the DVR's live frame format
    long maxFrames = -1;  // -1 = all
    Y4mRate y4mRate;      // frame rate of an OUT.y4m, from the stream's own timing
};

// One decoded picture in display order, as plane pointers so that every decoder can hand over
// its own buffers without a copy.
struct PlanarPicture {
    int width = 0;
    int height = 0;
    const std::uint8_t* y = nullptr;
    const std::uint8_t* cb = nullptr;
    const std::uint8_t* cr = nullptr;
    int yStride = 0;
    int cStride = 0;
};

// Writes pictures as the options ask and counts them. Implemented in PictureSink.cpp.
class PictureSink {
public:
    explicit PictureSink(const DecodeOptions& options);
    ~PictureSink();
    PictureSink(const PictureSink&) = delete;
    PictureSink& operator=(const PictureSink&) = delete;

    bool open();  // false (with a message on stderr) when an output cannot be created
    // false once maxFrames pictures were written or on a write error: the caller stops decoding.
    bool put(const PlanarPicture& picture);
    bool full() const;
    long frames() const { return frames_; }
    int width() const { return width_; }
    int height() const { return height_; }
    bool writeFailed() const { return writeFailed_; }

private:
    bool writePicture(const PlanarPicture& picture);

    const DecodeOptions& options_;
    std::FILE* out_ = nullptr;
    bool y4m_ = false;                  // the output file is YUV4MPEG2
    std::vector<std::uint8_t> gather_;  // a picture whose rows are not contiguous, made whole
    long frames_ = 0;
    int width_ = 0;
    int height_ = 0;
    bool writeFailed_ = false;
};

// The decoding paths. Each reads the whole input (already loaded), feeds every picture to the sink,
// flushes at the end of the stream, and returns the exit status (0, or 1 with a message on stderr).
int decodeH263Elementary(const DecodeOptions& options, const std::uint8_t* data, std::size_t size,
                         PictureSink& sink);  // DecodeH263.cpp
int decodeH263Framed(const DecodeOptions& options, const std::uint8_t* data, std::size_t size,
                     PictureSink& sink);  // DecodeH263.cpp
int decodeMpeg4Elementary(const DecodeOptions& options, const std::uint8_t* data, std::size_t size,
                          PictureSink& sink);  // DecodeMpeg4.cpp
int decodeMpeg4Framed(const DecodeOptions& options, const std::uint8_t* data, std::size_t size,
                      PictureSink& sink);  // DecodeMpeg4Framed.cpp

}  // namespace vistrel::cli
