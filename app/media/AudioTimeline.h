#pragma once
// The sound waiting for the audio device, with the record time of every sample, so that what is
// heard stays in step with the picture: sound that would be heard too late is dropped, and the
// record time of the sample the device is playing can be told from its processed count.
// Plain C++ (no Qt) so that the timing can be tested without a device.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

#include "stream/playback/AudioSink.h"

namespace vistrel::media {

class AudioTimeline {
public:
    // `lateMs`: a sample whose record time lies this far behind the newest record handed over
    // is too late to be heard in step and is dropped before it reaches the device.
    explicit AudioTimeline(std::int64_t lateMs) : lateMs_(lateMs) {}

    // A chunk of the format set by Reset (others are ignored). Drops waiting samples that are late
    // by the chunk's time.
    void Push(const playback::AudioChunk& chunk);
    // Up to `maxFrames` frames for the device, in order; their times are remembered against the
    // device's frame count.
    std::size_t Take(std::int16_t* out, std::size_t maxFrames);
    // Everything waiting is dropped; `deviceFrames` is the device's frame count from now on
    // (0 after the device restarted).
    void Clear(std::uint64_t deviceFrames);
    void Reset(int sampleRate, int channels, std::uint64_t deviceFrames);

    // Record time (ms) of the frame the device has processed up to, when known.
    std::optional<std::int64_t> TimeAtDeviceFrame(std::uint64_t processedFrames) const;
    std::size_t waitingFrames() const { return waiting_.size() / std::size_t(channels_ > 0 ? channels_ : 1); }
    int sampleRate() const { return rate_; }
    int channels() const { return channels_; }

private:
    struct Segment {
        std::uint64_t firstFrame;  // device frame count at its first frame
        std::uint64_t frames;
        std::int64_t firstMs;  // record time of its first frame
    };
    struct Pending {
        std::uint64_t frames;  // frames of the chunk
        std::uint64_t used;    // of them, already taken or dropped
        std::int64_t firstMs;  // record time of the chunk's first frame
    };
    std::int64_t MsOfFrames(std::uint64_t frames) const;
    void DropFront(std::uint64_t frames);

    std::int64_t lateMs_;
    int rate_ = 0;
    int channels_ = 0;
    std::deque<std::int16_t> waiting_;  // interleaved samples not yet given to the device
    std::deque<Pending> pending_;       // the chunks waiting_ holds, oldest first
    std::deque<Segment> written_;       // what went to the device, newest last
    std::uint64_t deviceFrames_ = 0;    // frames given to the device
};

}  // namespace vistrel::media
