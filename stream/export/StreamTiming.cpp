#include "stream/export/StreamTiming.h"

#include <algorithm>
#include <vector>

#include "base/StartCode.h"
#include "video/frame/FrameHeader.h"

namespace vistrel::exporter {

namespace {

constexpr std::uint8_t kPlaneStartCode = 0xB6;
constexpr std::uint8_t kGroupStartCode = 0xB3;
constexpr int kShapeRectangular = 0;
constexpr int kShapeGrayscale = 3;
constexpr int kAspectExtended = 15;
// Intervals looked at when estimating a rate; enough to outvote a few late frames.
constexpr std::size_t kRateSamples = 31;
// Frame header words further apart than this are no millisecond clock.
constexpr std::int64_t kLongestFrameGapMs = 5000;
constexpr std::int64_t kMsPerSecond = 1000;

// Bits beyond the end read as zero and mark the reader as overrun.
class Bits {
public:
    Bits(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::uint32_t Get(int n) {
        std::uint32_t v = 0;
        for (int i = 0; i < n; ++i) {
            std::uint32_t bit = 0;
            if (pos_ / 8 < size_) bit = (data_[pos_ / 8] >> (7 - pos_ % 8)) & 1u;
            else overrun_ = true;
            ++pos_;
            v = (v << 1) | bit;
        }
        return v;
    }
    bool overrun() const { return overrun_; }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
    bool overrun_ = false;
};

int BitsFor(int resolution) {
    int bits = 1;
    while ((1 << bits) < resolution) ++bits;
    return bits;
}

}  // namespace

std::optional<Mpeg4LayerInfo> FindMpeg4Layer(const std::uint8_t* data, std::size_t size) {
    for (std::size_t i = 0; i + 4 <= size; ++i) {
        if (!base::IsStartCodeAt(data, size, i) || (data[i + 3] & 0xF0) != 0x20) continue;
        Bits b(data + i + 4, size - i - 4);
        b.Get(1);  // random accessible
        b.Get(8);  // object type
        int verid = 1;
        if (b.Get(1)) {
            verid = int(b.Get(4));
            b.Get(3);
        }
        if (b.Get(4) == kAspectExtended) b.Get(16);
        if (b.Get(1)) {               // control parameters
            b.Get(3);                 // chroma format, low delay
            if (b.Get(1)) b.Get(79);  // the buffer model's rates and sizes with their markers
        }
        const int shape = int(b.Get(2));
        if (shape == kShapeGrayscale && verid != 1) b.Get(4);
        b.Get(1);
        Mpeg4LayerInfo info;
        info.timeResolution = int(b.Get(16));
        b.Get(1);
        if (info.timeResolution <= 0) continue;
        info.incrementBits = BitsFor(info.timeResolution);
        if (b.Get(1)) info.fixedIncrement = int(b.Get(info.incrementBits));
        if (shape == kShapeRectangular) {
            b.Get(1);
            info.width = int(b.Get(13));
            b.Get(1);
            info.height = int(b.Get(13));
        }
        if (b.overrun()) return std::nullopt;
        return info;
    }
    return std::nullopt;
}

std::size_t Mpeg4HeadersLength(const std::uint8_t* data, std::size_t size) {
    for (std::size_t i = 0; i + 4 <= size; ++i)
        if (base::IsStartCodeAt(data, size, i) && data[i + 3] == kPlaneStartCode) return i;
    return size;
}

std::optional<Mpeg4PlaneTime> FindMpeg4Plane(const std::uint8_t* data, std::size_t size,
                                             const Mpeg4LayerInfo& layer) {
    const std::size_t at = Mpeg4HeadersLength(data, size);
    if (at >= size) return std::nullopt;
    Mpeg4PlaneTime t;
    // A group header restarts the time base at its time code (hours, minutes, marker, seconds).
    for (std::size_t i = 0; i + 7 <= at; ++i) {
        if (!base::IsStartCodeAt(data, at, i) || data[i + 3] != kGroupStartCode) continue;
        Bits g(data + i + 4, at - i - 4);
        const int hours = int(g.Get(5)), minutes = int(g.Get(6));
        g.Get(1);
        const int seconds = int(g.Get(6));
        if (!g.overrun()) t.groupSeconds = (hours * 60 + minutes) * 60 + seconds;
    }
    Bits b(data + at + 4, size - at - 4);
    t.codingType = int(b.Get(2));
    // A damaged plane could claim any number of seconds; a minute is far beyond any camera's gap.
    constexpr int kMaxModulo = 60;
    while (b.Get(1) && !b.overrun()) {
        if (++t.moduloSeconds > kMaxModulo) return std::nullopt;
    }
    b.Get(1);
    t.increment = int(b.Get(layer.incrementBits));
    if (b.overrun()) return std::nullopt;
    return t;
}

std::int64_t Mpeg4Clock::Milliseconds(const Mpeg4PlaneTime& plane) {
    const std::int64_t res = layer_.timeResolution > 0 ? layer_.timeResolution : 1;
    if (plane.groupSeconds >= 0) baseSeconds_ = plane.groupSeconds;
    const std::int64_t seconds = baseSeconds_ + plane.moduloSeconds;
    // B-planes count from the same base but do not move it.
    if (plane.codingType != 2) baseSeconds_ = seconds;
    const std::int64_t ticks = seconds * res + plane.increment;
    if (!started_) {
        started_ = true;
        originTicks_ = ticks;
    }
    return (ticks - originTicks_) * kMsPerSecond / res;
}

std::optional<int> H263TemporalReference(const std::uint8_t* data, std::size_t size) {
    if (size < 4 || data[0] != 0 || data[1] != 0 || (data[2] & 0xFC) != 0x80) return std::nullopt;
    return ((data[2] & 0x03) << 6) | (data[3] >> 2);
}

std::optional<FrameRate> FrameRateFromTimes(const std::int64_t* timesMs, std::size_t count) {
    std::vector<std::int64_t> steps;
    for (std::size_t i = 1; i < count && steps.size() < kRateSamples; ++i) {
        const std::int64_t d = timesMs[i] - timesMs[i - 1];
        if (d > 0 && d <= kLongestFrameGapMs) steps.push_back(d);
    }
    if (steps.empty()) return std::nullopt;
    std::nth_element(steps.begin(), steps.begin() + std::ptrdiff_t(steps.size() / 2), steps.end());
    const std::int64_t median = steps[steps.size() / 2];
    FrameRate r;
    // Whole rates are what cameras run at; 1000/33 should read as 30, not 30.3.
    const std::int64_t whole = (kMsPerSecond + median / 2) / median;
    if (whole > 0 && std::abs(kMsPerSecond / double(whole) - double(median)) <= 1.0) {
        r.numerator = int(whole);
        r.denominator = 1;
    } else {
        r.numerator = int(kMsPerSecond);
        r.denominator = int(median);
    }
    return r;
}

std::optional<FrameRate> EstimateFrameRate(const std::uint8_t* data, std::size_t size, bool h263) {
    std::vector<std::int64_t> times;
    if (!h263) {
        const auto layer = FindMpeg4Layer(data, size);
        if (!layer) return std::nullopt;
        if (layer->fixedIncrement > 0) return FrameRate{layer->timeResolution, layer->fixedIncrement};
        Mpeg4Clock clock(*layer);
        for (std::size_t i = 0; i + 4 <= size && times.size() <= kRateSamples; ++i) {
            if (!base::IsStartCodeAt(data, size, i) || data[i + 3] != kPlaneStartCode) continue;
            if (const auto t = FindMpeg4Plane(data + i, size - i, *layer)) times.push_back(clock.Milliseconds(*t));
        }
        return FrameRateFromTimes(times.data(), times.size());
    }
    // Frame headers first: their word is the recorder's millisecond clock.
    for (std::size_t i = 0; i + frame::kFrameHeaderSize + 5 <= size && times.size() <= kRateSamples; ++i) {
        if (!frame::HasFrameHeaderAt(data + i)) continue;
        if (!H263TemporalReference(data + i + frame::kFrameHeaderSize + 2, 4)) continue;
        times.push_back(std::int64_t(frame::FrameHeaderWord(data + i)));
    }
    bool monotonic = times.size() >= 2;
    for (std::size_t i = 1; i < times.size(); ++i) monotonic = monotonic && times[i] > times[i - 1];
    if (monotonic) return FrameRateFromTimes(times.data(), times.size());
    // The picture clock runs at 30000/1001 Hz; the usual step between pictures sets the rate.
    std::vector<int> steps;
    int previous = -1;
    for (std::size_t i = 0; i + 4 <= size && steps.size() < kRateSamples; ++i) {
        const auto tr = H263TemporalReference(data + i, size - i);
        if (!tr) continue;
        if (previous >= 0 && *tr != previous) steps.push_back((*tr - previous + 256) % 256);
        previous = *tr;
        i += 3;
    }
    if (steps.empty()) return std::nullopt;
    std::nth_element(steps.begin(), steps.begin() + std::ptrdiff_t(steps.size() / 2), steps.end());
    return FrameRate{30000, kH263TickNumerator * steps[steps.size() / 2]};
}

}  // namespace vistrel::exporter
