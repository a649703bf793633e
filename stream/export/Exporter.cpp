#include "stream/export/Exporter.h"

#include <cmath>
#include <cstdio>
#include <deque>
#include <memory>
#include <optional>

#include "stream/export/MatroskaWriter.h"
#include "stream/export/StreamTiming.h"
#include "video/h263/H263Decoder.h"
#include "video/mpeg4/PrimingHeaders.h"

namespace vistrel::exporter {

namespace {

// Units read past the first key picture before the tracks are fixed, to learn whether the
// recording has sound (type-14 records carry a sound packet beside every picture).
constexpr int kLookAheadUnits = 8;
// Sound whose time stamps stray further than this from the samples counted so far starts again at
// its own time stamp (a gap in the recording), instead of drifting out of step.
constexpr std::int64_t kAudioResyncMs = 100;
constexpr std::int64_t kDefaultFrameMs = 40;
constexpr int kDefaultWidth = 320;
constexpr int kDefaultHeight = 240;
// Progress is reported when it has moved by this much.
constexpr double kProgressStep = 0.01;

class Export {
public:
    Export(MediaSource& source, const std::string& path, const ExportProgress& progress,
           const std::atomic<bool>& cancel)
        : source_(source), path_(path), progress_(progress), cancel_(cancel) {}

    ExportResult Run();

private:
    bool Read(MediaUnit& unit);  // false at the end, on failure or on cancel (result_ says which)
    bool Prime();
    bool SetUp();
    bool Put(MediaUnit& unit);  // false ends the export (result_ says why)
    bool PutVideo(MediaUnit& unit);
    bool PutAudio(const MediaUnit& unit);
    void Report();

