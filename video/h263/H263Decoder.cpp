// The H.263 decoding state: frame loop over an input buffer of at most 128 KiB, gates and picture
// buffers.

#include "video/h263/H263Decoder.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "video/frame/FrameHeader.h"
#include "video/h263/H263Framing.h"
#include "video/picture/ColourTables.h"

namespace vistrel::h263 {

namespace {

// The bit reader is bounds-checked; the zeroed slack is a second line of defence.
constexpr std::size_t kInputSlack = 8;
// The input buffer's first size; most frames of small pictures fit it.
constexpr std::size_t kInitialInputCapacity = 16384;

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
    if (!state->selectSize(kSize320x240)) return nullptr;
    state->presenter_.Attach(nullptr, state->width_, state->height_);
    return state;
}

H263Decoder::~H263Decoder() {
    closing_ = true;
    Detach();
}

bool H263Decoder::Attach(WindowHandle window) {
    if (!presenter_.Attach(window, width_, height_)) return false;
    if (window != nullptr) return true;
    if (!output_) return selectSize(sizeCode_ > 0 ? sizeCode_ : kSize320x240);
    std::memset(reference_.get(), 0, frameBytes_);
    referenceIsPicture_ = false;
    FillBlackPicture(output_.get(), width_, height_);
    latestIsOutput_ = true;
    return true;
}

void H263Decoder::Detach() { presenter_.Detach(); }

void H263Decoder::Reset() {
    held_ = 0;
    frameInProgress_ = false;
    allowPredicted_ = false;
    hasReference_ = false;
    overflow_ = false;
    suppressDisplay_ = false;
    const bool fresh = !output_;  // new buffers are black already
    if (ensurePictureBuffers()) {
        if (!fresh) FillBlackPicture(output_.get(), width_, height_);
        latestIsOutput_ = true;
        Render();
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
        // Out of memory the data is lost as if the buffer were full.
        if (!reserveInput(held_ + length)) {
            Reset();
            overflow_ = true;
            return 0;
        }
        std::memcpy(input_.get() + held_, data, length);
        held_ += length;
        std::memset(input_.get() + held_, 0, kInputSlack);  // a grown buffer's slack is not cleared
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

    if (!input_) return handled;  // never fed any byte
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
    if (header.sizeCode != sizeCode_ && SizeCodeDimensions(header.sizeCode, &w, &h) && selectSize(header.sizeCode))
        presenter_.Resize(width_, height_);
    // A failed size change leaves no buffers; nothing is decoded until one succeeds.
    if (!ensurePictureBuffers()) return;
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
    context.hasPrevious = referenceIsPicture_;

    bool intact = true;
    if (!header.predicted) {
        intact = DecodeIntraMacroblocks(reader, context);
        allowPredicted_ = true;
        hasReference_ = true;
    } else {
        if (overflow_ || !hasReference_ || !allowPredicted_) {
            hasReference_ = false;
            return;
        }
        intact = DecodePredictedMacroblocks(reader, context);
    }
    quantiser_ = context.quantiser;
    latestIsOutput_ = true;
    if (!suppressDisplay_) Render();

    std::swap(reference_, output_);
    std::swap(referencePicture_, outputPicture_);
    referenceIsPicture_ = true;
    latestIsOutput_ = false;
    ++picturesDecoded_;
    if (!intact) ++errorsSeen_;
}

bool H263Decoder::Render() { return presenter_.Render(CurrentPicture()); }

void H263Decoder::Redraw() { presenter_.Redraw(); }

std::size_t H263Decoder::Snapshot(std::uint8_t* buffer, std::size_t size) {
    return presenter_.Snapshot(CurrentPicture(), buffer, size);
}

void H263Decoder::SetDrawCallback(DrawCallback callback, std::uintptr_t word) {
    presenter_.SetDrawCallback(callback, word);
}

void H263Decoder::SetFullScreen(int flag) { presenter_.SetFullScreen(flag); }

void H263Decoder::GetPictureSize(int* width, int* height) const {
    if (width) *width = width_;
    if (height) *height = height_;
}

const YuvPicture* H263Decoder::CurrentPicture() const {
    // The buffers are made at first use, a first look included. Every state is made non-const by
    // Create, so the cast only reaches the lazily made part of a mutable object.
    if (!const_cast<H263Decoder*>(this)->ensurePictureBuffers()) return nullptr;
    return latestIsOutput_ ? outputPicture_.get() : referencePicture_.get();
}

bool H263Decoder::reserveInput(std::size_t bytes) {
    if (bytes <= inputCapacity_) return true;
    std::size_t capacity = std::max(inputCapacity_ * 2, kInitialInputCapacity);
    while (capacity < bytes) capacity *= 2;
    capacity = std::min(capacity, kInputCapacity);
    if (capacity < bytes) return false;
    std::unique_ptr<std::uint8_t[]> grown(new (std::nothrow) std::uint8_t[capacity + kInputSlack]);
    if (!grown) return false;
    if (held_ > 0) std::memcpy(grown.get(), input_.get(), held_);
    input_ = std::move(grown);
    inputCapacity_ = capacity;
    return true;
}

void H263Decoder::releasePictureBuffers() {
    referenceIsPicture_ = false;
    referencePicture_.reset();
    outputPicture_.reset();
    reference_.reset();
    output_.reset();
    blocks_.reset();
    modes_.reset();
    vectors_.reset();
}

bool H263Decoder::selectSize(int code) {
    int w = 0;
    int h = 0;
    if (!SizeCodeDimensions(code, &w, &h)) return false;
    if (w != width_ || h != height_) releasePictureBuffers();
    width_ = w;
    height_ = h;
    frameBytes_ = YuvPicture::FrameBytes(w, h);
    macroblockRows_ = h / 16;
    macroblockColumns_ = w / 16;
    sizeCode_ = code;
    return true;
}

bool H263Decoder::ensurePictureBuffers() {
    if (output_) return true;
    if (sizeCode_ == 0) return false;
    const std::size_t macroblocks = std::size_t(macroblockRows_) * std::size_t(macroblockColumns_);
    // The reference starts all zero (a predicted picture before any intra one predicts from it).
    reference_ = allocate<std::uint8_t>(frameBytes_);
    output_.reset(new (std::nothrow) std::uint8_t[frameBytes_]);
    blocks_ = allocate<std::int16_t>(std::size_t(kBlockSize) * kBlocksPerMacroblock);
    modes_ = allocate<std::int32_t>(macroblocks);
    vectors_ = allocate<std::int32_t>(2 * macroblocks);
    if (reference_) referencePicture_ = YuvPicture::Create(reference_.get(), width_, height_);
    if (output_) outputPicture_ = YuvPicture::Create(output_.get(), width_, height_);
    if (!reference_ || !output_ || !blocks_ || !modes_ || !vectors_ || !referencePicture_ || !outputPicture_) {
        releasePictureBuffers();
        sizeCode_ = 0;  // the next picture header tries again
        return false;
    }
    // The picture shown until the next decode is the black one, not a zero-chroma green.
    FillBlackPicture(output_.get(), width_, height_);
    latestIsOutput_ = true;
    return true;
}

}  // namespace vistrel::h263
