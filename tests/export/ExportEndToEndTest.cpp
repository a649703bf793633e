// vistrel-cli export against the emulator, checked with ffprobe and ffmpeg: codecs, frame counts,
// durations, MPEG-4 copied bit for bit (ffmpeg decodes the same pictures as from the clip),
// H.263 stored losslessly (ffmpeg's decoding of the FFV1 track equals ours), sound sample for sample.

#include <gtest/gtest.h>

#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

#include "stream/export/PlaybackRangeSource.h"
#include "stream/http/StreamRequest.h"
#include "stream/playback/PlaybackUrl.h"
#include "tests/support/Command.h"
#include "tests/support/Files.h"
#include "tools/dvr/DvrServer.h"

using namespace vistrel;
using namespace vistrel::testsupport;
using namespace vistrel::exporter;

namespace {

constexpr int kRangeSeconds = 4;
constexpr int kRecordIntervalMs = 200;  // the emulator's default: 5 records a second per channel

// ffprobe's and ffmpeg's text is parsed, so their warnings stay out of it.
CommandResult Shell(const std::string& command) { return RunCapture(command, Stderr::Discard); }

std::string Cli() { return std::string(VISTREL_BIN_DIR) + "/vistrel-cli"; }

std::string TempPath(const std::string& name) {
    return "/tmp/vistrel-export-e2e-" + std::to_string(::getpid()) + "-" + name;
}

// ffprobe's view of one stream: key=value pairs.
std::map<std::string, std::string> Probe(const std::string& file, const std::string& stream) {
    const CommandResult r =
        Shell("ffprobe -v error -count_frames -select_streams " + stream +
              " -show_entries stream=codec_name,width,height,sample_rate,channels,nb_read_frames,"
              "nb_read_packets:format=duration -of default=noprint_wrappers=1 '" +
              file + "'");
    std::map<std::string, std::string> values;
    std::istringstream lines(r.output);
    std::string line;
    while (std::getline(lines, line))
        if (auto eq = line.find('='); eq != std::string::npos) values[line.substr(0, eq)] = line.substr(eq + 1);
    return values;
}

std::vector<std::string> FrameHashes(const std::string& input) {
    const CommandResult r =
        Shell("ffmpeg -v error -i '" + input + "' -map 0:v:0 -fps_mode passthrough -f framemd5 -");
    std::vector<std::string> hashes;
    std::istringstream lines(r.output);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.empty() || line[0] == '#') continue;
        hashes.push_back(line.substr(line.rfind(',') + 1));
    }
    return hashes;
}

class ExportEndToEnd : public testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(http::OpenInternetRoot("KEMBQM/MSIE")); }
    static void TearDownTestSuite() { http::CloseInternetRoot(); }

    void SetUp() override {
        dvr::DvrOptions o;
        o.recordedSecondsPerHour = 6;
        o.recordIntervalMs = kRecordIntervalMs;
        server_ = std::make_unique<dvr::DvrServer>(o);
        ASSERT_NE(server_->start(), 0) << server_->lastError();
        port_ = std::to_string(server_->port());
    }

    std::string RangeArgs(int channel) const {
        return " --host 127.0.0.1 --port " + port_ + " --channel " + std::to_string(channel) +
               " --date 2026-12-08 --time 13:00:00 --seconds " + std::to_string(kRangeSeconds);
    }

    std::unique_ptr<dvr::DvrServer> server_;
    std::string port_;
};

double Seconds(const std::string& text) { return text.empty() ? -1.0 : std::atof(text.c_str()); }

}  // namespace

TEST_F(ExportEndToEnd, Mpeg4WithSoundIsCopiedAndTheSoundIsOurDecodingInStep) {
    const std::string out = TempPath("sound.mkv");
    const CommandResult run = Shell(Cli() + " export" + RangeArgs(13) + " -o " + out);
    ASSERT_EQ(run.exitCode, 0) << run.output;

    const auto video = Probe(out, "v:0");
    EXPECT_EQ(video.at("codec_name"), "mpeg4");
    EXPECT_EQ(video.at("width"), "320");
    EXPECT_EQ(video.at("nb_read_frames"), std::to_string(kRangeSeconds * 1000 / kRecordIntervalMs));
    EXPECT_NEAR(Seconds(video.at("duration")), kRangeSeconds, kRecordIntervalMs / 1000.0);
    const auto audio = Probe(out, "a:0");
    EXPECT_EQ(audio.at("codec_name"), "pcm_s16le");
    EXPECT_EQ(audio.at("sample_rate"), "8000");
    EXPECT_EQ(audio.at("channels"), "1");

    // The pictures: what ffmpeg decodes from the export is what it decodes from the clip the
    // emulator recorded, picture for picture.
    const auto exported = FrameHashes(out);
    ASSERT_EQ(exported.size(), std::size_t(kRangeSeconds * 1000 / kRecordIntervalMs));
    bool matched = false;
    for (int clip = 0; clip < 4 && !matched; ++clip) {
        auto source =
            FrameHashes(std::string(VISTREL_BINARY_DIR) + "/dvr-clips/clip" + std::to_string(clip) + ".m4v");
        source.resize(std::min(source.size(), exported.size()));
        matched = source == exported;
    }
    EXPECT_TRUE(matched) << "the exported pictures are no run of any clip";

    // The sound: exactly what our ADPCM decoding of the same range gives, as long as the video.
    const std::string pcm = TempPath("sound.pcm");
    ASSERT_EQ(Shell("ffmpeg -v error -y -i " + out + " -map 0:a:0 -f s16le " + pcm).exitCode, 0);
    const std::string decoded = ReadText(pcm);
    PlaybackRangeSource source(
        playback::BuildPlaybackUrl("127.0.0.1", port_, playback::PackPlaybackRange(2026, 12, 8, 13, 0, 0)), "", "",
        12, kRangeSeconds * 1000);
    ASSERT_TRUE(source.Start());
    std::string ours;
    MediaUnit u;
    while (source.Next(u) == SourceStatus::Unit)
        for (std::int16_t s : u.samples) {
            ours.push_back(char(std::uint16_t(s) & 0xFF));
            ours.push_back(char(std::uint16_t(s) >> 8));
        }
    EXPECT_EQ(decoded.size(), ours.size());
    EXPECT_TRUE(decoded == ours) << "the sound track differs from our decoding";
    const double soundSeconds = double(decoded.size()) / 2 / 8000;
    EXPECT_NEAR(soundSeconds, Seconds(video.at("duration")), 0.1);
    std::remove(pcm.c_str());
    std::remove(out.c_str());
}

