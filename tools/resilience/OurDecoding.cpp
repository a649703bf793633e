#include "tools/resilience/OurDecoding.h"

#include <deque>
#include <memory>
#include <new>

#include "kvr_syst/Kvr_MP4_Dec.h"
#include "tools/h263enc/H263Encoder.h"
#include "video/h263/H263Decoder.h"

namespace vistrel::resilience {

namespace {

constexpr std::size_t kLengthWordSize = 2;
constexpr std::size_t kMaxPlainPayload = 0xFFFF;

std::vector<std::uint8_t> lumaOf(const YuvPicture& picture) {
    std::vector<std::uint8_t> y(std::size_t(picture.width()) * std::size_t(picture.height()));
    for (int row = 0; row < picture.height(); ++row)
        std::copy(picture.luma().rows[row], picture.luma().rows[row] + picture.width(),
                  y.begin() + std::ptrdiff_t(row) * picture.width());
    return y;
}

std::vector<std::uint8_t> lumaOf(const KVR_MP4_FRAME& frame) {
    std::vector<std::uint8_t> y(std::size_t(frame.Width) * std::size_t(frame.Height));
    for (int row = 0; row < frame.Height; ++row)
        std::copy(frame.Y + std::ptrdiff_t(row) * frame.BpS,
                  frame.Y + std::ptrdiff_t(row) * frame.BpS + frame.Width,
                  y.begin() + std::ptrdiff_t(row) * frame.Width);
    return y;
}

struct LibraryDeleter {
    void operator()(KVR_MP4_DEC* dec) const { Kvr_MP4_Delete_Decoder(dec); }
};
using Library = std::unique_ptr<KVR_MP4_DEC, LibraryDeleter>;

// Feeds every unit and the end-of-stream flush; `take` sees each picture that comes out.
template <typename Take>
long runLibrary(KVR_MP4_DEC& dec, const std::vector<std::uint8_t>& stream, const std::vector<StreamUnit>& units,
                Take take) {
    long errors = 0;
    auto drain = [&] {
        if (!dec.Is_Frame_Ready()) return;
        KVR_MP4_FRAME frame{};
        dec.Consume_Frame(&frame);
        take(frame);
    };
    for (const StreamUnit& u : units) {
        try {
            dec.Decode(stream.data() + u.offset, int(u.length));
        } catch (const KVR_EXCEPTION&) {
            ++errors;
        }
        drain();
    }
    try {
        dec.Decode(stream.data(), 0);
    } catch (const KVR_EXCEPTION&) {
        ++errors;
    }
    drain();
    return errors;
}

}  // namespace

OurDecoding DecodeH263(const std::vector<std::uint8_t>& stream, const std::vector<StreamUnit>& units) {
    OurDecoding out;
    std::unique_ptr<h263::H263Decoder> decoder = h263::H263Decoder::Create();
    if (!decoder || !decoder->Attach(nullptr)) {
        out.failed = true;
        return out;
    }
    decoder->Reset();
    decoder->SetSuppressDisplay(true);
    decoder->SetAllowPredicted(true);
    // The decoder holds a frame back until more bytes than its search margin follow it, so frames are
    // handled in feeding order but not always by the call that fed them: a queue keeps their positions.
    std::deque<int> waiting;
    auto handle = [&](const std::uint8_t* data, std::size_t size) {
        for (;;) {
            const std::uint64_t before = decoder->picturesDecoded();
            const int handled = decoder->Feed(data, size, 1);
            data = nullptr;
            size = 0;
            if (handled == 0 || waiting.empty()) return;
            const int position = waiting.front();
            waiting.pop_front();
            const YuvPicture* picture = decoder->CurrentPicture();
            if (decoder->picturesDecoded() != before && picture != nullptr) {
                out.width = picture->width();
                out.height = picture->height();
                out.luma[position] = lumaOf(*picture);
            }
        }
    };
    int position = 0;
    std::vector<std::uint8_t> frame;
    for (const StreamUnit& u : units) {
        if (!u.picture) continue;
        frame.clear();
        const bool header = u.length + kLengthWordSize > kMaxPlainPayload;
        h263enc::AppendLiveFrame(&frame, stream.data() + u.offset, u.length, header);
        waiting.push_back(position++);
        handle(frame.data(), frame.size());
    }
    // Zero bytes are no frame start; they only let the decoder see the last frame is complete.
    const std::vector<std::uint8_t> tail(h263::H263Decoder::kMinSearchBytes + 1, 0);
    handle(tail.data(), tail.size());
    out.errorsReported = long(decoder->errorsSeen());
    return out;
}

OurDecoding DecodeMpeg4(const std::vector<std::uint8_t>& clean, const std::vector<StreamUnit>& cleanUnits,
                        const std::vector<std::uint8_t>& damaged, const std::vector<StreamUnit>& damagedUnits) {
    OurDecoding out;
    std::map<std::int64_t, int> positionOfTime;
    try {
        Library first(Kvr_MP4_New_Decoder());
        Library second(Kvr_MP4_New_Decoder());
        if (!first || !second) {
            out.failed = true;
            return out;
        }
        runLibrary(*first, clean, cleanUnits, [&](const KVR_MP4_FRAME& f) {
            positionOfTime.emplace(f.Time_Ticks, int(positionOfTime.size()));
        });
        out.errorsReported = runLibrary(*second, damaged, damagedUnits, [&](const KVR_MP4_FRAME& f) {
            const auto found = positionOfTime.find(f.Time_Ticks);
            // A picture shown twice (or with a time no undamaged picture has) is not a new picture.
            if (found == positionOfTime.end() || out.luma.count(found->second) != 0) return;
            out.width = f.Width;
            out.height = f.Height;
            out.luma[found->second] = lumaOf(f);
        });
    } catch (const std::bad_alloc&) {
        out.failed = true;
    }
    return out;
}

}  // namespace vistrel::resilience
