#pragma once
// What the main screen may ask a player about its progress.

namespace vistrel::playback {

class IPlayProgress {
public:
    virtual ~IPlayProgress() = default;
    // Milliseconds: the time stamp of the last presented record, advanced during pacing waits.
    virtual int GetPlayPosition() = 0;
};

}  // namespace vistrel::playback
