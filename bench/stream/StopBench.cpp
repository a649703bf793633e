// Stop latency of the transport and the live session against a loopback server that either never
// answers, answers and then falls silent, or streams without pause. Times are per stop (manual
// timing: only the close or Stop call is measured, not the connection set-up).
#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <list>
#include <string>
#include <thread>

#include "stream/http/StreamRequest.h"
#include "stream/live/LiveStreamSession.h"

namespace {

using Clock = std::chrono::steady_clock;

enum class Behaviour { Silent, Stalled, Flowing };

// Accepts connections and treats each the same way until it is destroyed.
class Server {
public:
    explicit Server(Behaviour behaviour) : behaviour_(behaviour) {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(fd_, 16);
        socklen_t n = sizeof a;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &n);
        port_ = ntohs(a.sin_port);
        acceptor_ = std::thread([this] { acceptLoop(); });
    }
    ~Server() {
        stop_ = true;
        acceptor_.join();
        for (auto& t : clients_) t.join();
        ::close(fd_);
    }
    std::string url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/pushall.htm;0?scrw=1024"; }

private:
    void acceptLoop() {
        while (!stop_) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0) continue;
            const int c = ::accept(fd_, nullptr, nullptr);
            if (c >= 0) clients_.emplace_back([this, c] { serve(c); });
        }
    }
    void serve(int c) {
        char request[2048];
        (void)::recv(c, request, sizeof request, 0);
        if (behaviour_ != Behaviour::Silent) {
            const std::string head = "HTTP/1.0 200 OK\r\nContent-Type: video/x-qdaxwmjpeg\r\n\r\n";
            (void)::send(c, head.data(), head.size(), MSG_NOSIGNAL);
            const std::string block(4096, 'x');
            (void)::send(c, block.data(), block.size(), MSG_NOSIGNAL);
            while (behaviour_ == Behaviour::Flowing && !stop_ &&
                   ::send(c, block.data(), block.size(), MSG_NOSIGNAL) > 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        while (!stop_) {
            pollfd p{c, POLLIN, 0};
            if (::poll(&p, 1, 20) > 0 && ::recv(c, request, sizeof request, 0) <= 0) break;
        }
        ::close(c);
    }

    Behaviour behaviour_;
    int fd_ = -1;
    std::uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread acceptor_;
    std::list<std::thread> clients_;  // acceptor thread only, joined after it
};

int keepGoing(int, const std::uint8_t*, std::uint32_t, void*, const std::atomic<int>*) { return 1; }

void BM_CloseStreamRequest(benchmark::State& state) {
    vistrel::http::OpenInternetRoot("KEMBQM/MSIE");
    Server server(static_cast<Behaviour>(state.range(0)));
    for (auto _ : state) {
        vistrel::http::StreamRequest* r =
            vistrel::http::OpenStreamRequest(server.url().c_str(), "", "", &keepGoing, nullptr);
        // Settled into its wait (or its flow) before the close.
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        const auto t0 = Clock::now();
        vistrel::http::CloseStreamRequest(r, true);
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - t0).count());
    }
}
BENCHMARK(BM_CloseStreamRequest)
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->ArgName("silent0_stalled1_flowing2")
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10);

void BM_LiveSessionStop(benchmark::State& state) {
    vistrel::http::OpenInternetRoot("KEMBQM/MSIE");
    Server server(static_cast<Behaviour>(state.range(0)));
    vistrel::live::LiveStreamSession session;
    session.SetUrl(server.url());
    for (auto _ : state) {
        session.Start();
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        const auto t0 = Clock::now();
        session.Stop();
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - t0).count());
    }
}
BENCHMARK(BM_LiveSessionStop)
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->ArgName("silent0_stalled1_flowing2")
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10);

}  // namespace

BENCHMARK_MAIN();
