// Part-2 decoding speed: vistrel-cli decode beside `ffmpeg -threads 1` on 640x480 streams with B-frames and
// with quarter-sample motion, the PSNR of the part-2 conformance streams, and the new kernels.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "dsp_src/Kvr_Dsp.h"
#include "dsp_src/Kvr_Gmc.h"
#include "dsp_src/Kvr_Qpel.h"
#include "kvr_syst/Kvr_Cpu.h"
#include "tests/support/Command.h"
#include "tests/support/Files.h"
#include "tests/support/Psnr.h"

namespace {

using namespace vistrel::testsupport;

constexpr int kWidth = 640, kHeight = 480, kFrames = 400;
constexpr int kRuns = 3;  // best of, for both programs

const std::string kDir = std::string(VISTREL_BINARY_DIR) + "/bench-mpeg4-asp";

bool run(const std::string& cmd) { return RunCommand(cmd) == 0; }

std::string makeStream(const std::string& name, const std::string& options) {
    const std::string path = kDir + "/" + name + ".m4v";
    if (!std::filesystem::exists(path)) {
        const std::string src = "testsrc2=size=800x600:rate=25,crop=640:480:x='40+20*sin(t)':y='30+10*t'";
        if (!run("ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi -i \"" + src + "\" -frames:v " +
                 std::to_string(kFrames) + " -c:v mpeg4 " + options + " -q:v 4 -g 50 -f m4v " + path))
            return {};
    }
    return path;
}

double bestSeconds(const std::string& command) {
    double best = 1e9;
    for (int i = 0; i < kRuns; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        if (!run(command + " >/dev/null 2>&1")) return -1;
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    }
    return best;
}

void sideBySide() {
    std::printf("\n%dx%d, %d frames, best of %d runs        vistrel     ffmpeg   ratio\n", kWidth, kHeight,
                kFrames, kRuns);
    const struct {
        const char* name;
        const char* options;
    } streams[] = {
        {"bframes_640x480", "-bf 2"},
        {"qpel_640x480", "-flags +qpel"},
    };
    for (const auto& s : streams) {
        const std::string file = makeStream(s.name, s.options);
        if (file.empty()) {
            std::printf("  %-36s no stream (ffmpeg missing?)\n", s.name);
            continue;
        }
        const double ours = bestSeconds(std::string(VISTREL_BIN_DIR) + "/vistrel-cli decode '" + file + "'");
        const double theirs = bestSeconds("ffmpeg -v error -threads 1 -i '" + file + "' -f null -");
        std::printf("  %-36s %7.3f s  %7.3f s  %6.2f   (%.0f / %.0f fps)\n", s.name, ours, theirs, ours / theirs,
                    kFrames / ours, kFrames / theirs);
    }
    std::printf("\n");
}

void psnrTable() {
    const std::string dir = kDir + "/conformance";
    if (!run(std::string("sh ") + VISTREL_SOURCE_DIR + "/tests/kvrlib-asp/make_streams.sh " + dir + " 20")) {
        std::printf("conformance streams could not be made\n");
        return;
    }
    const struct {
        const char* name;
        int w, h;
    } clips[] = {
        {"mpeg4_bf2", 352, 288},        {"mpeg4_qpel", 352, 288},        {"mpeg4_qpel_bf2", 352, 288},
        {"mpeg4_interlaced", 720, 576}, {"xvid_gmc_qpel_bf2", 352, 288}, {"xvid_mpegquant_bf2", 352, 288},
    };
    std::printf("%-20s %9s %7s %8s %8s\n", "stream", "size", "frames", "min dB", "mean dB");
    for (const auto& c : clips) {
        const std::string base = dir + "/" + c.name;
        run(std::string(VISTREL_BIN_DIR) + "/vistrel-cli decode " + base + ".m4v -o " + base +
            ".out.yuv >/dev/null 2>&1");
        run("ffmpeg -nostdin -v error -y -i " + base + ".m4v -vsync passthrough -f rawvideo -pix_fmt yuv420p " +
            base + ".ref.yuv");
        const auto a = ReadFile(base + ".out.yuv"), b = ReadFile(base + ".ref.yuv");
        const size_t fs = I420Bytes(c.w, c.h);
        double worst = 1e9, sum = 0;
        const std::vector<double> psnr = I420FramePsnr(a, b, c.w, c.h);
        const size_t n = psnr.size();
        for (const double p : psnr) {
            worst = std::min(worst, p);
            sum += p;
        }
        std::printf("%-20s %4dx%-4d %3zu/%-3zu %8.2f %8.2f\n", c.name, c.w, c.h, a.size() / fs, b.size() / fs,
                    n ? worst : 0.0, n ? sum / double(n) : 0.0);
    }
}

constexpr int kStride = 64;

void BM_Qpel16(benchmark::State& state) {
    std::vector<uint8_t> src(kStride * 40), dst(kStride * 40);
    std::mt19937 rng(1);
    for (auto& v : src) v = uint8_t(rng());
    const int pos = int(state.range(0));
    for (auto _ : state) {
        Kvr_Qpel16_Put_C[0][pos](dst.data() + 8 * kStride + 8, src.data() + 8 * kStride + 8, kStride);
        benchmark::DoNotOptimize(dst.data());
    }
}
BENCHMARK(BM_Qpel16)->Arg(1)->Arg(5)->Arg(10)->Arg(15);

// The kernels the decoder installs at each CPU cap (0 "c", 1 "sse2", 2 "avx2"; a cap above what the
// processor has installs what it has).
const char* const kCaps[] = {"c", "sse2", "avx2"};

template <typename TABLE, typename INSTALL>
TABLE tablesAt(int cap, INSTALL install) {
    Kvr_CPU_Set_Cap(kCaps[cap]);
    TABLE t{};
    install(&t);
    Kvr_CPU_Set_Cap(std::getenv("VISTREL_CPU"));
    return t;
}

void BM_Qpel16Level(benchmark::State& state) {
    const auto mb = tablesAt<KVR_MB_DSP>(int(state.range(0)), [](KVR_MB_DSP* t) { Kvr_Install_MB_DSP(t, 4); });
    std::vector<uint8_t> src(kStride * 40), dst(kStride * 40);
    std::mt19937 rng(1);
    for (auto& v : src) v = uint8_t(rng());
    const auto fn = mb.Routines->Qpel16_Put[0][state.range(1)];
    for (auto _ : state) {
        fn(dst.data() + 8 * kStride + 8, src.data() + 8 * kStride + 8, kStride);
        benchmark::DoNotOptimize(dst.data());
    }
    state.SetLabel(std::string(kCaps[state.range(0)]) + " " + mb.Name);
}
BENCHMARK(BM_Qpel16Level)->ArgsProduct({{0, 1, 2}, {1, 5, 10, 15}});

void BM_HalfSampleLevel(benchmark::State& state) {
    const auto mb = tablesAt<KVR_MB_DSP>(int(state.range(0)), [](KVR_MB_DSP* t) { Kvr_Install_MB_DSP(t, 4); });
    std::vector<uint8_t> src(kStride * 40), dst(kStride * 40);
    std::mt19937 rng(2);
    for (auto& v : src) v = uint8_t(rng());
    const auto fn = mb.MC[state.range(1)][KVR_MC_16x8 + 3];
    for (auto _ : state) {
        fn(dst.data() + 8 * kStride + 8, src.data() + 8 * kStride + 8, kStride);
        benchmark::DoNotOptimize(dst.data());
    }
    state.SetLabel(std::string(kCaps[state.range(0)]) + " 16x8 both-half, table " +
                   std::to_string(state.range(1)));
}
BENCHMARK(BM_HalfSampleLevel)->ArgsProduct({{0, 1}, {KVR_MC_RND0, KVR_MC_RND1, KVR_MC_AVG}});

void BM_IdctAddLevel(benchmark::State& state) {
    const auto q =
        tablesAt<KVR_QUANT_DSP>(int(state.range(0)), [](KVR_QUANT_DSP* t) { Kvr_Install_Quant_DSP(t, 0, 4); });
    std::vector<uint8_t> dst(kStride * 16, 128);
    std::mt19937 rng(3);
    alignas(16) int16_t coefs[64] = {};
    // A typical inter residual: a handful of low frequencies (state.range(1) == 1: DC only).
    coefs[0] = 40;
    if (state.range(1) == 0)
        for (int k : {1, 2, 8, 9, 16, 3}) coefs[k] = int16_t(int(rng() % 200) - 100);
    for (auto _ : state) {
        alignas(16) int16_t blk[64];
        std::memcpy(blk, coefs, sizeof blk);
        q.IDCT_Add(blk, dst.data() + 4 * kStride + 8, kStride);
        benchmark::DoNotOptimize(dst.data());
    }
    state.SetLabel(std::string(kCaps[state.range(0)]) + " " + q.Name + (state.range(1) ? " DC only" : " sparse"));
}
BENCHMARK(BM_IdctAddLevel)->ArgsProduct({{0, 1}, {0, 1}});

void BM_GmcMacroblock(benchmark::State& state) {
    constexpr int W = 640, H = 480, Bps = W + 64;
    std::vector<uint8_t> y(Bps * (H + 64)), u(Bps * (H / 2 + 64)), v(Bps * (H / 2 + 64));
    std::vector<uint8_t> out(Bps * 32);
    const int du[4] = {3, -12, 0, 0}, dv[4] = {-2, 1, -11, 0};
    KVR_GMC_PARAMS g;
    Kvr_Gmc_Setup(&g, du, dv, 3, 3, W, H);
    for (auto _ : state) {
        Kvr_Gmc_Predict_MB(&g, out.data(), out.data() + 16 * Bps, out.data() + 16 * Bps + 16,
                           y.data() + 32 * Bps + 32, u.data() + 32 * Bps + 32, v.data() + 32 * Bps + 32, Bps, 10,
                           10, W, H, 0);
        benchmark::DoNotOptimize(out.data());
    }
}
BENCHMARK(BM_GmcMacroblock);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    std::filesystem::create_directories(kDir);
    psnrTable();
    sideBySide();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
