#pragma once
// The H.263 coding as the decoder classes use it: the program's own decoding state, frames
// decoded one at a time by DecodeAndCapture, predicted pictures gated by the show flag.

#include <cstddef>
#include <cstdint>

#include "video/frame/FrameReceiveBuffer.h"
#include "video/h263/H263Decoder.h"
#include "video/h263/H263Framing.h"

namespace vistrel::decoders {

struct H263Policy {
    using State = h263::H263Decoder;

    static constexpr int kCaptureFrameCount = 1;
    // A hidden run skips predicted pictures, so that it can end on a correct picture quickly.
    static constexpr bool kShowGatesPredicted = true;
    // The playback Decode reports whether a frame came out.
    static constexpr bool kPlaybackDecodeAlwaysSucceeds = false;
    static constexpr bool kPlaybackHonoursCount = true;
    static constexpr bool kReservedTakesLock = false;

    static void SetAllowPredicted(State& state, bool allow) { state.SetAllowPredicted(allow); }
    static void GetPictureSize(const State& state, int* width, int* height) {
        state.GetPictureSize(width, height);
    }
    static bool IsIntraFrame(const std::uint8_t* buffer, std::size_t count, std::size_t* offset) {
        return h263::H263IsIntraFrame(buffer, count, offset);
    }
    static bool ExtractFrame(frame::FrameReceiveBuffer* buffer, const std::uint8_t** frame, std::size_t* length,
                             bool* hasHeader) {
        return h263::H263ExtractFrame(buffer, frame, length, hasHeader);
    }
};

}  // namespace vistrel::decoders
