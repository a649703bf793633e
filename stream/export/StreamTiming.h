#pragma once
// The timing a video stream carries in its own bits: the MPEG-4 layer's time resolution and each
// plane's time, H.263's temporal reference, and a frame rate estimated from them.

#include <cstddef>
#include <cstdint>
#include <optional>

namespace vistrel::exporter {

// What the video object layer header says about time and size.
struct Mpeg4LayerInfo {
    int timeResolution = 0;     // ticks per second, 1..65535
    int fixedIncrement = 0;     // ticks per plane when the layer declares a fixed rate, else 0
    int incrementBits = 1;      // width of a plane's time increment
    int width = 0, height = 0;  // 0 when the shape is not rectangular
};

// One video object plane's coding type (0 I, 1 P, 2 B, 3 S) and its time fields.
struct Mpeg4PlaneTime {
    int codingType = 0;
    int moduloSeconds = 0;  // whole seconds since the previous reference plane's time base
    int increment = 0;      // ticks within the second
    int groupSeconds = -1;  // time code of a group-of-planes header in front of it, -1 without
};

// Finds a layer header (start code 00 00 01 2x) in data and reads it. Never reads past the end.
std::optional<Mpeg4LayerInfo> FindMpeg4Layer(const std::uint8_t* data, std::size_t size);
// Reads the first plane (00 00 01 B6) in data with the layer's increment width.
std::optional<Mpeg4PlaneTime> FindMpeg4Plane(const std::uint8_t* data, std::size_t size,
                                             const Mpeg4LayerInfo& layer);
// Offset of the first plane start code in data, or size when there is none: everything before
// it is the stream's headers.
std::size_t Mpeg4HeadersLength(const std::uint8_t* data, std::size_t size);

// Turns plane times into milliseconds since the first plane, carrying the seconds across planes.
class Mpeg4Clock {
public:
    explicit Mpeg4Clock(const Mpeg4LayerInfo& layer) : layer_(layer) {}
    std::int64_t Milliseconds(const Mpeg4PlaneTime& plane);

private:
    Mpeg4LayerInfo layer_;
    std::int64_t baseSeconds_ = 0;  // time base of the last reference plane
    bool started_ = false;
    std::int64_t originTicks_ = 0;
};

// The 8-bit temporal reference of an H.263 picture that starts with its start code at data.
std::optional<int> H263TemporalReference(const std::uint8_t* data, std::size_t size);
// H.263 counts its temporal reference in 1001/30000 s.
constexpr int kH263TickNumerator = 1001;
constexpr int kH263TickDenominator = 30;  // milliseconds per tick = 1001 / 30

struct FrameRate {
    int numerator = 25;  // frames per second = numerator / denominator
    int denominator = 1;
};

// The frame rate picture times in milliseconds suggest: the median distance of the first
// intervals. Nothing when fewer than two usable times are given.
std::optional<FrameRate> FrameRateFromTimes(const std::int64_t* timesMs, std::size_t count);

}  // namespace vistrel::exporter

namespace vistrel::exporter {

// The frame rate of a whole stream held in memory (elementary or in the DVR's live framing):
// MPEG-4 by its layer's fixed rate or its plane times; H.263 by the frame headers' millisecond
// words where frames carry them, else by temporal references. Nothing when the stream has no
// usable timing.
std::optional<FrameRate> EstimateFrameRate(const std::uint8_t* data, std::size_t size, bool h263);

}  // namespace vistrel::exporter
