// Colour conversion speed: our routines at every depth beside libswscale's YUV420P to BGRA, BGR24,
// RGB565, RGB555 and (for the 8-bit palette routine, the nearest it has) dithered RGB8, on the same
// 640 x 480 picture, with pictures per second and their ratio. Our kernels run at the CPU level
// VISTREL_CPU allows; libswscale always at its best.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

#include "video/picture/ColourConversion.h"
#include "video/picture/ColourKernels.h"
#include "video/picture/ColourTables.h"

using namespace vistrel;

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;

// A picture with detail in every plane, so no branch or cache path is flattered.
struct Source {
    std::vector<std::uint8_t> samples = std::vector<std::uint8_t>(YuvPicture::FrameBytes(kWidth, kHeight));
    std::unique_ptr<YuvPicture> picture;

    Source() {
        std::uint32_t state = 12345;
        for (std::size_t i = 0; i < samples.size(); ++i) {
            state = state * 1103515245u + 12345u;
            samples[i] = static_cast<std::uint8_t>((i % kWidth) / 3 + (state >> 28));
        }
        picture = YuvPicture::Create(samples.data(), kWidth, kHeight);
        InitColourTables();
    }
    const std::uint8_t* y() const { return samples.data(); }
    const std::uint8_t* cb() const { return samples.data() + kWidth * kHeight; }
    const std::uint8_t* cr() const { return cb() + kWidth * kHeight / 4; }
};

const Source& source() {
    static const Source s;
    return s;
}

void setRate(benchmark::State& state) {
    state.counters["pictures/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

template <bool (*Convert)(const YuvPicture*, ScreenPicture*), int Bits>
void ours(benchmark::State& state) {
    auto out = ScreenPicture::Create(kWidth, kHeight, Bits);
    for (auto _ : state) {
        Convert(source().picture.get(), out.get());
        benchmark::DoNotOptimize(out->bits());
        benchmark::ClobberMemory();
    }
    setRate(state);
}

void ours8(benchmark::State& state) {
    auto out = ScreenPicture::Create(kWidth, kHeight, 8);
    for (auto _ : state) {
        ConvertTo8(source().picture.get(), out.get(), kDitherMatrixA);
        benchmark::DoNotOptimize(out->bits());
        benchmark::ClobberMemory();
    }
    setRate(state);
}

template <AVPixelFormat Format, int Bytes>
void swscale(benchmark::State& state) {
    SwsContext* context = sws_getContext(kWidth, kHeight, AV_PIX_FMT_YUV420P, kWidth, kHeight, Format, SWS_POINT,
                                         nullptr, nullptr, nullptr);
    if (context == nullptr) {
        state.SkipWithError("sws_getContext failed");
        return;
    }
    // Full-range BT.601, as our routines assume.
    const int* coefficients = sws_getCoefficients(SWS_CS_ITU601);
    sws_setColorspaceDetails(context, coefficients, 1, coefficients, 1, 0, 1 << 16, 1 << 16);
    std::vector<std::uint8_t> out(static_cast<std::size_t>(kWidth) * kHeight * Bytes);
    const std::uint8_t* planes[3] = {source().y(), source().cb(), source().cr()};
    const int strides[3] = {kWidth, kWidth / 2, kWidth / 2};
    std::uint8_t* outPlanes[1] = {out.data()};
    const int outStrides[1] = {kWidth * Bytes};
    for (auto _ : state) {
        sws_scale(context, planes, strides, 0, kHeight, outPlanes, outStrides);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    sws_freeContext(context);
    setRate(state);
}

// Collects pictures per second by benchmark name while the console reporter prints as usual; with
// --benchmark_repetitions the median stands for the benchmark.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            const auto it = run.counters.find("pictures/s");
            if (it == run.counters.end()) continue;
            const std::string name = run.run_name.str();
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median")
                medians[name] = it->second.value;
            else if (run.run_type == Run::RT_Iteration) rates[name] = it->second.value;
        }
        ConsoleReporter::ReportRuns(runs);
    }
    double rate(const std::string& name) const {
        const auto median = medians.find(name);
        if (median != medians.end()) return median->second;
        const auto last = rates.find(name);
        return last != rates.end() ? last->second : 0.0;
    }

private:
    std::map<std::string, double> rates;
    std::map<std::string, double> medians;
};

}  // namespace

BENCHMARK(ours<ConvertTo32, 32>)->Name("vistrel/ConvertTo32")->Unit(benchmark::kMicrosecond);
BENCHMARK(swscale<AV_PIX_FMT_BGRA, 4>)->Name("swscale/BGRA")->Unit(benchmark::kMicrosecond);
BENCHMARK(ours<ConvertTo24, 24>)->Name("vistrel/ConvertTo24")->Unit(benchmark::kMicrosecond);
BENCHMARK(swscale<AV_PIX_FMT_BGR24, 3>)->Name("swscale/BGR24")->Unit(benchmark::kMicrosecond);
BENCHMARK(ours<ConvertTo565, 16>)->Name("vistrel/ConvertTo565")->Unit(benchmark::kMicrosecond);
BENCHMARK(swscale<AV_PIX_FMT_RGB565LE, 2>)->Name("swscale/RGB565")->Unit(benchmark::kMicrosecond);
BENCHMARK(ours<ConvertTo555, 16>)->Name("vistrel/ConvertTo555")->Unit(benchmark::kMicrosecond);
BENCHMARK(swscale<AV_PIX_FMT_RGB555LE, 2>)->Name("swscale/RGB555")->Unit(benchmark::kMicrosecond);
BENCHMARK(ours8)->Name("vistrel/ConvertTo8")->Unit(benchmark::kMicrosecond);
BENCHMARK(swscale<AV_PIX_FMT_RGB8, 1>)->Name("swscale/RGB8")->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    const struct {
        const char* label;
        const char* ourName;
        const char* theirName;
    } pairs[] = {{"32-bit BGRA", "vistrel/ConvertTo32", "swscale/BGRA"},
                 {"16-bit 5-6-5", "vistrel/ConvertTo565", "swscale/RGB565"},
                 {"24-bit BGR", "vistrel/ConvertTo24", "swscale/BGR24"},
                 {"16-bit 5-5-5", "vistrel/ConvertTo555", "swscale/RGB555"},
                 {"8-bit dither", "vistrel/ConvertTo8", "swscale/RGB8"}};
    std::printf("\n%-14s %16s %16s %10s   (our kernels: %s)\n", "640x480", "vistrel pic/s", "swscale pic/s",
                "ratio", ActiveColourKernels().name);
    for (const auto& pair : pairs) {
        const double ours = reporter.rate(pair.ourName);
        const double theirs = reporter.rate(pair.theirName);
        if (ours <= 0 || theirs <= 0) continue;
        std::printf("%-14s %16.1f %16.1f %9.2fx\n", pair.label, ours, theirs, ours / theirs);
    }
    return 0;
}
