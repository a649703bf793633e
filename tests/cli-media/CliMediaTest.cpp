// vistrel-cli's media outputs, read back by ffmpeg: PNG snapshots hold the pixels of the BMP of the
// same picture, YUV4MPEG2 opens without size flags and holds the I420 pictures, and a recording
// into a full disk stops with a message while the stream goes on.

#include <gtest/gtest.h>

#include <unistd.h>
#include <algorithm>
#include <cstdio>

#include "cli/SnapshotFile.h"
#include "tests/support/Command.h"
#include "tests/support/Files.h"
#include "tools/dvr/DvrServer.h"

using namespace vistrel;
using namespace vistrel::testsupport;

namespace {

std::string Cli() { return std::string(VISTREL_BIN_DIR) + "/vistrel-cli"; }
std::string TempPath(const std::string& name) {
    return "/tmp/vistrel-cli-media-" + std::to_string(::getpid()) + "-" + name;
}
// ffmpeg's reading of any picture file as packed RGB.
std::string Rgb(const std::string& path) {
    const std::string out = path + ".rgb";
    RunQuietly("ffmpeg -v error -y -i '" + path + "' -f rawvideo -pix_fmt rgb24 '" + out + "'");
    std::string bytes = ReadText(out);
    std::remove(out.c_str());
    return bytes;
}

}  // namespace

TEST(CliMedia, PngSnapshotsHoldTheSamePixelsAsTheBitmap) {
    dvr::DvrOptions options;
    options.recordedSecondsPerHour = 2;
    dvr::DvrServer server(options);
    ASSERT_NE(server.start(), 0);
    const std::string args = " playback --host 127.0.0.1 --port " + std::to_string(server.port()) +
                             " --channel 3 --date 2026-12-08 --time 13:00:00 --speed Full --snapshot ";
    const std::string png = TempPath("last.PNG"), bmp = TempPath("last.bmp");
    ASSERT_EQ(RunCapture(Cli() + args + png).exitCode, 0);
    ASSERT_EQ(RunCapture(Cli() + args + bmp).exitCode, 0);
    EXPECT_EQ(ReadText(png).substr(1, 3), "PNG");
    EXPECT_EQ(ReadText(bmp).substr(0, 2), "BM");
    const std::string a = Rgb(png), b = Rgb(bmp);
    EXPECT_EQ(a.size(), 320u * 240 * 3);
    EXPECT_TRUE(a == b) << "the PNG and the bitmap of the last picture differ";
    std::remove(png.c_str());
    std::remove(bmp.c_str());
}

TEST(CliMedia, SnapshotWriterRefusesWhatIsNoBitmapOfOursAndUnwritablePaths) {
    std::string error;
    EXPECT_FALSE(cli::WriteSnapshotFile(TempPath("x.png"), {'B', 'M', 0, 0}, &error));
    std::vector<std::uint8_t> bitmap(54 + 4 * 2 * 3, 0x40);
    std::fill(bitmap.begin(), bitmap.begin() + 54, 0);
    bitmap[0] = 'B';
    bitmap[1] = 'M';
    bitmap[10] = 54;
    bitmap[18] = 4;
    bitmap[22] = 2;
    bitmap[28] = 24;
    EXPECT_TRUE(cli::WriteSnapshotFile(TempPath("tiny.png"), bitmap, &error)) << error;
    bitmap[22] = 200;  // more rows than the bytes hold
    EXPECT_FALSE(cli::WriteSnapshotFile(TempPath("tall.png"), bitmap, &error));
    bitmap[22] = 2;
    EXPECT_FALSE(cli::WriteSnapshotFile("/nonexistent-folder/x.png", bitmap, &error));
    EXPECT_NE(error.find("cannot write"), std::string::npos);
    std::remove(TempPath("tiny.png").c_str());
}

TEST(CliMedia, Y4mOpensInFfmpegWithoutSizeFlagsAndHoldsTheI420Pictures) {
    const std::string clip = std::string(VISTREL_BINARY_DIR) + "/dvr-clips/clip2.m4v";
    const std::string y4m = TempPath("clip.y4m"), yuv = TempPath("clip.yuv"), back = TempPath("back.yuv");
    ASSERT_EQ(RunCapture(Cli() + " decode " + clip + " -o " + y4m).exitCode, 0);
    ASSERT_EQ(RunCapture(Cli() + " decode " + clip + " -o " + yuv).exitCode, 0);
    // The clips are made at 30 frames a second; the stream says so and so does the file.
    EXPECT_EQ(ReadText(y4m).substr(0, 42), "YUV4MPEG2 W320 H240 F30:1 Ip A1:1 C420jpeg");
    const CommandResult probe =
        RunCapture("ffprobe -v error -show_entries stream=width,height,r_frame_rate -of csv=p=0 " + y4m);
    EXPECT_EQ(probe.output, "320,240,30/1\n");
    ASSERT_EQ(RunCapture("ffmpeg -v error -y -i " + y4m + " -f rawvideo " + back).exitCode, 0);
    const std::string a = ReadText(back), b = ReadText(yuv);
    EXPECT_EQ(a.size(), 90u * 320 * 240 * 3 / 2);
    EXPECT_TRUE(a == b);
    for (const auto& f : {y4m, yuv, back}) std::remove(f.c_str());
}

TEST(CliMedia, RecordingIntoAFullDiskStopsWithAMessageAndTheStreamGoesOn) {
    dvr::DvrServer server;
    ASSERT_NE(server.start(), 0);
    const CommandResult run = RunCapture(Cli() + " live --host 127.0.0.1 --port " + std::to_string(server.port()) +
                                         " --channel 1 --seconds 2 --record /dev/full");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.output.find("recording into '/dev/full' stopped: cannot write the recording: the disk is full"),
              std::string::npos)
        << run.output;
    // The summary line still counts pictures decoded after the recording stopped.
    const auto at = run.output.find("frames ");
    ASSERT_NE(at, std::string::npos);
    EXPECT_GT(std::atoi(run.output.c_str() + at + 7), 5) << run.output;
    EXPECT_EQ(RunCapture(Cli() + " live --host 127.0.0.1 --port 1 --record /nonexistent-folder/x.rec").exitCode,
              1);
}
