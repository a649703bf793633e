// H.263 speed: the block kernels per CPU level, whole-picture decoding, the encoder at the emulator's
// size, and vistrel-cli decode beside `ffmpeg -threads 1 -i FILE -f null -` on a 20-second CIF
// stream with the start-up of each subtracted.

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "tests/h263/TestSupport.h"
#include "tests/support/Command.h"
#include "video/h263/BlockReconstruction.h"
#include "video/h263/H263Decoder.h"
#include "video/h263/H263Kernels.h"
#include "video/h263/H263Tables.h"
#include "video/picture/CpuLevel.h"

using namespace vistrel;
using namespace vistrel::h263test;
using namespace vistrel::testsupport;

namespace {

void BM_InverseTransformBlock(benchmark::State& state) {
    std::mt19937 rng(1);
    std::int32_t source[64] = {};
    for (int k = 0; k < 16; ++k) source[k] = int(rng() % 200) - 100;
    std::int32_t block[64];
    for (auto _ : state) {
        std::copy(source, source + 64, block);
        h263::InverseTransformBlock(block);
        benchmark::DoNotOptimize(block);
    }
}
BENCHMARK(BM_InverseTransformBlock);

// The library's transform-and-add kernel at every level the machine has, on a block as sparse as a
// predicted block's usually is.
void BM_TransformAdd(benchmark::State& state) {
    const auto level = static_cast<CpuLevel>(state.range(0));
    if (level > DetectedCpuLevel()) {
        state.SkipWithError("level not available");
        return;
    }
    const h263::H263Kernels& k = h263::H263KernelsFor(level);
    std::mt19937 rng(1);
    std::int16_t source[64] = {};
    for (int i = 0; i < 10; ++i) source[h263::kZigzag[i]] = std::int16_t(int(rng() % 200) - 100);
    alignas(16) std::int16_t block[64];
    std::uint8_t picture[8 * 16] = {};
    for (auto _ : state) {
        std::copy(source, source + 64, block);
        k.add(block, picture, 16);
        benchmark::DoNotOptimize(picture);
    }
    state.SetLabel(k.name);
}
BENCHMARK(BM_TransformAdd)->DenseRange(0, kCpuLevelCount - 1);

// Prediction of one CIF macroblock at the diagonal half position, per level.
void BM_PredictDiagonal(benchmark::State& state) {
    const auto level = static_cast<CpuLevel>(state.range(0));
    if (level > DetectedCpuLevel()) {
        state.SkipWithError("level not available");
        return;
    }
    const h263::H263Kernels& k = h263::H263KernelsFor(level);
    const int w = 352, h = 288;
    const auto ref = syntheticFrame(w, h, 0);
    std::vector<std::uint8_t> out(ref.size());
    for (auto _ : state) {
        k.predict16x8[h263::kHalfBoth](out.data() + 16 * w + 16, ref.data() + 16 * w + 17, w);
        k.predict16x8[h263::kHalfBoth](out.data() + 24 * w + 16, ref.data() + 24 * w + 17, w);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetLabel(k.name);
}
BENCHMARK(BM_PredictDiagonal)->DenseRange(0, kCpuLevelCount - 1);

void BM_DecodeCifPictures(benchmark::State& state) {
    const EncodedStream stream = encodeSynthetic(352, 288, 12, 5, 12);
    std::vector<std::vector<std::uint8_t>> frames;
    for (const auto& p : stream.pictures) frames.push_back(liveFrame(p, false));
    auto decoder = h263::H263Decoder::Create();
    decoder->Attach(nullptr);
    decoder->SetSuppressDisplay(true);
    std::size_t i = 0;
    for (auto _ : state) {
        const auto& f = frames[i++ % frames.size()];
        decoder->Feed(f.data(), f.size(), -1);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DecodeCifPictures);

void BM_Encode320x240(benchmark::State& state) {
    const int w = 320, h = 240;
    std::vector<std::vector<std::uint8_t>> source;
    for (int i = 0; i < 15; ++i) source.push_back(syntheticFrame(w, h, i));
    h263enc::H263Encoder encoder(w, h, 8, 15);
    std::vector<std::uint8_t> picture;
    std::size_t i = 0;
    for (auto _ : state) encoder.encode(viewOf(source[i++ % source.size()], w, h), &picture);
    state.SetItemsProcessed(state.iterations());  // pictures per second = items/s
}
BENCHMARK(BM_Encode320x240);

struct Timing {
    double wall = 1e30;
    double cpu = 1e30;  // user + system time of the child: steadier than wall time on a busy machine
};

double childCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Best of `repeats` runs; wall < 0 when the command failed.
Timing bestTiming(const std::string& command, int repeats) {
    Timing best;
    for (int r = 0; r < repeats; ++r) {
        const double cpuBefore = childCpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        if (RunQuietly(command) != 0) return Timing{-1, -1};
        best.wall =
            std::min(best.wall, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        best.cpu = std::min(best.cpu, childCpuSeconds() - cpuBefore);
    }
    return best;
}

// Decoding time without start-up: the whole file minus its first frame, both as CPU time of the
// child (steadier than wall time on a shared machine), each the best of `repeats` runs.
struct DecodeTime {
    Timing whole;
    Timing first;
    double wall() const { return whole.wall - first.wall; }
    double cpu() const { return whole.cpu - first.cpu; }
    bool ok() const { return whole.wall >= 0 && first.wall >= 0; }
};

void compareWithFfmpeg() {
    if (!HaveFfmpeg()) {
        std::printf("ffmpeg not installed: no side-by-side comparison\n");
        return;
    }
    const std::string dir = std::string(VISTREL_BINARY_DIR) + "/bench-h263";
    std::filesystem::create_directories(dir);
    const std::string stream = dir + "/cif_20s.h263";
    constexpr int kSeconds = 20;
    if (!std::filesystem::exists(stream)) {
        const std::string make =
            "ffmpeg -hide_banner -loglevel error -y -f lavfi -i "
            "'testsrc2=size=352x288:rate=30000/1001,noise=alls=8:allf=t' -t " +
            std::to_string(kSeconds) + " -c:v h263 -q:v 5 -g 30 '" + stream + "'";
        if (RunQuietly(make) != 0) {
            std::printf("could not make the CIF stream\n");
            return;
        }
    }
    const std::string ours = "'" + std::string(VISTREL_BIN_DIR) + "/vistrel-cli' decode '" + stream + "'";
    const std::string theirs = "ffmpeg -hide_banner -loglevel error -threads 1 -i '" + stream + "'";
    constexpr int kRepeats = 7;
    // Interleaved, so that a burst of load from elsewhere hits both sides alike.
    DecodeTime a;
    DecodeTime b;
    for (int r = 0; r < kRepeats; ++r) {
        const auto keep = [](Timing& best, const Timing& t) {
            if (t.wall < 0 || best.wall < 0) {
                best = Timing{-1, -1};
                return;
            }
            best.wall = std::min(best.wall, t.wall);
            best.cpu = std::min(best.cpu, t.cpu);
        };
        keep(a.whole, bestTiming(ours, 1));
        keep(a.first, bestTiming(ours + " --frames 1", 1));
        keep(b.whole, bestTiming(theirs + " -f null -", 1));
        keep(b.first, bestTiming(theirs + " -frames:v 1 -f null -", 1));
    }
    if (!a.ok() || !b.ok()) {
        std::printf("a decoder failed on %s\n", stream.c_str());
        return;
    }
    std::printf("CIF %d s H.263 stream (%s), best of %d, start-up (first frame) subtracted:\n", kSeconds,
                stream.c_str(), kRepeats);
    std::printf("  %-28s %8s %8s\n", "", "wall s", "cpu s");
    std::printf("  %-28s %8.3f %8.3f\n", "vistrel-cli decode", a.wall(), a.cpu());
    std::printf("  %-28s %8.3f %8.3f\n", "ffmpeg -threads 1 -f null", b.wall(), b.cpu());
    if (b.wall() > 0 && b.cpu() > 0)
        std::printf("  %-28s %8.2f %8.2f\n", "ratio vistrel / ffmpeg", a.wall() / b.wall(), a.cpu() / b.cpu());
    std::printf("  H.263 kernels: %s (VISTREL_CPU caps the level)\n", h263::ActiveH263Kernels().name);
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    compareWithFfmpeg();
    return 0;
}
