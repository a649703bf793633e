// Live recordings as the exporter reads them: frames, kinds and times; damaged and cut files;
// the export job's cancel and progress.

#include <gtest/gtest.h>

#include <unistd.h>
#include <cstdio>
#include <fstream>
#include <random>

#include "ExportFixtures.h"
#include "stream/export/ExportJob.h"
#include "stream/export/Exporter.h"
#include "stream/export/LiveRecordingSource.h"

using namespace vistrel;
using namespace vistrel::exporter;

namespace {

std::string TempPath(const std::string& name) {
    return "/tmp/vistrel-export-" + std::to_string(::getpid()) + "-" + name;
}

std::string Write(const std::string& name, const std::vector<std::uint8_t>& bytes) {
    const std::string path = TempPath(name);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return path;
}

std::vector<MediaUnit> ReadAll(const std::string& path, SourceStatus* last = nullptr) {
    LiveRecordingSource source;
    std::vector<MediaUnit> units;
    if (!source.Open(path)) return units;
    MediaUnit u;
    SourceStatus s;
    while ((s = source.Next(u)) == SourceStatus::Unit) units.push_back(u);
    if (last) *last = s;
    return units;
}

bool Exists(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }

}  // namespace

TEST(LiveRecordingSource, CutsFramesAndTimesThemByTheRecordersClock) {
    dvr::Mpeg4ClipLibrary clips;
    ASSERT_TRUE(test::LoadClips(clips));
    const auto h263 = test::H263Recording(20);
    auto both = h263;
    // Junk between frames, then a change of coding (a channel change while recording).
    both.insert(both.end(), {'j', 'u', 'n', 'k', 0, 0, 1});
    const auto m4v = test::Mpeg4Recording(*clips.clipFor(8), 40);
    both.insert(both.end(), m4v.begin(), m4v.end());
    const std::string path = Write("mixed.rec", both);
    SourceStatus last;
    const auto units = ReadAll(path, &last);
    EXPECT_EQ(last, SourceStatus::End);
    ASSERT_EQ(units.size(), 60u);
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(units[std::size_t(i)].kind, UnitKind::H263Video);
        EXPECT_EQ(units[std::size_t(i)].timeMs, i * std::int64_t(test::kH263StepMs));
        EXPECT_EQ(units[std::size_t(i)].key, i % 10 == 0);
    }
    for (int i = 20; i < 60; ++i) {
        const MediaUnit& u = units[std::size_t(i)];
        EXPECT_EQ(u.kind, UnitKind::Mpeg4Video);
        EXPECT_EQ(u.data, clips.clipFor(8)->frames[std::size_t(i - 20)].data) << "frame " << i;
        EXPECT_GT(u.timeMs, units[std::size_t(i - 1)].timeMs);
    }
    // Within the MPEG-4 run the header words step by 33 ms.
    EXPECT_EQ(units[59].timeMs - units[21].timeMs, 38 * std::int64_t(test::kMpeg4StepMs));

    // The export keeps the first coding and says why it ends early.
    const std::string out = TempPath("mixed.mkv");
    std::atomic<bool> cancel{false};
    LiveRecordingSource source;
    ASSERT_TRUE(source.Open(path));
    const ExportResult r = RunExport(source, out, nullptr, cancel);
    EXPECT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.videoCodec, "ffv1");
    EXPECT_EQ(r.videoFrames, 20u);
    EXPECT_FALSE(r.note.empty());
    std::remove(out.c_str());
    std::remove(path.c_str());
}

TEST(LiveRecordingSource, CutAndDamagedFilesNeverCrashAndExportWhatIsThere) {
    dvr::Mpeg4ClipLibrary clips;
    ASSERT_TRUE(test::LoadClips(clips));
    const auto good = test::Mpeg4Recording(*clips.clipFor(9), 35);
    const auto h263 = test::H263Recording(12);
    std::mt19937 random(11);
    const std::string in = TempPath("bad.rec");
    const std::string out = TempPath("bad.mkv");
    std::atomic<bool> cancel{false};
    for (int round = 0; round < 24; ++round) {
        auto bytes = round % 2 ? good : h263;
        if (round % 3 == 0) bytes.resize(random() % bytes.size());
        const int flips = round % 3 == 0 ? 0 : 1 + int(random() % 20);
        for (int f = 0; f < flips && !bytes.empty(); ++f)
            bytes[random() % bytes.size()] ^= std::uint8_t(1u << (random() % 8));
        std::ofstream(in, std::ios::binary | std::ios::trunc)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        LiveRecordingSource source;
        ASSERT_TRUE(source.Open(in));
        const ExportResult r = RunExport(source, out, nullptr, cancel);
        if (r.ok) EXPECT_TRUE(Exists(out));
        else EXPECT_FALSE(Exists(out)) << "a failed export leaves nothing behind";
        std::remove(out.c_str());
    }
    std::remove(in.c_str());
}

TEST(ExportJob, ReportsProgressOnItsWorkerAndCancelLeavesNoFile) {
    dvr::Mpeg4ClipLibrary clips;
    ASSERT_TRUE(test::LoadClips(clips));
    const std::string in = Write("job.rec", test::Mpeg4Recording(*clips.clipFor(8), 90));
    const std::string out = TempPath("job.mkv");

    auto source = std::make_unique<LiveRecordingSource>();
    ASSERT_TRUE(source->Open(in));
    ExportJob job;
    std::atomic<int> reports{0};
    std::atomic<double> last{0};
    std::atomic<bool> done{false};
    ASSERT_TRUE(job.Start(
        std::move(source), out,
        [&](double f) {
            ++reports;
            last = f;
        },
        [&](const ExportResult&) { done = true; }));
    job.Wait();
    EXPECT_TRUE(done.load());
    EXPECT_GT(reports.load(), 1);
    EXPECT_EQ(last.load(), 1.0);
    EXPECT_TRUE(job.Result().ok);
    EXPECT_EQ(job.Result().videoFrames, 90u);
    EXPECT_TRUE(Exists(out));

    // Cancelled before it could begin: no file, and the result says so.
    source = std::make_unique<LiveRecordingSource>();
    ASSERT_TRUE(source->Open(in));
    std::remove(out.c_str());
    std::atomic<bool> cancelled{true};
    const ExportResult r = RunExport(*source, out, nullptr, cancelled);
    EXPECT_TRUE(r.cancelled);
    EXPECT_FALSE(r.ok);
    EXPECT_FALSE(Exists(out));

    // Cancelled while running, from another thread.
    source = std::make_unique<LiveRecordingSource>();
    ASSERT_TRUE(source->Open(in));
    ExportJob running;
    ASSERT_TRUE(running.Start(
        std::move(source), out, [&](double) { running.Cancel(); }, nullptr));
    running.Wait();
    EXPECT_TRUE(running.Result().cancelled);
    EXPECT_FALSE(Exists(out));
    std::remove(in.c_str());
}
