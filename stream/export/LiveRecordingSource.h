#pragma once
// The frames of a live recording file (the response bodies a live stream delivered, back to
// back), with their times: the frame headers' millisecond words, else the stream's own timing,
// else the order of arrival.

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "stream/export/MediaSource.h"
#include "stream/export/StreamTiming.h"

namespace vistrel::exporter {

class LiveRecordingSource : public MediaSource {
public:
    static constexpr std::size_t kReadChunk = 1 << 20;
    // Used when a frame's time cannot be told from the stream.
    static constexpr std::int64_t kDefaultFrameMs = 40;

    LiveRecordingSource() = default;
    ~LiveRecordingSource() override;
    // False when the file cannot be opened (error() says why).
    bool Open(const std::string& path);

    SourceStatus Next(MediaUnit& unit) override;
    double Fraction() const override;
    std::string error() const override { return error_; }

private:
    bool Fill();  // reads more of the file; false at its end
    void Consume(std::size_t bytes);
    std::int64_t NextTime(UnitKind kind, const MediaUnit& unit, const std::uint8_t* frameStart, bool hasHeader);

    std::FILE* file_ = nullptr;
    std::uint64_t fileSize_ = 0;
    std::uint64_t consumed_ = 0;  // bytes of the file behind buf_'s start
    std::vector<std::uint8_t> buf_;
    std::size_t pos_ = 0;  // first unread byte of buf_
    UnitKind lastKind_ = UnitKind::Mpeg4Video;
    bool haveKind_ = false;
    bool lastHadHeader_ = true;  // frames without header are looked for only after one of them
    bool eof_ = false;
    std::string error_;

    bool haveTime_ = false;
    std::int64_t lastMs_ = 0;
    std::int64_t lastStepMs_ = kDefaultFrameMs;
    bool haveWord_ = false;
    std::uint32_t lastWord_ = 0;
    int lastTr_ = -1;
    std::optional<Mpeg4LayerInfo> layer_;
    std::optional<Mpeg4Clock> clock_;
    std::int64_t lastClockMs_ = 0;
    bool clockValid_ = false;
};

}  // namespace vistrel::exporter
