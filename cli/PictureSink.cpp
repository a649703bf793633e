// Where vistrel-cli decode puts its pictures: one I420 file (ffmpeg's yuv420p layout) and/or one
// 24-bit bitmap per picture.

#include <cstdio>
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

bool PictureSink::open() {
    if (!options_.output.empty()) {
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
            std::fprintf(stderr, "vistrel-cli decode: cannot create the directory '%s'\n", options_.bmpDir.c_str());
            return false;
        }
    }
    return true;
}

bool PictureSink::full() const { return options_.maxFrames >= 0 && frames_ >= options_.maxFrames; }

namespace {

bool writePlane(std::FILE* f, const std::uint8_t* plane, int stride, int width, int height) {
    for (int row = 0; row < height; ++row) {
        if (std::fwrite(plane + std::size_t(row) * std::size_t(stride), 1, std::size_t(width), f) != std::size_t(width))
            return false;
    }
    return true;
}

}  // namespace

bool PictureSink::put(const PlanarPicture& p) {
    if (full() || writeFailed_) return false;
    if (p.width <= 0 || p.height <= 0 || p.y == nullptr || p.cb == nullptr || p.cr == nullptr) return !full();
    if (out_ != nullptr) {
        const bool ok = writePlane(out_, p.y, p.yStride, p.width, p.height) &&
                        writePlane(out_, p.cb, p.cStride, p.width / 2, p.height / 2) &&
                        writePlane(out_, p.cr, p.cStride, p.width / 2, p.height / 2);
        if (!ok) writeFailed_ = true;
    }
    if (!options_.bmpDir.empty() && !writeFailed_) {
        // The descriptor only reads the planes; its constructor takes them without const.
        auto picture = YuvPicture::CreateOverPlanes(const_cast<std::uint8_t*>(p.y), const_cast<std::uint8_t*>(p.cb),
                                                    const_cast<std::uint8_t*>(p.cr), p.width, p.height, p.yStride,
                                                    p.cStride);
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
