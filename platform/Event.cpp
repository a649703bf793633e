#include "platform/Event.h"

#include <chrono>

namespace vistrel::platform {

Event::Event(Reset mode, bool signalled) : mode_(mode), signalled_(signalled) {}

void Event::set() {
    {
        std::lock_guard<std::mutex> guard(mutex_);
        signalled_ = true;
    }
    if (mode_ == Reset::Manual) changed_.notify_all();
    else changed_.notify_one();
}

void Event::reset() {
    std::lock_guard<std::mutex> guard(mutex_);
    signalled_ = false;
}

bool Event::wait(std::uint32_t timeoutMs) {
    std::unique_lock<std::mutex> lock(mutex_);
    const auto isSignalled = [this] { return signalled_; };
    if (timeoutMs == kWaitForever) changed_.wait(lock, isSignalled);
    else if (!changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), isSignalled)) return false;
    if (mode_ == Reset::Auto) signalled_ = false;
    return true;
}

bool Event::isSet() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return signalled_;
}

}  // namespace vistrel::platform
