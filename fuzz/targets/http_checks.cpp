// What the live session reads from a DVR's answer before it trusts it: the Content-Type value
// mapped to a coding, and the first body block searched for an HTML page. The URL split runs on
// the same bytes, as a DVR address typed by a user reaches it.

#include <algorithm>
#include <string>

#include "fuzz/FuzzSupport.h"
#include "fuzz/FuzzTarget.h"
#include "stream/http/StreamUrl.h"
#include "stream/live/StreamCoding.h"

using namespace vistrel;
using namespace vistrel::fuzz;

VISTREL_FUZZ_TARGET(http_checks) {
    HeapCopy block(data, size);
    live::LooksLikeErrorPage(block.data(), size);
    const std::string text(reinterpret_cast<const char*>(data), std::min<std::size_t>(size, 1024));
    const live::StreamCoding coding = live::CodingFromContentType(text.c_str());
    if (coding != live::StreamCoding::Unknown && std::string(live::ContentTypeOf(coding)) != text.c_str())
        Finding("coding from a content type that is not its own");
    http::StreamUrlParts parts;
    if (http::SplitStreamUrl(text, &parts)) {
        std::string url;
        if (http::BuildRequestUrl(parts, &url) && url.find_first_of(" \r\n") != std::string::npos)
            Finding("request URL carries a blank or line break");
    }
    return 0;
}
