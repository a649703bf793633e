#pragma once
// The playback decoder interface over the shared core, for either coding.

#include "video/decoders/DecoderCore.h"
#include "video/decoders/PIDecoder.h"

namespace vistrel::decoders {

template <class Policy>
class PlaybackDecoder : public PIDecoder {
public:
    // The picture keeps its own size until a frame announces another, so the requested size
    // is not used.
    bool Open(int, int, WindowHandle window, std::uintptr_t) override { return core_.open(window, true); }
    void Close() override { core_.close(); }
    bool DecodeAndCapture(const std::uint8_t* data, std::size_t length, bool capture, std::uint8_t* captureBuffer,
                          std::size_t captureBufferSize, bool show) override {
        return core_.decodeAndCapture(data, length, capture, captureBuffer, captureBufferSize, show);
    }
    bool Decode(const std::uint8_t* data, std::size_t length, bool show, int frameCount) override {
        const int count = Policy::kPlaybackHonoursCount ? frameCount : -1;
        const int frames = core_.decode(data, length, show, Policy::kShowGatesPredicted, count);
        if (frames < 0) return false;
        return Policy::kPlaybackDecodeAlwaysSucceeds || frames > 0;
    }
    bool CaptureBitmap(std::uint8_t** buffer, std::size_t* size) override {
        return core_.captureBitmap(buffer, size);
    }
    int GetStatus() override { return 0; }
    void Redraw() override { core_.redraw(); }
    void SetDrawCallback(DrawCallback callback, std::uintptr_t word) override {
        core_.setDrawCallback(callback, word);
    }
    void ResetPicture() override { core_.resetPicture(); }
    void SetFullScreen(int flag) override { core_.setFullScreen(flag); }

private:
    DecoderCore<Policy> core_;
};

}  // namespace vistrel::decoders
