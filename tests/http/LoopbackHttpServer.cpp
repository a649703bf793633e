#include "tests/http/LoopbackHttpServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstring>

namespace vistrel::testing {

bool HttpConnection::send(const void* data, std::size_t length) {
    const char* p = static_cast<const char*>(data);
    while (length > 0) {
        if (stopping_.load()) return false;
        pollfd pfd{fd_, POLLOUT, 0};
        const int ready = ::poll(&pfd, 1, 100);
        if (ready < 0) return false;
        if (ready == 0) continue;
        const ssize_t n = ::send(fd_, p, length, MSG_NOSIGNAL);
        if (n <= 0) return false;
        p += n;
        length -= static_cast<std::size_t>(n);
    }
    return true;
}

bool HttpConnection::sendHead(int status, const std::string& reason, const std::string& headers) {
    return send("HTTP/1.0 " + std::to_string(status) + " " + reason + "\r\n" + headers + "\r\n");
}

bool HttpConnection::idle(int ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
        if (stopping_.load()) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return !stopping_.load();
}

LoopbackHttpServer::LoopbackHttpServer(Handler handler) : handler_(std::move(handler)) {
    listenFd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    int one = 1;
    ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    ::bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    ::listen(listenFd_, 16);
    socklen_t len = sizeof addr;
    ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    acceptor_ = std::thread([this] { acceptLoop(); });
}

LoopbackHttpServer::~LoopbackHttpServer() { stop(); }

std::string LoopbackHttpServer::url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

std::vector<HttpRequestSeen> LoopbackHttpServer::seen() {
    std::lock_guard<std::mutex> guard(lock_);
    return seen_;
}

void LoopbackHttpServer::stop() {
    if (stopping_.exchange(true)) return;
    ::shutdown(listenFd_, SHUT_RDWR);
    if (acceptor_.joinable()) acceptor_.join();
    ::close(listenFd_);
    std::list<std::thread> workers;
    {
        std::lock_guard<std::mutex> guard(lock_);
        for (int fd : clientFds_) ::shutdown(fd, SHUT_RDWR);
        workers.swap(workers_);
    }
    for (std::thread& t : workers) t.join();
}

void LoopbackHttpServer::acceptLoop() {
    int index = 0;
    while (!stopping_.load()) {
        pollfd pfd{listenFd_, POLLIN, 0};
        if (::poll(&pfd, 1, 100) <= 0) continue;
        const int fd = ::accept(listenFd_, nullptr, nullptr);
        if (fd < 0) continue;
        std::lock_guard<std::mutex> guard(lock_);
        if (stopping_.load()) {
            ::close(fd);
            break;
        }
        clientFds_.push_back(fd);
        workers_.emplace_back([this, fd, i = index++] { serve(fd, i); });
    }
}

void LoopbackHttpServer::serve(int fd, int index) {
    std::string head;
    char buffer[1024];
    while (head.find("\r\n\r\n") == std::string::npos && head.size() < 16384 && !stopping_.load()) {
        pollfd pfd{fd, POLLIN, 0};
        const int ready = ::poll(&pfd, 1, 100);
        if (ready < 0) break;
        if (ready == 0) continue;
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        head.append(buffer, static_cast<std::size_t>(n));
    }
    HttpRequestSeen request;
    const std::size_t lineEnd = head.find("\r\n");
    if (lineEnd != std::string::npos) {
        const std::string line = head.substr(0, lineEnd);
        const std::size_t s1 = line.find(' ');
        const std::size_t s2 = line.rfind(' ');
        if (s1 != std::string::npos && s2 != std::string::npos && s2 > s1) {
            request.method = line.substr(0, s1);
            request.target = line.substr(s1 + 1, s2 - s1 - 1);
            request.version = line.substr(s2 + 1);
        }
        std::size_t pos = lineEnd + 2;
        while (pos < head.size()) {
            const std::size_t end = head.find("\r\n", pos);
            if (end == std::string::npos || end == pos) break;
            const std::string h = head.substr(pos, end - pos);
            const std::size_t colon = h.find(':');
            if (colon != std::string::npos) {
                std::string name = h.substr(0, colon);
                std::transform(name.begin(), name.end(), name.begin(),
                               [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
                std::size_t v = colon + 1;
                while (v < h.size() && h[v] == ' ') ++v;
                request.headers[name] = h.substr(v);
            }
            pos = end + 2;
        }
        {
            std::lock_guard<std::mutex> guard(lock_);
            seen_.push_back(request);
        }
        requests_.fetch_add(1);
        HttpConnection connection(fd, stopping_);
        handler_(index, request, connection);
    }
    std::lock_guard<std::mutex> guard(lock_);
    clientFds_.erase(std::remove(clientFds_.begin(), clientFds_.end(), fd), clientFds_.end());
    ::shutdown(fd, SHUT_RDWR);
    ::close(fd);
}

std::string BasicCredentials(const std::string& user, const std::string& password) {
    static const char table[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    const std::string in = user + ":" + password;
    std::string out;
    std::size_t i = 0;
    for (; i + 2 < in.size(); i += 3) {
        const unsigned v = (unsigned char)in[i] << 16 | (unsigned char)in[i + 1] << 8 | (unsigned char)in[i + 2];
        out += table[v >> 18 & 63];
        out += table[v >> 12 & 63];
        out += table[v >> 6 & 63];
        out += table[v & 63];
    }
    if (i + 1 == in.size()) {
        const unsigned v = (unsigned char)in[i] << 16;
        out += table[v >> 18 & 63];
        out += table[v >> 12 & 63];
        out += "==";
    } else if (i + 2 == in.size()) {
        const unsigned v = (unsigned char)in[i] << 16 | (unsigned char)in[i + 1] << 8;
        out += table[v >> 18 & 63];
        out += table[v >> 12 & 63];
        out += table[v >> 6 & 63];
        out += '=';
    }
    return out;
}

}  // namespace vistrel::testing
