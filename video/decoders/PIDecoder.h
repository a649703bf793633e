#pragma once
// The decoder interface the playback player holds, one per channel.

#include <cstddef>
#include <cstdint>

#include "platform/WindowHandle.h"

namespace vistrel {

class PIDecoder {
public:
    virtual ~PIDecoder() = default;

    // Only the window is used; the picture keeps its own size until a frame announces another.
    virtual bool Open(int requestedWidth, int requestedHeight, WindowHandle window, std::uintptr_t reserved) = 0;
    virtual void Close() = 0;
    virtual bool DecodeAndCapture(const std::uint8_t* data, std::size_t length, bool capture,
                                  std::uint8_t* captureBuffer, std::size_t captureBufferSize, bool show) = 0;
    // frameCount -1: every complete frame in the data.
    virtual bool Decode(const std::uint8_t* data, std::size_t length, bool show, int frameCount) = 0;
    // On success *buffer holds a snapshot bitmap the caller frees with ReleaseBitmap.
    virtual bool CaptureBitmap(std::uint8_t** buffer, std::size_t* size) = 0;
    virtual int GetStatus() = 0;
    virtual void Redraw() = 0;
    virtual void SetDrawCallback(DrawCallback callback, std::uintptr_t word) = 0;
    virtual void ResetPicture() = 0;
    virtual void SetFullScreen(int flag) = 0;

    static void ReleaseBitmap(std::uint8_t* buffer) { delete[] buffer; }
};

}  // namespace vistrel
