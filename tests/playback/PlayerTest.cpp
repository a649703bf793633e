// The player with fake decoders and a virtual clock: pacing, commands, channels, key frames, ends.

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <mutex>
#include <optional>
#include <thread>

#include "RecordBuilder.h"
#include "VirtualClock.h"
#include "stream/playback/CPlayer.h"
#include "video/frame/FrameHeader.h"

using namespace vistrel;
using namespace vistrel::playback;
using namespace vistrel::playback::test;

namespace {

struct Decoded {
    int type;
    std::uint32_t tick;
    std::vector<std::uint8_t> payload;
    std::chrono::steady_clock::time_point realTime;
};

struct Log {
    std::mutex lock;
    std::vector<Decoded> decoded;
    std::vector<int> created;
    std::vector<std::pair<int, int>> reports;

    std::size_t DecodedCount() {
        std::lock_guard<std::mutex> g(lock);
        return decoded.size();
    }
};

class FakeDecoder final : public PIDecoder {
public:
    FakeDecoder(Log& log, PlaybackClock& clock, int type) : log_(log), clock_(clock), type_(type) {}
    bool Open(int, int, WindowHandle, std::uintptr_t) override { return true; }
    void Close() override {}
    bool DecodeAndCapture(const std::uint8_t*, std::size_t, bool, std::uint8_t*, std::size_t, bool) override {
        return false;
    }
    bool Decode(const std::uint8_t* data, std::size_t length, bool, int) override {
        std::lock_guard<std::mutex> g(log_.lock);
        log_.decoded.push_back({type_, clock_.Now(), {data, data + length}, std::chrono::steady_clock::now()});
        return true;
    }
    bool CaptureBitmap(std::uint8_t**, std::size_t*) override { return false; }
    int GetStatus() override { return 0; }
    void Redraw() override {}
    void SetDrawCallback(DrawCallback, std::uintptr_t) override {}
    void ResetPicture() override {}
    void SetFullScreen(int) override {}

private:
    Log& log_;
    PlaybackClock& clock_;
    int type_;
};

// Record time stamp as the inserted frame header carries it.
std::uint32_t TsOf(const Decoded& d) { return frame::FrameHeaderWord(d.payload.data()); }
// The channel the test wrote into the first payload byte (behind the inserted frame header).
int ChannelOf(const Decoded& d) { return d.payload[14]; }

std::vector<std::uint8_t> Rec(int channel, std::uint32_t ts, bool key = true, int type = kTypeH263,
                              std::uint32_t extraFlags = 0) {
    RecordSpec s;
    s.channel = channel;
    s.timeStamp = ts;
    s.type = type;
    s.flags = (key ? kFlagKeyFrame : 0) | extraFlags;
    s.payload = {std::uint8_t(channel), std::uint8_t(ts), std::uint8_t(ts >> 8), 0x55, 0x66};
    return MakeRecord(s);
}

template <typename Clock>
struct Rig {
    Clock clock;
    Log log;
    PlaybackRing ring;
    CPlayer player{[this](int type) -> std::unique_ptr<PIDecoder> {
                       {
                           std::lock_guard<std::mutex> g(log.lock);
                           log.created.push_back(type);
                       }
                       return std::make_unique<FakeDecoder>(log, clock, type);
                   },
                   clock};

