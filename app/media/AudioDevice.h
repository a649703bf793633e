#pragma once
// The sound card as the audio output uses it: open for 16-bit PCM, room, writes and the count of
// frames it has played. The system one goes through Qt Multimedia; tests use their own.

#include <QString>
#include <cstdint>
#include <memory>

namespace vistrel::media {

class AudioDevice {
public:
    virtual ~AudioDevice() = default;
    // Opens for interleaved 16-bit samples with room for about `bufferFrames` frames. False with
    // a one-line reason (no device, format refused, device busy).
    virtual bool Open(int sampleRate, int channels, int bufferFrames, QString* error) = 0;
    virtual void Close() = 0;
    virtual std::int64_t FramesFree() = 0;
    // Frames taken (never more than FramesFree said).
    virtual std::int64_t Write(const std::int16_t* samples, std::int64_t frames) = 0;
    // Frames played since Open.
    virtual std::uint64_t ProcessedFrames() = 0;
    // True (with the reason) once the device has failed for good.
    virtual bool Failed(QString* error) = 0;
};

// The default output through QAudioSink; a device that always fails to open when this build has
// no Qt Multimedia.
std::unique_ptr<AudioDevice> CreateSystemAudioDevice();

}  // namespace vistrel::media
