#pragma once
// The emulator's request log: one JSON object per line, appended as requests are answered.

#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>

namespace vistrel::dvr {

class RequestLog {
public:
    // An empty path logs nothing. Returns false when the file cannot be opened.
    bool open(const std::string& path);
    ~RequestLog();
    bool enabled() const { return file_ != nullptr; }
    // `fields` are JSON members without braces, e.g. "\"path\":\"/x\",\"status\":200".
    void write(const std::string& fields);

private:
    std::mutex lock_;
    std::FILE* file_ = nullptr;  // guarded by lock_ for writes; set once before serving
};

// A JSON string literal (with quotes) of arbitrary bytes; control and non-ASCII bytes escaped.
std::string jsonString(std::string_view text);

}  // namespace vistrel::dvr
