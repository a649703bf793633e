// The emulator's listener: accepts connections, bounds their number, routes each request to its
// page and answers authentication failures.

#include "tools/dvr/DvrServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <list>
#include <random>
#include <thread>

#include "tools/dvr/Connection.h"
#include "tools/dvr/HttpRequest.h"
#include "tools/dvr/ServerContext.h"

#ifndef VISTREL_DVR_CLIP_DIR
#define VISTREL_DVR_CLIP_DIR ""
#endif

namespace vistrel::dvr {

namespace {

constexpr int kListenBacklog = 32;
constexpr int kAcceptPollMs = 50;
// Connections beyond the limit still get their 503 from a thread of their own (so that their
// request is read and the answer is not lost to a reset), up to this many at once; beyond that
// they are closed at once.
constexpr int kMaxRefusing = 8;

struct Route {
    enum Kind { Live, Camera, Playback, Unknown } kind = Unknown;
    int channelIndex = 0;
};

bool startsWithIgnoreCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && equalsIgnoreCase(text.substr(0, prefix.size()), prefix);
}

Route route(const HttpRequest& request) {
    Route r;
    std::string_view path = request.path;
    if (startsWithIgnoreCase(path, "/pushall.htm")) {
        std::string_view rest = path.substr(std::strlen("/pushall.htm"));
        if (rest.empty()) {
            r.kind = Route::Live;
        } else if (rest.front() == ';') {
            const auto channel = parseDecimal(rest.substr(1), kChannelCount - 1);
            if (channel) {
                r.kind = Route::Live;
                r.channelIndex = int(*channel);
            }
        }
    } else if (equalsIgnoreCase(path, "/cam_ctrl.htm")) {
        r.kind = Route::Camera;
    } else if (equalsIgnoreCase(path, "/dvr_playback.htm")) {
        r.kind = Route::Playback;
    }
    return r;
}

const char* reasonPhrase(int status) {
    switch (status) {
        case 200: return "OK";
        case 400: return "Bad Request";
        case 401: return "Unauthorized";
        case 404: return "Not Found";
        case 405: return "Method Not Allowed";
        case 407: return "Proxy Authentication Required";
        case 431: return "Request Header Fields Too Large";
        case 503: return "Service Unavailable";
        default: return "Error";
    }
}

void sendSimple(Connection& connection, int status, const std::string& extraHeaders = {},
                const std::string& contentType = "text/html") {
    std::string body;
    if (contentType == "text/html")
        body =
            "<html><body><h1>" + std::to_string(status) + " " + reasonPhrase(status) + "</h1></body></html>\r\n";
    else body = std::string(reasonPhrase(status)) + "\r\n";
    const std::string head =
        "HTTP/1.0 " + std::to_string(status) + " " + reasonPhrase(status) + "\r\nContent-Type: " + contentType +
        "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n" + extraHeaders + "Connection: close\r\n\r\n";
    if (connection.sendHead(head)) connection.sendBody(body);
}

// Speed as the client sends it: 0..2, or -1 when nothing was selected.
std::optional<int> parseSpeed(const std::optional<std::string>& text) {
    if (!text) return 1;
    if (*text == "-1") return -1;
    const auto v = parseDecimal(*text, 2);
    if (!v) return std::nullopt;
    return int(*v);
}

void serveCamera(ServerContext& context, Connection& connection, const HttpRequest& request,
                 std::string& logFields) {
    const auto query = parseQuery(request.query);
    const auto source = queryValue(query, "Video_Source");
    const auto channel = source ? parseDecimal(*source, kChannelCount) : std::nullopt;
    const auto speed = parseSpeed(queryValue(query, "Speed"));
    std::optional<CameraCommand> command;
    std::string commandName;
    for (const auto& [key, value] : query) {
        if (!startsWithIgnoreCase(key, "camctrl_")) continue;
        commandName = key.substr(std::strlen("camctrl_"));
        command = cameraCommandFromName(commandName);
        break;
    }
    if (const auto zzw = queryValue(query, "zzw")) logFields += ",\"zzw\":" + jsonString(*zzw);
    if (!channel || *channel < 1 || !speed || !command) {
        logFields += ",\"status\":400,\"command\":" + jsonString(commandName);
        sendSimple(connection, 400, {}, "text/plain");
        return;
    }
    const CameraPosition p =
        context.cameras.apply(int(*channel) - 1, *command, *speed, std::chrono::steady_clock::now());
    context.count([](DvrStats& s) { ++s.cameraRequests; });
    logFields += ",\"status\":200,\"channel\":" + std::to_string(*channel) +
                 ",\"command\":" + jsonString(cameraCommandName(*command)) +
                 ",\"speed\":" + std::to_string(*speed) + ",\"pan\":" + std::to_string(p.panX) +
                 ",\"tilt\":" + std::to_string(p.tiltY) + ",\"zoom\":" + std::to_string(p.zoomPercent) +
                 ",\"focus\":" + std::to_string(p.focus);
    sendSimple(connection, 200, {}, "text/plain");
}

}  // namespace

