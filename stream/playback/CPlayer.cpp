#include "stream/playback/CPlayer.h"

#include <cstdio>
#include <cstring>
#include <exception>

#include "stream/playback/AudioPacket.h"
#include "stream/playback/RecordReader.h"

namespace vistrel::playback {

namespace {

constexpr int kWidthSmall = 320, kHeightSmall = 240;
constexpr int kWidthLarge = 640, kHeightLarge = 480;
// While a hand-off waits for the thread, it looks this often whether the thread is still there.
constexpr std::uint32_t kAckSliceMs = 100;

void DrawNothing(WindowHandle, std::uintptr_t) {}

bool IsChannelOnlyType(int type) { return type == 4 || type == 11 || type == 12; }

}  // namespace

CPlayer::CPlayer(DecoderFactory factory, PlaybackClock& clock)
    : clock_(clock), factory_(std::move(factory)), conversionBuffer_(new std::uint8_t[kConversionBufferSize]) {
    decoderCode_.fill(-1);
    for (auto& e : queue_) e.buffer.Replace(kQueueEntrySize);
}

CPlayer::~CPlayer() {
    Stop(true);
    DeleteDecoders();
}

bool CPlayer::OnPlayerThread() const { return threadId_.load() == std::this_thread::get_id(); }

bool CPlayer::IsRunning() const { return running_.load(); }

bool CPlayer::Start(PlaybackRing* ring, int channel, WindowHandle notifyWindow, ProgressFunction progress,
                    void* progressContext) {
    if (!ring || channel < 0 || channel >= kChannelCount || OnPlayerThread()) return false;
    if (thread_.joinable()) Stop(true);
    if (thread_.joinable()) return false;  // the old thread missed its deadline and still runs

    requestedChannel_ = channel;
    currentChannel_ = channel;
    channelEnabled_.fill(false);
    channelEnabled_[std::size_t(channel)] = true;
    notifyWindow_ = notifyWindow;
    pendingCommand_ = kCommandNone;
    command_ = kCommandPause;
    ring_ = ring;
    for (auto& d : decoder_)
        if (d) d->ResetPicture();
    progressContext_ = progressContext;
    progressFunction_ = progress;
    ClearBase();
    requestedSpeed_ = kSpeed1X;
    speed_ = kSpeed1X;
    position_ = 0;
    lastProgressTick_ = 0;
    channelNotified_.fill(false);
    callbacksEnabled_ = true;
    endCode_ = 0;
    endRecordSeen_ = false;
    waitForKey_.fill(true);
    previousTs_ = 0;
    interval_ = 0;
    queueCount_ = 0;
    recordCounter_ = 0;
    interrupt_ = 0;
    stop_ = 0;
    threadDone_.reset();
    running_ = true;
    try {
        thread_ = std::thread([this] { ThreadMain(); });
    } catch (...) {
        running_ = false;
        return false;
    }
    return true;
}

void CPlayer::Stop(bool wait) {
    if (!thread_.joinable()) return;
    progressFunction_ = nullptr;
    stop_ = 1;
    interrupt_ = 1;
    HaltAudio();
    if (OnPlayerThread() || !wait) return;
    if (threadDone_.wait(kStopWaitMs)) {
        thread_.join();
    } else {
        std::fprintf(stderr, "playback: player thread did not end within %u ms; left running\n",
                     unsigned(kStopWaitMs));
        thread_.detach();
    }
    threadId_ = std::thread::id();
}

void CPlayer::Pause() { HandOff(kCommandPause); }

void CPlayer::Play() { HandOff(kCommandPlay); }

void CPlayer::Step() { HandOff(kCommandStep); }

void CPlayer::HandOff(int command) {
    if (!IsRunning()) return;
    if (OnPlayerThread()) {
        // A report callback steering the player: nobody else could take the hand-off.
        command_ = command;
        return;
    }
    if (command != kCommandPause && command_.load() != kCommandPause) HandOff(kCommandPause);
    std::lock_guard<std::mutex> guard(commandLock_);
    callbacksEnabled_ = false;
    commandAck_.reset();
    interrupt_ = command == kCommandPause ? 1 : 0;
    pendingCommand_ = command;
    // The thread takes it within one pass; stop waiting only if the thread has gone.
    while (!commandAck_.wait(kAckSliceMs))
        if (!IsRunning()) break;
    callbacksEnabled_ = true;
}

void CPlayer::SetRequestedChannel(int channel) {
    if (channel >= 0 && channel < kChannelCount) requestedChannel_ = channel;
}

void CPlayer::SetRequestedSpeed(int code) { requestedSpeed_.exchange(code); }

void CPlayer::SetFullScreen(int on) {
    std::lock_guard<std::mutex> guard(decoderLock_);
    for (auto& d : decoder_)
        if (d) d->SetFullScreen(on);
}

bool CPlayer::CaptureBitmap(int channel, std::uint8_t** buffer, std::size_t* size) {
    if (channel < 0 || channel >= kChannelCount) return false;
    std::lock_guard<std::mutex> guard(decoderLock_);
    auto& d = decoder_[std::size_t(channel)];
    return d && d->CaptureBitmap(buffer, size);
}

void CPlayer::SetAudioSink(AudioSink* sink) {
    std::lock_guard<std::mutex> guard(audioLock_);
    if (audioSink_ && audioFlowing_ && sink != audioSink_) audioSink_->HaltAudio();
    audioSink_ = sink;
    audioFlowing_ = false;
}

void CPlayer::HaltAudio() {
    std::lock_guard<std::mutex> guard(audioLock_);
    if (audioSink_ && audioFlowing_) audioSink_->HaltAudio();
    audioFlowing_ = false;
}

void CPlayer::PassAudio(int channel, const RecordBuffer& record, bool audible) {
    std::size_t offset = 0, count = 0;
    if (!FindAudioPacketData(record.payload(), record.payloadLength(), &offset, &count)) return;
    soundSamples_.clear();
    DecodeAdpcmBytes(record.payload() + offset, count, soundState_[std::size_t(channel)], soundSamples_);
    if (!audible) return;
    std::lock_guard<std::mutex> guard(audioLock_);
    if (!audioSink_) return;
    AudioChunk chunk;
    chunk.samples = soundSamples_.data();
    chunk.frames = soundSamples_.size() / kDvrAudioChannels;
    chunk.sampleRate = kDvrAudioSampleRate;
    chunk.channels = kDvrAudioChannels;
    chunk.recordTs = record.header().timeStamp();
    audioSink_->PlayAudio(chunk);
    audioFlowing_ = true;
}

void CPlayer::Report(int kind, int value) {
    if (!callbacksEnabled_.load()) return;
    if (ProgressFunction f = progressFunction_.load()) f(kind, value, progressContext_);
}

void CPlayer::ClearBase() {
    hasBase_ = false;
    hasStart_ = false;
    baseTs_ = baseTick_ = startTs_ = startTick_ = 0;
}

void CPlayer::SwitchChannel(int channel) {
    channelEnabled_.fill(false);
    channelEnabled_[std::size_t(channel)] = true;
    waitForKey_[std::size_t(channel)] = true;
    currentChannel_ = channel;
    ClearBase();
}

void CPlayer::DeleteDecoders() {
    std::lock_guard<std::mutex> guard(decoderLock_);
    for (auto& d : decoder_) d.reset();
    decoderCode_.fill(-1);
}

void CPlayer::ThreadMain() {
    threadId_ = std::this_thread::get_id();
    try {
        RunLoop();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "playback: player thread ended: %s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "playback: player thread ended by an unknown failure\n");
    }
    DeleteDecoders();
    HaltAudio();
    running_ = false;
    threadDone_.set();
}

void CPlayer::RunLoop() {
    while (stop_.load() == 0) {
        const int wantedSpeed = requestedSpeed_.load();
        if (wantedSpeed != speed_) {
            speed_ = wantedSpeed;
            ClearBase();
            if (speed_ != kSpeed1X) HaltAudio();
        }
        const int pending = pendingCommand_.load();
        if (pending != kCommandNone) {
            ClearBase();
            command_ = pending;
            pendingCommand_ = kCommandNone;
            if (pending != kCommandPlay) HaltAudio();
            // The commander waits for nothing of ours once it has the acknowledgement, so reports
            // may flow again; left off until it wakes, a short play would lose even its end report.
            callbacksEnabled_ = true;
            commandAck_.set();
        }
        const int wantedChannel = requestedChannel_.load();
        if (wantedChannel != currentChannel_) SwitchChannel(wantedChannel);

        switch (command_.load()) {
            case kCommandPause:
                // Sliced so that a command or a stop is taken at once rather than after 500 ms.
                for (std::uint32_t slept = 0;
                     slept < kPauseSleepMs && stop_.load() == 0 && pendingCommand_.load() == kCommandNone;
                     slept += kWaitSliceMs)
                    clock_.Sleep(kWaitSliceMs);
                break;
            case kCommandPlay:
                if (!ProcessRecord(true)) {
                    HaltAudio();
                    Report(kProgressPlayEnd, (endCode_ << 16) | (endRecordSeen_ ? 1 : 0));
                    command_ = kCommandPause;
                }
                break;
            case kCommandStep: {
                // Records of other channels and pictures before a key frame show nothing; a step
                // goes on to the next record it can show, unless a command or the end comes first.
                bool presented = false;
                while (ProcessRecord(false, &presented) && !presented && stop_.load() == 0 &&
                       pendingCommand_.load() == kCommandNone) {
                }
                command_ = kCommandPause;
                break;
            }
            default: clock_.Sleep(kIdleSleepMs); break;
        }
    }
}

CPlayer::Fill CPlayer::FillQueue() {
    const std::uint32_t began = clock_.Now();
    const std::atomic<std::uint32_t>* flags[] = {&stop_, &interrupt_};
    while (stop_.load() == 0 && queueCount_ < kQueueLength) {
        if (clock_.Now() - began >= kFillLimitMs && queueCount_ > 1) break;
        if (!ReadRecord(*ring_, recordBuffer_, flags))
            return interrupt_.load() != 0 ? Fill::MoreToCome : Fill::DataEnded;
        const RecordHeaderView h = recordBuffer_.header();
        if (h.isEndRecord()) {
            endRecordSeen_ = true;
            endCode_ = h.endCode();
            return Fill::DataEnded;
        }
        const int ch = h.channel();
        if (ch >= kChannelCount) continue;
        if (IsChannelOnlyType(h.type()) && !channelEnabled_[std::size_t(ch)]) continue;
        QueueEntry& entry = queue_[std::size_t(queueCount_)];
        const std::size_t length = recordBuffer_.length();
        if (entry.buffer.capacity() < length &&
            !entry.buffer.Replace((length / kQueueGrowStep + 1) * kQueueGrowStep))
            continue;
        std::memcpy(entry.buffer.data(), recordBuffer_.data(), length);
        entry.length = length;
        ++queueCount_;
    }
    return stop_.load() != 0 ? Fill::DataEnded : Fill::MoreToCome;
}

void CPlayer::RotateQueue() {
    for (int i = 1; i < queueCount_; ++i) queue_[std::size_t(i - 1)].buffer.swap(queue_[std::size_t(i)].buffer);
    for (int i = 1; i < queueCount_; ++i) queue_[std::size_t(i - 1)].length = queue_[std::size_t(i)].length;
    --queueCount_;
}

bool CPlayer::ReplaceDecoder(int channel, int type, int sizeCode) {
    const std::size_t ch = std::size_t(channel);
    {
        std::lock_guard<std::mutex> guard(decoderLock_);
        decoder_[ch].reset();
        decoderCode_[ch] = -1;
    }
    if (type != kTypeH263 && type != kTypeMpeg4 && type != kTypeMpeg4Audio) return false;
    std::unique_ptr<PIDecoder> d = factory_ ? factory_(type) : nullptr;
    if (!d) return false;
    const bool small = sizeCode == kSizeCode320x240;
    if (!d->Open(small ? kWidthSmall : kWidthLarge, small ? kHeightSmall : kHeightLarge, notifyWindow_, 0))
        return false;
    d->SetDrawCallback(DrawNothing, 0);
    if (type == kTypeMpeg4Audio && !audioConverter_[ch]) {
        audioConverter_[ch] = CreatePacketChunkConverter();
        if (!audioConverter_[ch]) return false;
    }
    std::lock_guard<std::mutex> guard(decoderLock_);
    decoder_[ch] = std::move(d);
    decoderCode_[ch] = type | (sizeCode << 16);
    return true;
}

bool CPlayer::ProcessRecord(bool play, bool* presented) {
    if (presented) *presented = false;
    const Fill fill = FillQueue();
    if (queueCount_ == 0) {
        if (fill == Fill::DataEnded) {
            Report(kProgressPosition, position_.load());
            return false;
        }
        return true;  // interrupted before anything arrived: nothing to show yet
    }
    RecordBuffer& record = queue_[0].buffer;
    const RecordHeaderView h = record.header();
    const int ch = h.channel();
    const std::uint32_t ts = h.timeStamp();
    const int type = h.type();

    const std::uint32_t d = ts - previousTs_;
    bool discontinuity = false;
    if (d >= kMinInterval && d <= kMaxInterval) interval_ = d;
    else discontinuity = (h.flags() & kFlagDiscontinuity) != 0;
    previousTs_ = ts;

    if (play) {
        const std::uint32_t now = clock_.Now();
        if (!hasStart_) {
            hasStart_ = true;
            startTs_ = ts;
            startTick_ = now;
        }
        if (recordCounter_ % kRebaseEveryRecords == 0 || !hasBase_) {
            hasBase_ = true;
            baseTs_ = ts;
            baseTick_ = now;
        }
        ++recordCounter_;
    }

    if (channelEnabled_[std::size_t(ch)] && type != kTypeSkipped) {
        const std::size_t c = std::size_t(ch);
        const int code = type | (h.sizeCode() << 16);
        bool usable = true;
        if (code != decoderCode_[c]) usable = ReplaceDecoder(ch, type, h.sizeCode());
        if (!usable || !decoder_[c]) {
            // Drop it so that Play after the stop goes on with the records behind it.
            RotateQueue();
            return false;
        }
        bool present = true;
        if (waitForKey_[c]) {
            if (h.flags() & kFlagKeyFrame) waitForKey_[c] = false;
            else present = false;
        }
        if (present) {
            if (play && !Pace(ts, discontinuity)) return false;
            bool decodable = true;
            // Audio packets travel to the decoder too but are no pictures to count.
            const bool picture = type != kTypeMpeg4Audio ||
                                 (record.payloadLength() > 3 && (record.payload()[3] & 0xF0) == 0xE0);
            // Sound is heard in real time only; its decoding state moves on at every speed so that
            // it is right again when 1X comes back.
            if (type == kTypeMpeg4Audio && !picture)
                PassAudio(ch, record, play && speed_ == kSpeed1X && pendingCommand_.load() == kCommandNone);
            if (type == kTypeMpeg4Audio)
                decodable = ConvertRecord(audioConverter_[c].get(), record, conversionBuffer_.get(),
                                          kConversionBufferSize);
            if (decodable) {
                if (decoder_[c]->Decode(record.payload(), record.payloadLength(), true, -1) && picture)
                    ++decodedCount_;
                const std::uint32_t now = clock_.Now();
                if (!channelNotified_[c] || now - channelNotifyTick_[c] >= kReportEveryMs) {
                    channelNotified_[c] = true;
                    channelNotifyTick_[c] = now;
                    Report(kProgressChannel, ch);
                }
                position_ = int(ts);
                if (presented) *presented = true;
            }
        }
    }

    const std::uint32_t now = clock_.Now();
    if (!play || now - lastProgressTick_ > kReportEveryMs) {
        lastProgressTick_ = now;
        Report(kProgressPosition, position_.load());
    }
    RotateQueue();
    return true;
}

bool CPlayer::Pace(std::uint32_t ts, bool discontinuity) {
    const std::int64_t s = speed_;
    const std::int64_t magnitude = s < 0 ? -s : s;
    std::int64_t w = 0;
    const std::uint32_t now = clock_.Now();
    if (s == 0) {
        w = 0;
    } else if (discontinuity) {
        const std::int64_t i = interval_ != 0 ? interval_ : kDefaultInterval;
        w = s > 0 ? i / s : magnitude * i;
    } else if (hasBase_ && ts == baseTs_) {
        const std::int64_t sinceStart = std::uint32_t(ts - startTs_);
        const std::int64_t baseLag = std::uint32_t(baseTick_ - startTick_);
        w = s > 0 ? sinceStart / s - baseLag : magnitude * sinceStart - baseLag;
    } else {
        const std::int64_t sinceBase = std::uint32_t(ts - baseTs_);
        const std::int64_t elapsed = std::uint32_t(now - baseTick_);
        w = s > 0 ? sinceBase / s - elapsed : magnitude * sinceBase + 1 - elapsed;
    }

    // A jump in the time stamps (a gap in the recording, or a step backwards, which wraps to a huge
    // distance) re-bases instead of waiting it out; at slowed speeds as well, where the wait would
    // otherwise be the gap multiplied.
    const bool jump = s > 0 ? w > kRebaseWaitMs : (s < 0 && w > kRebaseWaitMs * magnitude);
    if (jump) {
        ClearBase();
        return true;
    }
    if (w > kSlicedWaitMs) {
        const std::int64_t startPosition = position_.load();
        const std::uint32_t began = clock_.Now();
        std::uint32_t lastReport = began;
        for (;;) {
            const std::uint32_t elapsed = clock_.Now() - began;
            if (std::int64_t(elapsed) >= w || stop_.load() != 0 || pendingCommand_.load() != kCommandNone ||
                requestedSpeed_.load() != speed_)
                break;
            clock_.Sleep(kWaitSliceMs);
            const std::uint32_t t = clock_.Now();
            const std::int64_t e = std::uint32_t(t - began);
            position_ = int(startPosition + (s > 0 ? e * s : e / magnitude));
            if (t - lastReport >= kReportEveryMs) {
                lastReport = t;
                Report(kProgressPosition, position_.load());
            }
        }
        if (stop_.load() != 0) return false;
    } else if (w >= kShortestSleepMs) {
        clock_.Sleep(std::uint32_t(w));
    }
    if (hasBase_ && ts == baseTs_ && w >= 0) baseTick_ = clock_.Now();
    return true;
}

}  // namespace vistrel::playback
