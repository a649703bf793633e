// Conformance of vistrel-cli decode against ffmpeg's decoding of streams made by ffmpeg's own H.263
// encoder, exactness against our encoder's reconstruction at the private sizes, ffmpeg's decoding
// of our encoder's output, and the command's contract.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/h263/TestSupport.h"
#include "tests/support/Command.h"
#include "tests/support/Files.h"
#include "tests/support/Psnr.h"
#include "tools/h263enc/H263Encoder.h"

using namespace vistrel::h263test;
using namespace vistrel::testsupport;

namespace {

const std::string kBin = VISTREL_BIN_DIR;
const std::string kCli = kBin + "/vistrel-cli";
const std::string kEncoder = kBin + "/vistrel-h263enc";

constexpr double kMinFramePsnr = 45.0;
constexpr double kMinMeanPsnr = 50.0;

std::string dataDir() { return ScratchDir("tests/h263/conformance-data"); }

struct Comparison {
    std::size_t framesA = 0;
    std::size_t framesB = 0;
    double minPsnr = 0;
    double meanPsnr = 0;
};

Comparison compareYuv(const std::string& a, const std::string& b, int width, int height) {
    const auto da = ReadFile(a);
    const auto db = ReadFile(b);
    const std::size_t frameBytes = std::size_t(width) * std::size_t(height) * 3 / 2;
    Comparison c;
    c.framesA = da.size() / frameBytes;
    c.framesB = db.size() / frameBytes;
    const std::size_t n = std::min(c.framesA, c.framesB);
    c.minPsnr = n ? 1e9 : 0;
    double sum = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const double p = Psnr(da.data() + i * frameBytes, db.data() + i * frameBytes, frameBytes);
        c.minPsnr = std::min(c.minPsnr, p);
        sum += p;
    }
    c.meanPsnr = n ? sum / double(n) : 0;
    return c;
}

struct FfmpegStream {
    const char* name;
    const char* source;  // lavfi graph
    int width;
    int height;
    int frames;
    int quantiser;
    int gop;
    const char* extra = "";  // further encoder options
};

// Baseline headers need 30000/1001 frames per second; other rates make ffmpeg write H.263+ headers.
const FfmpegStream kStreams[] = {
    {"qcif_mandelbrot_q2_g12", "mandelbrot=size=176x144:rate=30000/1001", 176, 144, 40, 2, 12},
    {"qcif_noise_q5_g30", "testsrc2=size=176x144:rate=30000/1001,noise=alls=18:allf=t+u", 176, 144, 40, 5, 30},
    {"qcif_testsrc2_q31_g100", "testsrc2=size=176x144:rate=30000/1001", 176, 144, 30, 31, 100},
    {"cif_mandelbrot_q8_g10", "mandelbrot=size=352x288:rate=30000/1001", 352, 288, 30, 8, 10},
    {"cif_noise_q12_g60", "testsrc2=size=352x288:rate=30000/1001,noise=alls=20:allf=t+u", 352, 288, 45, 12, 60},
    {"cif_noise_q4_g15", "testsrc2=size=352x288:rate=30000/1001,noise=alls=10:allf=t", 352, 288, 20, 4, 15},
    // Group-of-blocks headers in front of macroblock rows (RTP payload size).
    {"cif_gob_headers_q6_g10", "testsrc2=size=352x288:rate=30000/1001", 352, 288, 20, 6, 10, "-ps 400"},
    {"qcif_gob_headers_q3_g8", "mandelbrot=size=176x144:rate=30000/1001", 176, 144, 16, 3, 8, "-ps 150"},
};

std::string makeFfmpegStream(const FfmpegStream& s) {
    const std::string path = dataDir() + "/" + s.name + ".h263";
    if (!std::filesystem::exists(path)) {
        // Test cases may run in parallel processes: encode under a private name, then rename.
        const std::string tmp = path + "." + std::to_string(getpid()) + ".h263";
        const std::string cmd = "ffmpeg -hide_banner -loglevel error -y -f lavfi -i '" + std::string(s.source) +
                                "' -frames:v " + std::to_string(s.frames) + " -c:v h263 -q:v " +
                                std::to_string(s.quantiser) + " -g " + std::to_string(s.gop) + " " + s.extra +
                                " '" + tmp + "' && mv '" + tmp + "' '" + path + "'";
        if (RunQuietly(cmd) != 0) return {};
    }
    return path;
}

