#include "video/mpeg4/Mpeg4Adapter.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <new>

#include "kvr_syst/Kvr_Except.h"
#include "video/mpeg4/PrimingHeaders.h"
#include "video/mpeg4/SizeTable.h"

namespace vistrel::mpeg4 {

namespace {

// Until the first picture the output is black with the library's neutral chroma, not the H.263
// state's 127: the cameras' client painted it so.
constexpr std::uint8_t kNeutralChroma = 128;
// When gathered bytes hold no start code, these last bytes are kept: they may be a frame
// header and the first bytes of its start code, split from the rest by the caller.
constexpr std::size_t kKeptTail = kFrameHeaderSize + 2;

}  // namespace

std::unique_ptr<Mpeg4Adapter> Mpeg4Adapter::Create(const LibraryFactory& factory) {
    LibraryDecoder library = factory ? factory() : LibraryDecoder(nullptr, nullptr);
    if (!library) return nullptr;
    std::unique_ptr<Mpeg4Adapter> adapter(new (std::nothrow) Mpeg4Adapter(std::move(library)));
    if (!adapter) return nullptr;
    if (!adapter->applySizeCode(kInitialSizeCode, true)) return nullptr;
    return adapter;
}

Mpeg4Adapter::Mpeg4Adapter(LibraryDecoder library) : library_(std::move(library)) {}

Mpeg4Adapter::~Mpeg4Adapter() {
    presenter_.Detach();
    library_.reset();
}

bool Mpeg4Adapter::applySizeCode(int code, bool prime) {
    int width = 0;
    int height = 0;
    if (!SizeOfCode(code, &width, &height)) return false;
    // An output not made yet is made at the new size when first needed.
    if (output_ && !replaceOutput(width, height)) return false;
    width_ = width;
    height_ = height;
    sizeCode_ = code;
    presenter_.Resize(width_, height_);

    if (prime) {
        if (const std::uint8_t* header = PrimingHeaderForWidth(width_))
            feedLibrary(header, kPrimingHeaderSize, false);
    }
    return true;
}

bool Mpeg4Adapter::ensureOutput() { return output_ || replaceOutput(width_, height_); }

bool Mpeg4Adapter::replaceOutput(int width, int height) {
    // The new buffer is made before the old one goes, so a failure leaves a usable state.
    std::unique_ptr<std::uint8_t[]> output(new (std::nothrow) std::uint8_t[YuvPicture::FrameBytes(width, height)]);
    if (!output) return false;
    std::unique_ptr<YuvPicture> yuv = YuvPicture::Create(output.get(), width, height);
    if (!yuv) return false;
    FillYuvFrame(output.get(), width, height, kBlackLuma, kNeutralChroma, kNeutralChroma);
    yuv_ = std::move(yuv);
    output_ = std::move(output);
    return true;
}

const YuvPicture* Mpeg4Adapter::outputPicture() const {
    // Made at first use, a first look included. Every adapter is made non-const by Create, so
    // the cast only reaches the lazily made part of a mutable object.
    if (!const_cast<Mpeg4Adapter*>(this)->ensureOutput()) return nullptr;
    return yuv_.get();
}

bool Mpeg4Adapter::Attach(WindowHandle window) { return presenter_.Attach(window, width_, height_); }

void Mpeg4Adapter::Detach() { presenter_.Detach(); }

void Mpeg4Adapter::dropAccumulated() { held_ = 0; }

bool Mpeg4Adapter::reserveAccumulation(std::size_t bytes) {
    if (bytes <= accumulationCapacity_) return true;
    std::size_t capacity = std::max(accumulationCapacity_ * 2, kInitialAccumulation);
    while (capacity < bytes) capacity *= 2;
    capacity = std::min(capacity, kAccumulationSize);
    if (capacity < bytes) return false;
    std::unique_ptr<std::uint8_t[]> grown(new (std::nothrow) std::uint8_t[capacity]);
    if (!grown) return false;
    if (held_ > 0) std::memcpy(grown.get(), accumulation_.get(), held_);
    accumulation_ = std::move(grown);
    accumulationCapacity_ = capacity;
    return true;
}

void Mpeg4Adapter::Reset() {
    dropAccumulated();
    suppressDisplay_ = false;
}

int Mpeg4Adapter::Feed(const std::uint8_t* data, std::size_t length, int count) {
    if (count == 0) return 0;
    if (data == nullptr) length = 0;
    int done = 0;
    std::size_t pos = 0;
    while (pos < length) {
        const std::size_t want = length - pos;
        // Decoding the complete frames gathered so far makes room; what stays behind is at
        // most one incomplete frame, far smaller than the buffer.
        if (kAccumulationSize - held_ < want) done += extractFrames(-1);
        std::size_t take = std::min(want, kAccumulationSize - held_);
        // Out of memory: keep what fits; the frame that needed more is lost, as a full buffer
        // loses it.
        if (!reserveAccumulation(held_ + take)) take = std::min(take, accumulationCapacity_ - held_);
        if (take == 0) break;
        std::uint8_t* at = accumulation_.get() + held_;
        std::memcpy(at, data + pos, take);
        held_ += RemoveInfoBlocks(at, take);
        pos += take;
    }
    const int limit = count < 0 ? -1 : std::max(0, count - done);
    if (limit != 0) done += extractFrames(limit);
    return done;
}

int Mpeg4Adapter::extractFrames(int limit) {
    int done = 0;
    std::uint8_t* buffer = accumulation_.get();
    while (held_ > kFrameHeaderSize && (limit < 0 || done < limit)) {
        FrameSpan span;
        const FrameSearch found = FindFrame(buffer, held_, &span);
        if (found == FrameSearch::NoStartCode) {
            const std::size_t keep = std::min(held_, kKeptTail);
            std::memmove(buffer, buffer + held_ - keep, keep);
            held_ = keep;
            return done;
        }
        if (found == FrameSearch::BadLength) {
            dropAccumulated();
            ++counters_.resets;
            return done;
        }
        if (span.start > 0) {
            std::memmove(buffer, buffer + span.start, held_ - span.start);
            held_ -= span.start;
            span.start = 0;
        }
        if (span.total > held_) return done;  // wait for the rest
        if (!decodeFrame(buffer, span)) return done;
        std::memmove(buffer, buffer + span.total, held_ - span.total);
        held_ -= span.total;
        ++done;
    }
    return done;
}

bool Mpeg4Adapter::decodeFrame(const std::uint8_t* frame, const FrameSpan& span) {
    if (span.hasHeader) {
        const int code = SizeCodeForHint(span.sizeHint);
        int hintWidth = 0;
        int hintHeight = 0;
        if (code != 0 && SizeOfCode(code, &hintWidth, &hintHeight) && hintWidth != width_)
            applySizeCode(code, true);
    }
    ++counters_.frames;
    return feedLibrary(frame + span.payloadOffset, span.payloadLength, true);
}

bool Mpeg4Adapter::feedLibrary(const std::uint8_t* data, std::size_t length, bool resetOnError) {
    try {
        while (length > 0) {
            const int used = library_->Decode(data, int(length));
            if (used <= 0) break;
            const std::size_t consumed = std::min(std::size_t(used), length);
            data += consumed;
            length -= consumed;
            takeReadyPicture();
            if (!suppressDisplay_) Render();
        }
        return true;
    } catch (const KVR_EXCEPTION&) {
    } catch (const std::exception&) {
    }
    ++counters_.libraryErrors;
    // The library reports stream damage after it has concealed what it lost, with the picture
    // ready: show it, as the damage is counted either way.
    try {
        const long before = counters_.pictures;
        takeReadyPicture();
        if (counters_.pictures != before && !suppressDisplay_) Render();
    } catch (const KVR_EXCEPTION&) {
    } catch (const std::exception&) {
    }
    if (resetOnError) {
        dropAccumulated();
        ++counters_.resets;
    }
    return false;
}

bool Mpeg4Adapter::Flush() {
    const long before = counters_.pictures;
    try {
        library_->Decode(accumulation_.get(), 0);
        takeReadyPicture();
    } catch (const KVR_EXCEPTION&) {
        ++counters_.libraryErrors;
    } catch (const std::exception&) {
        ++counters_.libraryErrors;
    }
    const bool got = counters_.pictures != before;
    if (got && !suppressDisplay_) Render();
    return got;
}

void Mpeg4Adapter::takeReadyPicture() {
    if (!library_->Is_Frame_Ready()) return;
    KVR_MP4_FRAME picture{};
    library_->Consume_Frame(&picture);
    copyPicture(picture);
}

void Mpeg4Adapter::copyPicture(const KVR_MP4_FRAME& picture) {
    const int width = picture.Width;
    const int height = picture.Height;
    if (PictureSizeChangeConsidered(width, height, width_, height_)) {
        const int code = SizeCodeForPicture(width, height);
        if (code != 0) applySizeCode(code, false);
    }
    // Only a picture of exactly the output's size is copied; anything else would not fit it.
    if (width != width_ || height != height_ || picture.Y == nullptr || picture.U == nullptr ||
        picture.V == nullptr || picture.BpS < width || !ensureOutput()) {
        ++counters_.droppedPictures;
        return;
    }
    std::uint8_t* out = output_.get();
    for (int row = 0; row < height; ++row, out += width)
        std::memcpy(out, picture.Y + std::ptrdiff_t(row) * picture.BpS, std::size_t(width));
    const int chromaWidth = width / 2;
    const int chromaHeight = height / 2;
    for (int row = 0; row < chromaHeight; ++row, out += chromaWidth)
        std::memcpy(out, picture.U + std::ptrdiff_t(row) * picture.BpS, std::size_t(chromaWidth));
    for (int row = 0; row < chromaHeight; ++row, out += chromaWidth)
        std::memcpy(out, picture.V + std::ptrdiff_t(row) * picture.BpS, std::size_t(chromaWidth));
    ++counters_.pictures;
    if (observer_) observer_(*yuv_);
}

bool Mpeg4Adapter::Render() { return presenter_.Render(outputPicture()); }

void Mpeg4Adapter::Redraw() { presenter_.Redraw(); }

std::size_t Mpeg4Adapter::Snapshot(std::uint8_t* buffer, std::size_t size) {
    return presenter_.Snapshot(outputPicture(), buffer, size);
}

void Mpeg4Adapter::SetDrawCallback(DrawCallback callback, std::uintptr_t word) {
    presenter_.SetDrawCallback(callback, word);
}

void Mpeg4Adapter::SetFullScreen(int flag) { presenter_.SetFullScreen(flag); }

}  // namespace vistrel::mpeg4
