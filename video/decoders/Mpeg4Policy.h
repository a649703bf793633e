#pragma once
// The MPEG-4 coding as the decoder classes use it: the adapter over the codec library, every
// complete frame decoded per call, no gating of predicted pictures.

#include <cstddef>
#include <cstdint>

#include "video/decoders/Mpeg4FrameRules.h"
#include "video/frame/FrameReceiveBuffer.h"
#include "video/mpeg4/Mpeg4Adapter.h"

namespace vistrel::decoders {

struct Mpeg4Policy {
    using State = mpeg4::Mpeg4Adapter;

    static constexpr int kCaptureFrameCount = -1;
    static constexpr bool kShowGatesPredicted = false;
    static constexpr bool kPlaybackDecodeAlwaysSucceeds = true;
    static constexpr bool kPlaybackHonoursCount = false;
    static constexpr bool kReservedTakesLock = true;

    static void SetAllowPredicted(State&, bool) {}
    static void GetPictureSize(const State& state, int* width, int* height) {
        *width = state.width();
        *height = state.height();
    }
    static bool IsIntraFrame(const std::uint8_t* buffer, std::size_t count, std::size_t* offset) {
        return IsMpeg4IntraFrame(buffer, count, offset);
    }
    static bool ExtractFrame(frame::FrameReceiveBuffer* buffer, const std::uint8_t** frame, std::size_t* length,
                             bool* hasHeader) {
        return ExtractMpeg4Frame(buffer, frame, length, hasHeader);
    }
};

}  // namespace vistrel::decoders
