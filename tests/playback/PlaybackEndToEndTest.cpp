// The playback session against the DVR emulator on loopback: the transport, the reader, the
// conversion, the player and the real decoders together; and the vistrel-cli playback contract.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "stream/http/StreamRequest.h"
#include "stream/playback/PlaybackDecoderFactory.h"
#include "stream/playback/PlaybackSession.h"
#include "stream/playback/PlaybackUrl.h"
#include "tests/support/Command.h"
#include "tools/dvr/DvrServer.h"

using namespace vistrel;
using namespace vistrel::playback;

namespace {

constexpr int kRecordedSeconds = 4;
constexpr int kRecordsPerSecond = 5;  // the emulator's default 200 ms per channel

class PlaybackEndToEnd : public testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(http::OpenInternetRoot("KEMBQM/MSIE")); }
    static void TearDownTestSuite() { http::CloseInternetRoot(); }

    struct Reports {
        std::mutex lock;
        std::vector<std::pair<int, int>> seen;
        static void Add(int kind, int value, void* context) {
            auto* self = static_cast<Reports*>(context);
            std::lock_guard<std::mutex> g(self->lock);
            self->seen.emplace_back(kind, value);
        }
        std::optional<int> Find(int kind) {
            std::lock_guard<std::mutex> g(lock);
            for (auto& r : seen)
                if (r.first == kind) return r.second;
            return std::nullopt;
        }
        std::optional<int> WaitFor(int kind, int timeoutMs = 60000) {
            const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
            while (std::chrono::steady_clock::now() < until) {
                if (auto v = Find(kind)) return v;
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            return std::nullopt;
        }
    };

    dvr::DvrOptions Options() {
        dvr::DvrOptions o;
        o.recordedSecondsPerHour = kRecordedSeconds;
        return o;
    }

    static std::string Url(const dvr::DvrServer& server, int hour = 13, int minute = 0) {
        return BuildPlaybackUrl("127.0.0.1", std::to_string(server.port()),
                                PackPlaybackRange(2026, 12, 8, hour, minute, 0));
    }

    // Plays channel `index` to its end and returns the decoded picture count; the bitmap of the
    // last picture goes to `bitmap`.
    std::uint64_t PlayToEnd(const std::string& url, int index, int speed, Reports& reports,
                            std::vector<std::uint8_t>* bitmap = nullptr, const char* user = "",
                            const char* password = "") {
        PlaybackSession session(CreatePlaybackDecoder);
        session.SetProgressCallback(Reports::Add, &reports);
        session.SetUrl(url.c_str());
        session.SetUserName(user);
        session.SetPassword(password);
        session.SetChannel(index);
        session.SetSpeed(speed);
        session.Start(1);
        EXPECT_TRUE(reports.WaitFor(kProgressPlayEnd)) << "channel index " << index;
        if (bitmap) {
            std::uint8_t* buffer = nullptr;
            std::size_t size = 0;
            if (session.player().CaptureBitmap(index, &buffer, &size)) {
                bitmap->assign(buffer, buffer + size);
                PIDecoder::ReleaseBitmap(buffer);
            }
        }
        session.Stop();
        EXPECT_EQ(session.state(), PlaybackSession::kStateStopped);
        return session.player().DecodedCount();
    }
};

// A picture that is not one flat colour: something was really decoded.
bool HasContent(const std::vector<std::uint8_t>& bmp) {
    if (bmp.size() < 54 + 3) return false;
    int lo = 255, hi = 0;
    for (std::size_t i = 54; i < bmp.size(); i += 97) {
        lo = std::min<int>(lo, bmp[i]);
        hi = std::max<int>(hi, bmp[i]);
    }
    return hi - lo > 40;
}

}  // namespace

