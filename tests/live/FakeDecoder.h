#pragma once
// A live decoder stand-in for the session tests: cuts frames by the H.263 live rule without frame
// header (16-bit length word, then 00 00 and a byte with its top bit set) and logs what it is asked.

#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "stream/live/StreamCoding.h"
#include "video/decoders/IDecoder.h"

namespace vistrel::testing {

struct FakeDecoderLog {
    std::mutex lock;
    // Guarded by lock.
    std::vector<live::StreamCoding> created;
    std::vector<WindowHandle> openedWith;
    std::vector<std::string> frames;  // every decoded frame, in order
    std::vector<int> fullScreen;
    int closed = 0;
    int alive = 0;
    std::uint64_t bytesQueuedAtCreation = ~0ull;
    // Each Decode sleeps this long: a slow consumer.
    std::atomic<int> decodeDelayMs{0};

    std::size_t frameCount() {
        std::lock_guard<std::mutex> g(lock);
        return frames.size();
    }
};

class FakeDecoder : public IDecoder {
public:
    FakeDecoder(std::shared_ptr<FakeDecoderLog> log, live::StreamCoding coding) : log_(std::move(log)) {
        std::lock_guard<std::mutex> g(log_->lock);
        log_->created.push_back(coding);
        ++log_->alive;
    }
    ~FakeDecoder() override {
        std::lock_guard<std::mutex> g(log_->lock);
        --log_->alive;
    }
    bool Open(WindowHandle window) override {
        std::lock_guard<std::mutex> g(log_->lock);
        log_->openedWith.push_back(window);
        return true;
    }
    void Close() override {
        std::lock_guard<std::mutex> g(log_->lock);
        ++log_->closed;
    }
    bool DecodeAndCapture(const std::uint8_t*, std::size_t, bool, std::uint8_t*, std::size_t, bool) override {
        return false;
    }
    bool Decode(const std::uint8_t* data, std::size_t length, bool) override {
        if (int ms = log_->decodeDelayMs.load()) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        std::lock_guard<std::mutex> g(log_->lock);
        log_->frames.emplace_back(reinterpret_cast<const char*>(data), length);
        return true;
    }
    void Redraw() override {}
    void ResetPicture() override {}
    bool IsIntraFrame(const std::uint8_t*, std::size_t, std::size_t*) const override { return false; }
    bool ExtractFrame(frame::FrameReceiveBuffer* rb, const std::uint8_t** frame, std::size_t* length,
                      bool* hasHeader) const override {
        if (rb->held < 19) return false;
        std::size_t i = 0;
        for (; i + 5 <= rb->held; ++i)
            if (rb->data[i + 2] == 0 && rb->data[i + 3] == 0 && (rb->data[i + 4] & 0x80)) break;
        if (i + 5 > rb->held) return false;
        std::memmove(rb->data, rb->data + i, rb->held - i);
        rb->held -= static_cast<std::uint32_t>(i);
        const std::size_t total = rb->data[0] | (rb->data[1] << 8);
        if (total == 0) {
            rb->held = 0;
            return false;
        }
        if (rb->held < total) return false;
        *frame = rb->data;
        *length = total;
        *hasHeader = false;
        return true;
    }
    void GetPictureSize(int* w, int* h) override { *w = 320, *h = 240; }
    void Reserved() override {}
    void SetFullScreen(int flag) override {
        std::lock_guard<std::mutex> g(log_->lock);
        log_->fullScreen.push_back(flag);
    }

private:
    std::shared_ptr<FakeDecoderLog> log_;
};

// A frame the fake cuts: length word, 00 00 80|tag, then filler up to `total` bytes.
inline std::string FakeFrame(std::size_t total, std::uint8_t tag) {
    std::string f(total, '\0');
    f[0] = static_cast<char>(total & 0xFF);
    f[1] = static_cast<char>(total >> 8);
    f[4] = static_cast<char>(0x80 | (tag & 0x7F));
    for (std::size_t i = 5; i < total; ++i) f[i] = static_cast<char>(0x40 + (i + tag) % 26);
    return f;
}

}  // namespace vistrel::testing
