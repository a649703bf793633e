#include "stream/playback/PlaybackSession.h"

#include "base/DvrProtocol.h"

namespace vistrel::playback {

PlaybackSession::PlaybackSession(DecoderFactory factory, PlaybackClock& clock)
    : clock_(clock), player_(std::move(factory), clock) {}

PlaybackSession::~PlaybackSession() {
    CloseRequest();
    player_.Stop(true);
}

void PlaybackSession::SetProgressCallback(ProgressFunction function, void* context) {
    progressContext_ = context;
    progressCallback_ = function;
}

void PlaybackSession::SetUrl(const char* url) {
    url_.assign(url ? url : "");
    if (url_.size() > kMaxUrl) url_.resize(kMaxUrl);
}

void PlaybackSession::SetUserName(const char* userName) {
    userName_.assign(userName ? userName : "");
    if (userName_.size() > base::kMaxCredentialLength) userName_.resize(base::kMaxCredentialLength);
}

void PlaybackSession::SetPassword(const char* password) {
    password_.assign(password ? password : "");
    if (password_.size() > base::kMaxCredentialLength) password_.resize(base::kMaxCredentialLength);
}

void PlaybackSession::SetChannel(int index) {
    if (index < 0 || index >= kChannelCount) return;
    channel_ = index;
    player_.SetRequestedChannel(index);
}

void PlaybackSession::SetSpeed(int code) {
    speed_ = code;
    player_.SetRequestedSpeed(code);
}

void PlaybackSession::CloseRequest() {
    if (!request_) return;
    http::CloseStreamRequest(request_, true);
    request_ = nullptr;
}

void PlaybackSession::Start(int startMode) {
    ring_.Reset();
    if (request_) http::CloseStreamRequest(request_, false);
    player_.Stop(true);
    CloseRequest();
    // The old request may have written a last block after the first reset.
    ring_.Reset();
    if (url_.empty()) return;
    if (!player_.Start(&ring_, channel_, notifyWindow_, ForwardProgress, this)) return;
    player_.SetRequestedSpeed(speed_.load());
    firstBlockPending_ = false;
    startMode_ = startMode;
    state_ = kStatePlaying;
    request_ = http::OpenStreamRequest(url_.c_str(), userName_.c_str(), password_.c_str(), DataCallback, this);
}

void PlaybackSession::Stop() {
    if (request_) http::CloseStreamRequest(request_, false);
    ring_.Reset();
    player_.Stop(true);
    CloseRequest();
    state_ = kStateStopped;
}

void PlaybackSession::Report(int kind, int value) {
    if (ProgressFunction f = progressCallback_.load()) f(kind, value, progressContext_.load());
}

void PlaybackSession::ForwardProgress(int kind, int value, void* context) {
    static_cast<PlaybackSession*>(context)->Report(kind, value);
}

int PlaybackSession::DataCallback(int first, const std::uint8_t* data, std::uint32_t length, void* context,
                                  const std::atomic<int>* abortFlag) {
    return static_cast<PlaybackSession*>(context)->OnData(first, data, length, abortFlag);
}

void PlaybackSession::IssueStartCommand() {
    if (startMode_.load() == 1) player_.Play();
    else player_.Step();
}

int PlaybackSession::OnData(int first, const std::uint8_t* data, std::uint32_t length,
                            const std::atomic<int>* abortFlag) {
    if (length == 0) {
        Report(kProgressStreamEnd, 0);
        ring_.SetEndOfStream();
        if (firstBlockPending_.exchange(false)) IssueStartCommand();
        else if (firstBlockTick_.load() == 0) player_.Pause();
        return 0;
    }
    if (first) {
        std::uint32_t tick = clock_.Now();
        firstBlockTick_ = tick != 0 ? tick : 1;
        firstBlockPending_ = true;
        Report(kProgressFirstData, 0);
    }
    while (ring_.Free() < length) {
        if (abortFlag && abortFlag->load() != 0) return 0;
        clock_.Sleep(kRingFullPollMs);
    }
    ring_.Write(data, length);
    bytesReceived_ += length;
    if (firstBlockPending_.exchange(false)) IssueStartCommand();
    return 1;
}

}  // namespace vistrel::playback
