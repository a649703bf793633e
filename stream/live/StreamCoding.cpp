#include "stream/live/StreamCoding.h"

#include <cctype>
#include <cstring>

namespace vistrel::live {

namespace {

struct CodingName {
    StreamCoding coding;
    const char* contentType;
};

constexpr CodingName kCodings[] = {
    {StreamCoding::H263, "video/x-qdaxwmh263"}, {StreamCoding::Jpeg, "video/x-qdaxwmjpeg"},
    {StreamCoding::Xvid, "video/x-qdaxwmxvd4"}, {StreamCoding::Vweb, "video/x-qdaxwmvweb"},
    {StreamCoding::Kvr4, "video/x-qdaxwmkvr4"},
};

constexpr char kErrorPageMark[] = "Content-Type: text/html";

}  // namespace

StreamCoding CodingFromContentType(const char* contentType) {
    if (contentType == nullptr) return StreamCoding::Unknown;
    for (const CodingName& c : kCodings)
        if (std::strcmp(contentType, c.contentType) == 0) return c.coding;
    return StreamCoding::Unknown;
}

const char* ContentTypeOf(StreamCoding coding) {
    for (const CodingName& c : kCodings)
        if (c.coding == coding) return c.contentType;
    return nullptr;
}

bool LooksLikeErrorPage(const std::uint8_t* data, std::size_t length) {
    constexpr std::size_t markLength = sizeof(kErrorPageMark) - 1;
    if (data == nullptr || length < markLength) return false;
    for (std::size_t i = 0; i + markLength <= length; ++i) {
        std::size_t k = 0;
        while (k < markLength &&
               std::tolower(data[i + k]) == std::tolower(static_cast<unsigned char>(kErrorPageMark[k])))
            ++k;
        if (k == markLength) return true;
    }
    return false;
}

}  // namespace vistrel::live
