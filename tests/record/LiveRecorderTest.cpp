// The live recorder: blocks reach the file in order; a failing disk (a writer that fails, and
// /dev/full) stops it with a reason and keeps what was written; a stalled disk never holds up the
// caller; against the emulator a recording survives a channel change and a stop.

#include <gtest/gtest.h>

#include <unistd.h>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "stream/export/LiveRecordingSource.h"
#include "stream/http/StreamRequest.h"
#include "stream/live/DvrAddress.h"
#include "stream/live/LiveStreamSession.h"
#include "stream/record/LiveRecorder.h"
#include "tests/support/Files.h"
#include "tests/support/WaitFor.h"
#include "tools/dvr/DvrServer.h"

using namespace vistrel;
using namespace vistrel::record;

namespace {

std::string TempPath(const std::string& name) {
    return "/tmp/vistrel-record-" + std::to_string(::getpid()) + "-" + name;
}

std::vector<std::uint8_t> Block(int n, std::size_t size = 1024) {
    std::vector<std::uint8_t> b(size);
    for (std::size_t i = 0; i < size; ++i) b[i] = std::uint8_t(n * 31 + int(i));
    return b;
}

// Keeps what it is given until `failAfter` bytes, then fails as a full disk does; or, with
// `hold`, waits until released before each write.
struct TestWriter final : ByteWriter {
    std::mutex lock;
    std::condition_variable released;
    std::vector<std::uint8_t>* kept;
    std::size_t failAfter;
    bool hold = false;
    TestWriter(std::vector<std::uint8_t>* k, std::size_t limit) : kept(k), failAfter(limit) {}
    bool Write(const std::uint8_t* data, std::size_t length, std::string* error) override {
        std::unique_lock<std::mutex> g(lock);
        released.wait(g, [this] { return !hold; });
        const std::size_t room = failAfter > kept->size() ? failAfter - kept->size() : 0;
        kept->insert(kept->end(), data, data + std::min(room, length));
        if (length > room) {
            *error = "cannot write the recording: the disk is full";
            return false;
        }
        return true;
    }
    bool Close(std::string*) override { return true; }
    void Release() {
        {
            std::lock_guard<std::mutex> g(lock);
            hold = false;
        }
        released.notify_all();
    }
};

}  // namespace

TEST(LiveRecorder, WritesEveryBlockInOrderAndCountsThem) {
    const std::string path = TempPath("order.rec");
    LiveRecorder recorder;
    std::string error;
    ASSERT_TRUE(recorder.Start(path, &error)) << error;
    EXPECT_TRUE(recorder.Recording());
    std::vector<std::uint8_t> expected;
    std::thread transport([&] {
        auto observe = recorder.Observer();
        for (int i = 0; i < 300; ++i) {
            const auto b = Block(i, 1 + std::size_t(i) * 7 % 1024);
            expected.insert(expected.end(), b.begin(), b.end());
            observe(b.data(), b.size());
        }
    });
    transport.join();
    EXPECT_TRUE(recorder.Stop(&error)) << error;
    EXPECT_FALSE(recorder.Recording());
    EXPECT_EQ(testsupport::ReadFile(path), expected);
    EXPECT_EQ(recorder.BytesWritten(), expected.size());
    EXPECT_GE(recorder.ElapsedMs(), 0);
    // Stopped: blocks are ignored, the file stays as it was.
    recorder.OnBlock(expected.data(), 10);
    EXPECT_EQ(testsupport::ReadFile(path).size(), expected.size());
    std::remove(path.c_str());
}

TEST(LiveRecorder, AFailingDiskStopsItOnceWithTheReasonAndKeepsWhatWasWritten) {
    std::vector<std::uint8_t> kept;
    auto writer = std::make_unique<TestWriter>(&kept, 5000);
    LiveRecorder recorder;
    std::vector<std::string> reasons;
    std::mutex reasonsLock;
    recorder.SetStoppedCallback([&](const std::string& r) {
        std::lock_guard<std::mutex> g(reasonsLock);
        reasons.push_back(r);
    });
    ASSERT_TRUE(recorder.Start(std::move(writer)));
    std::vector<std::uint8_t> sent;
    for (int i = 0; i < 20; ++i) {
        const auto b = Block(i);
        sent.insert(sent.end(), b.begin(), b.end());
        recorder.OnBlock(b.data(), b.size());
    }
    ASSERT_TRUE(testsupport::WaitFor([&] { return !recorder.Recording(); }));
    std::string reason;
    EXPECT_FALSE(recorder.Stop(&reason));
    EXPECT_NE(reason.find("disk is full"), std::string::npos) << reason;
    EXPECT_EQ(recorder.FailureReason(), reason);
    {
        std::lock_guard<std::mutex> g(reasonsLock);
        EXPECT_EQ(reasons.size(), 1u);
    }
    ASSERT_EQ(kept.size(), 5000u);
    EXPECT_TRUE(std::equal(kept.begin(), kept.end(), sent.begin()));
    EXPECT_EQ(recorder.BytesWritten(), 4u * 1024);  // whole blocks that were written in full
}

