// The player's sound path: type-14 sound reaches the sink as the emulator's encoder meant it,
// sample for sample, and only while playing at 1X.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <mutex>
#include <thread>

#include "stream/playback/CPlayer.h"
#include "tests/playback/RecordBuilder.h"
#include "tests/playback/VirtualClock.h"
#include "tools/dvr/ImaAdpcmEncoder.h"
#include "tools/dvr/PesPacket.h"

using namespace vistrel;
using namespace vistrel::playback;
using vistrel::playback::test::VirtualClock;

namespace {

constexpr int kChannel = 12;
constexpr std::uint32_t kStepMs = 200;
constexpr int kFramesPerStep = 1600;  // 200 ms at 8 kHz

class SilentDecoder final : public PIDecoder {
public:
    bool Open(int, int, WindowHandle, std::uintptr_t) override { return true; }
    void Close() override {}
    bool DecodeAndCapture(const std::uint8_t*, std::size_t, bool, std::uint8_t*, std::size_t, bool) override {
        return false;
    }
    bool Decode(const std::uint8_t*, std::size_t, bool, int) override { return true; }
    bool CaptureBitmap(std::uint8_t**, std::size_t*) override { return false; }
    int GetStatus() override { return 0; }
    void Redraw() override {}
    void SetDrawCallback(DrawCallback, std::uintptr_t) override {}
    void ResetPicture() override {}
    void SetFullScreen(int) override {}
};

struct RecordingSink final : AudioSink {
    std::mutex lock;
    std::vector<std::int16_t> samples;
    std::vector<std::uint32_t> times;
    int rate = 0, channels = 0;
    int halts = 0;
    void PlayAudio(const AudioChunk& c) override {
        std::lock_guard<std::mutex> g(lock);
        samples.insert(samples.end(), c.samples, c.samples + c.frames * std::size_t(c.channels));
        times.push_back(c.recordTs);
        rate = c.sampleRate;
        channels = c.channels;
    }
    void HaltAudio() override {
        std::lock_guard<std::mutex> g(lock);
        ++halts;
    }
    std::size_t Chunks() {
        std::lock_guard<std::mutex> g(lock);
        return times.size();
    }
};

// A recording of steps, each a video packet (key at the first) and a sound packet of a tone, as the
// DVR's encoder makes them; `expected` gets what an independent decoder makes of the sound.
struct Recording {
    std::vector<std::vector<std::uint8_t>> records;
    std::vector<std::int16_t> expected;  // the sound of steps that the player can present
};

Recording MakeRecording(int steps) {
    Recording r;
    dvr::ImaAdpcmState encoder, decoder;
    for (int s = 0; s < steps; ++s) {
        const std::uint32_t ts = std::uint32_t(s) * kStepMs;
        test::RecordSpec video;
        video.channel = kChannel;
        video.type = kTypeMpeg4Audio;
        video.timeStamp = ts;
        video.flags = s == 0 ? kFlagKeyFrame : 0;
        const std::uint8_t plane[] = {0, 0, 1, 0xB6, 0x10, 0x20};
        video.payload = dvr::makePesPacket(dvr::kVideoStreamId, ts, plane, sizeof plane);
        r.records.push_back(test::MakeRecord(video));

        std::vector<std::int16_t> tone(kFramesPerStep);
        for (int i = 0; i < kFramesPerStep; ++i)
            tone[std::size_t(i)] = std::int16_t(5000 * std::sin(0.07 * double(s * kFramesPerStep + i)));
        const auto adpcm = dvr::imaAdpcmEncode(tone.data(), tone.size(), encoder);
        test::RecordSpec audio = video;
        audio.flags = 0;
        audio.payload = dvr::makePesPacket(dvr::kAudioStreamId, ts, adpcm.data(), adpcm.size());
        r.records.push_back(test::MakeRecord(audio));
        for (std::uint8_t b : adpcm) {
            r.expected.push_back(std::int16_t(dvr::imaAdpcmDecodeStep(b >> 4, decoder)));
            r.expected.push_back(std::int16_t(dvr::imaAdpcmDecodeStep(b & 15, decoder)));
        }
    }
    return r;
}

struct Rig {
    VirtualClock clock;
    PlaybackRing ring;
    RecordingSink sink;
    CPlayer player{[](int) -> std::unique_ptr<PIDecoder> { return std::make_unique<SilentDecoder>(); }, clock};
    std::atomic<bool> ended{false};