// Cuts a raw stream at its byte-aligned picture start codes and wraps every picture in the live frame form.
std::vector<std::uint8_t> frameRawStream(const std::vector<std::uint8_t>& raw, bool header) {
    std::vector<std::size_t> starts;
    for (std::size_t i = 0; i + 3 <= raw.size(); ++i)
        if (raw[i] == 0 && raw[i + 1] == 0 && (raw[i + 2] & 0xFC) == 0x80) starts.push_back(i);
    std::vector<std::uint8_t> out;
    for (std::size_t k = 0; k < starts.size(); ++k) {
        const std::size_t end = k + 1 < starts.size() ? starts[k + 1] : raw.size();
        vistrel::h263enc::AppendLiveFrame(&out, raw.data() + starts[k], end - starts[k], header, std::uint32_t(k));
    }
    return out;
}

}  // namespace

// The PSNR table of every stream goes to the test log.
TEST(H263Conformance, FfmpegStreamsDecodeLikeFfmpeg) {
    if (!HaveFfmpeg()) GTEST_SKIP() << "ffmpeg not installed";
    std::printf("%-26s %7s %9s %9s\n", "stream", "frames", "min dB", "mean dB");
    for (const FfmpegStream& s : kStreams) {
        const std::string path = makeFfmpegStream(s);
        ASSERT_FALSE(path.empty()) << "ffmpeg could not encode " << s.name;
        const std::string ours = dataDir() + "/" + s.name + ".ours.yuv";
        const std::string theirs = dataDir() + "/" + s.name + ".ffmpeg.yuv";
        ASSERT_EQ(RunQuietly("'" + kCli + "' decode '" + path + "' -o '" + ours + "'"), 0) << s.name;
        ASSERT_EQ(RunQuietly("ffmpeg -hide_banner -loglevel error -y -i '" + path +
                             "' -fps_mode passthrough -f rawvideo -pix_fmt yuv420p '" + theirs + "'"),
                  0);
        const Comparison c = compareYuv(ours, theirs, s.width, s.height);
        std::printf("%-26s %7zu %9.2f %9.2f\n", s.name, c.framesA, c.minPsnr, c.meanPsnr);
        EXPECT_EQ(c.framesA, std::size_t(s.frames)) << s.name;
        EXPECT_EQ(c.framesA, c.framesB) << s.name;
        EXPECT_GE(c.minPsnr, kMinFramePsnr) << s.name;
        EXPECT_GE(c.meanPsnr, kMinMeanPsnr) << s.name;
    }
}

TEST(H263Conformance, FramedStreamsDecodeLikeTheElementaryStream) {
    if (!HaveFfmpeg()) GTEST_SKIP() << "ffmpeg not installed";
    const FfmpegStream& s = kStreams[1];
    const std::string path = makeFfmpegStream(s);
    ASSERT_FALSE(path.empty());
    const std::string elementary = dataDir() + "/framed_ref.yuv";
    ASSERT_EQ(RunQuietly("'" + kCli + "' decode '" + path + "' -o '" + elementary + "'"), 0);
    const auto expected = ReadFile(elementary);
    ASSERT_FALSE(expected.empty());
    for (bool header : {false, true}) {
        const std::string framed = dataDir() + (header ? "/framed_header.bin" : "/framed_plain.bin");
        auto data = frameRawStream(ReadFile(path), header);
        // Junk between frames is skipped as the live path skips it.
        data.insert(data.begin(), {0x01, 0x02, 0x03, 0x04});
        WriteFile(framed, data);
        const std::string out = dataDir() + "/framed_out.yuv";
        ASSERT_EQ(RunQuietly("'" + kCli + "' decode '" + framed + "' --codec h263 --framed -o '" + out + "'"), 0);
        EXPECT_TRUE(ReadFile(out) == expected) << (header ? "with" : "without") << " frame header";
    }
}