    static void OnProgress(int kind, int value, void* context) {
        auto* self = static_cast<Rig*>(context);
        std::lock_guard<std::mutex> g(self->log.lock);
        self->log.reports.emplace_back(kind, value);
    }
    void Start(int channel = 0) { ASSERT_TRUE(player.Start(&ring, channel, nullptr, OnProgress, this)); }
    void Feed(const std::vector<std::uint8_t>& bytes) { ring.Write(bytes.data(), bytes.size()); }
    void FeedRun(int channel, int count, std::uint32_t firstTs, std::uint32_t step) {
        for (int i = 0; i < count; ++i) Feed(Rec(channel, firstTs + std::uint32_t(i) * step));
    }
    void End(int code = 1) {
        Feed(MakeEndRecord(code));
        ring.SetEndOfStream();
    }
    // The value of the first report of `kind`, waiting for it in real time (generously).
    std::optional<int> WaitFor(int kind, int timeoutMs = 20000) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (std::chrono::steady_clock::now() < until) {
            {
                std::lock_guard<std::mutex> g(log.lock);
                for (auto& r : log.reports)
                    if (r.first == kind) return r.second;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        std::lock_guard<std::mutex> g(log.lock);
        std::string seen;
        for (auto& r : log.reports) seen += " " + std::to_string(r.first) + ":" + std::to_string(r.second);
        ADD_FAILURE() << "no report of kind " << kind << "; decoded " << log.decoded.size() << ", command "
                      << player.CurrentCommand() << ", reports" << seen;
        return std::nullopt;
    }
    bool WaitForDecodes(std::size_t n, int timeoutMs = 20000) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (std::chrono::steady_clock::now() < until) {
            if (log.DecodedCount() >= n) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return false;
    }
    ~Rig() { player.Stop(true); }
};

using VirtualRig = Rig<VirtualClock>;

}  // namespace

TEST(Player, FullSpeedNeverWaitsAndReportsTheEndCode) {
    VirtualRig rig;
    rig.Start();
    rig.player.SetRequestedSpeed(kSpeedFull);
    rig.FeedRun(0, 100, 5000, 40);
    rig.End(7);
    rig.player.Play();
    const auto end = rig.WaitFor(kProgressPlayEnd);
    ASSERT_TRUE(end);
    EXPECT_EQ(*end, (7 << 16) | 1);
    ASSERT_EQ(rig.log.decoded.size(), 100u);
    for (auto& d : rig.log.decoded) EXPECT_EQ(d.tick, rig.log.decoded.front().tick);
    EXPECT_EQ(rig.player.GetPlayPosition(), int(5000 + 99 * 40));
    EXPECT_EQ(rig.player.CurrentCommand(), kCommandPause);
    EXPECT_EQ(rig.log.created, std::vector<int>{kTypeH263});
}

TEST(Player, PacesTimeStampDistancesBySpeed) {
    struct Case {
        int speed;
        double perRecordMs;  // 40 ms apart in time stamps
    };
    for (Case c : {Case{kSpeed1X, 40}, Case{kSpeed2X, 20}, Case{kSpeed4X, 10}, Case{kSpeedHalf, 80},
                   Case{kSpeedEighth, 320}}) {
        VirtualRig rig;
        rig.Start();
        rig.player.SetRequestedSpeed(c.speed);
        const int n = 150;  // crosses the re-base every 60 records twice
        rig.FeedRun(0, n, 0, 40);
        rig.End();
        rig.player.Play();
        ASSERT_TRUE(rig.WaitFor(kProgressPlayEnd)) << c.speed;
        ASSERT_EQ(rig.log.decoded.size(), std::size_t(n));
        const double total = double(rig.log.decoded.back().tick - rig.log.decoded.front().tick);
        const double mean = total / (n - 1);
        EXPECT_NEAR(mean, c.perRecordMs, c.perRecordMs * 0.1) << "speed " << c.speed;
        for (std::size_t i = 1; i < rig.log.decoded.size(); ++i) {
            const double gap = double(rig.log.decoded[i].tick - rig.log.decoded[i - 1].tick);
            EXPECT_LE(gap, c.perRecordMs * 1.5 + 2) << "speed " << c.speed << " record " << i;
        }
    }
}

TEST(Player, JumpsInTimeStampsRebaseInsteadOfWaiting) {
    for (int speed : {kSpeed1X, kSpeedQuarter}) {
        VirtualRig rig;
        rig.Start();
        rig.player.SetRequestedSpeed(speed);
        rig.FeedRun(0, 20, 0, 40);
        rig.FeedRun(0, 20, 600000, 40);  // ten minutes later
        rig.FeedRun(0, 20, 100, 40);     // and back again
        rig.End();
        rig.player.Play();
        ASSERT_TRUE(rig.WaitFor(kProgressPlayEnd));
        ASSERT_EQ(rig.log.decoded.size(), 60u);
        for (std::size_t i = 1; i < 60; ++i)
            EXPECT_LE(rig.log.decoded[i].tick - rig.log.decoded[i - 1].tick, 2000u) << speed << " at " << i;
    }
}

TEST(Player, ASpeedChangeEndsALongWaitAndRebases) {
    VirtualRig rig;
    rig.Start();
    rig.player.SetRequestedSpeed(kSpeedEighth);
    rig.FeedRun(0, 30, 0, 500);  // 4 s of waiting per record at (1/8)X
    rig.End();
    rig.player.Play();
    ASSERT_TRUE(rig.WaitForDecodes(3));
    rig.player.SetRequestedSpeed(kSpeedFull);
    const std::size_t atChange = rig.log.DecodedCount();
    ASSERT_TRUE(rig.WaitFor(kProgressPlayEnd));
    ASSERT_EQ(rig.log.decoded.size(), 30u);
    // The wait under way ends at once; everything after it comes without waiting.
    const std::size_t from = std::min<std::size_t>(atChange + 1, 29);
    EXPECT_EQ(rig.log.decoded[29].tick, rig.log.decoded[from].tick) << "changed at " << atChange;
    // Position reports went on during the long waits.
    std::size_t positions = 0;
    for (auto& r : rig.log.reports) positions += r.first == kProgressPosition;
    EXPECT_GE(positions, 10u);
}

TEST(Player, StepPresentsOneRecordAndPauses) {
    VirtualRig rig;
    rig.Start();
    // Other channels' records and a picture before the first key frame are stepped over.
    rig.Feed(Rec(5, 900));
    rig.Feed(Rec(0, 960, false));
    for (std::uint32_t i = 0; i < 10; ++i) {
        rig.Feed(Rec(0, 1000 + i * 40));
        rig.Feed(Rec(5, 1001 + i * 40));
    }
    rig.End();
    rig.player.Step();
    ASSERT_TRUE(rig.WaitForDecodes(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(rig.log.DecodedCount(), 1u);
    EXPECT_EQ(rig.player.CurrentCommand(), kCommandPause);
    std::optional<int> lastPosition;
    {
        std::lock_guard<std::mutex> g(rig.log.lock);
        for (auto& r : rig.log.reports)
            if (r.first == kProgressPosition) lastPosition = r.second;
    }
    EXPECT_EQ(lastPosition, 1000);
    rig.player.Step();
    ASSERT_TRUE(rig.WaitForDecodes(2));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(rig.log.DecodedCount(), 2u);
    EXPECT_EQ(TsOf(rig.log.decoded[1]), 1040u);
}

TEST(Player, OnlyTheChosenChannelIsDecodedAndTypeSevenNever) {
    VirtualRig rig;
    rig.Start(1);
    rig.player.SetRequestedSpeed(kSpeedFull);
    for (std::uint32_t i = 0; i < 30; ++i) {
        rig.Feed(Rec(0, i * 40));
        rig.Feed(Rec(1, i * 40 + 1));
        rig.Feed(Rec(1, i * 40 + 2, true, kTypeSkipped));
        rig.Feed(Rec(2, i * 40 + 3, true, kTypeMpeg4));
        rig.Feed(Rec(17, i * 40 + 4));
    }
    rig.End();
    rig.player.Play();
    ASSERT_TRUE(rig.WaitFor(kProgressPlayEnd));
    ASSERT_EQ(rig.log.decoded.size(), 30u);
    for (auto& d : rig.log.decoded) {
        EXPECT_EQ(ChannelOf(d), 1);
        EXPECT_EQ(TsOf(d) % 40, 1u);
    }
    EXPECT_EQ(rig.log.created, std::vector<int>{kTypeH263});
    // Channel reports name the shown channel only.
    for (auto& r : rig.log.reports) {
        if (r.first == kProgressChannel) {
            EXPECT_EQ(r.second, 1);
        }
    }
}

TEST(Player, NothingIsDecodedBeforeAKeyFrameAfterStartOrSwitch) {
    VirtualRig rig;
    rig.Start();
    rig.player.SetRequestedSpeed(kSpeedFull);
    for (std::uint32_t i = 0; i < 20; ++i) rig.Feed(Rec(0, i * 40, i == 10));
    rig.End();
    rig.player.Play();
    ASSERT_TRUE(rig.WaitFor(kProgressPlayEnd));
    ASSERT_EQ(rig.log.decoded.size(), 10u);
    EXPECT_EQ(TsOf(rig.log.decoded.front()), 400u);
}

TEST(Player, ChannelSwitchWaitsForTheNewChannelsKeyFrame) {
    VirtualRig rig;
    rig.Start(0);
    rig.player.SetRequestedSpeed(kSpeedFull);
    rig.Feed(Rec(0, 0));
    rig.Feed(Rec(3, 1, false));
    rig.End();
    rig.player.Step();
    ASSERT_TRUE(rig.WaitForDecodes(1));
    rig.player.SetRequestedChannel(3);
    rig.player.Play();
    ASSERT_TRUE(rig.WaitFor(kProgressPlayEnd));
    EXPECT_EQ(rig.log.decoded.size(), 1u);  // channel 3's record was no key frame
}

TEST(Player, EndValueCarriesTheCodeOnlyWhenSelected) {
    {
        VirtualRig rig;
        rig.Start();
        rig.FeedRun(0, 3, 0, 40);
        rig.Feed(MakeEndRecord(9, 1));  // bytes 38..39 non-zero: no code
        rig.ring.SetEndOfStream();
        rig.player.Play();
        EXPECT_EQ(rig.WaitFor(kProgressPlayEnd), 1);
    }
    {
        VirtualRig rig;
        rig.Start();
        rig.FeedRun(0, 3, 0, 40);
        rig.ring.SetEndOfStream();  // no end record at all
        rig.player.Play();
        EXPECT_EQ(rig.WaitFor(kProgressPlayEnd), 0);
        EXPECT_EQ(rig.log.decoded.size(), 3u);
    }
}

TEST(Player, ATypeWithoutDecoderStopsPlayAndPlayGoesOnAfterIt) {
    VirtualRig rig;
    rig.Start();
    rig.player.SetRequestedSpeed(kSpeedFull);
    rig.Feed(Rec(0, 0));
    rig.Feed(Rec(0, 40, true, 2));
    rig.Feed(Rec(0, 80));
    rig.End(3);
    rig.player.Play();
    // The queue had already read the end record when the unknown type stopped the play.
    EXPECT_EQ(rig.WaitFor(kProgressPlayEnd), (3 << 16) | 1);
    EXPECT_EQ(rig.log.DecodedCount(), 1u);
    {
        std::lock_guard<std::mutex> g(rig.log.lock);
        rig.log.reports.clear();
    }
    rig.player.Play();
    EXPECT_EQ(rig.WaitFor(kProgressPlayEnd), (3 << 16) | 1);
    EXPECT_EQ(rig.log.DecodedCount(), 2u);
}

TEST(Player, AudioRecordsReachTheDecoderAsChunks) {
    VirtualRig rig;
    rig.Start(12);
    rig.player.SetRequestedSpeed(kSpeedFull);
    RecordSpec video;
    video.channel = 12;
    video.type = kTypeMpeg4Audio;
    video.timeStamp = 100;
    video.payload = {0, 0, 1, 0xE0, 0, 0, 0x80, 0x80, 0, 0, 0, 1, 0xB6, 0x42, 0, 0};
    RecordSpec audio = video;
    audio.timeStamp = 120;
    audio.flags = 0;
    audio.payload = {0, 0, 1, 0xC0, 0, 0, 0x80, 0x80, 0};
    audio.payload.insert(audio.payload.end(), 300, 0x31);
    rig.Feed(MakeRecord(video));
    rig.Feed(MakeRecord(audio));
    rig.End();
    rig.player.Play();
    ASSERT_TRUE(rig.WaitFor(kProgressPlayEnd));
    ASSERT_EQ(rig.log.decoded.size(), 2u);
    const auto& v = rig.log.decoded[0].payload;
    ASSERT_EQ(v.size(), 14u + 4 + 4 + 5);
    EXPECT_EQ(Le32(&v[14]), 9u);
    EXPECT_EQ(0, std::memcmp(&v[18], "00dc\0\0\1\xB6\x42", 9));
    const auto& a = rig.log.decoded[1].payload;
    ASSERT_EQ(a.size(), 14u + 4 + 260);
    EXPECT_EQ(0, std::memcmp(&a[18], "01wb", 4));
    EXPECT_EQ(rig.log.created, std::vector<int>{kTypeMpeg4Audio});
}

TEST(Player, PauseBreaksABlockingReadAndPlayLosesNoRecord) {
    VirtualRig rig;
    rig.Start();
    rig.player.SetRequestedSpeed(kSpeedFull);
    rig.FeedRun(0, 20, 0, 40);
    rig.player.Play();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(rig.log.DecodedCount(), 0u);  // still filling its queue, blocked on the ring
    rig.player.Pause();
    // Half a record first, then the rest after another pause.
    const auto next = Rec(0, 20 * 40);
    rig.Feed({next.begin(), next.begin() + 30});
    rig.player.Play();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    rig.player.Pause();
    rig.Feed({next.begin() + 30, next.end()});
    rig.FeedRun(0, 39, 21 * 40, 40);
    rig.End();
    rig.player.Play();
    ASSERT_TRUE(rig.WaitFor(kProgressPlayEnd));
    ASSERT_EQ(rig.log.decoded.size(), 60u);
    for (std::size_t i = 0; i < 60; ++i) EXPECT_EQ(TsOf(rig.log.decoded[i]), i * 40) << i;
}

namespace {
class RealClock final : public PlaybackClock {
public:
    std::uint32_t Now() override { return SystemPlaybackClock().Now(); }
    void Sleep(std::uint32_t ms) override { SystemPlaybackClock().Sleep(ms); }
};
}  // namespace

// One check on the real clock, with wide margins: sleeps are never shorter than asked, but a
// loaded machine may make them much longer.
TEST(Player, RealClockHalfSpeedRoughlyDoublesTheDistances) {
    Rig<RealClock> rig;
    rig.Start();
    rig.player.SetRequestedSpeed(kSpeedHalf);
    rig.FeedRun(0, 15, 0, 30);
    rig.End();
    rig.player.Play();
    ASSERT_TRUE(rig.WaitFor(kProgressPlayEnd, 60000));
    ASSERT_EQ(rig.log.decoded.size(), 15u);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(rig.log.decoded.back().realTime -
                                                                          rig.log.decoded.front().realTime)
                        .count();
    EXPECT_GE(ms, 14 * 60 * 7 / 10);
    EXPECT_LE(ms, 14 * 60 * 6);
}
