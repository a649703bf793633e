#pragma once
// The decoder interface the live stream session holds: one frame-fed decoder drawing into a window.

#include <cstddef>
#include <cstdint>

#include "platform/WindowHandle.h"
#include "video/frame/FrameReceiveBuffer.h"

namespace vistrel {

class IDecoder {
public:
    // Closes (as Close) and destroys the lock.
    virtual ~IDecoder() = default;

    // window null: off-screen decoder (pictures converted to 24 bits only).
    virtual bool Open(WindowHandle window) = 0;
    virtual void Close() = 0;
    virtual bool DecodeAndCapture(const std::uint8_t* data, std::size_t length, bool capture,
                                  std::uint8_t* captureBuffer, std::size_t captureBufferSize, bool show) = 0;
    virtual bool Decode(const std::uint8_t* data, std::size_t length, bool show) = 0;
    virtual void Redraw() = 0;
    virtual void ResetPicture() = 0;
    // Frame rules of the implementation's coding; neither touches the object.
    virtual bool IsIntraFrame(const std::uint8_t* buffer, std::size_t count, std::size_t* offset) const = 0;
    virtual bool ExtractFrame(frame::FrameReceiveBuffer* buffer, const std::uint8_t** frame,
                              std::size_t* frameLength, bool* hasHeader) const = 0;
    virtual void GetPictureSize(int* width, int* height) = 0;
    virtual void Reserved() = 0;
    virtual void SetFullScreen(int flag) = 0;
};

}  // namespace vistrel
