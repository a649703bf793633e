// Socket I/O of one emulator connection.

#include "tools/dvr/Connection.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

#include "tools/dvr/HttpRequest.h"

namespace vistrel::dvr {

namespace {

using Clock = std::chrono::steady_clock;

int msSince(Clock::time_point t) {
    return int(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count());
}

}  // namespace

Connection::Connection(int fd, const std::atomic<bool>& stopping, const FaultOptions& faults)
    : fd_(fd), stopping_(stopping), faults_(faults) {}

Connection::ReadResult Connection::readRequestHead(std::string& head) {
    head.clear();
    const auto started = Clock::now();
    char buffer[2048];
    while (true) {
        const std::size_t end = findHeadEnd(head);
        if (end != std::string::npos) return end > kMaxRequestHead ? ReadResult::TooLong : ReadResult::Complete;
        if (head.size() > kMaxRequestHead) return ReadResult::TooLong;
        if (stopping_.load() || msSince(started) > kRequestReadTimeoutMs) return ReadResult::TimedOut;
        pollfd p{fd_, POLLIN, 0};
        const int ready = ::poll(&p, 1, kWaitSliceMs);
        if (ready < 0 && errno != EINTR) return ReadResult::Closed;
        if (ready <= 0) continue;
        const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
        if (n == 0) return ReadResult::Closed;
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN) continue;
            return ReadResult::Closed;
        }
        head.append(buffer, std::size_t(n));
    }
}

bool Connection::sendRaw(const std::uint8_t* p, std::size_t length) {
    while (length > 0) {
        if (stopping_.load()) return false;
        pollfd pfd{fd_, POLLOUT, 0};
        const int ready = ::poll(&pfd, 1, kWaitSliceMs);
        if (ready < 0 && errno != EINTR) return false;
        if (ready <= 0) continue;
        if (pfd.revents & (POLLERR | POLLHUP | POLLNVAL)) return false;
        const ssize_t n = ::send(fd_, p, length, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN) continue;
            return false;
        }
        p += n;
        length -= std::size_t(n);
    }
    return true;
}

bool Connection::sendHead(const std::string& head) {
    return sendRaw(reinterpret_cast<const std::uint8_t*>(head.data()), head.size());
}

bool Connection::sendBody(const void* data, std::size_t length) {
    const auto* p = static_cast<const std::uint8_t*>(data);
    std::size_t allowed = length;
    bool cut = false;
    bool stallAfter = false;
    if (faults_.closeAfterBytes >= 0) {
        const std::int64_t room = std::max<std::int64_t>(0, faults_.closeAfterBytes - bodySent_);
        if (std::int64_t(allowed) >= room) {
            allowed = std::size_t(room);
            cut = true;
        }
    }
    if (faults_.stallAfterBytes > 0) {
        const std::int64_t room = std::max<std::int64_t>(0, faults_.stallAfterBytes - bodySent_);
        if (std::int64_t(allowed) >= room) {
            allowed = std::size_t(room);
            stallAfter = true;
            cut = false;
        }
    }
    if (allowed > 0 && !sendRaw(p, allowed)) return false;
    bodySent_ += std::int64_t(allowed);
    if (stallAfter) {
        stall();
        return false;
    }
    return !cut;
}

bool Connection::peerClosed() {
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, 0) <= 0) return false;
    if (p.revents & (POLLERR | POLLHUP | POLLNVAL)) return true;
    char buffer[512];
    const ssize_t n = ::recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT);
    return n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR);
}

bool Connection::pause(int ms) {
    const auto started = Clock::now();
    while (true) {
        if (stopping_.load() || peerClosed()) return false;
        const int left = ms - msSince(started);
        if (left <= 0) return true;
        pollfd p{fd_, POLLIN, 0};
        ::poll(&p, 1, std::min(left, kWaitSliceMs));
    }
}

void Connection::stall() {
    while (!stopping_.load() && !peerClosed()) {
        pollfd p{fd_, POLLIN, 0};
        ::poll(&p, 1, kWaitSliceMs);
    }
}

void Connection::finish() {
    ::shutdown(fd_, SHUT_WR);
    const auto started = Clock::now();
    while (!stopping_.load() && msSince(started) < kLingerMs && !peerClosed()) {
        pollfd p{fd_, POLLIN, 0};
        ::poll(&p, 1, kWaitSliceMs);
    }
}

}  // namespace vistrel::dvr
