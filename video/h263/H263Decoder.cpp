// The H.263 decoding state: frame loop over the 128 KiB input buffer, gates, picture buffers
// and rendering.

#include "video/h263/H263Decoder.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "video/display/ConvertForDisplay.h"
#include "video/frame/FrameHeader.h"
#include "video/h263/H263Framing.h"
#include "video/picture/ColourConversion.h"
#include "video/picture/ColourTables.h"
#include "video/picture/Snapshot.h"

namespace vistrel::h263 {

namespace {

// The bit reader is bounds-checked; the zeroed slack is a second line of defence.
constexpr std::size_t kInputSlack = 8;
constexpr std::uint8_t kBlackLuma = 0;
constexpr std::uint8_t kBlackChroma = 127;

template <typename T>
std::unique_ptr<T[]> allocate(std::size_t count) {
    return std::unique_ptr<T[]>(new (std::nothrow) T[count]());
}

}  // namespace

std::unique_ptr<H263Decoder> H263Decoder::Create() {
    InitColourTables();
    std::unique_ptr<H263Decoder> state(new (std::nothrow) H263Decoder());
    if (!state) return nullptr;
    state->kernels_ = &ActiveH263Kernels();
    state->input_ = allocate<std::uint8_t>(kInputCapacity + kInputSlack);
    if (!state->input_) return nullptr;
    if (!state->applySize(kSize320x240, true)) return nullptr;
    return state;
}

H263Decoder::~H263Decoder() {
    closing_ = true;
    Detach();
}

bool H263Decoder::Attach(WindowHandle window) {
    if (surface_ != nullptr) return false;
    window_ = window;
    if (window != nullptr) {
        DisplaySurface* surface = CreateDisplaySurface(window, width_, height_);
        if (surface == nullptr) return false;
        {
            platform::LockGuard guard(lock_);
            surface_ = surface;
        }
        clientRect_ = window->clientRectOnScreen();
        offScreen_ = false;
        // The screen picture must have the depth the surface converts into.
        return rebuildScreenPicture();
    }
    offScreen_ = true;
    return applySize(sizeCode_ > 0 ? sizeCode_ : kSize320x240, true);
}

void H263Decoder::Detach() {
    platform::LockGuard guard(lock_);
    if (surface_ != nullptr) {
        DestroyDisplaySurface(surface_);
        surface_ = nullptr;
    }
}

void H263Decoder::Reset() {
    held_ = 0;
    frameInProgress_ = false;
    allowPredicted_ = false;
    hasReference_ = false;
    overflow_ = false;
    suppressDisplay_ = false;
    if (output_) {
        FillYuvFrame(output_.get(), width_, height_, kBlackLuma, kBlackChroma, kBlackChroma);
        latestIsOutput_ = true;
        renderLocked();
    }
}

int H263Decoder::Feed(const std::uint8_t* data, std::size_t length, int count) {
    if (count == 0) return 0;
    if (data != nullptr && length > 0) {
        if (length > kInputCapacity - held_) {
            Reset();
            overflow_ = true;
            return 0;
        }
        std::memcpy(input_.get() + held_, data, length);
        held_ += length;
    }

    const std::uint8_t* in = input_.get();
    std::size_t position = 0;  // first byte not yet consumed
    int handled = 0;
    while (count < 0 || handled < count) {
        if (!frameInProgress_) {
            while (held_ - position > kMinSearchBytes) {
                H263FrameStart start;
                if (!FindH263FrameStart(in, held_, position, &start)) {
                    position = held_;
                    break;
                }
                position = start.offset;
                const std::uint64_t total = H263FrameTotalLength(in, start);
                if (!start.hasHeader && total == 0) {
                    position += std::min(kEmptyFrameSkip, held_ - position);
                    continue;
                }
                // A length the input buffer can never hold (a damaged length word or header) would
                // only end in an overflow, a black picture and no predicted pictures until the next
                // reset: not a frame, search on behind its start.
                if (total > kInputCapacity) {
                    position += 1;
                    continue;
                }
                frameInProgress_ = true;
                frameHasHeader_ = start.hasHeader;
                frameLength_ = total;
                break;
            }
            if (!frameInProgress_) break;
        }
        if (held_ - position < frameLength_) break;

        const std::size_t headerBytes = frameHasHeader_ ? frame::kFrameHeaderSize : 0;
        const std::size_t pictureStart = position + headerBytes + kLengthWordSize;
        const std::size_t frameEnd = position + std::size_t(frameLength_);
        const std::size_t pictureBytes = frameEnd > pictureStart ? frameEnd - pictureStart : 0;
        position = frameEnd;
        frameInProgress_ = false;
        if (closing_) break;
        decodePicture(in + std::min(pictureStart, frameEnd), pictureBytes);
        ++handled;
    }

    if (position > 0) {
        std::memmove(input_.get(), input_.get() + position, held_ - position);
        held_ -= position;
    }
    std::memset(input_.get() + held_, 0, kInputSlack);
    return handled;
}

void H263Decoder::decodePicture(const std::uint8_t* data, std::size_t size) {
    BitReader reader(data, size);
    PictureHeader header;
    if (!ReadPictureHeader(reader, &header)) return;
    header_ = header;
    int w = 0;
    int h = 0;
    if (header.sizeCode != sizeCode_ && SizeCodeDimensions(header.sizeCode, &w, &h)) applySize(header.sizeCode, false);
    // A failed size change leaves no buffers; nothing is decoded until one succeeds.
    if (!output_) return;
    quantiser_ = header.quantiser;

    MacroblockContext context;
    context.target.output = output_.get();
    context.target.reference = reference_.get();
    context.target.kernels = kernels_;
    context.target.width = width_;
    context.target.height = height_;
    context.columns = macroblockColumns_;
    context.rows = macroblockRows_;
    context.blocks = blocks_.get();
    context.modes = modes_.get();
    context.vectors = vectors_.get();
    context.quantiser = quantiser_;
    context.continuousPresence = header.continuousPresence;

    if (!header.predicted) {
        DecodeIntraMacroblocks(reader, context);
        allowPredicted_ = true;
        hasReference_ = true;
    } else {
        if (overflow_ || !hasReference_ || !allowPredicted_) {
            hasReference_ = false;
            return;
        }
        DecodePredictedMacroblocks(reader, context);
    }
    quantiser_ = context.quantiser;
    latestIsOutput_ = true;
    if (!suppressDisplay_) renderLocked();

    std::swap(reference_, output_);
    std::swap(referencePicture_, outputPicture_);
    latestIsOutput_ = false;
    ++picturesDecoded_;
}

bool H263Decoder::Render() { return renderLocked(); }

bool H263Decoder::renderLocked() {
    const YuvPicture* picture = CurrentPicture();
    if (picture == nullptr || !screen_) return false;
    if (offScreen_) return ConvertTo24(picture, screen_.get());
    if (surface_ == nullptr || window_ == nullptr) return false;
    if (!ConvertForDisplayMode(GetDisplayMode(surface_), picture, screen_.get(),
                               window_->clientRectOnScreen().width()))
        return false;
    PresentPicture(surface_, screen_.get(), 0, 0, width_, height_);
    return true;
}

void H263Decoder::Redraw() {
    if (surface_ != nullptr && screen_) PresentPicture(surface_, screen_.get(), 0, 0, width_, height_);
}

std::size_t H263Decoder::Snapshot(std::uint8_t* buffer, std::size_t size) {
    platform::LockGuard guard(lock_);
    return WriteSnapshotBitmap(CurrentPicture(), buffer, size);
}

void H263Decoder::SetDrawCallback(DrawCallback callback, std::uintptr_t word) {
    vistrel::SetDrawCallback(surface_, callback, word);
}

void H263Decoder::SetFullScreen(int flag) { SetSurfaceFullScreen(surface_, flag); }

void H263Decoder::GetPictureSize(int* width, int* height) const {
    if (width) *width = width_;
    if (height) *height = height_;
}

const YuvPicture* H263Decoder::CurrentPicture() const {
    return latestIsOutput_ ? outputPicture_.get() : referencePicture_.get();
}

void H263Decoder::releasePictureBuffers() {
    referencePicture_.reset();
    outputPicture_.reset();
    reference_.reset();
    output_.reset();
    blocks_.reset();
    modes_.reset();
    vectors_.reset();
}

bool H263Decoder::rebuildScreenPicture() {
    const int bits = offScreen_ || surface_ == nullptr ? 24 : DisplayModeBitsPerPixel(GetDisplayMode(surface_));
    screen_ = ScreenPicture::Create(width_, height_, bits);
    return screen_ != nullptr;
}

bool H263Decoder::applySize(int code, bool force) {
    int w = 0;
    int h = 0;
    if (!SizeCodeDimensions(code, &w, &h)) return false;
    if (!force && code == sizeCode_ && output_) return true;

    releasePictureBuffers();
    screen_.reset();
    width_ = w;
    height_ = h;
    frameBytes_ = YuvPicture::FrameBytes(w, h);
    macroblockRows_ = h / 16;
    macroblockColumns_ = w / 16;
    const std::size_t macroblocks = std::size_t(macroblockRows_) * std::size_t(macroblockColumns_);

    reference_ = allocate<std::uint8_t>(frameBytes_);
    output_ = allocate<std::uint8_t>(frameBytes_);
    blocks_ = allocate<std::int16_t>(std::size_t(kBlockSize) * kBlocksPerMacroblock);
    modes_ = allocate<std::int32_t>(macroblocks);
    vectors_ = allocate<std::int32_t>(2 * macroblocks);
    if (reference_) referencePicture_ = YuvPicture::Create(reference_.get(), w, h);
    if (output_) outputPicture_ = YuvPicture::Create(output_.get(), w, h);
    if (!reference_ || !output_ || !blocks_ || !modes_ || !vectors_ ||
        !referencePicture_ || !outputPicture_) {
        releasePictureBuffers();
        sizeCode_ = 0;  // the next picture header tries again
        return false;
    }
    sizeCode_ = code;
    // The new planes are zero; the picture shown until the next decode is the black one, not a
    // zero-chroma green.
    FillYuvFrame(output_.get(), w, h, kBlackLuma, kBlackChroma, kBlackChroma);
    latestIsOutput_ = true;

    if (surface_ != nullptr && window_ != nullptr) {
        DrawCallback callback = nullptr;
        std::uintptr_t word = 0;
        GetDrawCallback(surface_, &callback, &word);
        const int fullScreen = GetSurfaceFullScreen(surface_);
        Detach();
        DisplaySurface* surface = CreateDisplaySurface(window_, w, h);
        {
            platform::LockGuard guard(lock_);
            surface_ = surface;
        }
        vistrel::SetDrawCallback(surface_, callback, word);
        SetSurfaceFullScreen(surface_, fullScreen);
    }
    if (!rebuildScreenPicture()) {
        releasePictureBuffers();
        sizeCode_ = 0;
        return false;
    }
    return true;
}

}  // namespace vistrel::h263
