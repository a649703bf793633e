#pragma once
// Records every call a stream request makes to its consumer, for the transport and session tests.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "stream/http/StreamRequest.h"

namespace vistrel::testing {

struct StreamCall {
    int first = 0;
    bool dataNull = true;
    std::uint32_t length = 0;
    bool abortNull = true;
    std::string bytes;
    std::string contentType;  // as GetStreamContentType gave it during the call
};

class StreamCallbackRecorder {
public:
    // Decides each call's answer; the default goes on.
    std::function<int(const StreamCall&, const std::atomic<int>*)> reply;

    static int callback(int first, const std::uint8_t* data, std::uint32_t length, void* context,
                        const std::atomic<int>* abortFlag) {
        auto* self = static_cast<StreamCallbackRecorder*>(context);
        StreamCall call;
        call.first = first;
        call.dataNull = data == nullptr;
        call.length = length;
        call.abortNull = abortFlag == nullptr;
        if (data && length) call.bytes.assign(reinterpret_cast<const char*>(data), length);
        char type[128] = {};
        if (http::GetStreamContentType(http::CurrentStreamRequest(), 1, type, sizeof type))
            call.contentType = type;
        int result = 1;
        if (self->reply && data != nullptr) result = self->reply(call, abortFlag);
        {
            std::lock_guard<std::mutex> guard(self->lock_);
            self->calls_.push_back(call);
            if (data == nullptr) self->finalSeen_ = true;
        }
        self->changed_.notify_all();
        return result;
    }

    bool waitFinal(int ms) {
        std::unique_lock<std::mutex> guard(lock_);
        return changed_.wait_for(guard, std::chrono::milliseconds(ms), [&] { return finalSeen_; });
    }
    bool waitCalls(std::size_t n, int ms) {
        std::unique_lock<std::mutex> guard(lock_);
        return changed_.wait_for(guard, std::chrono::milliseconds(ms), [&] { return calls_.size() >= n; });
    }
    std::vector<StreamCall> calls() {
        std::lock_guard<std::mutex> guard(lock_);
        return calls_;
    }
    std::string body() {
        std::lock_guard<std::mutex> guard(lock_);
        std::string all;
        for (const StreamCall& c : calls_) all += c.bytes;
        return all;
    }

private:
    std::mutex lock_;
    std::condition_variable changed_;
    std::vector<StreamCall> calls_;  // guarded by lock_
    bool finalSeen_ = false;         // guarded by lock_
};

}  // namespace vistrel::testing
