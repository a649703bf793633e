#pragma once
// The playback player: a thread that queues records from the playback ring, paces them by their
// time stamps at the chosen speed and hands them to one playback decoder per channel.

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/Event.h"
#include "platform/WindowHandle.h"
#include "stream/playback/AudioSink.h"
#include "stream/playback/IPlayProgress.h"
#include "stream/playback/ImaAdpcm.h"
#include "stream/playback/PacketChunkConverter.h"
#include "stream/playback/PlaybackClock.h"
#include "stream/playback/PlaybackDecoderFactory.h"
#include "stream/playback/PlaybackRing.h"
#include "stream/playback/PlaybackSpeed.h"
#include "stream/playback/RecordBuffer.h"
#include "stream/playback/RecordFormat.h"

namespace vistrel::playback {

class CPlayer : public IPlayProgress {
public:
    static constexpr int kQueueLength = 45;
    static constexpr std::size_t kQueueEntrySize = 51200;
    static constexpr std::size_t kQueueGrowStep = 8192;
    static constexpr std::uint32_t kFillLimitMs = 3000;
    static constexpr std::uint32_t kStopWaitMs = 15000;
    static constexpr std::uint32_t kPauseSleepMs = 500;
    static constexpr std::uint32_t kIdleSleepMs = 100;
    static constexpr std::uint32_t kWaitSliceMs = 10;
    static constexpr std::uint32_t kReportEveryMs = 200;
    static constexpr std::int64_t kRebaseWaitMs = 2000;
    static constexpr std::int64_t kSlicedWaitMs = 400;
    static constexpr std::int64_t kShortestSleepMs = 10;
    static constexpr std::uint32_t kMinInterval = 30;
    static constexpr std::uint32_t kMaxInterval = 500;
    static constexpr std::uint32_t kDefaultInterval = 100;
    static constexpr std::uint32_t kRebaseEveryRecords = 60;

    // The clock and the factory must outlive the player.
    explicit CPlayer(DecoderFactory factory, PlaybackClock& clock = SystemPlaybackClock());
    ~CPlayer() override;
    CPlayer(const CPlayer&) = delete;
    CPlayer& operator=(const CPlayer&) = delete;

    // Starts the thread with command Pause on `channel` (0..15). The ring must outlive the thread.
    bool Start(PlaybackRing* ring, int channel, WindowHandle notifyWindow, ProgressFunction progress,
               void* progressContext);
    // No more reports once called; with wait, returns when the thread has ended (or missed the
    // 15 s deadline, which is reported).
    void Stop(bool wait);
    // Hand a command to the thread and wait until it has taken it. Pause also breaks a blocking
    // read. Nothing happens while the thread does not run.
    void Pause();
    void Play();
    void Step();
    bool IsRunning() const;

    // Taken by the thread at its next pass (channel switch / re-based pacing).
    void SetRequestedChannel(int channel);
    void SetRequestedSpeed(int code);
    void SetFullScreen(int on);

    int GetPlayPosition() override { return position_.load(); }

    // Snapshot of the channel's decoder (see PIDecoder::CaptureBitmap); false without one.
    bool CaptureBitmap(int channel, std::uint8_t** buffer, std::size_t* size);
    // Video records whose decoding reported a decoded frame, since construction.
    std::uint64_t DecodedCount() const { return decodedCount_.load(); }
    int CurrentCommand() const { return command_.load(); }

    // The sink that gets the sound of type-14 records while playing at 1X (null: none). May be
    // changed at any time; once this returns the old sink is no longer called.
    void SetAudioSink(AudioSink* sink);

private:
    struct QueueEntry {
        RecordBuffer buffer;
        std::size_t length = 0;
    };
    enum class Fill { MoreToCome, DataEnded };

