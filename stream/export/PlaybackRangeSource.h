#pragma once
// A range of one channel of a DVR's recording, fetched with the playback request: its H.263 and
// MPEG-4 pictures and its type-14 sound as timed units, timed by the records' time stamps.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "stream/export/MediaSource.h"
#include "stream/http/StreamRequest.h"
#include "stream/playback/ImaAdpcm.h"
#include "stream/playback/PlaybackRing.h"
#include "stream/playback/RecordBuffer.h"

namespace vistrel::exporter {

class PlaybackRangeSource : public MediaSource {
public:
    // The transport's worker waits in such steps for room in the ring.
    static constexpr std::uint32_t kRingFullPollMs = 20;

    // `channel` 0..15; `rangeMs` of recording from the first record of that channel.
    PlaybackRangeSource(std::string url, std::string user, std::string password, int channel,
                        std::int64_t rangeMs);
    ~PlaybackRangeSource() override;

    // Opens the request (the HTTP root must be open). False when it cannot be made.
    bool Start();

    SourceStatus Next(MediaUnit& unit) override;
    double Fraction() const override;
    std::string error() const override { return error_; }
    std::int64_t RangeMs() const override { return rangeMs_; }
    void Interrupt() override { stop_ = 1; }

    // For tests: records fed by the caller into ring() instead of a request.
    playback::PlaybackRing& ring() { return *ring_; }

private:
    static int OnData(int first, const std::uint8_t* data, std::uint32_t length, void* context,
                      const std::atomic<int>* abortFlag);
    // One record into units; false when it holds none for us.
    bool Convert(MediaUnit& unit);

    std::string url_, user_, password_;
    int channel_;
    std::int64_t rangeMs_;
    std::unique_ptr<playback::PlaybackRing> ring_;  // written by the transport's worker, read by Next
    http::StreamRequest* request_ = nullptr;        // the controlling thread's
    std::atomic<std::uint32_t> stop_{0};            // raised by Interrupt from any thread
    // Below: the reading thread's.
    playback::RecordBuffer record_;
    playback::AdpcmState adpcm_;
    bool haveFirst_ = false;
    std::uint32_t firstTs_ = 0;
    std::atomic<std::int64_t> reachedMs_{0};  // read by Fraction from any thread
    std::string error_;
};

}  // namespace vistrel::exporter
