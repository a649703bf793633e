// Recorded content: scenes encoded as H.263, clip frames as MPEG-4, a tone as IMA ADPCM.

#include "tools/dvr/RecordGenerator.h"

#include <cmath>

#include "tools/dvr/PesPacket.h"
#include "tools/dvr/RecordWriter.h"
#include "tools/dvr/Scene.h"

namespace vistrel::dvr {

namespace {

constexpr std::int64_t kMsPerHour = 3600 * 1000;
constexpr double kTwoPi = 6.283185307179586;
constexpr double kToneAmplitude = 6000.0;

std::uint16_t sizeCodeFor(int width, int height) {
    return width == 320 && height == 240 ? kSizeCode320x240 : kSizeCode640x480;
}

}  // namespace

RecordGenerator::RecordGenerator(const DvrOptions& options, const Mpeg4ClipLibrary& clips,
                                 const PlaybackRange& range, std::uint16_t channelMask, RecordingCache* cache)
    : options_(options), clips_(clips), mask_(channelMask), cache_(cache) {
    startMs_ = range.startSeconds * 1000;
    endMs_ = range.endSeconds * 1000 + 999;
    originMs_ = (range.startSeconds / 3600) * kMsPerHour;
    hour_ = range.startSeconds / 3600;
}

RecordGenerator::~RecordGenerator() = default;

std::uint32_t RecordGenerator::timestampOf(std::int64_t absoluteMs) const {
    return std::uint32_t(absoluteMs - originMs_);
}

bool RecordGenerator::advanceToNextStep() {
    const std::int64_t interval = std::max(1, options_.recordIntervalMs);
    const std::int64_t steps =
        (std::int64_t(std::max(0, options_.recordedSecondsPerHour)) * 1000 + interval - 1) / interval;
    while (true) {
        const std::int64_t hourStart = hour_ * kMsPerHour;
        if (hourStart > endMs_) return false;
        if (step_ < 0 && startMs_ > hourStart) step_ = (startMs_ - hourStart + interval - 1) / interval - 1;
        ++step_;
        const std::int64_t t = hourStart + step_ * interval;
        if (step_ < steps && t <= endMs_) return true;
        if (t > endMs_) return false;
        ++hour_;
        step_ = -1;
    }
}

int RecordGenerator::nextVersion() { return (sequence_++ % 2) == 0 ? 2 : 1; }

bool RecordGenerator::next(std::vector<std::vector<std::uint8_t>>& records) {
    records.clear();
    if (endSent_) return false;
    if (!advanceToNextStep()) {
        std::vector<std::uint8_t> end;
        appendEndRecord(end, timestampOf(std::max(startMs_, std::min(endMs_, hour_ * kMsPerHour))),
                        kEndCodeRangeDone);
        records.push_back(std::move(end));
        endSent_ = true;
        return true;
    }
    const std::int64_t t = hour_ * kMsPerHour + step_ * std::max(1, options_.recordIntervalMs);
    for (int c = 0; c < kChannelCount; ++c) {
        if (!(mask_ & (1u << c))) continue;
        switch (options_.channels[std::size_t(c)]) {
            case ChannelCoding::H263: makeH263(c, t, records); break;
            case ChannelCoding::Mpeg4: makeMpeg4(c, false, t, step_, records); break;
            case ChannelCoding::Mpeg4Audio: makeMpeg4(c, true, t, step_, records); break;
        }
    }
    return true;
}

std::optional<RecordedPicture> RecordGenerator::recordedPicture(int channel, std::int64_t hour,
                                                                std::int64_t step) {
    ChannelState& state = channels_[channel];
    const bool continuing = state.encoderHour == hour && state.encoderNextStep == step;
    const bool groupStart = step % kRecordedH263KeyInterval == 0;
    const bool privateRun = !groupStart && (state.recordsMade == 0 || (state.privateRun && continuing));
    state.privateRun = false;
    if (!privateRun && cache_ != nullptr)
        if (auto cached = cache_->find(channel, hour, step)) return cached;
    if (!state.h263) state.h263 = std::make_unique<H263Source>(options_.h263Width, options_.h263Height);
    if (!state.h263->available()) return std::nullopt;
    const std::int64_t from = privateRun || continuing || groupStart ? step
                                                                     : step - step % kRecordedH263KeyInterval;
    RecordedPicture picture;
    YuvFrame frame;
    for (std::int64_t j = from; j <= step; ++j) {
        const std::int64_t absoluteMs = hour * kMsPerHour + j * std::max(1, options_.recordIntervalMs);
        SceneView view;
        view.channel = channel + 1;
        const std::int64_t seconds = absoluteMs / 1000;
        view.hour = int((seconds / 3600) % 24);
        view.minute = int((seconds / 60) % 60);
        view.second = int(seconds % 60);
        view.millis = absoluteMs;
        renderScene(view, options_.h263Width, options_.h263Height, frame);
        const bool forceIntra = !continuing && j == from;
        if (!state.h263->encode(frame, forceIntra || j % kRecordedH263KeyInterval == 0, picture.bits,
                                picture.intra)) {
            state.encoderHour = -1;
            return std::nullopt;
        }
        if (!privateRun && cache_ != nullptr) cache_->store(channel, hour, j, picture);
    }
    state.privateRun = privateRun;
    state.encoderHour = hour;
    state.encoderNextStep = step + 1;
    return picture;
}

void RecordGenerator::makeH263(int channel, std::int64_t absoluteMs, std::vector<std::vector<std::uint8_t>>& out) {
    ChannelState& state = channels_[channel];
    const auto picture = recordedPicture(channel, hour_, step_);
    if (!picture) return;
    std::vector<std::uint8_t> payload;
    appendH263Frame(payload, picture->bits, false, 0);
    RecordFields f;
    f.version = nextVersion();
    f.channel = std::uint16_t(channel);
    f.timestampMs = timestampOf(absoluteMs);
    f.flags = (picture->intra ? kFlagKeyFrame : 0) | (state.recordsMade == 0 ? kFlagDiscontinuity : 0);
    f.type = kTypeH263;
    f.sizeCode = sizeCodeFor(options_.h263Width, options_.h263Height);
    std::vector<std::uint8_t> record;
    appendRecord(record, f, payload.data(), payload.size());
    out.push_back(std::move(record));
    ++state.recordsMade;
}

void RecordGenerator::makeMpeg4(int channel, bool withAudio, std::int64_t absoluteMs, std::int64_t stepInHour,
                                std::vector<std::vector<std::uint8_t>>& out) {
    const Mpeg4Clip* clip = clips_.clipFor(channel);
    if (clip == nullptr) return;
    ChannelState& state = channels_[channel];
    const Mpeg4Frame& frame = clip->frames[std::size_t(stepInHour) % clip->frames.size()];
    RecordFields f;
    f.channel = std::uint16_t(channel);
    f.timestampMs = timestampOf(absoluteMs);
    f.sizeCode = sizeCodeFor(clip->width, clip->height);
    const std::uint32_t first = state.recordsMade == 0 ? kFlagDiscontinuity : 0;

    if (withAudio) {
        // The tone of the interval this record covers, continuing the channel's encoder state.
        const int count = std::max(2, options_.recordIntervalMs * kAudioSampleRate / 1000) & ~1;
        std::vector<std::int16_t> samples(static_cast<std::size_t>(count));
        const double frequency = 300.0 + 50.0 * channel;
        const std::int64_t firstSample = (absoluteMs % kMsPerHour) * kAudioSampleRate / 1000;
        for (int i = 0; i < count; ++i)
            samples[std::size_t(i)] = std::int16_t(
                kToneAmplitude * std::sin(kTwoPi * frequency * double(firstSample + i) / kAudioSampleRate));
        const auto adpcm = imaAdpcmEncode(samples.data(), samples.size(), state.adpcm);
        const auto packet = makePesPacket(kAudioStreamId, f.timestampMs, adpcm.data(), adpcm.size());
        f.version = nextVersion();
        f.type = kTypeMpeg4Audio;
        f.flags = first;
        std::vector<std::uint8_t> record;
        appendRecord(record, f, packet.data(), packet.size());
        out.push_back(std::move(record));

        // Video packets carry either frame form; alternate so that both are exercised.
        std::vector<std::uint8_t> data;
        if (stepInHour % 2 == 0) appendMpeg4WithHeader(data, *clip, frame, f.timestampMs);
        else appendMpeg4WithLength(data, frame);
        const auto video = makePesPacket(kVideoStreamId, f.timestampMs, data.data(), data.size());
        f.version = nextVersion();
        f.flags = frame.intra ? kFlagKeyFrame : 0;
        record.clear();
        appendRecord(record, f, video.data(), video.size());
        out.push_back(std::move(record));
    } else {
        std::vector<std::uint8_t> payload;
        appendMpeg4WithLength(payload, frame);
        f.version = nextVersion();
        f.type = kTypeMpeg4;
        f.flags = (frame.intra ? kFlagKeyFrame : 0) | first;
        std::vector<std::uint8_t> record;
        appendRecord(record, f, payload.data(), payload.size());
        out.push_back(std::move(record));
    }
    ++state.recordsMade;
}

}  // namespace vistrel::dvr