    static void OnProgress(int kind, int, void* context) {
        if (kind == kProgressPlayEnd) static_cast<Rig*>(context)->ended = true;
    }
    Rig() {
        player.SetAudioSink(&sink);
        EXPECT_TRUE(player.Start(&ring, kChannel, nullptr, OnProgress, this));
    }
    void Feed(const std::vector<std::vector<std::uint8_t>>& records, std::size_t from, std::size_t to) {
        for (std::size_t i = from; i < to; ++i) ring.Write(records[i].data(), records[i].size());
    }
    void End() {
        const auto end = test::MakeEndRecord(1);
        ring.Write(end.data(), end.size());
        ring.SetEndOfStream();
    }
    bool WaitUntil(const std::function<bool()>& done) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (std::chrono::steady_clock::now() < until) {
            if (done()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return false;
    }
    ~Rig() { player.Stop(true); }
};

}  // namespace

TEST(PlayerAudio, At1XTheSinkGetsExactlyTheDecodedSoundWithItsRecordTimes) {
    const Recording rec = MakeRecording(10);
    Rig rig;
    rig.Feed(rec.records, 0, rec.records.size());
    rig.End();
    rig.player.Play();
    ASSERT_TRUE(rig.WaitUntil([&] { return rig.ended.load(); }));
    std::lock_guard<std::mutex> g(rig.sink.lock);
    EXPECT_EQ(rig.sink.rate, 8000);
    EXPECT_EQ(rig.sink.channels, 1);
    ASSERT_EQ(rig.sink.times.size(), 10u);
    for (std::size_t i = 0; i < rig.sink.times.size(); ++i) EXPECT_EQ(rig.sink.times[i], i * kStepMs);
    EXPECT_EQ(rig.sink.samples, rec.expected);
    EXPECT_GE(rig.sink.halts, 1);  // the end of the data stops the sound
}

// The player keeps 45 records queued before it presents one, so a test that wants it to stop
// part-way feeds that many more than it wants presented.
constexpr std::size_t kQueued = 45;

TEST(PlayerAudio, OtherSpeedsHandNothingOver) {
    const Recording rec = MakeRecording(8);
    for (int speed : {kSpeed2X, kSpeedHalf, kSpeedFull}) {
        Rig rig;
        rig.player.SetRequestedSpeed(speed);
        rig.Feed(rec.records, 0, rec.records.size());
        rig.End();
        rig.player.Play();
        ASSERT_TRUE(rig.WaitUntil([&] { return rig.ended.load(); }));
        EXPECT_EQ(rig.sink.Chunks(), 0u) << "speed " << speed;
    }
}

TEST(PlayerAudio, PauseHaltsTheSinkAndNothingFlowsUntilPlay) {
    const Recording rec = MakeRecording(30);
    Rig rig;
    rig.Feed(rec.records, 0, 2 * 5 + kQueued);
    rig.player.Play();
    ASSERT_TRUE(rig.WaitUntil([&] { return rig.sink.Chunks() >= 5; }));
    rig.player.Pause();
    std::size_t chunksAtPause = 0;
    {
        std::lock_guard<std::mutex> g(rig.sink.lock);
        EXPECT_GE(rig.sink.halts, 1);
        chunksAtPause = rig.sink.times.size();
    }
    rig.Feed(rec.records, 2 * 5 + kQueued, rec.records.size());
    rig.End();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(rig.sink.Chunks(), chunksAtPause);
    rig.player.Play();
    ASSERT_TRUE(rig.WaitUntil([&] { return rig.ended.load(); }));
    // A record presented at once because the pause came during its wait is not heard; every
    // chunk handed over is still exactly its step's sound.
    std::lock_guard<std::mutex> g(rig.sink.lock);
    std::vector<std::int16_t> expected;
    for (std::uint32_t t : rig.sink.times) {
        const auto from = rec.expected.begin() + std::ptrdiff_t(t / kStepMs * kFramesPerStep);
        expected.insert(expected.end(), from, from + kFramesPerStep);
    }
    EXPECT_GE(rig.sink.times.size(), 28u);
    EXPECT_EQ(rig.sink.samples, expected);
}

TEST(PlayerAudio, ARemovedSinkIsNeverCalledAgain) {
    const Recording rec = MakeRecording(30);
    Rig rig;
    rig.Feed(rec.records, 0, 2 * 3 + kQueued);
    rig.player.Play();
    ASSERT_TRUE(rig.WaitUntil([&] { return rig.sink.Chunks() >= 3; }));
    rig.player.SetAudioSink(nullptr);
    const std::size_t chunks = rig.sink.Chunks();
    rig.Feed(rec.records, 2 * 3 + kQueued, rec.records.size());
    rig.End();
    ASSERT_TRUE(rig.WaitUntil([&] { return rig.ended.load(); }));
    EXPECT_EQ(rig.sink.Chunks(), chunks);
}
