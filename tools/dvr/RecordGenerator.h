#pragma once
// Makes the records a playback request gets: the recordings of the asked channels within the
// range, time step by time step, then the end record.

#include <cstdint>
#include <memory>
#include <vector>

#include "tools/dvr/DvrOptions.h"
#include "tools/dvr/H263Source.h"
#include "tools/dvr/ImaAdpcmEncoder.h"
#include "tools/dvr/Mpeg4Clips.h"
#include "tools/dvr/PlaybackRange.h"

namespace vistrel::dvr {

// An intra H.263 picture every this many records of a channel.
constexpr int kRecordedH263KeyInterval = 10;
constexpr int kAudioSampleRate = 8000;

class RecordGenerator {
public:
    // The options and clips must outlive the generator. `channelMask`: bit i asks for channel i.
    RecordGenerator(const DvrOptions& options, const Mpeg4ClipLibrary& clips, const PlaybackRange& range,
                    std::uint16_t channelMask);
    ~RecordGenerator();

    // The records of the next time step (or, after the last, the end record), each a complete
    // record. Returns false when nothing is left.
    bool next(std::vector<std::vector<std::uint8_t>>& records);

    // Time stamps are milliseconds since the start of the range's first hour.
    std::uint32_t timestampOf(std::int64_t absoluteMs) const;

private:
    struct ChannelState {
        std::unique_ptr<H263Source> h263;
        ImaAdpcmState adpcm;
        int recordsMade = 0;
    };
    bool advanceToNextStep();
    void makeH263(int channel, std::int64_t absoluteMs, std::vector<std::vector<std::uint8_t>>& out);
    void makeMpeg4(int channel, bool withAudio, std::int64_t absoluteMs, std::int64_t stepInHour,
                   std::vector<std::vector<std::uint8_t>>& out);
    int nextVersion();

    const DvrOptions& options_;
    const Mpeg4ClipLibrary& clips_;
    std::uint16_t mask_;
    std::int64_t startMs_, endMs_, originMs_;
    std::int64_t hour_;        // current hour (hours since 1970)
    std::int64_t step_ = -1;   // current step within the hour; -1 before the first
    bool endSent_ = false;
    std::uint32_t sequence_ = 0;
    ChannelState channels_[kChannelCount];
};

}  // namespace vistrel::dvr
