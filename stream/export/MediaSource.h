#pragma once
// What the exporter reads: the pictures and sound of a recording as timed units, whatever the
// recording came from (a live recording file, or a range of a DVR's recording).

#include <cstdint>
#include <string>
#include <vector>

namespace vistrel::exporter {

enum class UnitKind { Mpeg4Video, H263Video, Audio };

struct MediaUnit {
    UnitKind kind = UnitKind::Mpeg4Video;
    std::int64_t timeMs = 0;  // on the source's own clock; the exporter starts the file at its first key frame
    // MPEG-4: the elementary data of one frame, from its first start code. H.263: one frame in the
    // DVR's live framing (optional frame header, length word, picture), as the decoder takes it.
    std::vector<std::uint8_t> data;
    std::vector<std::int16_t> samples;  // audio, interleaved
    int sampleRate = 0;
    int channels = 0;
    bool key = false;
    int widthHint = 0;  // the picture width the framing announces (320 or 640), 0 when unknown
};

enum class SourceStatus { Unit, End, Failed };

class MediaSource {
public:
    virtual ~MediaSource() = default;
    // Failed: error() says why. Called on one thread at a time.
    virtual SourceStatus Next(MediaUnit& unit) = 0;
    // How far the source has got, 0..1.
    virtual double Fraction() const = 0;
    virtual std::string error() const = 0;
    // Time the source is meant to cover, 0 when it does not know (the whole of a file).
    virtual std::int64_t RangeMs() const { return 0; }
    // Breaks a Next that waits for data (from any thread); Next then reports Failed.
    virtual void Interrupt() {}
};

}  // namespace vistrel::exporter
