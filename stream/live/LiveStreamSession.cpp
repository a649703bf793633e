#include "stream/live/LiveStreamSession.h"

#include <chrono>
#include <thread>

#include "platform/Tick.h"

namespace vistrel::live {

namespace {
constexpr std::uint32_t kRandomDelaySteps = 5;
constexpr auto kFullRingNap = std::chrono::milliseconds(20);
}  // namespace

LiveStreamSession::LiveStreamSession(LiveSessionTimings timings, DecoderFactory factory)
    : timings_(timings),
      factory_(std::move(factory)),
      consumer_(ring_),
      restartTimer_(new RestartTimer([this](std::uint64_t ticket) { fireRestart(ticket); })) {}

LiveStreamSession::~LiveStreamSession() {
    Stop();
    restartTimer_.reset();
    consumer_.StopThread(timings_.consumerStopLimitMs);
}

void LiveStreamSession::SetUrl(const std::string& url) {
    std::lock_guard<std::mutex> guard(controlLock_);
    url_ = url.substr(0, kMaxLiveUrlLength);
}

void LiveStreamSession::SetUserName(const std::string& userName) {
    std::lock_guard<std::mutex> guard(controlLock_);
    userName_ = userName.substr(0, kMaxLiveUserNameLength);
}

void LiveStreamSession::SetPassword(const std::string& password) {
    std::lock_guard<std::mutex> guard(controlLock_);
    password_ = password.substr(0, kMaxLivePasswordLength);
}

void LiveStreamSession::SetNotifyWindow(WindowHandle window) { notifyWindow_.store(window); }

void LiveStreamSession::SetBlockObserver(BlockObserver observer) {
    std::lock_guard<std::mutex> guard(controlLock_);
    blockObserver_ = std::move(observer);
}

void LiveStreamSession::SetFrameObserver(FrameObserver observer) {
    std::lock_guard<std::mutex> guard(controlLock_);
    consumer_.SetFrameObserver(std::move(observer));
}

void LiveStreamSession::Start() {
    std::lock_guard<std::mutex> guard(controlLock_);
    startLocked();
}

void LiveStreamSession::Stop() {
    std::lock_guard<std::mutex> guard(controlLock_);
    stopLocked();
}

void LiveStreamSession::SetFullScreen(int on) {
    consumer_.WithDecoder([on](IDecoder* decoder) {
        if (decoder) decoder->SetFullScreen(on);
    });
}

void LiveStreamSession::WithDecoder(const std::function<void(IDecoder*)>& use) { consumer_.WithDecoder(use); }

LiveSessionStats LiveStreamSession::Stats() {
    LiveSessionStats s;
    s.bytesQueued = bytesQueued_.load();
    s.framesDecoded = consumer_.FramesDecoded();
    s.startsTotal = startsTotal_.load();
    s.restartsFired = restartsFired_.load();
    s.restartsScheduled = restartsScheduled_.load();
    s.lastRestartDelayMs = restartTimer_->lastDelayMs();
    s.failureCount = failureCount_.load();
    s.restartPending = restartTimer_->pending();
    s.hadValidStream = hadValidStream_.load();
    s.started = started_.load();
    s.gaveUp = gaveUp_.load() && !s.restartPending;
    s.restartDueTick = restartDueTick_.load();
    const std::uint64_t atStart = framesAtStart_.load();
    s.framesSinceStart = s.framesDecoded > atStart ? s.framesDecoded - atStart : 0;
    s.framesDamaged = consumer_.FramesDamaged();
    s.lastPictureTick = consumer_.LastPictureTick();
    consumer_.LastPictureSize(&s.pictureWidth, &s.pictureHeight);
    s.coding = coding_.load();
    return s;
}

void LiveStreamSession::closeRequestLocked() {
    if (request_ == nullptr) return;
    http::CloseStreamRequest(request_, true);
    request_ = nullptr;
}

void LiveStreamSession::startLocked() {
    // The request being replaced must not schedule a reconnect of its own.
    stopping_.store(true);
    restartTimer_->setBlocked(true);
    closeRequestLocked();
    restartTimer_->cancel();
    consumer_.StopThread(timings_.consumerStopLimitMs);

    errorPageCheckPending_.store(true);
    randomizeNextDelay_.store(true);
    stopping_.store(false);
    restartTimer_->setBlocked(false);
    started_.store(true);
    gaveUp_.store(false);
    framesAtStart_.store(consumer_.FramesDecoded());
    coding_.store(StreamCoding::Unknown);

    ring_.Reset();
    if (!consumer_.StartThread()) {
        gaveUp_.store(true);
        return;
    }
    http::StreamRequestLimits limits = timings_.requestLimits;
    limits.idleMs = timings_.stallMs;
    request_ = http::OpenStreamRequest(url_.c_str(), userName_.c_str(), password_.c_str(),
                                       &LiveStreamSession::onStreamData, this, limits);
    if (request_ == nullptr) {
        consumer_.StopThread(timings_.consumerStopLimitMs);
        gaveUp_.store(true);
        return;
    }
    startsTotal_.fetch_add(1);
}

void LiveStreamSession::stopLocked() {
    stopping_.store(true);
    started_.store(false);
    // Blocked before the cancel, so that a callback racing with this stop cannot leave a
    // restart behind it.
    restartTimer_->setBlocked(true);
    consumer_.RequestStop();
    if (request_ != nullptr) http::CloseStreamRequest(request_, false);
    restartTimer_->cancel();
    closeRequestLocked();
    consumer_.StopThread(timings_.consumerStopLimitMs);
}

void LiveStreamSession::fireRestart(std::uint64_t ticket) {
    std::lock_guard<std::mutex> guard(controlLock_);
    if (!restartTimer_->claim(ticket)) return;
    restartsFired_.fetch_add(1);
    startLocked();
}

bool LiveStreamSession::scheduleRestart(std::uint32_t delayMs) {
    if (stopping_.load()) return false;
    // Set before the schedule so that a reader who sees the restart pending sees its due time.
    const std::uint32_t previousDue = restartDueTick_.exchange(platform::tickCount() + delayMs);
    if (!restartTimer_->schedule(delayMs)) {
        restartDueTick_.store(previousDue);
        return false;
    }
    restartsScheduled_.fetch_add(1);
    return true;
}

int LiveStreamSession::onStreamData(int first, const std::uint8_t* data, std::uint32_t length, void* context,
                                    const std::atomic<int>* abortFlag) {
    return static_cast<LiveStreamSession*>(context)->onData(first, data, length, abortFlag);
}

int LiveStreamSession::onBreak() {
    if (stopping_.load()) return 0;
    const int failures = failureCount_.fetch_add(1) + 1;
    if (failures > kMaxLiveFailures) {
        gaveUp_.store(true);
        return 0;
    }
    std::uint32_t delay;
    if (randomizeNextDelay_.exchange(false))
        delay = (platform::tickCount() % kRandomDelaySteps + 1) * timings_.randomDelayUnitMs;
    else delay = static_cast<std::uint32_t>(failures) * timings_.failureDelayUnitMs;
    scheduleRestart(delay);
    return 0;
}

bool LiveStreamSession::onFirstBlock() {
    char contentType[http::kMaxContentTypeLength + 1] = {};
    if (!http::GetStreamContentType(http::CurrentStreamRequest(), http::kStreamInfoContentType, contentType,
                                    sizeof contentType))
        return false;
    const StreamCoding coding = CodingFromContentType(contentType);
    if (coding == StreamCoding::Unknown) return false;
    coding_.store(coding);
    // The decoder exists before any byte of this response is queued, so the consumer never
    // cuts the new coding's frames with the old coding's rules.
    std::unique_ptr<IDecoder> decoder = factory_ ? factory_(coding) : nullptr;
    if (decoder) decoder->Open(notifyWindow_.load());
    consumer_.ReplaceDecoder(std::move(decoder));
    return true;
}

int LiveStreamSession::onData(int first, const std::uint8_t* data, std::uint32_t length,
                              const std::atomic<int>* abortFlag) {
    if (length == 0 || data == nullptr) return onBreak();
    if (first && !onFirstBlock()) return 0;

    while (ring_.Free() < length) {
        if (abortFlag != nullptr && abortFlag->load() != 0) return 0;
        std::this_thread::sleep_for(kFullRingNap);
    }
    if (errorPageCheckPending_.exchange(false)) {
        if (LooksLikeErrorPage(data, length)) {
            // A log-in or error page: the first connection gets no reconnect of its own (the
            // final notice schedules one); later ones count as failures.
            if (!hadValidStream_.load()) return 0;
            const int failures = failureCount_.fetch_add(1) + 1;
            if (failures > kMaxLiveFailures) {
                gaveUp_.store(true);
                return 0;
            }
            scheduleRestart(static_cast<std::uint32_t>(failures) * timings_.failureDelayUnitMs);
            return 0;
        }
        failureCount_.store(0);
        hadValidStream_.store(true);
    }
    ring_.Write(data, length);
    bytesQueued_.fetch_add(length);
    if (blockObserver_) blockObserver_(data, length);
    return 1;
}

}  // namespace vistrel::live
