// The default sound output through Qt Multimedia's QAudioSink, in push mode.

#include "app/media/AudioDevice.h"

#ifdef VISTREL_HAVE_MULTIMEDIA
#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QIODevice>
#include <QMediaDevices>
#endif

namespace vistrel::media {

namespace {

#ifdef VISTREL_HAVE_MULTIMEDIA

constexpr std::int64_t kBytesPerSample = 2;

class QtAudioDevice final : public AudioDevice {
public:
    ~QtAudioDevice() override { Close(); }

    bool Open(int sampleRate, int channels, int bufferFrames, QString* error) override {
        Close();
        const QAudioDevice device = QMediaDevices::defaultAudioOutput();
        if (device.isNull()) {
            *error = QStringLiteral("no audio output device");
            return false;
        }
        QAudioFormat format;
        format.setSampleRate(sampleRate);
        format.setChannelCount(channels);
        format.setSampleFormat(QAudioFormat::Int16);
        if (!device.isFormatSupported(format)) {
            *error = QStringLiteral("the audio device '%1' refuses %2 Hz 16-bit sound")
                         .arg(device.description())
                         .arg(sampleRate);
            return false;
        }
        frameBytes_ = kBytesPerSample * channels;
        rate_ = sampleRate;
        sink_ = std::make_unique<QAudioSink>(device, format);
        sink_->setBufferSize(qsizetype(bufferFrames * frameBytes_));
        io_ = sink_->start();
        if (!io_ || sink_->error() != QAudio::NoError) {
            *error = QStringLiteral("the audio device '%1' cannot be started").arg(device.description());
            Close();
            return false;
        }
        return true;
    }

    void Close() override {
        if (sink_) sink_->stop();
        io_ = nullptr;
        sink_.reset();
    }

    std::int64_t FramesFree() override { return sink_ ? sink_->bytesFree() / frameBytes_ : 0; }

    std::int64_t Write(const std::int16_t* samples, std::int64_t frames) override {
        if (!io_) return 0;
        const qint64 n = io_->write(reinterpret_cast<const char*>(samples), frames * frameBytes_);
        return n > 0 ? n / frameBytes_ : 0;
    }

    std::uint64_t ProcessedFrames() override {
        return sink_ ? std::uint64_t(sink_->processedUSecs()) * std::uint64_t(rate_) / 1000000u : 0;
    }

    bool Failed(QString* error) override {
        if (!sink_) return false;
        const QAudio::Error e = sink_->error();
        // An underrun is the device waiting for us, not a failure.
        if (e == QAudio::NoError || e == QAudio::UnderrunError) return false;
        *error = QStringLiteral("the audio device failed (error %1)").arg(int(e));
        return true;
    }

private:
    std::unique_ptr<QAudioSink> sink_;
    QIODevice* io_ = nullptr;  // owned by sink_
    std::int64_t frameBytes_ = kBytesPerSample;
    int rate_ = 0;
};

#else

class NoAudioDevice final : public AudioDevice {
public:
    bool Open(int, int, int, QString* error) override {
        *error = QStringLiteral("this build has no sound output (Qt Multimedia was missing)");
        return false;
    }
    void Close() override {}
    std::int64_t FramesFree() override { return 0; }
    std::int64_t Write(const std::int16_t*, std::int64_t) override { return 0; }
    std::uint64_t ProcessedFrames() override { return 0; }
    bool Failed(QString*) override { return false; }
};

#endif

}  // namespace

std::unique_ptr<AudioDevice> CreateSystemAudioDevice() {
#ifdef VISTREL_HAVE_MULTIMEDIA
    return std::make_unique<QtAudioDevice>();
#else
    return std::make_unique<NoAudioDevice>();
#endif
}

}  // namespace vistrel::media