TEST_F(PlaybackEndToEnd, EveryCodingPlaysItsRecordingToTheEndRecord) {
    dvr::DvrServer server(Options());
    ASSERT_NE(server.start(), 0) << server.lastError();
    // Channel indexes 0 (H.263, type 1), 8 (MPEG-4, type 13), 12 (MPEG-4 with audio, type 14).
    for (int index : {0, 8, 12}) {
        Reports reports;
        std::vector<std::uint8_t> bitmap;
        const std::uint64_t frames = PlayToEnd(Url(server), index, kSpeedFull, reports, &bitmap);
        EXPECT_EQ(frames, std::uint64_t(kRecordedSeconds * kRecordsPerSecond)) << "channel index " << index;
        EXPECT_EQ(reports.Find(kProgressPlayEnd), (1 << 16) | 1);
        EXPECT_TRUE(reports.Find(kProgressFirstData));
        EXPECT_EQ(reports.Find(kProgressChannel), index);
        ASSERT_EQ(bitmap.size(), 320u * 240u * 3u + 54u) << "channel index " << index;
        EXPECT_EQ(bitmap[0], 'B');
        EXPECT_TRUE(HasContent(bitmap)) << "channel index " << index;
    }
}

TEST_F(PlaybackEndToEnd, PacedPlayTakesAboutTheRecordedTimeDividedBySpeed) {
    dvr::DvrOptions o = Options();
    o.recordedSecondsPerHour = 2;
    dvr::DvrServer server(o);
    ASSERT_NE(server.start(), 0);
    Reports reports;
    const auto began = std::chrono::steady_clock::now();
    EXPECT_EQ(PlayToEnd(Url(server), 1, kSpeed4X, reports), 10u);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    // 2 s recorded at 4X: half a second at best; a loaded machine may take much longer.
    EXPECT_GE(seconds, 0.3);
    EXPECT_LT(seconds, 30.0);
}

TEST_F(PlaybackEndToEnd, DamagedAndCutStreamsStillPlayWhatIsIntact) {
    {
        dvr::DvrOptions o = Options();
        o.faults.corruptRecordEvery = 7;
        dvr::DvrServer server(o);
        ASSERT_NE(server.start(), 0);
        Reports reports;
        EXPECT_EQ(PlayToEnd(Url(server), 12, kSpeedFull, reports),
                  std::uint64_t(kRecordedSeconds * kRecordsPerSecond));
        EXPECT_EQ(reports.Find(kProgressPlayEnd), (1 << 16) | 1);
    }
    {
        dvr::DvrOptions o = Options();
        o.faults.truncateAfterRecords = 16 * 8;  // about eight records of each channel
        dvr::DvrServer server(o);
        ASSERT_NE(server.start(), 0);
        Reports reports;
        const std::uint64_t frames = PlayToEnd(Url(server), 0, kSpeedFull, reports);
        EXPECT_GT(frames, 0u);
        EXPECT_LT(frames, std::uint64_t(kRecordedSeconds * kRecordsPerSecond));
        EXPECT_TRUE(reports.Find(kProgressStreamEnd));
        EXPECT_EQ(reports.Find(kProgressPlayEnd), 0);  // ended without an end record
    }
}

TEST_F(PlaybackEndToEnd, EmptyRangeEndsAtOnceAndCredentialsAreUsed) {
    dvr::DvrOptions o = Options();
    o.user = "admin";
    o.password = "secret";
    o.auth = dvr::AuthMode::Basic;
    dvr::DvrServer server(o);
    ASSERT_NE(server.start(), 0);
    {
        Reports reports;
        EXPECT_EQ(PlayToEnd(Url(server, 13, 30), 0, kSpeed1X, reports, nullptr, "admin", "secret"), 0u);
        EXPECT_EQ(reports.Find(kProgressPlayEnd), (1 << 16) | 1);
    }
    {
        Reports reports;
        EXPECT_EQ(PlayToEnd(Url(server), 3, kSpeedFull, reports, nullptr, "admin", "secret"),
                  std::uint64_t(kRecordedSeconds * kRecordsPerSecond));
    }
}