    MediaSource& source_;
    const std::string& path_;
    const ExportProgress& progress_;
    const std::atomic<bool>& cancel_;
    ExportResult result_;
    std::deque<MediaUnit> pending_;
    bool sourceEnded_ = false;
    bool hasAudio_ = false;
    int audioRate_ = 0, audioChannels_ = 0;
    UnitKind videoKind_ = UnitKind::Mpeg4Video;
    std::int64_t originMs_ = 0;
    MatroskaWriter writer_;
    std::unique_ptr<h263::H263Decoder> h263_;
    bool haveVideo_ = false;
    std::int64_t lastVideoMs_ = 0;
    std::int64_t lastStepMs_ = kDefaultFrameMs;
    bool audioStarted_ = false;
    std::int64_t audioStartMs_ = 0;
    std::uint64_t audioSinceStart_ = 0;
    double reported_ = -1.0;
};

bool Export::Read(MediaUnit& unit) {
    if (cancel_.load()) {
        result_.cancelled = true;
        return false;
    }
    if (sourceEnded_) return false;
    const SourceStatus s = source_.Next(unit);
    if (s == SourceStatus::Unit) return true;
    sourceEnded_ = true;
    if (cancel_.load()) result_.cancelled = true;
    else if (s == SourceStatus::Failed)
        result_.error = source_.error().empty() ? "cannot read the recording" : source_.error();
    return false;
}

void Export::Report() {
    if (!progress_) return;
    const double f = source_.Fraction();
    if (f - reported_ >= kProgressStep || (f >= 1.0 && reported_ < 1.0)) {
        reported_ = f;
        progress_(f);
    }
}

// Finds the first key picture; sound before it is dropped, sound at its time kept.
bool Export::Prime() {
    MediaUnit unit;
    for (;;) {
        if (!Read(unit)) {
            if (!result_.cancelled && result_.error.empty()) result_.error = "the recording holds no key picture";
            return false;
        }
        Report();
        if (unit.kind == UnitKind::Audio) {
            hasAudio_ = true;
            pending_.push_back(std::move(unit));
            continue;
        }
        if (!unit.key) continue;
        break;
    }
    originMs_ = unit.timeMs;
    videoKind_ = unit.kind;
    while (!pending_.empty() && pending_.front().timeMs < originMs_) pending_.pop_front();
    pending_.push_back(std::move(unit));
    for (int i = 0; i < kLookAheadUnits; ++i) {
        MediaUnit more;
        if (!Read(more)) break;
        if (more.kind == UnitKind::Audio) hasAudio_ = true;
        pending_.push_back(std::move(more));
    }
    if (result_.cancelled || !result_.error.empty()) return false;
    for (const MediaUnit& u : pending_)
        if (u.kind == UnitKind::Audio) {
            audioRate_ = u.sampleRate;
            audioChannels_ = u.channels;
            break;
        }
    if (audioRate_ <= 0 || audioChannels_ <= 0) hasAudio_ = false;
    return true;
}

bool Export::SetUp() {
    TrackSetup setup;
    const MediaUnit* key = nullptr;
    for (const MediaUnit& u : pending_)
        if (u.kind != UnitKind::Audio) {
            key = &u;
            break;
        }
    if (videoKind_ == UnitKind::Mpeg4Video) {
        setup.video = VideoTrack::Mpeg4Copy;
        const std::size_t headers = Mpeg4HeadersLength(key->data.data(), key->data.size());
        setup.mpeg4Headers.assign(key->data.begin(), key->data.begin() + std::ptrdiff_t(headers));
        if (!FindMpeg4Layer(setup.mpeg4Headers.data(), setup.mpeg4Headers.size())) {
            // Bare planes: the headers our decoder primes itself with describe them.
            const std::uint8_t* priming = mpeg4::PrimingHeaderForWidth(key->widthHint);
            if (!priming) priming = mpeg4::kPrimingHeader320;
            setup.mpeg4Headers.assign(priming, priming + mpeg4::kPrimingHeaderSize);
        }
        const auto layer = FindMpeg4Layer(setup.mpeg4Headers.data(), setup.mpeg4Headers.size());
        setup.width = layer && layer->width > 0 ? layer->width : kDefaultWidth;
        setup.height = layer && layer->height > 0 ? layer->height : kDefaultHeight;
        result_.videoCodec = "mpeg4";
    } else {
        h263_ = h263::H263Decoder::Create();
        if (!h263_ || !h263_->Attach(nullptr)) {
            result_.error = "cannot create the H.263 decoder";
            return false;
        }
        h263_->SetSuppressDisplay(true);
        // The size comes from the key picture itself; decoding it again below would repeat it.
        auto sizer = h263::H263Decoder::Create();
        if (!sizer || !sizer->Attach(nullptr)) {
            result_.error = "cannot create the H.263 decoder";
            return false;
        }
        sizer->SetSuppressDisplay(true);
        sizer->Feed(key->data.data(), key->data.size(), 1);
        const YuvPicture* picture = sizer->picturesDecoded() > 0 ? sizer->CurrentPicture() : nullptr;
        if (!picture) {
            result_.error = "the first key picture cannot be decoded";
            return false;
        }
        setup.width = picture->width();
        setup.height = picture->height();
        setup.video = VideoTrack::Ffv1;
        result_.videoCodec = "ffv1";
    }
    setup.audio = hasAudio_;
    setup.audioRate = audioRate_;
    setup.audioChannels = audioChannels_;
    result_.width = setup.width;
    result_.height = setup.height;
    if (!writer_.Open(path_, setup)) {
        result_.error = writer_.error();
        return false;
    }
    return true;
}

bool Export::PutVideo(MediaUnit& unit) {
    if (unit.kind != videoKind_) {
        result_.note = "the recording changes its coding here; the export ends at that point";
        return false;
    }
    std::int64_t t = unit.timeMs - originMs_;
    if (haveVideo_ && t <= lastVideoMs_)
        t = lastVideoMs_ + 1;  // arrival order wins over a clock that stepped back
    if (videoKind_ == UnitKind::Mpeg4Video) {
        if (!writer_.WriteMpeg4(unit.data.data(), unit.data.size(), t, unit.key)) {
            result_.error = writer_.error();
            return false;
        }
    } else {
        const std::uint64_t before = h263_->picturesDecoded();
        h263_->Feed(unit.data.data(), unit.data.size(), 1);
        if (h263_->picturesDecoded() == before) return true;  // a damaged picture: nothing to store
        const YuvPicture* picture = h263_->CurrentPicture();
        if (!picture) return true;
        if (picture->width() != result_.width || picture->height() != result_.height) {
            result_.note = "the picture size changes here; the export ends at that point";
            return false;
        }
        if (!writer_.WritePicture(*picture, t)) {
            result_.error = writer_.error();
            return false;
        }
    }
    if (haveVideo_) lastStepMs_ = t - lastVideoMs_;
    haveVideo_ = true;
    lastVideoMs_ = t;
    return true;
}

bool Export::PutAudio(const MediaUnit& unit) {
    if (!hasAudio_ || unit.sampleRate != audioRate_ || unit.channels != audioChannels_) return true;
    const std::size_t frames = unit.samples.size() / std::size_t(audioChannels_);
    const std::int64_t stamped = unit.timeMs - originMs_;
    if (stamped < 0) return true;
    std::int64_t expected = audioStartMs_ + std::int64_t(audioSinceStart_ * 1000 / std::uint64_t(audioRate_));
    if (!audioStarted_ || std::llabs(stamped - expected) > kAudioResyncMs) {
        audioStarted_ = true;
        audioStartMs_ = stamped;
        audioSinceStart_ = 0;
        expected = stamped;
    }
    if (!writer_.WriteAudio(unit.samples.data(), frames, expected)) {
        result_.error = writer_.error();
        return false;
    }
    audioSinceStart_ += frames;
    result_.audioSamples += frames;
    return true;
}

bool Export::Put(MediaUnit& unit) {
    Report();
    return unit.kind == UnitKind::Audio ? PutAudio(unit) : PutVideo(unit);
}

ExportResult Export::Run() {
    if (!Prime() || !SetUp()) {
        std::remove(path_.c_str());
        return result_;
    }
    bool going = true;
    while (going && !pending_.empty()) {
        going = Put(pending_.front());
        pending_.pop_front();
    }
    MediaUnit unit;
    while (going && Read(unit)) going = Put(unit);
    const bool finished = writer_.Finish(lastStepMs_ > 0 ? lastStepMs_ : kDefaultFrameMs);
    if (!finished && result_.error.empty()) result_.error = writer_.error();
    result_.videoFrames = writer_.videoFrames();
    result_.durationMs = haveVideo_ ? lastVideoMs_ + lastStepMs_ : 0;
    if (result_.cancelled || !result_.error.empty()) {
        std::remove(path_.c_str());
        return result_;
    }
    if (progress_ && reported_ < 1.0) progress_(1.0);
    result_.ok = true;
    return result_;
}

}  // namespace

ExportResult RunExport(MediaSource& source, const std::string& path, const ExportProgress& progress,
                       const std::atomic<bool>& cancel) {
    Export e(source, path, progress, cancel);
    return e.Run();
}

}  // namespace vistrel::exporter
