// MPEG-4 decoding speed: vistrel-cli decode beside `ffmpeg -threads 1`, the library alone, and the
// PSNR of the conformance streams against ffmpeg's decoding.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <numeric>
#include <string>
#include <vector>

#include "kvr_syst/Kvr_MP4_Dec.h"
#include "tests/support/Command.h"
#include "tests/support/Ffmpeg.h"
#include "tests/support/Files.h"
#include "tests/support/Psnr.h"

namespace {

using namespace vistrel::testsupport;

const int kWidth = 640, kHeight = 480, kFrames = 400;
const int kRuns = 3;  // best of, for both programs

std::string benchStream() {
    static std::string path;
    if (!path.empty()) return path;
    const std::string dir = ScratchDir("tests/kvrlib/scratch/bench");
    path = dir + "/bench_640x480.m4v";
    if (ReadFile(path).empty() &&
        !EncodeMovingClip(path, kWidth, kHeight, kFrames, "-c:v mpeg4 -flags +mv4 -q:v 4 -g 50"))
        path.clear();
    return path;
}

double bestSeconds(const std::string& command) {
    double best = 1e9;
    for (int i = 0; i < kRuns; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        if (RunCommand(command) != 0) return -1;
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    }
    return best;
}

void sideBySide() {
    const std::string file = benchStream();
    if (file.empty()) {
        std::printf("no benchmark stream (ffmpeg missing?)\n");
        return;
    }
    const double ours =
        bestSeconds(std::string(VISTREL_BIN_DIR) + "/vistrel-cli decode '" + file + "' > /dev/null");
    const double theirs = bestSeconds("ffmpeg -v error -threads 1 -i '" + file + "' -f null - ");
    std::printf("\n%dx%d, %d frames (ffmpeg mpeg4, 4 vectors, q 4), best of %d runs\n", kWidth, kHeight, kFrames,
                kRuns);
    std::printf("  vistrel-cli decode        %8.3f s  %7.1f fps\n", ours, kFrames / ours);
    std::printf("  ffmpeg -threads 1         %8.3f s  %7.1f fps\n", theirs, kFrames / theirs);
    std::printf("  ratio vistrel / ffmpeg    %8.2f\n\n", ours / theirs);
}

struct Clip {
    const char* name;
    int w, h;
    const char* options;
};

void psnrTable() {
    const Clip clips[] = {
        {"ip_176x144", 176, 144, "-c:v mpeg4 -g 6"},
        {"mv4_320x240", 320, 240, "-c:v mpeg4 -flags +mv4 -g 6"},
        {"mpegq_352x240", 352, 240, "-c:v mpeg4 -mpeg_quant 1 -g 6"},
        {"mv4_640x480", 640, 480, "-c:v mpeg4 -flags +mv4 -g 6"},
        {"packets_720x576", 720, 576, "-c:v mpeg4 -flags +mv4 -ps 400 -g 6"},
        {"odd_210x118", 210, 118, "-c:v mpeg4 -flags +mv4 -g 6"},
        {"xvid_320x240", 320, 240, "-c:v libxvid -bf 0 -g 6"},
        {"xvid_mpegq_176x144", 176, 144, "-c:v libxvid -bf 0 -mpeg_quant 1 -g 6"},
    };
    const std::string dir = ScratchDir("tests/kvrlib/scratch/bench");
    std::printf("%-20s %9s %6s %8s %8s\n", "stream", "size", "frames", "min dB", "mean dB");
    for (const Clip& c : clips) {
        const std::string base = dir + "/" + c.name;
        if (!EncodeMovingClip(base + ".m4v", c.w, c.h, 30, c.options) ||
            !ReferenceDecode(base + ".m4v", base + ".ref.yuv") ||
            RunCommand(std::string(VISTREL_BIN_DIR) + "/vistrel-cli decode '" + base + ".m4v' -o '" + base +
                       ".out.yuv' > /dev/null") != 0) {
            std::printf("%-20s failed\n", c.name);
            continue;
        }
        const auto ref = ReadFile(base + ".ref.yuv"), out = ReadFile(base + ".out.yuv");
        const auto p = I420FramePsnr(ref, out, c.w, c.h);
        const double mean = p.empty() ? 0 : std::accumulate(p.begin(), p.end(), 0.0) / double(p.size());
        std::printf("%-20s %4dx%-4d %6zu %8.2f %8.2f%s\n", c.name, c.w, c.h, p.size(),
                    p.empty() ? 0 : *std::min_element(p.begin(), p.end()), mean,
                    ref.size() == out.size() ? "" : "  (frame count differs)");
    }
    std::printf("\n");
}

// The library alone, without file output: one pass over the whole stream per iteration.
void BM_LibraryDecode640x480(benchmark::State& state) {
    const auto data = ReadFile(benchStream());
    if (data.empty()) {
        state.SkipWithError("no stream");
        return;
    }
    long frames = 0;
    for (auto _ : state) {
        KVR_MP4_DEC* dec = Kvr_MP4_New_Decoder();
        std::size_t pos = 0;
        while (pos < data.size()) {
            const int used = dec->Decode(data.data() + pos, int(data.size() - pos));
            if (dec->Is_Frame_Ready()) {
                KVR_MP4_FRAME f;
                dec->Consume_Frame(&f);
                benchmark::DoNotOptimize(f.Y[0]);
                ++frames;
            }
            if (used <= 0) break;
            pos += std::size_t(used);
        }
        Kvr_MP4_Delete_Decoder(dec);
    }
    state.counters["fps"] = benchmark::Counter(double(frames), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_LibraryDecode640x480)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    psnrTable();
    sideBySide();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
