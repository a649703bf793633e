#include "stream/export/PlaybackRangeSource.h"

#include <chrono>
#include <thread>

#include "stream/export/StreamTiming.h"
#include "stream/playback/AudioPacket.h"
#include "stream/playback/RecordFormat.h"
#include "stream/playback/RecordReader.h"
#include "video/frame/FrameHeader.h"
#include "video/h263/H263Framing.h"
#include "video/mpeg4/Mpeg4Framing.h"

namespace vistrel::exporter {

namespace {

constexpr int kWidthSmall = 320;
constexpr int kWidthLarge = 640;

// The MPEG-4 data of a frame in either of the recorder's forms (18-byte header or 32-bit length).
bool TakeMpeg4Frame(const std::uint8_t* data, std::size_t size, MediaUnit& unit) {
    mpeg4::FrameSpan span;
    if (mpeg4::FindFrame(data, size, &span) != mpeg4::FrameSearch::Found) return false;
    if (span.start + span.payloadOffset + span.payloadLength > size) return false;
    const std::uint8_t* p = data + span.start + span.payloadOffset;
    unit.data.assign(p, p + span.payloadLength);
    return true;
}

bool Mpeg4Intra(const std::vector<std::uint8_t>& d) {
    const std::size_t at = Mpeg4HeadersLength(d.data(), d.size());
    return at + 4 < d.size() && (d[at + 4] >> 6) == 0;
}

}  // namespace

PlaybackRangeSource::PlaybackRangeSource(std::string url, std::string user, std::string password, int channel,
                                         std::int64_t rangeMs)
    : url_(std::move(url)),
      user_(std::move(user)),
      password_(std::move(password)),
      channel_(channel),
      rangeMs_(rangeMs),
      ring_(std::make_unique<playback::PlaybackRing>()) {}

PlaybackRangeSource::~PlaybackRangeSource() {
    if (request_) http::CloseStreamRequest(request_, true);
}

bool PlaybackRangeSource::Start() {
    request_ = http::OpenStreamRequest(url_.c_str(), user_.c_str(), password_.c_str(), &OnData, this);
    if (!request_) error_ = "cannot start the playback request";
    return request_ != nullptr;
}

int PlaybackRangeSource::OnData(int, const std::uint8_t* data, std::uint32_t length, void* context,
                                const std::atomic<int>* abortFlag) {
    auto* self = static_cast<PlaybackRangeSource*>(context);
    if (length == 0 || data == nullptr) {
        self->ring_->SetEndOfStream();
        return 0;
    }
    while (self->ring_->Free() < length) {
        if ((abortFlag && abortFlag->load() != 0) || self->stop_.load() != 0) return 0;
        std::this_thread::sleep_for(std::chrono::milliseconds(kRingFullPollMs));
    }
    self->ring_->Write(data, length);
    return 1;
}

double PlaybackRangeSource::Fraction() const {
    if (rangeMs_ <= 0) return 0.0;
    const double f = double(reachedMs_.load()) / double(rangeMs_);
    return f < 0 ? 0 : (f > 1 ? 1 : f);
}

bool PlaybackRangeSource::Convert(MediaUnit& unit) {
    const playback::RecordHeaderView h = record_.header();
    const std::uint8_t* payload = record_.payload();
    const std::size_t length = h.payloadLength();
    unit = MediaUnit{};
    unit.widthHint = h.sizeCode() == playback::kSizeCode320x240 ? kWidthSmall : kWidthLarge;
    switch (h.type()) {
        case playback::kTypeH263: {
            unit.kind = UnitKind::H263Video;
            unit.data.assign(payload, payload + length);
            std::size_t offset = 0;
            unit.key = h263::H263IsIntraFrame(payload, length, &offset);
            return true;
        }
        case playback::kTypeMpeg4:
            unit.kind = UnitKind::Mpeg4Video;
            if (!TakeMpeg4Frame(payload, length, unit)) return false;
            unit.key = Mpeg4Intra(unit.data);
            return true;
        case playback::kTypeMpeg4Audio: {
            std::size_t offset = 0, count = 0;
            if (playback::FindAudioPacketData(payload, length, &offset, &count)) {
                unit.kind = UnitKind::Audio;
                unit.sampleRate = playback::kDvrAudioSampleRate;
                unit.channels = playback::kDvrAudioChannels;
                playback::DecodeAdpcmBytes(payload + offset, count, adpcm_, unit.samples);
                return !unit.samples.empty();
            }
            if (!playback::FindVideoPacketData(payload, length, &offset, &count)) return false;
            unit.kind = UnitKind::Mpeg4Video;
            if (!TakeMpeg4Frame(payload + offset, count, unit)) return false;
            unit.key = Mpeg4Intra(unit.data);
            return true;
        }
        default: return false;
    }
}

SourceStatus PlaybackRangeSource::Next(MediaUnit& unit) {
    const std::atomic<std::uint32_t>* flags[] = {&stop_};
    for (;;) {
        if (!playback::ReadRecord(*ring_, record_, flags)) {
            if (stop_.load() != 0) {
                error_ = "interrupted";
                return SourceStatus::Failed;
            }
            return SourceStatus::End;
        }
        const playback::RecordHeaderView h = record_.header();
        if (h.isEndRecord()) return SourceStatus::End;
        if (h.channel() != channel_) continue;
        const std::uint32_t ts = h.timeStamp();
        if (!haveFirst_) {
            haveFirst_ = true;
            firstTs_ = ts;
        }
        const std::int64_t since = std::int64_t(std::uint32_t(ts - firstTs_));
        if (rangeMs_ > 0 && since >= rangeMs_) return SourceStatus::End;
        reachedMs_ = since;
        if (!Convert(unit)) continue;
        unit.timeMs = since;
        return SourceStatus::Unit;
    }
}

}  // namespace vistrel::exporter
