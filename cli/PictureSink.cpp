// Where vistrel-cli decode puts its pictures: one I420 file (ffmpeg's yuv420p layout) or YUV4MPEG2
// file, and/or one 24-bit bitmap per picture. Each picture reaches the file in one write.

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include "cli/Decode.h"
#include "video/picture/Snapshot.h"
#include "video/picture/YuvPicture.h"

namespace vistrel::cli {

PictureSink::PictureSink(const DecodeOptions& options) : options_(options) {}

PictureSink::~PictureSink() {
    if (out_ != nullptr) std::fclose(out_);
}

namespace {

bool endsWith(const std::string& text, const char* suffix) {
    const std::size_t n = std::strlen(suffix);
    return text.size() >= n && text.compare(text.size() - n, n, suffix) == 0;
}

}  // namespace

bool PictureSink::open() {
    if (!options_.output.empty()) {
        y4m_ = endsWith(options_.output, ".y4m");
        out_ = std::fopen(options_.output.c_str(), "wb");
        if (out_ == nullptr) {
            std::fprintf(stderr, "vistrel-cli decode: cannot create '%s'\n", options_.output.c_str());
            return false;
        }
    }
    if (!options_.bmpDir.empty()) {
        std::error_code error;
        std::filesystem::create_directories(options_.bmpDir, error);
        if (!std::filesystem::is_directory(options_.bmpDir, error)) {
            std::fprintf(stderr, "vistrel-cli decode: cannot create the directory '%s'\n",
                         options_.bmpDir.c_str());
            return false;
        }
    }
    return true;
}

bool PictureSink::full() const { return options_.maxFrames >= 0 && frames_ >= options_.maxFrames; }

// The three planes as one block of bytes: straight from the decoder's buffer when they lie there
// back to back, else gathered once.
bool PictureSink::writePicture(const PlanarPicture& p) {
    const std::size_t lumaBytes = std::size_t(p.width) * std::size_t(p.height);
    const std::size_t chromaBytes = std::size_t(p.width / 2) * std::size_t(p.height / 2);
    const std::size_t total = lumaBytes + 2 * chromaBytes;
    const bool contiguous = p.yStride == p.width && p.cStride == p.width / 2 && p.cb == p.y + lumaBytes &&
                            p.cr == p.cb + chromaBytes;
    const std::uint8_t* bytes = p.y;
    if (!contiguous) {
        gather_.resize(total);
        std::uint8_t* out = gather_.data();
        const auto gather = [&out](const std::uint8_t* plane, int stride, int width, int height) {
            for (int row = 0; row < height; ++row, out += width)
                std::memcpy(out, plane + std::size_t(row) * std::size_t(stride), std::size_t(width));
        };
        gather(p.y, p.yStride, p.width, p.height);
        gather(p.cb, p.cStride, p.width / 2, p.height / 2);
        gather(p.cr, p.cStride, p.width / 2, p.height / 2);
        bytes = gather_.data();
    }
    if (y4m_) {
        if (frames_ == 0 && std::fputs(Y4mStreamHeader(p.width, p.height, options_.y4mRate).c_str(), out_) < 0)
            return false;
        // A stream cannot change its size within one YUV4MPEG2 file.
        if (frames_ > 0 && (p.width != width_ || p.height != height_)) {
            std::fprintf(stderr, "vistrel-cli decode: the picture size changed to %dx%d; '%s' cannot hold it\n",
                         p.width, p.height, options_.output.c_str());
            return false;
        }
        if (std::fputs(kY4mFrameMarker, out_) < 0) return false;
    }
    return std::fwrite(bytes, 1, total, out_) == total;
}

bool PictureSink::put(const PlanarPicture& p) {
    if (full() || writeFailed_) return false;
    if (p.width <= 0 || p.height <= 0 || p.y == nullptr || p.cb == nullptr || p.cr == nullptr) return !full();
    if (out_ != nullptr && !writePicture(p)) writeFailed_ = true;
    if (!options_.bmpDir.empty() && !writeFailed_) {
        // The descriptor only reads the planes; its constructor takes them without const.
        auto picture =
            YuvPicture::CreateOverPlanes(const_cast<std::uint8_t*>(p.y), const_cast<std::uint8_t*>(p.cb),
                                         const_cast<std::uint8_t*>(p.cr), p.width, p.height, p.yStride, p.cStride);
        char name[32];
        std::snprintf(name, sizeof name, "frame_%06ld.bmp", frames_);
        const std::string path = (std::filesystem::path(options_.bmpDir) / name).string();
        if (!picture || !WriteSnapshotFile(path.c_str(), picture.get())) writeFailed_ = true;
    }
    if (writeFailed_) return false;
    ++frames_;
    width_ = p.width;
    height_ = p.height;
    return !full();
}

}  // namespace vistrel::cli
