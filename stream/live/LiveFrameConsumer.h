#pragma once
// The live session's consumer: a thread that takes bytes from the ring, collects them in the
// receive buffer, cuts frames out of it with the current decoder's rules and decodes them.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

#include "platform/WorkerThread.h"
#include "stream/live/ByteRing.h"
#include "video/decoders/IDecoder.h"
#include "video/frame/FrameReceiveBuffer.h"

namespace vistrel::live {

constexpr std::size_t kStagingSize = 0x4000;
// Fewer bytes than this are not worth a pass under the decoder lock.
constexpr std::size_t kMinGatherBytes = 31;
constexpr std::uint32_t kConsumerStopLimitMs = 15000;

// Called on the consumer thread under the decoder lock after each frame was decoded.
using FrameObserver =
    std::function<void(IDecoder& decoder, const std::uint8_t* frame, std::size_t length, bool hasHeader)>;

class LiveFrameConsumer {
public:
    explicit LiveFrameConsumer(ByteRing& ring);
    ~LiveFrameConsumer();  // stops the thread; the decoder goes with it
    LiveFrameConsumer(const LiveFrameConsumer&) = delete;
    LiveFrameConsumer& operator=(const LiveFrameConsumer&) = delete;

    bool StartThread();
    void RequestStop();
    // Waits up to the limit; a thread that does not end is reported and left running.
    void StopThread(std::uint32_t limitMs = kConsumerStopLimitMs);

    // Replaces the decoder (the old one is closed and deleted) under the decoder lock.
    // Ownership of `decoder` passes to the consumer.
    void ReplaceDecoder(std::unique_ptr<IDecoder> decoder);
    // Runs `use` with the current decoder (or null) under the decoder lock.
    void WithDecoder(const std::function<void(IDecoder*)>& use);
    // Set before StartThread; read by the consumer thread.
    void SetFrameObserver(FrameObserver observer) { observer_ = std::move(observer); }

    std::uint64_t FramesDecoded() const { return framesDecoded_.load(); }
    // Frames the decoder refused (damaged or undecodable), and what the last good one left.
    std::uint64_t FramesDamaged() const { return framesDamaged_.load(); }
    std::uint32_t LastPictureTick() const { return lastPictureTick_.load(); }
    void LastPictureSize(int* width, int* height) const {
        *width = pictureWidth_.load();
        *height = pictureHeight_.load();
    }

private:
    void run(const platform::StopSignal& stop);
    void collect(const std::uint8_t* bytes, std::size_t count);
    void extractAndDecode(const platform::StopSignal& stop);

    ByteRing& ring_;
    platform::WorkerThread thread_;  // owned by the session's control thread
    std::mutex decoderLock_;
    std::unique_ptr<IDecoder> decoder_;  // guarded by decoderLock_
    // Consumer thread only (and the decoder calls made from it under decoderLock_).
    std::unique_ptr<frame::FrameReceiveBuffer> receiveBuffer_;
    std::unique_ptr<std::uint8_t[]> staging_;
    FrameObserver observer_;
    std::atomic<std::uint64_t> framesDecoded_{0};
    // Written by the consumer thread, read by anyone.
    std::atomic<std::uint64_t> framesDamaged_{0};
    std::atomic<std::uint32_t> lastPictureTick_{0};
    std::atomic<int> pictureWidth_{0};
    std::atomic<int> pictureHeight_{0};
};

}  // namespace vistrel::live
