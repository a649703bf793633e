#pragma once
// The live stream's codings as the DVR names them in Content-Type, and the check for an HTML page
// sent in place of a stream.

#include <cstddef>
#include <cstdint>

namespace vistrel::live {

enum class StreamCoding : int {
    Unknown = 0,
    H263 = 1,  // "video/x-qdaxwmh263", decoded by CDec263
    Jpeg = 2,  // "video/x-qdaxwmjpeg", received and dropped
    Xvid = 3,  // "video/x-qdaxwmxvd4", received and dropped
    Vweb = 4,  // "video/x-qdaxwmvweb", received and dropped
    Kvr4 = 5,  // "video/x-qdaxwmkvr4", decoded by CDecKvr4
};

// Exact match of the whole value; anything else is Unknown.
StreamCoding CodingFromContentType(const char* contentType);
const char* ContentTypeOf(StreamCoding coding);  // null for Unknown

// True when the block carries "Content-Type: text/html" (letters compared without case): a DVR's
// error or log-in page where the stream should be.
bool LooksLikeErrorPage(const std::uint8_t* data, std::size_t length);

}  // namespace vistrel::live
