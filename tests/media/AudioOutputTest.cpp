// The audio output against a device simulated in virtual time: what reaches the device, how far
// the sound being played lies from the picture, mute, and a missing or failing device.

#include <QSignalSpy>
#include <QtTest>
#include <atomic>
#include <cmath>
#include <memory>
#include <thread>
#include <vector>

#include "app/media/AudioOutput.h"

using namespace vistrel;
using namespace vistrel::media;

namespace {

constexpr int kRate = 8000;
constexpr std::uint32_t kChunkMs = 200;
constexpr int kChunkFrames = kRate * int(kChunkMs) / 1000;

// Plays in virtual time: `startDelayMs` after opening it begins to consume kRate frames a second.
struct SimulatedDevice final : AudioDevice {
    std::atomic<std::int64_t>& now;
    std::int64_t startDelayMs;
    bool missing = false;
    bool fail = false;
    bool open = false;
    int opens = 0;
    std::int64_t openedAt = 0;
    std::int64_t capacity = 0;
    std::vector<std::int16_t> written;
    std::uint64_t writtenSinceOpen = 0;

    SimulatedDevice(std::atomic<std::int64_t>& clock, std::int64_t delay) : now(clock), startDelayMs(delay) {}
    bool Open(int, int, int bufferFrames, QString* error) override {
        if (missing) {
            *error = QStringLiteral("no audio output device");
            return false;
        }
        open = true;
        ++opens;
        openedAt = now.load();
        capacity = bufferFrames;
        writtenSinceOpen = 0;
        return true;
    }
    void Close() override { open = false; }
    std::uint64_t ProcessedFrames() override {
        const std::int64_t playing = now.load() - openedAt - startDelayMs;
        const std::uint64_t could = playing > 0 ? std::uint64_t(playing) * kRate / 1000 : 0;
        return std::min(could, writtenSinceOpen);
    }
    std::int64_t FramesFree() override {
        return open ? capacity - std::int64_t(writtenSinceOpen - ProcessedFrames()) : 0;
    }
    std::int64_t Write(const std::int16_t* samples, std::int64_t frames) override {
        const std::int64_t n = std::min(frames, FramesFree());
        written.insert(written.end(), samples, samples + n);
        writtenSinceOpen += std::uint64_t(n);
        return n;
    }
    bool Failed(QString* error) override {
        if (fail) *error = QStringLiteral("the audio device failed");
        return fail;
    }
};

std::vector<std::int16_t> Tone(int chunk) {
    std::vector<std::int16_t> s(kChunkFrames);
    for (int i = 0; i < kChunkFrames; ++i)
        s[std::size_t(i)] = std::int16_t(3000 * std::sin(0.05 * (chunk * kChunkFrames + i)));
    return s;
}

playback::AudioChunk ChunkOf(const std::vector<std::int16_t>& s, std::uint32_t ts) {
    playback::AudioChunk c;
    c.samples = s.data();
    c.frames = s.size();
    c.sampleRate = kRate;
    c.channels = 1;
    c.recordTs = ts;
    return c;
}

}  // namespace

class AudioOutputTest : public QObject {
    Q_OBJECT

private:
    std::atomic<std::int64_t> now_{0};

    // Hands `chunks` chunks over as the player would (from its own thread, each at its record
    // time) while the output pumps every 10 ms of virtual time. Returns the largest offset seen
    // once `settleMs` have passed.
    std::int64_t Run(AudioOutput& out, int chunks, std::int64_t settleMs, std::vector<std::int16_t>* handed) {
        std::int64_t worst = 0;
        for (int k = 0; k < chunks; ++k) {
            const auto tone = Tone(k);
            if (handed) handed->insert(handed->end(), tone.begin(), tone.end());
            std::thread player([&] { out.PlayAudio(ChunkOf(tone, std::uint32_t(k) * kChunkMs)); });
            player.join();
            for (std::uint32_t t = 0; t < kChunkMs; t += AudioOutput::kPumpMs) {
                out.pump();
                if (now_.load() >= settleMs) worst = std::max<std::int64_t>(worst, std::llabs(out.lastOffsetMs()));
                now_ += AudioOutput::kPumpMs;
            }
        }
        return worst;
    }

private slots:
    void init() { now_ = 0; }

