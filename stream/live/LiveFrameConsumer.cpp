#include "stream/live/LiveFrameConsumer.h"

#include <cstdio>
#include <cstring>

#include "platform/Tick.h"

namespace vistrel::live {

namespace {
constexpr std::uint32_t kEmptyRingNapMs = 10;
constexpr std::uint32_t kPassNapMs = 5;
}  // namespace

LiveFrameConsumer::LiveFrameConsumer(ByteRing& ring)
    : ring_(ring),
      thread_("live-consumer"),
      receiveBuffer_(new frame::FrameReceiveBuffer),
      staging_(new std::uint8_t[kStagingSize]) {}

LiveFrameConsumer::~LiveFrameConsumer() { StopThread(); }

bool LiveFrameConsumer::StartThread() {
    if (thread_.exists()) return false;
    receiveBuffer_->held = 0;
    receiveBuffer_->readOffset = 0;
    if (!thread_.create([this](const platform::StopSignal& stop) { run(stop); })) return false;
    return thread_.resume();
}

void LiveFrameConsumer::RequestStop() { thread_.requestStop(); }

void LiveFrameConsumer::StopThread(std::uint32_t limitMs) {
    if (thread_.stop(limitMs) == platform::WorkerThread::StopResult::Detached)
        std::fprintf(stderr, "vistrel: live consumer did not stop within %u ms\n", limitMs);
}

void LiveFrameConsumer::ReplaceDecoder(std::unique_ptr<IDecoder> decoder) {
    std::unique_ptr<IDecoder> old;
    {
        std::lock_guard<std::mutex> guard(decoderLock_);
        old = std::move(decoder_);
        if (old) old->Close();
        old.reset();
        decoder_ = std::move(decoder);
    }
}

void LiveFrameConsumer::WithDecoder(const std::function<void(IDecoder*)>& use) {
    std::lock_guard<std::mutex> guard(decoderLock_);
    use(decoder_.get());
}

void LiveFrameConsumer::collect(const std::uint8_t* bytes, std::size_t count) {
    frame::FrameReceiveBuffer& rb = *receiveBuffer_;
    // A buffer that filled up without yielding a frame holds no frame worth waiting for.
    if (rb.held >= frame::kReceiveBufferSize) {
        rb.held = 0;
        rb.readOffset = 0;
    }
    const std::size_t room = frame::kReceiveBufferSize - rb.held;
    const std::size_t part = count < room ? count : room;
    std::memcpy(rb.data + rb.held, bytes, part);
    rb.held += static_cast<std::uint32_t>(part);
}

void LiveFrameConsumer::extractAndDecode(const platform::StopSignal& stop) {
    frame::FrameReceiveBuffer& rb = *receiveBuffer_;
    if (!decoder_) {
        // Codings without a decoder are received and dropped.
        rb.held = 0;
        rb.readOffset = 0;
        return;
    }
    const std::uint8_t* frame = nullptr;
    std::size_t length = 0;
    bool hasHeader = false;
    while (!stop.stopRequested() && decoder_->ExtractFrame(&rb, &frame, &length, &hasHeader)) {
        // The frame must lie inside the held bytes; anything else would make the compaction
        // below read outside the buffer, so the content is given up.
        const std::uint8_t* heldEnd = rb.data + rb.held;
        if (frame < rb.data || length == 0 || frame > heldEnd ||
            length > static_cast<std::size_t>(heldEnd - frame)) {
            rb.held = 0;
            rb.readOffset = 0;
            return;
        }
        if (decoder_->Decode(frame, length, true)) {
            int width = 0;
            int height = 0;
            decoder_->GetPictureSize(&width, &height);
            pictureWidth_.store(width);
            pictureHeight_.store(height);
            lastPictureTick_.store(platform::tickCount());
        } else {
            framesDamaged_.fetch_add(1);
        }
        framesDecoded_.fetch_add(1);
        if (observer_) observer_(*decoder_, frame, length, hasHeader);
        const std::size_t consumed = static_cast<std::size_t>(frame - rb.data) + length;
        const std::size_t rest = rb.held - consumed;
        std::memmove(rb.data, rb.data + consumed, rest);
        rb.held = static_cast<std::uint32_t>(rest);
        rb.readOffset = 0;
    }
}

void LiveFrameConsumer::run(const platform::StopSignal& stop) {
    std::size_t gathered = 0;
    while (!stop.stopRequested()) {
        while (gathered < kMinGatherBytes && !stop.stopRequested()) {
            std::size_t remaining = 0;
            const std::size_t n = ring_.Read(staging_.get() + gathered, kStagingSize - gathered, &remaining);
            gathered += n;
            // Nap when the ring had nothing for us rather than spinning on the ring's lock.
            if (n == 0 && stop.waitForStop(kEmptyRingNapMs)) break;
        }
        if (stop.stopRequested()) break;
        {
            std::lock_guard<std::mutex> guard(decoderLock_);
            collect(staging_.get(), gathered);
            gathered = 0;
            extractAndDecode(stop);
        }
        if (stop.waitForStop(kPassNapMs)) break;
    }
    std::lock_guard<std::mutex> guard(decoderLock_);
    if (decoder_) decoder_->Close();
    decoder_.reset();
}

}  // namespace vistrel::live
