#pragma once
// A Matroska file written through libavformat: one video track (MPEG-4 copied as it came, or
// pictures of ours encoded losslessly with FFV1) and optionally one 16-bit PCM audio track.
// Times are milliseconds from the start of the export.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "video/picture/YuvPicture.h"

namespace vistrel::exporter {

enum class VideoTrack { Mpeg4Copy, Ffv1 };

struct TrackSetup {
    VideoTrack video = VideoTrack::Mpeg4Copy;
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> mpeg4Headers;  // the stream's headers (Mpeg4Copy)
    bool audio = false;
    int audioRate = 0;
    int audioChannels = 0;
};

class MatroskaWriter {
public:
    MatroskaWriter();
    ~MatroskaWriter();  // an unfinished file is closed as it stands
    MatroskaWriter(const MatroskaWriter&) = delete;
    MatroskaWriter& operator=(const MatroskaWriter&) = delete;

    // Creates the file and writes its header. False with error() set.
    bool Open(const std::string& path, const TrackSetup& setup);
    // One copied MPEG-4 frame. Times must increase; each frame lasts until the next.
    bool WriteMpeg4(const std::uint8_t* data, std::size_t size, std::int64_t timeMs, bool key);
    // One picture for the FFV1 track; must have the size given to Open.
    bool WritePicture(const YuvPicture& picture, std::int64_t timeMs);
    // Samples interleaved by channel, beginning at timeMs.
    bool WriteAudio(const std::int16_t* samples, std::size_t frames, std::int64_t timeMs);
    // Flushes the encoder and writes the index. `lastFrameMs` is how long the last picture lasts.
    bool Finish(std::int64_t lastFrameMs);

    const std::string& error() const { return error_; }
    std::uint64_t videoFrames() const { return videoFrames_; }

private:
    struct Av;
    bool Fail(const std::string& what, int code);
    bool WriteVideoPacket(void* packet);  // AVPacket*, held back until the next one's time is known
    bool FlushHeldVideo(std::int64_t durationMs);

    std::unique_ptr<Av> av_;
    TrackSetup setup_;
    std::string error_;
    std::uint64_t videoFrames_ = 0;
    bool headerWritten_ = false;
    bool finished_ = false;
};

}  // namespace vistrel::exporter
