#pragma once
// One playback of a DVR recording: the playback request, its record ring and the player.

#include <atomic>
#include <cstdint>
#include <string>

#include "platform/WindowHandle.h"
#include "stream/http/StreamRequest.h"
#include "stream/playback/CPlayer.h"
#include "stream/playback/PlaybackRing.h"
#include "stream/playback/PlaybackSpeed.h"

namespace vistrel::playback {

class PlaybackSession {
public:
    static constexpr std::size_t kMaxUrl = 511;
    // The transport's worker waits in such steps for room in the ring.
    static constexpr std::uint32_t kRingFullPollMs = 20;

    static constexpr int kStateNew = 0;
    static constexpr int kStateStopped = 1;
    static constexpr int kStatePlaying = 2;

    explicit PlaybackSession(DecoderFactory factory, PlaybackClock& clock = SystemPlaybackClock());
    ~PlaybackSession();
    PlaybackSession(const PlaybackSession&) = delete;
    PlaybackSession& operator=(const PlaybackSession&) = delete;

    // Settings, on the controlling thread before Start.
    void SetNotifyWindow(WindowHandle window) { notifyWindow_ = window; }
    void SetProgressCallback(ProgressFunction function, void* context);
    void SetUrl(const char* url);  // cut to 511 characters
    void SetUserName(const char* userName);
    void SetPassword(const char* password);
    // Channel index 0..15; taken by the player at its next pass.
    void SetChannel(int index);
    // Applied now and at every later Start.
    void SetSpeed(int code);

    // startMode 1 begins with Play once data arrives, 0 with a single Step.
    void Start(int startMode);
    void Stop();
    void Pause() { player_.Pause(); }
    void Play() { player_.Play(); }
    void Step() { player_.Step(); }
    void SetFullScreen(int on) { player_.SetFullScreen(on); }
    // Sound of type-14 records while playing at 1X; null for none. The sink must stay alive until
    // it is replaced or the session is destroyed.
    void SetAudioSink(AudioSink* sink) { player_.SetAudioSink(sink); }

    int state() const { return state_.load(); }
    int speed() const { return speed_.load(); }
    CPlayer& player() { return player_; }
    // Body bytes received over all requests of this session.
    std::uint64_t BytesReceived() const { return bytesReceived_.load(); }

private:
    static int DataCallback(int first, const std::uint8_t* data, std::uint32_t length, void* context,
                            const std::atomic<int>* abortFlag);
    static void ForwardProgress(int kind, int value, void* context);
    int OnData(int first, const std::uint8_t* data, std::uint32_t length, const std::atomic<int>* abortFlag);
    void IssueStartCommand();
    void Report(int kind, int value);
    void CloseRequest();

    PlaybackClock& clock_;
    std::atomic<int> speed_{kSpeed1X};
    std::atomic<int> state_{kStateNew};
    int channel_ = 0;                      // controlling thread
    WindowHandle notifyWindow_ = nullptr;  // controlling thread
    PlaybackRing ring_;
    CPlayer player_;
    std::string url_, userName_, password_;   // controlling thread
    http::StreamRequest* request_ = nullptr;  // controlling thread
    std::atomic<ProgressFunction> progressCallback_{nullptr};
    std::atomic<void*> progressContext_{nullptr};
    // Written by the transport's worker thread; startMode_ by the controlling thread before the
    // request opens.
    std::atomic<int> startMode_{1};
    std::atomic<bool> firstBlockPending_{false};
    std::atomic<std::uint32_t> firstBlockTick_{0};
    std::atomic<std::uint64_t> bytesReceived_{0};
};

}  // namespace vistrel::playback
