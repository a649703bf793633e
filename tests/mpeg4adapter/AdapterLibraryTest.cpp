// The adapter over the real codec library, on streams of ffmpeg's MPEG-4 encoder in the DVR's
// framing, compared picture for picture with ffmpeg's own decoding.

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "tests/decoders/TestStreams.h"
#include "tests/support/Command.h"
#include "tests/support/Files.h"
#include "tests/support/Psnr.h"
#include "tools/m4vframe/M4vFrame.h"
#include "video/mpeg4/Mpeg4Adapter.h"
#include "video/mpeg4/Mpeg4Framing.h"
#include "video/picture/ColourTables.h"

namespace vistrel::mpeg4 {
namespace {

using testing_streams::Bytes;

// Two conforming decoders of the same stream agree far above this; a decoding fault does not.
constexpr double kMinPsnr = 40.0;

struct Decoded {
    std::vector<Bytes> pictures;
    int width = 0;
    int height = 0;
};

class Collector {
public:
    explicit Collector(Mpeg4Adapter& adapter) {
        adapter.SetPictureObserver([this](const YuvPicture& p) {
            decoded.width = p.width();
            decoded.height = p.height();
            const std::uint8_t* start = p.luma().rows[0];
            decoded.pictures.emplace_back(start, start + YuvPicture::FrameBytes(p.width(), p.height()));
        });
    }
    Decoded decoded;
};

std::unique_ptr<Mpeg4Adapter> offScreenAdapter() {
    InitColourTables(nullptr);
    auto adapter = Mpeg4Adapter::Create();
    EXPECT_TRUE(adapter);
    if (adapter) {
        EXPECT_TRUE(adapter->Attach(nullptr));
        adapter->SetSuppressDisplay(true);
    }
    return adapter;
}

// Feeds the framed bytes one frame at a time, as the live session does.
void feedFrames(Mpeg4Adapter& adapter, const Bytes& es, const m4vframe::WrapOptions& options,
                std::size_t firstFrame = 0, std::size_t endFrame = SIZE_MAX) {
    const auto frames = m4vframe::SplitElementaryStream(es.data(), es.size());
    for (std::size_t i = firstFrame; i < frames.size() && i < endFrame; ++i) {
        const auto& f = frames[i];
        const std::size_t begin = options.stripHeaders ? f.vopOffset : f.offset;
        Bytes framed;
        m4vframe::AppendFramed(framed, es.data() + begin, f.offset + f.length - begin, options);
        adapter.Feed(framed.data(), framed.size(), -1);
    }
}

void expectMatchesReference(const Decoded& got, const std::string& file, int width, int height,
                            std::size_t skipReference = 0) {
    const std::vector<Bytes> reference = testing_streams::ReferenceDecode(file, width, height);
    ASSERT_FALSE(reference.empty());
    ASSERT_EQ(got.width, width);
    ASSERT_EQ(got.height, height);
    ASSERT_EQ(got.pictures.size() + skipReference, reference.size());
    for (std::size_t i = 0; i < got.pictures.size(); ++i) {
        const double psnr =
            testsupport::Psnr(got.pictures[i].data(), reference[i + skipReference].data(), reference[i].size());
        EXPECT_GT(psnr, kMinPsnr) << "picture " << i;
    }
}

TEST(AdapterLibrary, StreamWithoutLayerHeadersDecodesThanksToPriming) {
    const std::string file = testing_streams::Mpeg4File(320, 240, 20);
    ASSERT_FALSE(file.empty());
    const Bytes es = testsupport::ReadFile(file);
    m4vframe::WrapOptions options;
    options.stripHeaders = true;

    // Without priming the library has no layer to decode the planes with.
    LibraryDecoder bare = NewLibraryDecoder();
    ASSERT_TRUE(bare);
    const Bytes stripped = m4vframe::WrapStream(es.data(), es.size(), options);
    const auto fed = m4vframe::SplitElementaryStream(es.data(), es.size());
    int barePictures = 0;
    for (const auto& f : fed) {
        bare->Decode(es.data() + f.vopOffset, int(f.offset + f.length - f.vopOffset));
        barePictures += bare->Is_Frame_Ready();
    }
    EXPECT_EQ(barePictures, 0);

    auto adapter = offScreenAdapter();
    Collector collector(*adapter);
    feedFrames(*adapter, es, options);
    adapter->Flush();
    EXPECT_EQ(adapter->counters().libraryErrors, 0);
    expectMatchesReference(collector.decoded, file, 320, 240);
}

TEST(AdapterLibrary, SizeHint640SwitchesAndPrimesFor640x240) {
    const std::string file = testing_streams::Mpeg4File(640, 240, 8);
    ASSERT_FALSE(file.empty());
    const Bytes es = testsupport::ReadFile(file);
    m4vframe::WrapOptions options;
    options.stripHeaders = true;
    options.sizeHint = m4vframe::SizeHint::W640;
    auto adapter = offScreenAdapter();
    ASSERT_EQ(adapter->width(), 320);
    Collector collector(*adapter);
    feedFrames(*adapter, es, options);
    EXPECT_EQ(adapter->width(), 640);
    EXPECT_EQ(adapter->height(), 240);
    adapter->Flush();
    expectMatchesReference(collector.decoded, file, 640, 240);
}

TEST(AdapterLibrary, InformationBlocksInsideAndBetweenFramesAreRemoved) {
    const std::string file = testing_streams::Mpeg4File(320, 240, 10);
    ASSERT_FALSE(file.empty());
    const Bytes es = testsupport::ReadFile(file);
    m4vframe::WrapOptions options;
    options.infoBlockInside = true;
    options.infoBlockBetween = true;
    options.infoBlockBody = 100;
    auto adapter = offScreenAdapter();
    Collector collector(*adapter);
    feedFrames(*adapter, es, options);
    adapter->Flush();
    expectMatchesReference(collector.decoded, file, 320, 240);
}

TEST(AdapterLibrary, OverlongFrameResetsAndTheNextFrameDecodes) {
    const std::string file = testing_streams::Mpeg4File(320, 240, 10);
    ASSERT_FALSE(file.empty());
    const Bytes es = testsupport::ReadFile(file);
    auto adapter = offScreenAdapter();
    Collector collector(*adapter);
    const m4vframe::WrapOptions options;
    feedFrames(*adapter, es, options, 0, 4);
    Bytes bad(64, 0x33);
    m4vframe::WriteMpeg4FrameHeader(bad.data(), kMaxFramePayload + 1, m4vframe::SizeHint::None);
    bad[18] = 0;
    bad[19] = 0;
    bad[20] = 1;
    bad[21] = 0xB6;
    EXPECT_EQ(adapter->Feed(bad.data(), bad.size(), -1), 0);
    EXPECT_EQ(adapter->counters().resets, 1);
    feedFrames(*adapter, es, options, 4);
    adapter->Flush();
    expectMatchesReference(collector.decoded, file, 320, 240);
}

TEST(AdapterLibrary, LibraryErrorResetsAndDecodingGoesOn) {
    const std::string file = testing_streams::Mpeg4File(320, 240, 12, 6);
    ASSERT_FALSE(file.empty());
    const Bytes es = testsupport::ReadFile(file);
    const auto frames = m4vframe::SplitElementaryStream(es.data(), es.size());
    ASSERT_EQ(frames.size(), 12u);
    auto adapter = offScreenAdapter();
    Collector collector(*adapter);
    const m4vframe::WrapOptions options;
    feedFrames(*adapter, es, options, 0, 2);
    // A predicted plane cut to a few bytes cannot be decoded.
    const auto& cut = frames[2];
    Bytes damaged;
    m4vframe::AppendFramed(damaged, es.data() + cut.vopOffset, 12, options);
    adapter->Feed(damaged.data(), damaged.size(), -1);
    EXPECT_GE(adapter->counters().libraryErrors, 1);
    // From the next intra plane on, pictures are right again.
    feedFrames(*adapter, es, options, 6);
    adapter->Flush();
    const std::vector<Bytes> reference = testing_streams::ReferenceDecode(file, 320, 240);
    ASSERT_EQ(reference.size(), 12u);
    ASSERT_GE(collector.decoded.pictures.size(), 6u);
    const auto& last = collector.decoded.pictures.back();
    EXPECT_GT(testsupport::Psnr(last.data(), reference.back().data(), last.size()), kMinPsnr);
}

TEST(AdapterLibrary, DamagedPictureIsConcealedShownAndCounted) {
    const std::string file = testing_streams::Mpeg4File(320, 240, 12);
    ASSERT_FALSE(file.empty());
    Bytes es = testsupport::ReadFile(file);
    const auto frames = m4vframe::SplitElementaryStream(es.data(), es.size());
    ASSERT_EQ(frames.size(), 12u);
    // Zeros in the middle of a predicted picture's data are no valid code: the rest of that
    // picture is lost to the parser and concealed from the one before.
    const auto& hit = frames[4];
    for (std::size_t i = 0; i < 8; ++i) es[hit.offset + hit.length / 2 + i] = 0;
    auto adapter = offScreenAdapter();
    Collector collector(*adapter);
    feedFrames(*adapter, es, m4vframe::WrapOptions{});
    adapter->Flush();
    EXPECT_GE(adapter->counters().libraryErrors, 1);
    const std::vector<Bytes> reference = testing_streams::ReferenceDecode(file, 320, 240);
    ASSERT_EQ(reference.size(), 12u);
    ASSERT_EQ(collector.decoded.pictures.size(), 12u);
    EXPECT_GT(testsupport::Psnr(collector.decoded.pictures[4].data(), reference[4].data(), reference[4].size()),
              20.0);
}

TEST(AdapterLibrary, CommandLineDecodesFramedMpeg4LikeFfmpeg) {
    const std::string cli = std::string(VISTREL_BIN_DIR) + "/vistrel-cli";
    if (!testsupport::FileExists(cli)) GTEST_SKIP() << "vistrel-cli is not built";
    const std::string file = testing_streams::Mpeg4File(320, 240, 10);
    ASSERT_FALSE(file.empty());
    const Bytes es = testsupport::ReadFile(file);
    m4vframe::WrapOptions options;
    options.infoBlockBetween = true;
    const Bytes framed = m4vframe::WrapStream(es.data(), es.size(), options);
    const std::string dir = testing_streams::DataDir();
    const std::string input = dir + "/cli_framed_" + std::to_string(getpid()) + ".kvr";
    const std::string output = input + ".yuv";
    ASSERT_TRUE(testsupport::WriteFile(input, framed));
    const std::string command =
        "'" + cli + "' decode '" + input + "' --framed --codec mpeg4 -o '" + output + "' > /dev/null";
    ASSERT_EQ(testsupport::RunCommand(command), 0);
    const Bytes yuv = testsupport::ReadFile(output);
    std::remove(input.c_str());
    std::remove(output.c_str());
    Decoded got;
    got.width = 320;
    got.height = 240;
    const std::size_t frameBytes = 320 * 240 * 3 / 2;
    ASSERT_EQ(yuv.size() % frameBytes, 0u);
    for (std::size_t at = 0; at < yuv.size(); at += frameBytes)
        got.pictures.emplace_back(yuv.begin() + at, yuv.begin() + at + frameBytes);
    expectMatchesReference(got, file, 320, 240);
}

}  // namespace
}  // namespace vistrel::mpeg4
