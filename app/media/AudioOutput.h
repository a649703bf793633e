#pragma once
// The sound of a playback: takes the player's 1X sound (an AudioSink, called on the player
// thread) and plays it on the audio device from the thread this object lives on (the GUI thread
// in the window), in step with the pictures; Mute silences it. Without a device, or when the
// device fails, it stays silent and says so in one log line; the player never notices.

#include <QObject>
#include <QString>
#include <QTimer>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "app/media/AudioDevice.h"
#include "app/media/AudioTimeline.h"
#include "stream/playback/AudioSink.h"

namespace vistrel::media {

class AudioOutput : public QObject, public playback::AudioSink {
    Q_OBJECT
public:
    // Sound further behind its picture than this is dropped rather than played late.
    static constexpr std::int64_t kLateMs = 30;
    // What the device holds: small, because all of it is lag behind the picture.
    static constexpr int kDeviceBufferMs = 40;
    static constexpr int kPumpMs = 10;

    using Clock = std::function<std::int64_t()>;  // milliseconds, steady

    // Null device: the system's default output. Null clock: the steady clock.
    explicit AudioOutput(std::unique_ptr<AudioDevice> device = nullptr, Clock clock = nullptr,
                         QObject* parent = nullptr);
    ~AudioOutput() override;

    // AudioSink, from the player's thread: copies and returns at once.
    void PlayAudio(const playback::AudioChunk& chunk) override;
    void HaltAudio() override;

    // On this object's thread.
    void setMuted(bool muted);
    bool muted() const { return muted_.load(); }
    // False once the device is known to be missing or broken (sound stays off until restart).
    bool available() const { return !dead_.load(); }
    // Record time of the picture minus record time of the sound being played, as last measured
    // (ms), and the largest size of it since the sound last started; for checks and the status line.
    std::int64_t lastOffsetMs() const { return lastOffset_.load(); }
    std::int64_t worstOffsetMs() const { return worstOffset_.load(); }

public slots:
    // Moves sound to the device; runs by itself while there is sound to play.
    void pump();

signals:
    // Once, when the device turns out missing or broken.
    void unavailable(const QString& reason);

private:
    void GiveUp(const QString& reason);  // this object's thread

    std::unique_ptr<AudioDevice> device_;  // this object's thread only
    Clock clock_;
    QTimer timer_;

    std::mutex lock_;  // guards everything down to lastChunkAtMs_
    AudioTimeline timeline_{kLateMs};
    int wantedRate_ = 0, wantedChannels_ = 0;  // format of the sound handed over
    bool reopen_ = false;                      // the device must be (re)opened for the wanted format
    bool halted_ = true;                       // no sound flows; the device is to be closed
    std::int64_t lastChunkTs_ = 0;
    std::int64_t lastChunkAtMs_ = 0;
    std::int64_t lastChunkMs_ = 0;  // length of the last chunk

    bool deviceOpen_ = false;            // this object's thread
    std::vector<std::int16_t> scratch_;  // this object's thread
    std::atomic<bool> muted_{false};
    std::atomic<bool> dead_{false};
    std::atomic<bool> pumpQueued_{false};
    std::atomic<std::int64_t> lastOffset_{0};
    std::atomic<std::int64_t> worstOffset_{0};
};

}  // namespace vistrel::media