struct DvrServer::Impl {
    struct Client {
        std::thread thread;
        int fd = -1;           // guarded by clientsLock; -1 once the connection thread closed it
        bool done = false;     // guarded by clientsLock
        bool refused = false;  // set before the thread starts: answer 503 only
    };

    DvrOptions options;
    std::unique_ptr<ServerContext> context;  // created by start(), lives until the object dies
    int listenFd = -1;                       // owned by the accept thread while it runs
    std::uint16_t port = 0;
    std::string error;
    std::thread acceptThread;
    std::mutex clientsLock;
    std::list<Client> clients;  // guarded by clientsLock
    bool running = false;       // touched by start()/stop() only

    void acceptLoop();
    void serve(Client* client, int fd, std::string peer, bool refused);
    void answer(int fd, const std::string& peer, bool refused);
    void handle(Connection& connection, const std::string& peer);
    void reapFinished();
};

void DvrServer::Impl::reapFinished() {
    std::list<Client> finished;
    {
        std::lock_guard guard(clientsLock);
        for (auto it = clients.begin(); it != clients.end();) {
            if (it->done) {
                auto next = std::next(it);
                finished.splice(finished.end(), clients, it);
                it = next;
            } else {
                ++it;
            }
        }
    }
    for (auto& c : finished)
        if (c.thread.joinable()) c.thread.join();
}

void DvrServer::Impl::acceptLoop() {
    while (!context->stopping.load()) {
        pollfd p{listenFd, POLLIN, 0};
        const int ready = ::poll(&p, 1, kAcceptPollMs);
        reapFinished();
        if (ready <= 0) continue;
        sockaddr_in peerAddress{};
        socklen_t length = sizeof peerAddress;
        const int fd = ::accept4(listenFd, reinterpret_cast<sockaddr*>(&peerAddress), &length, SOCK_CLOEXEC);
        if (fd < 0) continue;
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        char text[INET_ADDRSTRLEN] = "?";
        ::inet_ntop(AF_INET, &peerAddress.sin_addr, text, sizeof text);
        const std::string peer = std::string(text) + ":" + std::to_string(ntohs(peerAddress.sin_port));

        std::lock_guard guard(clientsLock);
        int active = 0, refusing = 0;
        for (const auto& c : clients)
            if (!c.done) (c.refused ? refusing : active) += 1;
        const bool refused = active >= options.maxConnections;
        context->count([&](DvrStats& s) {
            ++s.connections;
            if (refused) ++s.refused;
        });
        if (refused && refusing >= kMaxRefusing) {
            ::close(fd);
            continue;
        }
        clients.emplace_back();
        Client* client = &clients.back();
        client->fd = fd;
        client->refused = refused;
        try {
            client->thread = std::thread([this, client, fd, peer, refused] { serve(client, fd, peer, refused); });
        } catch (const std::exception&) {
            // No thread to be had: the client loses this connection, the server goes on.
            ::close(fd);
            clients.pop_back();
        }
    }
}

void DvrServer::Impl::serve(Client* client, int fd, std::string peer, bool refused) {
    try {
        answer(fd, peer, refused);
    } catch (const std::exception&) {
        // Out of memory while answering: this connection ends, the server goes on.
    }
    std::lock_guard guard(clientsLock);
    ::close(fd);
    client->fd = -1;
    client->done = true;
}

void DvrServer::Impl::answer(int fd, const std::string& peer, bool refused) {
    if (refused) {
        static const FaultOptions kNoFaults;
        Connection connection(fd, context->stopping, kNoFaults);
        std::string head;
        connection.readRequestHead(head);
        context->log.write("\"peer\":" + jsonString(peer) + ",\"status\":503,\"error\":\"too many connections\"");
        sendSimple(connection, 503, {}, "text/plain");
        connection.finish();
    } else {
        struct Active {
            ServerContext& context;
            explicit Active(ServerContext& c) : context(c) {
                context.count([](DvrStats& s) { ++s.activeConnections; });
            }
            ~Active() {
                context.count([](DvrStats& s) { --s.activeConnections; });
            }
        } active(*context);
        Connection connection(fd, context->stopping, options.faults);
        handle(connection, peer);
    }
}