    void ThreadMain();
    void RunLoop();
    void HandOff(int command);
    void Report(int kind, int value);
    Fill FillQueue();
    // `presented` (optional) tells whether the record reached a decoder.
    bool ProcessRecord(bool play, bool* presented = nullptr);
    bool ReplaceDecoder(int channel, int type, int sizeCode);
    // False when stop was raised during the wait.
    bool Pace(std::uint32_t ts, bool discontinuity);
    void SwitchChannel(int channel);
    void ClearBase();
    void RotateQueue();
    void DeleteDecoders();
    bool OnPlayerThread() const;
    // Decodes the record's sound (the channel's ADPCM state always moves on) and hands it to the
    // sink when `audible`.
    void PassAudio(int channel, const RecordBuffer& record, bool audible);
    void HaltAudio();

    PlaybackClock& clock_;
    DecoderFactory factory_;

    std::thread thread_;  // started and joined by the controlling thread
    std::atomic<std::thread::id> threadId_{};
    std::atomic<bool> running_{false};  // set by Start, cleared by the thread as it ends
    platform::Event threadDone_{platform::Event::Reset::Manual};
    std::atomic<std::uint32_t> stop_{0};
    std::atomic<std::uint32_t> interrupt_{0};

    std::mutex commandLock_;  // serialises hand-offs
    platform::Event commandAck_{platform::Event::Reset::Manual};
    std::atomic<int> command_{kCommandPause};        // written by the player thread (and by Start)
    std::atomic<int> pendingCommand_{kCommandNone};  // written under commandLock_, cleared by the thread

    PlaybackRing* ring_ = nullptr;         // set by Start before the thread runs
    WindowHandle notifyWindow_ = nullptr;  // set by Start before the thread runs

    // decoderLock_ guards the slots against SetFullScreen / CaptureBitmap while the player thread
    // replaces or deletes a decoder. The player thread alone writes them and may read them unlocked.
    mutable std::mutex decoderLock_;
    std::array<std::unique_ptr<PIDecoder>, kChannelCount> decoder_;
    std::array<int, kChannelCount> decoderCode_;

    // Owned by the player thread (Start sets them up before the thread runs).
    std::array<bool, kChannelCount> channelEnabled_{};
    std::array<bool, kChannelCount> waitForKey_{};
    std::atomic<int> requestedChannel_{0};
    int currentChannel_ = 0;
    RecordBuffer recordBuffer_;
    std::array<QueueEntry, kQueueLength> queue_;
    int queueCount_ = 0;
    bool endRecordSeen_ = false;
    int endCode_ = 0;
    std::atomic<int> position_{0};  // written by the player thread
    std::atomic<int> requestedSpeed_{kSpeed1X};
    int speed_ = kSpeed1X;
    bool hasStart_ = false;
    std::uint32_t startTs_ = 0, startTick_ = 0;
    bool hasBase_ = false;
    std::uint32_t baseTs_ = 0, baseTick_ = 0;
    std::uint32_t previousTs_ = 0;
    std::uint32_t interval_ = 0;
    std::uint32_t recordCounter_ = 0;
    std::array<std::unique_ptr<PacketChunkConverter>, kChannelCount> audioConverter_;
    std::unique_ptr<std::uint8_t[]> conversionBuffer_;

    std::atomic<ProgressFunction> progressFunction_{nullptr};  // cleared by Stop from any thread
    void* progressContext_ = nullptr;                          // set by Start before the thread runs
    std::atomic<bool> callbacksEnabled_{true};                 // cleared during a hand-off
    std::uint32_t lastProgressTick_ = 0;
    std::array<std::uint32_t, kChannelCount> channelNotifyTick_{};
    std::array<bool, kChannelCount> channelNotified_{};

    std::atomic<std::uint64_t> decodedCount_{0};

    std::mutex audioLock_;  // guards audioSink_ and every call on it
    AudioSink* audioSink_ = nullptr;
    bool audioFlowing_ = false;  // guarded by audioLock_: sound was handed over since the last halt
    std::array<AdpcmState, kChannelCount> soundState_{};  // the player thread's
    std::vector<std::int16_t> soundSamples_;              // the player thread's
};

}  // namespace vistrel::playback
