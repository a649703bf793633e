#pragma once
// A tiny scripted HTTP server on loopback for the transport and session tests: each connection's
// request is parsed and handed to the test's handler, which writes whatever answer it wants.

#include <atomic>
#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vistrel::testing {

struct HttpRequestSeen {
    std::string method;
    std::string target;                          // as sent on the request line
    std::string version;                         // "HTTP/1.0"
    std::map<std::string, std::string> headers;  // names lower-cased
    std::string header(const std::string& lowerName) const {
        auto it = headers.find(lowerName);
        return it == headers.end() ? std::string() : it->second;
    }
};

// The handler's side of one connection.
class HttpConnection {
public:
    explicit HttpConnection(int fd, const std::atomic<bool>& stopping) : fd_(fd), stopping_(stopping) {}
    // False once the client has gone or the server stops.
    bool send(const void* data, std::size_t length);
    bool send(const std::string& text) { return send(text.data(), text.size()); }
    // "HTTP/1.0 <status>\r\n" + headers + blank line.
    bool sendHead(int status, const std::string& reason, const std::string& headers);
    // Sleeps in short slices; false when the server stops meanwhile.
    bool idle(int ms);
    bool stopping() const { return stopping_.load(); }

private:
    int fd_;
    const std::atomic<bool>& stopping_;
};

class LoopbackHttpServer {
public:
    using Handler = std::function<void(int index, const HttpRequestSeen& request, HttpConnection& connection)>;

    explicit LoopbackHttpServer(Handler handler);
    ~LoopbackHttpServer();

    std::uint16_t port() const { return port_; }
    std::string url(const std::string& path) const;
    int requests() const { return requests_.load(); }
    std::vector<HttpRequestSeen> seen();
    void stop();

private:
    void acceptLoop();
    void serve(int fd, int index);

    Handler handler_;
    int listenFd_ = -1;
    std::uint16_t port_ = 0;
    std::atomic<bool> stopping_{false};
    std::atomic<int> requests_{0};
    std::mutex lock_;  // guards seen_, clientFds_, workers_
    std::vector<HttpRequestSeen> seen_;
    std::vector<int> clientFds_;
    std::list<std::thread> workers_;
    std::thread acceptor_;
};

// Base64 of "user:password", for checking Basic credentials.
std::string BasicCredentials(const std::string& user, const std::string& password);

}  // namespace vistrel::testing