TEST(LiveRecorder, RealFailuresAreReportedInOneLine) {
    LiveRecorder recorder;
    std::string error;
    EXPECT_FALSE(recorder.Start("/nonexistent-folder/x.rec", &error));
    EXPECT_NE(error.find("cannot create"), std::string::npos) << error;
    EXPECT_EQ(error.find('\n'), std::string::npos);

    // /dev/full takes the open and refuses every write with ENOSPC.
    ASSERT_TRUE(recorder.Start("/dev/full", &error)) << error;
    const auto b = Block(1);
    recorder.OnBlock(b.data(), b.size());
    ASSERT_TRUE(testsupport::WaitFor([&] { return !recorder.Recording(); }));
    EXPECT_FALSE(recorder.Stop(&error));
    EXPECT_NE(error.find("the disk is full"), std::string::npos) << error;
}

TEST(LiveRecorder, AStalledDiskNeverHoldsUpTheStream) {
    std::vector<std::uint8_t> kept;
    auto writer = std::make_unique<TestWriter>(&kept, std::size_t(-1));
    TestWriter* w = writer.get();
    w->hold = true;
    LiveRecorder recorder(16 * 1024);
    ASSERT_TRUE(recorder.Start(std::move(writer)));
    // The writer is stuck; the transport goes on handing blocks over and is never kept waiting:
    // once the queue is full the recording ends instead.
    for (int i = 0; i < 64; ++i) {
        const auto b = Block(i);
        recorder.OnBlock(b.data(), b.size());
    }
    EXPECT_FALSE(recorder.Recording());
    EXPECT_NE(recorder.FailureReason().find("cannot keep up"), std::string::npos);
    w->Release();
    std::string reason;
    EXPECT_FALSE(recorder.Stop(&reason));
    // Whatever the writer had taken before the overflow is in the file, in order.
    for (std::size_t i = 0; i < kept.size(); ++i) ASSERT_EQ(kept[i], Block(int(i / 1024))[i % 1024]) << i;
}

TEST(LiveRecorder, ARecordingSurvivesAChannelChangeAndAStop) {
    ASSERT_TRUE(http::OpenInternetRoot("KEMBQM/MSIE"));
    {
        dvr::DvrOptions options;
        options.frameIntervalMs = 20;
        dvr::DvrServer server(options);
        ASSERT_NE(server.start(), 0);
        const std::string path = TempPath("channels.rec");
        LiveRecorder recorder;
        std::string error;
        ASSERT_TRUE(recorder.Start(path, &error)) << error;
        live::LiveStreamSession session;
        session.SetBlockObserver(recorder.Observer());
        live::DvrAddress address;
        address.host = "127.0.0.1";
        address.port = server.port();
        address.channel = 1;  // H.263
        session.SetUrl(live::LiveUrl(address));
        session.Start();
        ASSERT_TRUE(testsupport::WaitFor([&] { return session.Stats().framesDecoded >= 5; }));
        address.channel = 10;  // MPEG-4
        session.SetUrl(live::LiveUrl(address));
        session.Start();
        ASSERT_TRUE(testsupport::WaitFor([&] { return session.Stats().framesDecoded >= 15; }));
        session.Stop();
        EXPECT_TRUE(recorder.Stop(&error)) << error;
        EXPECT_EQ(recorder.BytesWritten(), recorder.BytesReceived());
        EXPECT_EQ(testsupport::ReadFile(path).size(), recorder.BytesWritten());

        // Both channels are in the file, one after the other, as whole frames.
        exporter::LiveRecordingSource source;
        ASSERT_TRUE(source.Open(path));
        exporter::MediaUnit u;
        int h263 = 0, mpeg4 = 0;
        while (source.Next(u) == exporter::SourceStatus::Unit) {
            if (u.kind == exporter::UnitKind::H263Video) {
                EXPECT_EQ(mpeg4, 0) << "H.263 after the change to MPEG-4";
                ++h263;
            } else {
                ++mpeg4;
            }
        }
        EXPECT_GE(h263, 3);
        EXPECT_GE(mpeg4, 3);
        std::remove(path.c_str());
    }
    http::CloseInternetRoot();
}
