// Conformance: streams from independent encoders, decoded by vistrel-cli and compared with ffmpeg.
#include <gtest/gtest.h>

#include <cstdio>
#include <numeric>
#include <string>

#include "tests/support/Command.h"
#include "tests/support/Ffmpeg.h"
#include "tests/support/Files.h"
#include "tests/support/Psnr.h"

using namespace vistrel::testsupport;

namespace {

const double kMinFramePsnr = 45.0;
const double kMinMeanPsnr = 50.0;
const int kFrames = 12;

struct Clip {
    const char* name;
    int w, h;
    const char* options;
};

const std::string kCustomIntra =
    "8,9,10,11,12,13,14,15,16,17,18,19,20,21,22,23,24,25,26,27,28,29,30,31,32,33,34,35,36,37,38,39,"
    "40,41,42,43,44,45,46,47,48,49,50,51,52,53,54,55,56,57,58,59,60,61,62,63,64,65,66,67,68,69,70,71";
const std::string kCustomInter =
    "16,18,20,22,24,26,28,30,17,19,21,23,25,27,29,31,18,20,22,24,26,28,30,32,19,21,23,25,27,29,31,33,"
    "20,22,24,26,28,30,32,34,21,23,25,27,29,31,33,35,22,24,26,28,30,32,34,36,23,25,27,29,31,33,35,37";

class Conformance : public ::testing::TestWithParam<Clip> {};

TEST_P(Conformance, MatchesFfmpegDecoding) {
    if (!HaveFfmpeg()) GTEST_SKIP() << "ffmpeg not installed";
    const Clip& clip = GetParam();
    const std::string dir = ScratchDir("tests/kvrlib/scratch/conformance");
    const std::string base = dir + "/" + clip.name;
    std::string options = clip.options;
    if (options.find("CUSTOM") != std::string::npos)
        options = "-c:v mpeg4 -mpeg_quant 1 -g 6 -intra_matrix " + kCustomIntra + " -inter_matrix " + kCustomInter;
    ASSERT_TRUE(EncodeMovingClip(base + ".m4v", clip.w, clip.h, kFrames, options));
    ASSERT_TRUE(ReferenceDecode(base + ".m4v", base + ".ref.yuv"));
    const std::string cmd = std::string(VISTREL_BIN_DIR) + "/vistrel-cli decode '" + base + ".m4v' -o '" + base +
                            ".out.yuv' > '" + base + ".log' 2>&1";
    ASSERT_TRUE(RunCommand(cmd) == 0) << "vistrel-cli failed, see " << base << ".log";

    const auto ref = ReadFile(base + ".ref.yuv");
    const auto out = ReadFile(base + ".out.yuv");
    ASSERT_FALSE(ref.empty());
    EXPECT_EQ(out.size(), ref.size()) << "frame count differs";
    const auto psnr = I420FramePsnr(ref, out, clip.w, clip.h);
    ASSERT_FALSE(psnr.empty());
    std::string table;
    for (std::size_t i = 0; i < psnr.size(); ++i) {
        EXPECT_GE(psnr[i], kMinFramePsnr) << "frame " << i;
        char cell[16];
        std::snprintf(cell, sizeof cell, " %.1f", psnr[i]);
        table += cell;
    }
    const double mean = std::accumulate(psnr.begin(), psnr.end(), 0.0) / double(psnr.size());
    EXPECT_GE(mean, kMinMeanPsnr);
    std::printf("[psnr] %-14s %4dx%-4d frames %2zu mean %.2f min %.2f |%s\n", clip.name, clip.w, clip.h,
                psnr.size(), mean, *std::min_element(psnr.begin(), psnr.end()), table.c_str());
}

INSTANTIATE_TEST_SUITE_P(
    Streams, Conformance,
    ::testing::Values(Clip{"ip_176x144", 176, 144, "-c:v mpeg4 -g 6"},
                      Clip{"mv4_320x240", 320, 240, "-c:v mpeg4 -flags +mv4 -g 6"},
                      Clip{"mpegq_352x240", 352, 240, "-c:v mpeg4 -mpeg_quant 1 -g 6"},
                      Clip{"matrix_640x480", 640, 480, "CUSTOM"},
                      Clip{"packets_720x576", 720, 576, "-c:v mpeg4 -flags +mv4 -ps 400 -g 6"},
                      Clip{"odd_210x118", 210, 118, "-c:v mpeg4 -flags +mv4 -g 6"},
                      Clip{"xvid_320x240", 320, 240, "-c:v libxvid -bf 0 -g 6"},
                      Clip{"xvid_mpegq_176x144", 176, 144, "-c:v libxvid -bf 0 -mpeg_quant 1 -g 6"},
                      Clip{"highq_352x240", 352, 240, "-c:v mpeg4 -flags +mv4 -q:v 1 -g 12"}),
    [](const ::testing::TestParamInfo<Clip>& p) { return std::string(p.param.name); });

}  // namespace
