#include "app/media/AudioOutput.h"

#include <QMetaObject>
#include <QtGlobal>
#include <algorithm>
#include <chrono>
#include <cstdlib>

namespace vistrel::media {

namespace {

std::int64_t SteadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

AudioOutput::AudioOutput(std::unique_ptr<AudioDevice> device, Clock clock, QObject* parent)
    : QObject(parent),
      device_(device ? std::move(device) : CreateSystemAudioDevice()),
      clock_(clock ? std::move(clock) : Clock(SteadyMs)) {
    timer_.setInterval(kPumpMs);
    connect(&timer_, &QTimer::timeout, this, &AudioOutput::pump);
}

AudioOutput::~AudioOutput() {
    timer_.stop();
    if (deviceOpen_) device_->Close();
}

void AudioOutput::PlayAudio(const playback::AudioChunk& chunk) {
    if (muted_.load() || dead_.load() || chunk.frames == 0 || chunk.sampleRate <= 0 || chunk.channels <= 0) return;
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (chunk.sampleRate != wantedRate_ || chunk.channels != wantedChannels_ || halted_) {
            if (chunk.sampleRate != wantedRate_ || chunk.channels != wantedChannels_) reopen_ = true;
            wantedRate_ = chunk.sampleRate;
            wantedChannels_ = chunk.channels;
            if (halted_) reopen_ = true;
            halted_ = false;
            timeline_.Reset(wantedRate_, wantedChannels_, 0);
        }
        timeline_.Push(chunk);
        lastChunkTs_ = chunk.recordTs;
        lastChunkAtMs_ = clock_();
        lastChunkMs_ = std::int64_t(chunk.frames) * 1000 / chunk.sampleRate;
    }
    // One queued pump at a time; the player never waits for this object's thread.
    if (!pumpQueued_.exchange(true)) QMetaObject::invokeMethod(this, "pump", Qt::QueuedConnection);
}

void AudioOutput::HaltAudio() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        halted_ = true;
        timeline_.Clear(0);
    }
    if (!pumpQueued_.exchange(true)) QMetaObject::invokeMethod(this, "pump", Qt::QueuedConnection);
}

void AudioOutput::setMuted(bool muted) {
    muted_ = muted;
    if (muted) HaltAudio();
}

void AudioOutput::GiveUp(const QString& reason) {
    if (dead_.exchange(true)) return;
    qInfo("audio: %s; playback goes on without sound", qPrintable(reason));
    if (deviceOpen_) device_->Close();
    deviceOpen_ = false;
    timer_.stop();
    {
        std::lock_guard<std::mutex> guard(lock_);
        timeline_.Clear(0);
        halted_ = true;
    }
    emit unavailable(reason);
}

void AudioOutput::pump() {
    pumpQueued_ = false;
    if (dead_.load()) return;
    std::unique_lock<std::mutex> guard(lock_);
    if (halted_) {
        guard.unlock();
        if (deviceOpen_) device_->Close();
        deviceOpen_ = false;
        timer_.stop();
        return;
    }
    if (reopen_ || !deviceOpen_) {
        reopen_ = false;
        const int rate = wantedRate_, channels = wantedChannels_;
        guard.unlock();
        if (deviceOpen_) device_->Close();
        QString error;
        deviceOpen_ = device_->Open(rate, channels, std::max(1, rate * kDeviceBufferMs / 1000), &error);
        if (!deviceOpen_) {
            GiveUp(error);
            return;
        }
        guard.lock();
        worstOffset_ = 0;
    }
    QString error;
    if (device_->Failed(&error)) {
        guard.unlock();
        GiveUp(error);
        return;
    }
    const std::int64_t room = device_->FramesFree();
    if (room > 0 && timeline_.waitingFrames() > 0) {
        scratch_.resize(std::size_t(room) * std::size_t(std::max(1, wantedChannels_)));
        const std::size_t n = timeline_.Take(scratch_.data(), std::size_t(room));
        device_->Write(scratch_.data(), std::int64_t(n));
    }
    // Where the picture is now (the last record's time, moved on by the time since it was
    // handed over, within that record's length) against the sound the device is playing.
    if (const auto heard = timeline_.TimeAtDeviceFrame(device_->ProcessedFrames())) {
        const std::int64_t since = std::clamp<std::int64_t>(clock_() - lastChunkAtMs_, 0, lastChunkMs_);
        const std::int64_t offset = lastChunkTs_ + since - *heard;
        lastOffset_ = offset;
        if (std::llabs(offset) > worstOffset_.load()) worstOffset_ = std::llabs(offset);
    }
    guard.unlock();
    if (!timer_.isActive()) timer_.start();
}

}  // namespace vistrel::media
