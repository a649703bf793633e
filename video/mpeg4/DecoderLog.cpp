#include "video/mpeg4/DecoderLog.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "kvr_syst/Kvr_Log.h"

namespace vistrel::mpeg4 {

// Read at every message rather than once, so that a test or a debugging session can turn it on
// after start; messages come only with stream faults, so the cost does not matter.
bool DecoderLogEnabled() {
    const char* value = std::getenv("VISTREL_DECODER_LOG");
    return value != nullptr && std::strcmp(value, "1") == 0;
}

void DecoderLog(void*, int level, const char* text) {
    if (!DecoderLogEnabled() || text == nullptr) return;
    std::size_t length = std::strlen(text);
    // The library hands its debug dumps out in pieces; only whole messages are marked.
    while (length > 0 && text[length - 1] == '\n') --length;
    if (length == 0) return;
    const char* kind = level == KVR_LOG_ERROR ? "error" : level == KVR_LOG_WARNING ? "warning" : "info";
    std::fprintf(stderr, "mpeg4 decoder %s: %.*s\n", kind, static_cast<int>(length), text);
}

}  // namespace vistrel::mpeg4
