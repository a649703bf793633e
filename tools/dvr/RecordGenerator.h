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
#include "tools/dvr/RecordingCache.h"

namespace vistrel::dvr {

// An intra H.263 picture every this many records of a channel.
constexpr int kRecordedH263KeyInterval = 10;
constexpr int kAudioSampleRate = 8000;

class RecordGenerator {
public:
    // The options, clips and cache must outlive the generator. `channelMask`: bit i asks for
    // channel i. `cache` may be null.
    RecordGenerator(const DvrOptions& options, const Mpeg4ClipLibrary& clips, const PlaybackRange& range,
                    std::uint16_t channelMask, RecordingCache* cache);
    ~RecordGenerator();

    // The records of the next time step (or, after the last, the end record), each a complete
    // record. Returns false when nothing is left.
    bool next(std::vector<std::vector<std::uint8_t>>& records);

    // Time stamps are milliseconds since the start of the range's first hour.
    std::uint32_t timestampOf(std::int64_t absoluteMs) const;

private:
    struct ChannelState {
        std::unique_ptr<H263Source> h263;
        std::int64_t encoderHour = -1;      // the encoder's reference is this hour's picture
        std::int64_t encoderNextStep = -1;  // ... of step encoderNextStep - 1
        bool privateRun = false;            // the encoder runs a group that began off the shared grid
        ImaAdpcmState adpcm;
        int recordsMade = 0;
    };
    bool advanceToNextStep();
    // Recorded H.263 pictures begin a group at every step that is a multiple of the key interval,
    // so each picture depends only on its channel, hour and step, and can be cached. An answer
    // that starts between two such steps begins with an intra picture of its own and runs a private
    // group (not cached) up to the next shared one, so the client never waits for a key frame.
    std::optional<RecordedPicture> recordedPicture(int channel, std::int64_t hour, std::int64_t step);
    void makeH263(int channel, std::int64_t absoluteMs, std::vector<std::vector<std::uint8_t>>& out);
    void makeMpeg4(int channel, bool withAudio, std::int64_t absoluteMs, std::int64_t stepInHour,
                   std::vector<std::vector<std::uint8_t>>& out);
    int nextVersion();

    const DvrOptions& options_;
    const Mpeg4ClipLibrary& clips_;
    std::uint16_t mask_;
    RecordingCache* cache_;
    std::int64_t startMs_, endMs_, originMs_;
    std::int64_t hour_;       // current hour (hours since 1970)
    std::int64_t step_ = -1;  // current step within the hour; -1 before the first
    bool endSent_ = false;
    std::uint32_t sequence_ = 0;
    ChannelState channels_[kChannelCount];
};

}  // namespace vistrel::dvr
