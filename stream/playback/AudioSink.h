#pragma once
// Where the player sends the sound of type-14 records: 16-bit samples with their rate, channel
// count and the record time stamp they belong to. Only while playing at 1X; at any other speed,
// when paused and when stopped the player halts the sink instead.

#include <cstddef>
#include <cstdint>

namespace vistrel::playback {

struct AudioChunk {
    const std::int16_t* samples = nullptr;  // interleaved; valid only during the call
    std::size_t frames = 0;                 // samples per channel
    int sampleRate = 0;
    int channels = 0;
    std::uint32_t recordTs = 0;  // time stamp of the record the first sample belongs to, ms
};

class AudioSink {
public:
    virtual ~AudioSink() = default;
    // On the player thread, when the record is presented (its picture time has come). Must copy
    // what it keeps and return at once: the player's pacing waits for nobody.
    virtual void PlayAudio(const AudioChunk& chunk) = 0;
    // On the player thread (or the thread stopping the player): the sound stops here; whatever
    // the sink still holds is dropped.
    virtual void HaltAudio() = 0;
};

}  // namespace vistrel::playback