TEST_F(ExportEndToEnd, H263IsStoredLosslesslyAsOurDecoderMadeIt) {
    // A live recording of an H.263 channel, exported, against our decoder's own output.
    const std::string rec = TempPath("h263.rec");
    const std::string out = TempPath("h263.mkv");
    const std::string ours = TempPath("h263.yuv");
    ASSERT_EQ(Shell(Cli() + " live --host 127.0.0.1 --port " + port_ + " --channel 1 --seconds 2 --record " + rec)
                  .exitCode,
              0);
    const CommandResult run = Shell(Cli() + " export --from-file " + rec + " -o " + out);
    ASSERT_EQ(run.exitCode, 0);
    ASSERT_EQ(Shell(Cli() + " decode " + rec + " --codec h263 --framed -o " + ours).exitCode, 0);
    const auto video = Probe(out, "v:0");
    EXPECT_EQ(video.at("codec_name"), "ffv1");
    const std::string theirs = TempPath("h263-ffmpeg.yuv");
    ASSERT_EQ(
        Shell("ffmpeg -v error -y -i " + out + " -fps_mode passthrough -f rawvideo -pix_fmt yuv420p " + theirs)
            .exitCode,
        0);
    const std::string a = ReadText(theirs), b = ReadText(ours);
    EXPECT_GT(a.size(), 0u);
    EXPECT_EQ(a.size(), b.size());
    EXPECT_TRUE(a == b) << "ffmpeg's decoding of the FFV1 track differs from ours";
    // Timed by the frame headers' millisecond clock: about 15 pictures a second.
    const int frames = std::atoi(video.at("nb_read_frames").c_str());
    EXPECT_NEAR(Seconds(video.at("duration")) * 15.0, frames, frames * 0.25);
    for (const auto& f : {rec, out, ours, theirs}) std::remove(f.c_str());
}

TEST_F(ExportEndToEnd, H263RangeOfTheRecordingHasTheRangesFramesAndDuration) {
    const std::string out = TempPath("range263.mkv");
    ASSERT_EQ(Shell(Cli() + " export" + RangeArgs(2) + " -o " + out).exitCode, 0);
    const auto video = Probe(out, "v:0");
    EXPECT_EQ(video.at("codec_name"), "ffv1");
    EXPECT_EQ(video.at("nb_read_frames"), std::to_string(kRangeSeconds * 1000 / kRecordIntervalMs));
    EXPECT_NEAR(Seconds(video.at("duration")), kRangeSeconds, kRecordIntervalMs / 1000.0);
    EXPECT_TRUE(Probe(out, "a").count("codec_name") == 0) << "an H.263 channel has no sound";
    std::remove(out.c_str());
}

TEST_F(ExportEndToEnd, BadArgumentsAndUnusableInputsSayWhy) {
    EXPECT_EQ(Shell(Cli() + " export --from-file x").exitCode, 2);  // no -o
    EXPECT_EQ(Shell(Cli() + " export -o x.mkv").exitCode, 2);       // no source
    EXPECT_EQ(Shell(Cli() + " export --from-file a --host h -o x.mkv").exitCode, 2);
    EXPECT_EQ(Shell(Cli() + " export" + RangeArgs(1) + " --seconds 0 -o x.mkv").exitCode, 2);
    EXPECT_EQ(Shell(Cli() + " export --from-file /nonexistent/rec -o x.mkv").exitCode, 1);
    const std::string empty = TempPath("empty.rec");
    std::ofstream(empty) << "no frames here";
    const std::string out = TempPath("empty.mkv");
    EXPECT_EQ(Shell(Cli() + " export --from-file " + empty + " -o " + out).exitCode, 1);
    EXPECT_NE(::access(out.c_str(), F_OK), 0);
    std::remove(empty.c_str());
}