// Our encoder at every private size: the decoder's output is the encoder's reconstruction, byte for byte.
TEST(H263Conformance, OurPrivateSizeStreamsDecodeExactly) {
    struct Case {
        int w, h, frames, q, gop;
        const char* form;
    };
    const Case cases[] = {{320, 240, 12, 6, 5, "--header"},
                          {640, 480, 5, 10, 3, "--framed"},
                          {640, 240, 8, 3, 4, "--header"},
                          {640, 240, 6, 12, 6, "raw"}};
    for (const Case& c : cases) {
        const std::string base =
            dataDir() + "/ours_" + std::to_string(c.w) + "x" + std::to_string(c.h) + "_" + c.form;
        std::vector<std::uint8_t> source;
        for (int i = 0; i < c.frames; ++i) {
            const auto f = syntheticFrame(c.w, c.h, i, 3);
            source.insert(source.end(), f.begin(), f.end());
        }
        WriteFile(base + ".src.yuv", source);
        const bool raw = std::string(c.form) == "raw";
        const std::string stream = base + (raw ? ".h263" : ".bin");
        ASSERT_EQ(RunQuietly("'" + kEncoder + "' '" + base + ".src.yuv' '" + stream + "' --size " +
                             std::to_string(c.w) + "x" + std::to_string(c.h) + " -q " + std::to_string(c.q) +
                             " --gop " + std::to_string(c.gop) + (raw ? "" : std::string(" ") + c.form) +
                             " --recon '" + base + ".recon.yuv'"),
                  0);
        ASSERT_EQ(RunQuietly("'" + kCli + "' decode '" + stream + "' --codec h263 " + (raw ? "" : "--framed ") +
                             "-o '" + base + ".out.yuv'"),
                  0);
        const auto recon = ReadFile(base + ".recon.yuv");
        EXPECT_EQ(recon.size(), std::size_t(c.w) * std::size_t(c.h) * 3 / 2 * std::size_t(c.frames));
        EXPECT_TRUE(ReadFile(base + ".out.yuv") == recon) << c.w << "x" << c.h << " " << c.form;
    }
}

TEST(H263Conformance, FfmpegDecodesOurQcifAndCifStreams) {
    if (!HaveFfmpeg()) GTEST_SKIP() << "ffmpeg not installed";
    for (auto [w, h] : {std::pair{176, 144}, std::pair{352, 288}}) {
        const std::string base = dataDir() + "/ours_for_ffmpeg_" + std::to_string(w);
        std::vector<std::uint8_t> source;
        const int frames = 20;
        for (int i = 0; i < frames; ++i) {
            const auto f = syntheticFrame(w, h, i, 9);
            source.insert(source.end(), f.begin(), f.end());
        }
        WriteFile(base + ".src.yuv", source);
        ASSERT_EQ(RunQuietly("'" + kEncoder + "' '" + base + ".src.yuv' '" + base + ".h263' --size " +
                             std::to_string(w) + "x" + std::to_string(h) + " -q 5 --gop 10 --recon '" + base +
                             ".recon.yuv'"),
                  0);
        ASSERT_EQ(
            RunQuietly("ffmpeg -hide_banner -loglevel error -y -f h263 -i '" + base +
                       ".h263' -fps_mode passthrough -f rawvideo -pix_fmt yuv420p '" + base + ".ffmpeg.yuv'"),
            0);
        const Comparison c = compareYuv(base + ".ffmpeg.yuv", base + ".recon.yuv", w, h);
        std::printf("ours %dx%d decoded by ffmpeg: %zu frames, min %.2f dB, mean %.2f dB\n", w, h, c.framesA,
                    c.minPsnr, c.meanPsnr);
        EXPECT_EQ(c.framesA, std::size_t(frames));
        EXPECT_EQ(c.framesB, std::size_t(frames));
        EXPECT_GE(c.minPsnr, kMinFramePsnr);
        EXPECT_GE(c.meanPsnr, kMinMeanPsnr);
    }
}

