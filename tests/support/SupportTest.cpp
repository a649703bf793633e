// The shared test helpers, checked where a slip would make every test built on them pass or fail
// for the wrong reason.

#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <cmath>
#include <thread>

#include "tests/support/Command.h"
#include "tests/support/Files.h"
#include "tests/support/Psnr.h"
#include "tests/support/StartCodes.h"
#include "tests/support/WaitFor.h"

using namespace vistrel::testsupport;
using Bytes = std::vector<std::uint8_t>;

TEST(SupportPsnr, KnownValuesIdenticalSamplesAndPictureBoundaries) {
    const Bytes a(64, 100), b(64, 101);
    EXPECT_NEAR(Psnr(a.data(), b.data(), a.size()), 20 * std::log10(255.0), 1e-9);  // error 1 everywhere
    Bytes oneOff = a;
    oneOff[0] = 104;  // squared error 16 over 64 samples: a quarter per sample
    EXPECT_NEAR(Psnr(a.data(), oneOff.data(), a.size()), 10 * std::log10(255.0 * 255.0 * 4), 1e-9);
    EXPECT_EQ(Psnr(a.data(), a.data(), a.size()), kIdenticalPsnr);
    // Full-range differences must not wrap in 8 bits.
    const Bytes black(16, 0), white(16, 255);
    EXPECT_NEAR(Psnr(black.data(), white.data(), 16), 0.0, 1e-9);

    EXPECT_EQ(I420Bytes(4, 2), 12u);
    EXPECT_EQ(I420Bytes(5, 3), 15u + 2 * 3 * 2);  // odd sizes round the chroma planes up
    // Two pictures of 4x2 against one and a half: one value, and the second picture's damage in
    // its chroma shows in the frame PSNR but not in the luma PSNR.
    Bytes two(24, 50);
    const Bytes other(18, 50);
    two[12 + 9] = 60;
    const auto frames = I420FramePsnr(two, other, 4, 2);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0], kIdenticalPsnr);
    Bytes second = two;
    second[12 + 10] = 70;
    EXPECT_LT(I420FramePsnr(two, second, 4, 2)[1], kIdenticalPsnr);
    EXPECT_EQ(I420LumaPsnr(two, second, 1, 4, 2), kIdenticalPsnr);
}

TEST(SupportBytes, StartCodeOffsets) {
    // A run of zeros before 01 is one start code at its last two zeros; a prefix without its value
    // byte at the very end is not one.
    const Bytes s = {0, 0, 0, 1, 0xB6, 7, 0, 0, 1, 0xB3, 0, 0, 1};
    EXPECT_EQ(StartCodeOffsets(s), (std::vector<std::size_t>{1, 6}));
    EXPECT_TRUE(StartCodeOffsets(Bytes{0, 0}).empty());
    EXPECT_TRUE(StartCodeOffsets(nullptr, 0).empty());
    // Every prefix, also where the fast search would skip ahead past a byte above 1.
    const Bytes dense = {2, 0, 0, 1, 0, 0, 1, 0, 0, 1, 9};
    EXPECT_EQ(StartCodeOffsets(dense), (std::vector<std::size_t>{1, 4, 7}));
}

TEST(SupportCommand, ExitCodesOutputAndStandardError) {
    EXPECT_EQ(RunCommand("exit 3"), 3);
    EXPECT_EQ(RunQuietly("echo noise; echo more >&2; exit 0"), 0);
    EXPECT_EQ(RunCommand("kill -9 $$"), -1);  // killed, not exited: no code to report

    const auto merged = RunCapture("echo out; echo err >&2; exit 5");
    EXPECT_EQ(merged.exitCode, 5);
    EXPECT_EQ(merged.output, "out\nerr\n");
    const auto parsed = RunCapture("echo out; echo err >&2", Stderr::Discard);
    EXPECT_EQ(parsed.exitCode, 0);
    EXPECT_EQ(parsed.output, "out\n");
    // More than one read's worth arrives whole.
    EXPECT_EQ(RunCapture("head -c 200000 /dev/zero").output.size(), 200000u);
}

TEST(SupportFiles, WriteReadAndMissingFiles) {
    const std::string dir = ScratchDir("tests/support/scratch-" + std::to_string(::getpid()));
    const std::string path = dir + "/bytes.bin";
    const Bytes data = {0, 1, 0x1A, 0xFF, 0, '\n', '\r'};  // binary bytes survive unchanged
    ASSERT_TRUE(WriteFile(path, data));
    EXPECT_TRUE(FileExists(path));
    EXPECT_EQ(ReadFile(path), data);
    EXPECT_EQ(ReadText(path), std::string(data.begin(), data.end()));
    ASSERT_TRUE(WriteFile(path, Bytes{9}));  // replaces, does not append
    EXPECT_EQ(ReadFile(path), Bytes{9});
    EXPECT_FALSE(WriteFile(dir + "/no/such/folder/x", data));
    std::remove(path.c_str());
    EXPECT_FALSE(FileExists(path));
    EXPECT_TRUE(ReadFile(path).empty());
    std::remove(dir.c_str());

    std::string kept;
    {
        TempFolder folder;
        ASSERT_FALSE(folder.path().empty());
        kept = folder.path();
        ASSERT_TRUE(WriteText(folder.file("a.txt"), "text\n"));
        EXPECT_EQ(ReadText(folder.file("a.txt")), "text\n");
        TempFolder other;
        EXPECT_NE(other.path(), kept);  // one folder per object, not per program
    }
    EXPECT_FALSE(FileExists(kept));  // gone with what it held
}

TEST(SupportWaitFor, SeesAnotherThreadsChangeAndGivesUpOnADeadline) {
    std::atomic<bool> done{false};
    std::thread worker([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        done = true;
    });
    EXPECT_TRUE(WaitFor([&] { return done.load(); }));
    worker.join();
    int asked = 0;
    EXPECT_FALSE(
        WaitFor([&] { return ++asked < 0; }, std::chrono::milliseconds(30), std::chrono::milliseconds(5)));
    EXPECT_GE(asked, 2);  // polled, then asked once more at the deadline
}
