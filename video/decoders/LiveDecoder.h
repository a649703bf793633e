#pragma once
// The live decoder interface over the shared core, for either coding.

#include "video/decoders/DecoderCore.h"
#include "video/decoders/IDecoder.h"

namespace vistrel::decoders {

template <class Policy>
class LiveDecoder : public IDecoder {
public:
    bool Open(WindowHandle window) override { return core_.open(window, false); }
    void Close() override { core_.close(); }
    bool DecodeAndCapture(const std::uint8_t* data, std::size_t length, bool capture, std::uint8_t* captureBuffer,
                          std::size_t captureBufferSize, bool show) override {
        return core_.decodeAndCapture(data, length, capture, captureBuffer, captureBufferSize, show);
    }
    bool Decode(const std::uint8_t* data, std::size_t length, bool show) override {
        return core_.decode(data, length, show, Policy::kShowGatesPredicted, -1) >= 0;
    }
    void Redraw() override { core_.redraw(); }
    void ResetPicture() override { core_.resetPicture(); }
    bool IsIntraFrame(const std::uint8_t* buffer, std::size_t count, std::size_t* offset) const override {
        return Policy::IsIntraFrame(buffer, count, offset);
    }
    bool ExtractFrame(frame::FrameReceiveBuffer* buffer, const std::uint8_t** frame, std::size_t* frameLength,
                      bool* hasHeader) const override {
        return Policy::ExtractFrame(buffer, frame, frameLength, hasHeader);
    }
    void GetPictureSize(int* width, int* height) override { core_.getPictureSize(width, height); }
    void Reserved() override {
        if constexpr (Policy::kReservedTakesLock) core_.touchLock();
    }
    void SetFullScreen(int flag) override { core_.setFullScreen(flag); }

private:
    DecoderCore<Policy> core_;
};

}  // namespace vistrel::decoders
