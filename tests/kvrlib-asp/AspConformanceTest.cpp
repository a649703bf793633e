// Decodes B-frame, quarter-sample, interlaced and GMC streams of independent encoders with vistrel-cli
// and compares every picture with ffmpeg's own decoding.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/Command.h"
#include "tests/support/Files.h"
#include "tests/support/Psnr.h"

using namespace vistrel::testsupport;

namespace {

constexpr double kMinFramePsnr = 45.0;
constexpr double kMinMeanPsnr = 50.0;
// Rounding noise allowed when our picture must be at least as close to the source as ffmpeg's.
constexpr double kSourcePsnrTolerance = 0.05;

const std::string kStreamDir = ScratchDir("kvrlib-asp-streams");

// VOP coding types in stream order, as letters I, P, B, S.
std::string vopTypes(const std::vector<unsigned char>& d) {
    std::string t;
    for (size_t i = 0; i + 4 < d.size(); ++i)
        if (d[i] == 0 && d[i + 1] == 0 && d[i + 2] == 1 && d[i + 3] == 0xB6) t += "IPBS"[d[i + 4] >> 6];
    return t;
}

// VOP coding types in display order: each anchor (I, P, S) is shown after the B-VOPs that follow it.
std::string displayOrder(const std::string& streamOrder) {
    std::string shown;
    char pending = 0;
    for (char t : streamOrder) {
        if (t == 'B') {
            shown += t;
            continue;
        }
        if (pending) shown += pending;
        pending = t;
    }
    if (pending) shown += pending;
    return shown;
}

class AspConformance : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ready_ = HaveFfmpeg() && RunCommand(std::string("sh ") + VISTREL_SOURCE_DIR +
                                            "/tests/kvrlib-asp/make_streams.sh " + kStreamDir + " 20") == 0;
    }

    struct Result {
        long ours = 0, ref = 0;
        std::vector<double> psnr;
    };

    // Decodes NAME.m4v with vistrel-cli and with ffmpeg into the given files.
    static void decodeBoth(const std::string& name, const std::string& ours, const std::string& ref) {
        const std::string in = kStreamDir + "/" + name + ".m4v";
        EXPECT_EQ(RunQuietly(std::string(VISTREL_BIN_DIR) + "/vistrel-cli decode " + in + " -o " + ours), 0)
            << name;
        // passthrough: one output picture per decoded picture, no duplicates for timestamp gaps.
        EXPECT_EQ(RunCommand("ffmpeg -nostdin -hide_banner -loglevel error -y -i " + in +
                             " -vsync passthrough -f rawvideo -pix_fmt yuv420p " + ref),
                  0);
    }

    // Decodes NAME.m4v both ways and returns per-frame PSNR (all three planes).
    Result compare(const std::string& name, int w, int h) {
        const std::string ours = kStreamDir + "/" + name + ".ours.yuv";
        const std::string ref = kStreamDir + "/" + name + ".ref.yuv";
        Result r;
        decodeBoth(name, ours, ref);
        const auto a = ReadFile(ours), b = ReadFile(ref);
        const size_t fs = size_t(w) * h * 3 / 2;
        r.ours = long(a.size() / fs);
        r.ref = long(b.size() / fs);
        r.psnr = I420FramePsnr(a, b, w, h);
        std::remove(ours.c_str());
        std::remove(ref.c_str());
        return r;
    }

    void check(const std::string& name, int w, int h) {
        if (!ready_) GTEST_SKIP() << "ffmpeg with libxvid is needed to make the streams";
        const Result r = compare(name, w, h);
        EXPECT_EQ(r.ours, r.ref) << name << ": frame count";
        ASSERT_FALSE(r.psnr.empty()) << name;
        double sum = 0, worst = 1e9;
        std::string table;
        for (double p : r.psnr) {
            sum += p;
            worst = std::min(worst, p);
            char cell[16];
            std::snprintf(cell, sizeof cell, " %.1f", p);
            table += cell;
        }
        const double mean = sum / double(r.psnr.size());
        std::printf("%-22s frames %ld/%ld  min %.1f dB  mean %.1f dB\n  %s\n", name.c_str(), r.ours, r.ref, worst,
                    mean, table.c_str());
        EXPECT_GE(worst, kMinFramePsnr) << name;
        EXPECT_GE(mean, kMinMeanPsnr) << name;
    }

    static bool ready_;
};

bool AspConformance::ready_ = false;

