#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "stream/live/DvrAddress.h"
#include "stream/live/LiveStreamSession.h"
#include "tests/http/StreamCallbackRecorder.h"
#include "tests/support/WaitFor.h"
#include "tools/dvr/DvrServer.h"

namespace vistrel::live {
namespace {

constexpr int kWaitMs = 30000;
constexpr std::size_t kRecordBytes = 150000;

const char* findNginx() {
    for (const char* p : {"/usr/sbin/nginx", "/usr/bin/nginx", "/usr/local/sbin/nginx"})
        if (::access(p, X_OK) == 0) return p;
    return nullptr;
}

std::uint16_t freePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    ::close(fd);
    return ntohs(addr.sin_port);
}

bool portAnswers(std::uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(port);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    ::close(fd);
    return ok;
}

// nginx in the foreground, one process, everything inside a scratch folder.
class Nginx {
public:
    Nginx(const std::string& dir, std::uint16_t port, const std::string& contentType) {
        std::ofstream(dir + "/htpasswd") << "viewer:{PLAIN}opensesame\n";
        std::ofstream conf(dir + "/nginx.conf");
        conf << "daemon off;\nmaster_process off;\nworker_processes 1;\npid " << dir << "/nginx.pid;\n"
             << "error_log " << dir << "/error.log;\nevents { worker_connections 16; }\n"
             << "http {\n access_log off;\n client_body_temp_path " << dir << "/t1;\n proxy_temp_path " << dir
             << "/t2;\n fastcgi_temp_path " << dir << "/t3;\n uwsgi_temp_path " << dir << "/t4;\n scgi_temp_path "
             << dir << "/t5;\n types { }\n default_type " << contentType << ";\n"
             << " server {\n  listen 127.0.0.1:" << port << ";\n  root " << dir << ";\n"
             << "  auth_basic \"dvr\";\n  auth_basic_user_file " << dir << "/htpasswd;\n"
             << "  location ^~ /pushall.htm { try_files /stream.bin =404; }\n }\n}\n";
        conf.close();
        pid_ = ::fork();
        if (pid_ == 0) {
            const std::string confPath = dir + "/nginx.conf";
            ::execl(findNginx(), "nginx", "-p", dir.c_str(), "-c", confPath.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        // A test that then finds nothing listening reports it; nginx's own start takes well under this.
        testsupport::WaitFor([&] { return portAnswers(port); }, std::chrono::seconds(10),
                             std::chrono::milliseconds(50));
    }
    ~Nginx() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            int status = 0;
            ::waitpid(pid_, &status, 0);
        }
    }

private:
    pid_t pid_ = -1;
};

TEST(LiveNginx, AStreamRecordedFromTheEmulatorComesThroughNginxWithBasicAuthentication) {
    if (findNginx() == nullptr) GTEST_SKIP() << "nginx is not installed";
    ASSERT_TRUE(http::OpenInternetRoot("KEMBQM/MSIE"));
    std::string dir = ::testing::TempDir() + "/vistrel_nginx_XXXXXX";
    ASSERT_NE(::mkdtemp(dir.data()), nullptr);

    // Record part of an H.263 channel's live body.
    std::string recorded;
    {
        dvr::DvrOptions o;
        o.frameIntervalMs = 5;
        dvr::DvrServer dvr(o);
        const std::uint16_t port = dvr.start();
        ASSERT_NE(port, 0) << dvr.lastError();
        testing::StreamCallbackRecorder rec;
        std::atomic<std::size_t> got{0};
        rec.reply = [&](const testing::StreamCall& call, const std::atomic<int>*) {
            return (got += call.length) < kRecordBytes ? 1 : 0;
        };
        DvrAddress a;
        a.host = "127.0.0.1";
        a.port = port;
        http::StreamRequest* r =
            http::OpenStreamRequest(LiveUrl(a).c_str(), "", "", &testing::StreamCallbackRecorder::callback, &rec);
        ASSERT_TRUE(rec.waitFinal(kWaitMs));
        http::CloseStreamRequest(r, true);
        recorded = rec.body();
        ASSERT_GE(recorded.size(), kRecordBytes);
    }
    std::ofstream(dir + "/stream.bin", std::ios::binary) << recorded;

    const std::uint16_t port = freePort();
    Nginx nginx(dir, port, "video/x-qdaxwmh263");
    ASSERT_TRUE(portAnswers(port)) << "nginx did not start; see " << dir << "/error.log";
    DvrAddress a;
    a.host = "127.0.0.1";
    a.port = port;
    a.channel = 3;

    // The transport gets the file byte for byte with its content type.
    testing::StreamCallbackRecorder rec;
    http::StreamRequest* r = http::OpenStreamRequest(LiveUrl(a).c_str(), "viewer", "opensesame",
                                                     &testing::StreamCallbackRecorder::callback, &rec);
    ASSERT_TRUE(rec.waitFinal(kWaitMs));
    http::CloseStreamRequest(r, true);
    const auto calls = rec.calls();
    ASSERT_GE(calls.size(), 3u);
    EXPECT_EQ(calls[0].contentType, "video/x-qdaxwmh263");
    EXPECT_EQ(calls[calls.size() - 2].length, 0u);  // closed notice
    EXPECT_EQ(rec.body(), recorded);

    // Wrong credentials: refused after the retries.
    testing::StreamCallbackRecorder refused;
    r = http::OpenStreamRequest(LiveUrl(a).c_str(), "viewer", "nope", &testing::StreamCallbackRecorder::callback,
                                &refused);
    ASSERT_TRUE(refused.waitFinal(kWaitMs));
    EXPECT_EQ(http::GetStreamRequestState(r), http::RequestState::Failed);
    http::CloseStreamRequest(r, true);
    EXPECT_EQ(refused.calls().size(), 1u);

    // The session queues (and, with the decoders built, decodes) it.
    LiveSessionTimings t;
    t.randomDelayUnitMs = 5000;  // one response is enough
    LiveStreamSession session(t);
    session.SetUrl(LiveUrl(a));
    session.SetUserName("viewer");
    session.SetPassword("opensesame");
    session.Start();
    testsupport::WaitFor([&] { return session.Stats().bytesQueued >= recorded.size(); });
    EXPECT_EQ(session.Stats().bytesQueued, recorded.size());
    testsupport::WaitFor([&] { return session.Stats().framesDecoded >= 5; });
    EXPECT_GE(session.Stats().framesDecoded, 5u);
    session.Stop();
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
}

}  // namespace
}  // namespace vistrel::live