    void deviceGetsEveryHandedSampleInStep() {
        auto device = std::make_unique<SimulatedDevice>(now_, 0);
        SimulatedDevice* dev = device.get();
        AudioOutput out(std::move(device), [this] { return now_.load(); });
        std::vector<std::int16_t> handed;
        const std::int64_t worst = Run(out, 10, 0, &handed);
        QVERIFY(dev->open);
        QCOMPARE(dev->written.size(), handed.size());
        QVERIFY(dev->written == handed);
        qInfo("offset between picture and sound with a prompt device: at most %lld ms",
              static_cast<long long>(worst));
        QVERIFY(worst <= 80);
    }

    void aSlowDeviceIsBroughtBackInStepByDroppingLateSound() {
        // 150 ms before the device plays anything: without dropping, the sound would stay 150 ms late.
        auto device = std::make_unique<SimulatedDevice>(now_, 150);
        AudioOutput out(std::move(device), [this] { return now_.load(); });
        const std::int64_t worst = Run(out, 15, 1000, nullptr);
        qInfo("offset between picture and sound after a 150 ms late start: at most %lld ms",
              static_cast<long long>(worst));
        QVERIFY(worst <= 80);
    }

    void muteAndHaltSilenceTheDeviceAndPlayResumes() {
        auto device = std::make_unique<SimulatedDevice>(now_, 0);
        SimulatedDevice* dev = device.get();
        AudioOutput out(std::move(device), [this] { return now_.load(); });
        Run(out, 2, 0, nullptr);
        QVERIFY(dev->open);
        out.setMuted(true);
        out.pump();
        QVERIFY(!dev->open);
        const std::size_t before = dev->written.size();
        Run(out, 2, 0, nullptr);
        QCOMPARE(dev->written.size(), before);
        out.setMuted(false);
        Run(out, 2, 0, nullptr);
        QVERIFY(dev->written.size() > before);
        out.HaltAudio();
        out.pump();
        QVERIFY(!dev->open);
    }

    void aMissingOrFailingDeviceMeansSilenceAndOneLogLine() {
        {
            auto device = std::make_unique<SimulatedDevice>(now_, 0);
            device->missing = true;
            AudioOutput out(std::move(device), [this] { return now_.load(); });
            QSignalSpy spy(&out, &AudioOutput::unavailable);
            QTest::ignoreMessage(QtInfoMsg, QRegularExpression("^audio: no audio output device"));
            Run(out, 3, 0, nullptr);
            QCOMPARE(spy.count(), 1);
            QVERIFY(!out.available());
        }
        {
            auto device = std::make_unique<SimulatedDevice>(now_, 0);
            SimulatedDevice* dev = device.get();
            AudioOutput out(std::move(device), [this] { return now_.load(); });
            Run(out, 1, 0, nullptr);
            dev->fail = true;
            QTest::ignoreMessage(QtInfoMsg, QRegularExpression("^audio: the audio device failed"));
            Run(out, 3, 0, nullptr);
            QVERIFY(!out.available());
            QVERIFY(!dev->open);
        }
    }

    void handOverFromThePlayerThreadReachesTheOutputsThread() {
        auto device = std::make_unique<SimulatedDevice>(now_, 0);
        SimulatedDevice* dev = device.get();
        AudioOutput out(std::move(device), [this] { return now_.load(); });
        const auto tone = Tone(0);
        std::thread player([&] { out.PlayAudio(ChunkOf(tone, 0)); });
        player.join();
        // The queued pump runs on this (the output's) thread once events are processed.
        QTRY_VERIFY_WITH_TIMEOUT(!dev->written.empty(), 10000);
    }
};

QTEST_MAIN(AudioOutputTest)
#include "AudioOutputTest.moc"