TEST_F(AspConformance, BFramesMpeg4) { check("mpeg4_bf2", 352, 288); }
TEST_F(AspConformance, BFramesWithVideoPackets) { check("mpeg4_bf1_packets", 320, 240); }
TEST_F(AspConformance, QuarterSampleMpeg4) { check("mpeg4_qpel", 352, 288); }
TEST_F(AspConformance, QuarterSampleFourVectorsWithBFramesMpeg4) { check("mpeg4_qpel_bf2", 352, 288); }
TEST_F(AspConformance, InterlacedTopFieldFirstWithBFrames) { check("mpeg4_interlaced", 720, 576); }

// In interlaced direct mode ffmpeg's decoder takes the co-located field vectors as zero, while its
// encoder (and we) use the real ones. So our interlaced B-frames differ a little from ffmpeg's
// decoding, but must be at least as close to the source pictures, and closer on some B-frame: that
// shows the difference is ffmpeg's, not ours.
TEST_F(AspConformance, InterlacedDirectModeIsCloserToTheSourceThanFfmpeg) {
    if (!ready_) GTEST_SKIP() << "ffmpeg with libxvid is needed to make the streams";
    const std::string name = "mpeg4_interlaced";
    const int w = 720, h = 576;
    const std::string ours = kStreamDir + "/" + name + ".src-ours.yuv";
    const std::string ref = kStreamDir + "/" + name + ".src-ref.yuv";
    decodeBoth(name, ours, ref);
    const auto a = ReadFile(ours), b = ReadFile(ref), src = ReadFile(kStreamDir + "/" + name + ".src.yuv");
    std::remove(ours.c_str());
    std::remove(ref.c_str());
    const std::string types = displayOrder(vopTypes(ReadFile(kStreamDir + "/" + name + ".m4v")));
    const size_t fs = size_t(w) * h * 3 / 2;
    ASSERT_EQ(a.size() / fs, types.size()) << types;
    ASSERT_EQ(b.size() / fs, types.size());
    ASSERT_EQ(src.size() / fs, types.size());
    int closerBFrames = 0;
    std::string table;
    for (size_t f = 0; f < types.size(); ++f) {
        const double pOurs = I420LumaPsnr(a, src, f, w, h), pRef = I420LumaPsnr(b, src, f, w, h);
        EXPECT_GE(pOurs, pRef - kSourcePsnrTolerance) << "display frame " << f << " (" << types[f] << ")";
        if (types[f] == 'B' && pOurs > pRef + kSourcePsnrTolerance) ++closerBFrames;
        char cell[48];
        std::snprintf(cell, sizeof cell, " %c%.2f/%.2f", types[f], pOurs, pRef);
        table += cell;
    }
    std::printf("%s luma PSNR against the source, ours/ffmpeg:\n %s\n", name.c_str(), table.c_str());
    EXPECT_GT(closerBFrames, 0) << "no B-frame closer to the source than ffmpeg's decoding";
}

TEST_F(AspConformance, XvidMpegQuantisationWithBFrames) { check("xvid_mpegquant_bf2", 352, 288); }

TEST_F(AspConformance, XvidGmcQuarterSampleBFramesHasSVops) {
    if (!ready_) GTEST_SKIP() << "ffmpeg with libxvid is needed to make the streams";
    const std::string types = vopTypes(ReadFile(kStreamDir + "/xvid_gmc_qpel_bf2.m4v"));
    EXPECT_NE(types.find('S'), std::string::npos) << "no S-VOP in " << types;
    EXPECT_NE(types.find('B'), std::string::npos) << types;
    check("xvid_gmc_qpel_bf2", 352, 288);
}

TEST_F(AspConformance, EveryStreamUsesTheFeatureItIsNamedFor) {
    if (!ready_) GTEST_SKIP() << "ffmpeg with libxvid is needed to make the streams";
    EXPECT_NE(vopTypes(ReadFile(kStreamDir + "/mpeg4_bf2.m4v")).find('B'), std::string::npos);
    EXPECT_EQ(vopTypes(ReadFile(kStreamDir + "/mpeg4_qpel.m4v")).find('B'), std::string::npos);
    EXPECT_NE(vopTypes(ReadFile(kStreamDir + "/mpeg4_interlaced.m4v")).find('B'), std::string::npos);
    EXPECT_NE(vopTypes(ReadFile(kStreamDir + "/xvid_mpegquant_bf2.m4v")).find('B'), std::string::npos);
}

}  // namespace