TEST_F(PlaybackEndToEnd, StartInStepModeShowsOnePicture) {
    dvr::DvrServer server(Options());
    ASSERT_NE(server.start(), 0);
    Reports reports;
    PlaybackSession session(CreatePlaybackDecoder);
    session.SetProgressCallback(Reports::Add, &reports);
    const std::string url = Url(server);
    session.SetUrl(url.c_str());
    session.SetChannel(2);
    session.Start(0);
    ASSERT_TRUE(reports.WaitFor(kProgressPosition, 30000));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(session.player().DecodedCount(), 1u);
    EXPECT_EQ(session.player().CurrentCommand(), kCommandPause);
    session.Play();
    EXPECT_TRUE(reports.WaitFor(kProgressPlayEnd));
    session.Stop();
}

TEST_F(PlaybackEndToEnd, AnUnreachableDvrReportsTheEndAndLeavesThePlayerPaused) {
    dvr::DvrServer server(Options());
    ASSERT_NE(server.start(), 0);
    const std::string url = Url(server);
    server.stop();  // nothing listens on that port any more
    Reports reports;
    PlaybackSession session(CreatePlaybackDecoder);
    session.SetProgressCallback(Reports::Add, &reports);
    session.SetUrl(url.c_str());
    session.Start(1);
    EXPECT_TRUE(reports.WaitFor(kProgressStreamEnd, 30000));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(reports.Find(kProgressFirstData));
    EXPECT_EQ(session.player().CurrentCommand(), kCommandPause);
    EXPECT_EQ(session.player().DecodedCount(), 0u);
    session.Stop();
    // Stop and Pause are harmless when nothing plays.
    session.Pause();
    session.Stop();
}

TEST_F(PlaybackEndToEnd, CommandLineContract) {
    dvr::DvrServer server(Options());
    ASSERT_NE(server.start(), 0);
    const std::string cli = std::string(VISTREL_BIN_DIR) + "/vistrel-cli";
    const std::string out = testing::TempDir() + "vistrel_playback_cli.txt";
    const std::string snapshot = testing::TempDir() + "vistrel_playback_cli.bmp";
    const std::string base = cli + " playback --host 127.0.0.1 --port " + std::to_string(server.port());
    auto run = [&](const std::string& args) {
        return testsupport::RunCommand(base + " " + args + " > '" + out + "' 2>/dev/null");
    };
    EXPECT_EQ(run("--channel 13 --date 2026-12-08 --time 13:00:00 --speed Full --snapshot '" + snapshot + "'"), 0);
    std::FILE* f = std::fopen(out.c_str(), "r");
    ASSERT_TRUE(f);
    char line[256] = {};
    ASSERT_TRUE(std::fgets(line, sizeof line, f));
    std::fclose(f);
    unsigned long long frames = 0, bytes = 0;
    int w = 0, h = 0, reconnects = -1;
    ASSERT_EQ(std::sscanf(line, "frames %llu, size %dx%d, reconnects %d, bytes %llu", &frames, &w, &h, &reconnects,
                          &bytes),
              5)
        << line;
    EXPECT_EQ(frames, std::uint64_t(kRecordedSeconds * kRecordsPerSecond));
    EXPECT_EQ(w, 320);
    EXPECT_EQ(h, 240);
    EXPECT_EQ(reconnects, 0);
    EXPECT_GT(bytes, 0u);
    std::FILE* bmp = std::fopen(snapshot.c_str(), "rb");
    ASSERT_TRUE(bmp);
    std::fseek(bmp, 0, SEEK_END);
    EXPECT_EQ(std::ftell(bmp), 320 * 240 * 3 + 54);
    std::fclose(bmp);
    std::remove(snapshot.c_str());

    EXPECT_EQ(run("--channel 1 --date 2026-12-08 --time 13:30:00"), 1);  // nothing recorded
    EXPECT_EQ(run("--channel 1 --date 2026-13-01 --time 13:00:00"), 2);
    EXPECT_EQ(run("--channel 1 --date 2026-12-08 --time 24:00:00"), 2);
    EXPECT_EQ(run("--channel 17 --date 2026-12-08 --time 13:00:00"), 2);
    EXPECT_EQ(run("--date 2026-12-08 --time 13:00:00 --speed 3X"), 2);
    EXPECT_EQ(run("--time 13:00:00"), 2);
    EXPECT_EQ(run("--date 2026-12-08 --time 13:00:00 --bogus 1"), 2);
    std::remove(out.c_str());
}