void DvrServer::Impl::handle(Connection& connection, const std::string& peer) {
    std::string head;
    const auto read = connection.readRequestHead(head);
    if (read == Connection::ReadResult::TooLong) {
        sendSimple(connection, 431);
        return;
    }
    if (read != Connection::ReadResult::Complete) return;
    std::string logFields = "\"peer\":" + jsonString(peer);
    HttpRequest request;
    std::string why;
    if (!parseRequestHead(std::string_view(head).substr(0, findHeadEnd(head)), request, &why)) {
        context->log.write(logFields + ",\"status\":400,\"error\":" + jsonString(why));
        sendSimple(connection, 400);
        return;
    }
    logFields += ",\"method\":" + jsonString(request.method) + ",\"target\":" + jsonString(request.target);
    if (connection.stallsBeforeHead()) {
        context->log.write(logFields + ",\"fault\":\"stall\"");
        connection.stall();
        return;
    }
    const Route r = route(request);
    if (request.method != "GET") {
        context->log.write(logFields + ",\"status\":405");
        sendSimple(connection, 405);
        return;
    }
    if (r.kind == Route::Unknown) {
        context->log.write(logFields + ",\"status\":404");
        sendSimple(connection, 404);
        return;
    }
    const bool needsAuth = r.kind != Route::Camera || options.authCameraCommands;
    if (needsAuth && !context->auth.check(request)) {
        context->count([](DvrStats& s) { ++s.authFailures; });
        const int status = options.authFailureStatus;
        context->log.write(logFields + ",\"status\":" + std::to_string(status) + ",\"auth\":\"rejected\"");
        if (status == 404) sendSimple(connection, 404);
        else if (status == 407) sendSimple(connection, 407, context->auth.proxyChallengeHeaders());
        else sendSimple(connection, 401, context->auth.challengeHeaders());
        return;
    }
    switch (r.kind) {
        case Route::Live:
            logFields += ",\"page\":\"live\",\"channel_index\":" + std::to_string(r.channelIndex);
            serveLive(*context, connection, r.channelIndex, logFields);
            break;
        case Route::Camera:
            logFields += ",\"page\":\"camera\"";
            serveCamera(*context, connection, request, logFields);
            break;
        case Route::Playback:
            logFields += ",\"page\":\"playback\"";
            servePlayback(*context, connection, request, logFields);
            break;
        case Route::Unknown: break;
    }
    logFields += ",\"body_bytes\":" + std::to_string(connection.bodyBytesSent());
    context->log.write(logFields);
}

DvrServer::DvrServer(DvrOptions options) : impl_(std::make_unique<Impl>()) { impl_->options = std::move(options); }

DvrServer::~DvrServer() { stop(); }

std::uint16_t DvrServer::start() {
    Impl& m = *impl_;
    if (m.running) return m.port;
    m.error.clear();
    if (m.options.maxConnections < 1) {
        m.error = "maxConnections must be at least 1";
        return 0;
    }
    if (m.options.authFailureStatus != 401 && m.options.authFailureStatus != 404 &&
        m.options.authFailureStatus != 407) {
        m.error = "the authentication failure status must be 401, 404 or 407";
        return 0;
    }
    std::random_device entropy;
    m.context = std::make_unique<ServerContext>(m.options, (std::uint64_t(entropy()) << 32) | entropy());
    if (!m.context->log.open(m.options.logFile)) {
        m.error = "cannot open log file " + m.options.logFile + ": " + std::strerror(errno);
        return 0;
    }
    bool needClips = false;
    for (auto c : m.options.channels) needClips |= c != ChannelCoding::H263;
    if (needClips) {
        std::string why;
        const std::string dir = m.options.clipDir.empty() ? VISTREL_DVR_CLIP_DIR : m.options.clipDir;
        if (!m.context->clips.load(dir, &why)) {
            m.error = why;
            return 0;
        }
    }

    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(m.options.port);
    if (::inet_pton(AF_INET, m.options.bindAddress.c_str(), &address.sin_addr) != 1) {
        m.error = "bad bind address " + m.options.bindAddress;
        return 0;
    }
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        m.error = std::string("socket: ") + std::strerror(errno);
        return 0;
    }
    const int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, kListenBacklog) != 0) {
        m.error = "cannot listen on " + m.options.bindAddress + ":" + std::to_string(m.options.port) + ": " +
                  std::strerror(errno);
        ::close(fd);
        return 0;
    }
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    m.listenFd = fd;
    m.port = ntohs(address.sin_port);
    m.running = true;
    m.acceptThread = std::thread([&m] { m.acceptLoop(); });
    return m.port;
}

void DvrServer::stop() {
    Impl& m = *impl_;
    if (!m.running) return;
    m.context->stopping.store(true);
    if (m.acceptThread.joinable()) m.acceptThread.join();
    ::close(m.listenFd);
    m.listenFd = -1;
    {
        std::lock_guard guard(m.clientsLock);
        for (auto& c : m.clients)
            if (c.fd >= 0) ::shutdown(c.fd, SHUT_RDWR);
    }
    for (auto& c : m.clients)
        if (c.thread.joinable()) c.thread.join();
    m.clients.clear();
    m.running = false;
}

std::uint16_t DvrServer::port() const { return impl_->port; }

std::string DvrServer::baseUrl() const {
    return "http://" + impl_->options.bindAddress + ":" + std::to_string(impl_->port);
}

std::string DvrServer::lastError() const { return impl_->error; }

CameraPosition DvrServer::camera(int channelIndex) const {
    if (!impl_->context) return {};
    return impl_->context->cameras.position(channelIndex, std::chrono::steady_clock::now());
}

DvrStats DvrServer::stats() const {
    if (!impl_->context) return {};
    std::lock_guard guard(impl_->context->statsLock);
    return impl_->context->stats;
}

const DvrOptions& DvrServer::options() const { return impl_->options; }

const char* DvrServer::contentTypeFor(ChannelCoding coding) {
    return coding == ChannelCoding::H263 ? "video/x-qdaxwmh263" : "video/x-qdaxwmkvr4";
}

}  // namespace vistrel::dvr
