#pragma once
// The MPEG-4 live frame rules as the decoder classes apply them to the stream session's receive
// buffer: cutting out whole frames and telling intra frames.

#include <cstddef>
#include <cstdint>

#include "video/frame/FrameReceiveBuffer.h"

namespace vistrel::decoders {

// Works only on the held bytes. Leaves a frame at the buffer's read offset (moving skipped bytes
// out first) and reports it once complete. Frames are only taken with their 18-byte frame
// header: a start code without one, or a length of zero, empties the buffer.
bool ExtractMpeg4Frame(frame::FrameReceiveBuffer* buffer, const std::uint8_t** frame, std::size_t* frameLength,
                       bool* hasHeader);

// Finds the first frame (header optional) in buffer[0, count); false when there is none or the
// byte that tells the coding type lies beyond the data. *offset is where the frame starts.
// Intra: the frame's video object plane (after any headers in front of it) is intra coded.
bool IsMpeg4IntraFrame(const std::uint8_t* buffer, std::size_t count, std::size_t* offset);

}  // namespace vistrel::decoders