TEST(H263DecodeCommand, ArgumentsFramesBitmapsAndSummaryLine) {
    const int w = 176, h = 144, frames = 6;
    const std::string base = dataDir() + "/cli";
    std::vector<std::uint8_t> source;
    for (int i = 0; i < frames; ++i) {
        const auto f = syntheticFrame(w, h, i, 4);
        source.insert(source.end(), f.begin(), f.end());
    }
    WriteFile(base + ".src.yuv", source);
    ASSERT_EQ(RunQuietly("'" + kEncoder + "' '" + base + ".src.yuv' '" + base + ".263' --size 176x144"), 0);

    const CommandResult run = RunCapture("'" + kCli + "' decode '" + base + ".263' --frames 4 -o '" + base +
                                         ".out.yuv' --bmp-dir '" + base + "_bmp'");
    const std::string& out = run.output;
    EXPECT_EQ(run.exitCode, 0) << out;
    long n = 0;
    int pw = 0, ph = 0;
    double seconds = -1, fps = -1;
    char close = 0;
    EXPECT_EQ(std::sscanf(out.c_str(), "decoded %ld frames %dx%d in %lf s (%lf fps%c", &n, &pw, &ph, &seconds,
                          &fps, &close),
              6)
        << out;
    EXPECT_EQ(n, 4);
    EXPECT_EQ(pw, w);
    EXPECT_EQ(ph, h);
    EXPECT_GE(seconds, 0.0);
    EXPECT_EQ(close, ')');
    EXPECT_EQ(ReadFile(base + ".out.yuv").size(), std::size_t(w * h * 3 / 2 * 4));
    int bitmaps = 0;
    for (const auto& e : std::filesystem::directory_iterator(base + "_bmp")) {
        ++bitmaps;
        EXPECT_EQ(std::filesystem::file_size(e.path()), std::uintmax_t(w * h * 3 + 54));
    }
    EXPECT_EQ(bitmaps, 4);

    // OUT.y4m: the same pictures, each behind a FRAME line, after one stream header; and ffmpeg
    // reads it back to the same samples.
    const CommandResult y4mRun =
        RunCapture("'" + kCli + "' decode '" + base + ".263' --frames 4 -o '" + base + ".out.y4m'");
    EXPECT_EQ(y4mRun.exitCode, 0) << y4mRun.output;
    const auto yuv = ReadFile(base + ".out.yuv");
    const auto y4m = ReadFile(base + ".out.y4m");
    const std::string header = "YUV4MPEG2 W176 H144 F30000:1001 Ip A1:1 C420jpeg\n";
    const std::size_t frameBytes = std::size_t(w * h * 3 / 2);
    ASSERT_EQ(y4m.size(), header.size() + 4 * (6 + frameBytes));
    EXPECT_EQ(std::string(y4m.begin(), y4m.begin() + std::ptrdiff_t(header.size())), header);
    for (std::size_t i = 0; i < 4; ++i) {
        const auto frame = y4m.begin() + std::ptrdiff_t(header.size() + i * (6 + frameBytes));
        EXPECT_EQ(std::string(frame, frame + 6), "FRAME\n") << i;
        EXPECT_TRUE(std::equal(frame + 6, frame + 6 + std::ptrdiff_t(frameBytes),
                               yuv.begin() + std::ptrdiff_t(i * frameBytes)))
            << i;
    }
    if (HaveFfmpeg()) {
        ASSERT_EQ(RunQuietly("ffmpeg -hide_banner -loglevel error -y -i '" + base +
                             ".out.y4m' -f rawvideo -pix_fmt yuv420p '" + base + ".y4m.yuv'"),
                  0);
        EXPECT_TRUE(ReadFile(base + ".y4m.yuv") == yuv);
    }

    for (const std::string& bad : {std::string("--frames x"), std::string("--codec vp9"), std::string("--bogus"),
                                   std::string("-o"), std::string("a.h263 b.h263")}) {
        const CommandResult r = RunCapture("'" + kCli + "' decode '" + base + ".263' " + bad);
        const std::string& text = r.output;
        EXPECT_EQ(r.exitCode, 2) << bad;
        EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << text;
    }
    EXPECT_EQ(RunQuietly("'" + kCli + "' decode '" + base + ".unknownext'"), 2);
    EXPECT_EQ(RunQuietly("'" + kCli + "' decode '" + base + "_missing.h263'"), 1);
    WriteFile(base + "_garbage.h263", std::vector<std::uint8_t>(5000, 0x5A));
    EXPECT_EQ(RunQuietly("'" + kCli + "' decode '" + base + "_garbage.h263'"), 1);
}
