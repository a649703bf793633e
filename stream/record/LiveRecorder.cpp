#include "stream/record/LiveRecorder.h"

namespace vistrel::record {

namespace {

std::int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

LiveRecorder::LiveRecorder(std::size_t queueLimit) : queueLimit_(queueLimit) {}

LiveRecorder::~LiveRecorder() { Stop(); }

bool LiveRecorder::Start(const std::string& path, std::string* error) {
    std::string reason;
    auto writer = OpenFileWriter(path, &reason);
    if (!writer) {
        if (error) *error = reason;
        return false;
    }
    return Start(std::move(writer));
}

bool LiveRecorder::Start(std::unique_ptr<ByteWriter> writer) {
    if (!writer) return false;
    Stop();
    {
        std::lock_guard<std::mutex> guard(lock_);
        queue_.clear();
        queued_ = 0;
        stopAsked_ = false;
        failure_.clear();
    }
    writer_ = std::move(writer);
    written_ = 0;
    received_ = 0;
    startedMs_ = NowMs();
    endedMs_ = -1;
    recording_ = true;
    thread_ = std::thread([this] { WriterMain(); });
    return true;
}

void LiveRecorder::Fail(const std::string& reason) {
    if (failure_.empty()) failure_ = reason;
    recording_ = false;
    endedMs_ = NowMs();
    queue_.clear();
    queued_ = 0;
}

void LiveRecorder::OnBlock(const std::uint8_t* data, std::size_t length) {
    if (!recording_.load() || data == nullptr || length == 0) return;
    StoppedCallback notify;
    std::string reason;
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (!recording_.load() || stopAsked_) return;
        received_ += length;
        if (queued_ + length > queueLimit_) {
            // Dropping blocks in the middle would leave a file that is damaged where nobody sees
            // it; ending cleanly keeps everything before this point intact.
            Fail("the disk cannot keep up with the stream");
            notify = stopped_;
            reason = failure_;
        } else {
            queue_.emplace_back(data, data + length);
            queued_ += length;
        }
    }
    wake_.notify_one();
    if (notify) notify(reason);
}

std::function<void(const std::uint8_t*, std::size_t)> LiveRecorder::Observer() {
    return [this](const std::uint8_t* data, std::size_t length) { OnBlock(data, length); };
}

void LiveRecorder::SetStoppedCallback(StoppedCallback callback) {
    std::lock_guard<std::mutex> guard(lock_);
    stopped_ = std::move(callback);
}

void LiveRecorder::WriterMain() {
    std::unique_lock<std::mutex> guard(lock_);
    for (;;) {
        wake_.wait(guard, [this] { return !queue_.empty() || stopAsked_ || !failure_.empty(); });
        if (!failure_.empty()) return;
        if (queue_.empty()) {
            if (stopAsked_) return;
            continue;
        }
        std::vector<std::uint8_t> block = std::move(queue_.front());
        queue_.pop_front();
        queued_ -= block.size();
        guard.unlock();
        std::string error;
        const bool ok = writer_->Write(block.data(), block.size(), &error);
        if (ok) written_ += block.size();
        guard.lock();
        if (!ok) {
            Fail(error);
            StoppedCallback notify = stopped_;
            const std::string reason = failure_;
            guard.unlock();
            if (notify) notify(reason);
            return;
        }
    }
}

bool LiveRecorder::Stop(std::string* reason) {
    if (!thread_.joinable()) {
        std::lock_guard<std::mutex> guard(lock_);
        if (reason) *reason = failure_;
        return failure_.empty();
    }
    {
        std::lock_guard<std::mutex> guard(lock_);
        stopAsked_ = true;
    }
    wake_.notify_one();
    thread_.join();
    std::string closeError;
    const bool closed = writer_->Close(&closeError);
    writer_.reset();
    std::lock_guard<std::mutex> guard(lock_);
    if (!closed && failure_.empty()) failure_ = closeError;
    if (recording_.load()) {
        recording_ = false;
        endedMs_ = NowMs();
    }
    if (reason) *reason = failure_;
    return failure_.empty();
}

std::int64_t LiveRecorder::ElapsedMs() const {
    const std::int64_t started = startedMs_.load();
    if (started == 0) return 0;
    const std::int64_t ended = endedMs_.load();
    return (ended >= 0 ? ended : NowMs()) - started;
}

std::string LiveRecorder::FailureReason() const {
    std::lock_guard<std::mutex> guard(lock_);
    return failure_;
}

}  // namespace vistrel::record
