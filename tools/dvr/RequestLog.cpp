// JSON-lines request log.

#include "tools/dvr/RequestLog.h"

#include <chrono>

namespace vistrel::dvr {

bool RequestLog::open(const std::string& path) {
    if (path.empty()) return true;
    file_ = std::fopen(path.c_str(), "a");
    return file_ != nullptr;
}

RequestLog::~RequestLog() {
    if (file_ != nullptr) std::fclose(file_);
}

void RequestLog::write(const std::string& fields) {
    if (file_ == nullptr) return;
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
            .count();
    std::lock_guard guard(lock_);
    std::fprintf(file_, "{\"time_ms\":%lld,%s}\n", static_cast<long long>(ms), fields.c_str());
    std::fflush(file_);
}

std::string jsonString(std::string_view text) {
    std::string out = "\"";
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += ch;
        } else if (c < 0x20 || c >= 0x7f) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            out += ch;
        }
    }
    return out + "\"";
}

}  // namespace vistrel::dvr
