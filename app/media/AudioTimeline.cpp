#include "app/media/AudioTimeline.h"

#include <algorithm>

namespace vistrel::media {

namespace {

// Enough history to map any processed count the device can still report.
constexpr std::size_t kWrittenHistory = 256;
constexpr std::int64_t kMsPerSecond = 1000;

}  // namespace

std::int64_t AudioTimeline::MsOfFrames(std::uint64_t frames) const {
    return rate_ > 0 ? std::int64_t(frames) * kMsPerSecond / rate_ : 0;
}

void AudioTimeline::Reset(int sampleRate, int channels, std::uint64_t deviceFrames) {
    rate_ = sampleRate;
    channels_ = channels;
    Clear(deviceFrames);
}

void AudioTimeline::Clear(std::uint64_t deviceFrames) {
    waiting_.clear();
    pending_.clear();
    written_.clear();
    deviceFrames_ = deviceFrames;
}

void AudioTimeline::DropFront(std::uint64_t frames) {
    while (frames > 0 && !pending_.empty()) {
        Pending& p = pending_.front();
        const std::uint64_t n = std::min(frames, p.frames - p.used);
        waiting_.erase(waiting_.begin(), waiting_.begin() + std::ptrdiff_t(n * std::uint64_t(channels_)));
        p.used += n;
        frames -= n;
        if (p.used == p.frames) pending_.pop_front();
    }
}

void AudioTimeline::Push(const playback::AudioChunk& chunk) {
    if (chunk.frames == 0 || chunk.samples == nullptr || chunk.sampleRate != rate_ ||
        chunk.channels != channels_ || rate_ <= 0 || channels_ <= 0)
        return;
    waiting_.insert(waiting_.end(), chunk.samples, chunk.samples + chunk.frames * std::size_t(channels_));
    pending_.push_back({chunk.frames, 0, std::int64_t(chunk.recordTs)});
    // Whatever would be heard more than lateMs_ behind this chunk's picture is out of step.
    const std::int64_t limit = std::int64_t(chunk.recordTs) - lateMs_;
    while (!pending_.empty()) {
        const Pending& p = pending_.front();
        const std::int64_t frontMs = p.firstMs + MsOfFrames(p.used);
        if (frontMs >= limit) break;
        const std::uint64_t late = std::uint64_t((limit - frontMs) * rate_ + kMsPerSecond - 1) / kMsPerSecond;
        DropFront(std::max<std::uint64_t>(1, std::min(late, p.frames - p.used)));
    }
}

std::size_t AudioTimeline::Take(std::int16_t* out, std::size_t maxFrames) {
    std::size_t taken = 0;
    while (taken < maxFrames && !pending_.empty()) {
        Pending& p = pending_.front();
        const std::uint64_t n = std::min<std::uint64_t>(maxFrames - taken, p.frames - p.used);
        const std::size_t samples = std::size_t(n) * std::size_t(channels_);
        std::copy_n(waiting_.begin(), samples, out + taken * std::size_t(channels_));
        waiting_.erase(waiting_.begin(), waiting_.begin() + std::ptrdiff_t(samples));
        written_.push_back({deviceFrames_, n, p.firstMs + MsOfFrames(p.used)});
        if (written_.size() > kWrittenHistory) written_.pop_front();
        deviceFrames_ += n;
        p.used += n;
        taken += std::size_t(n);
        if (p.used == p.frames) pending_.pop_front();
    }
    return taken;
}

std::optional<std::int64_t> AudioTimeline::TimeAtDeviceFrame(std::uint64_t processedFrames) const {
    if (written_.empty() || processedFrames < written_.front().firstFrame) return std::nullopt;
    for (auto it = written_.rbegin(); it != written_.rend(); ++it) {
        if (processedFrames >= it->firstFrame) {
            const std::uint64_t into = std::min(processedFrames - it->firstFrame, it->frames);
            return it->firstMs + MsOfFrames(into);
        }
    }
    return std::nullopt;
}

}  // namespace vistrel::media
