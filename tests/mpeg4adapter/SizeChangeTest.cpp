// A stream whose picture size changes (176x144, then 352x288, then 176x144 again, each piece with
// its own layer header) loses no picture: the library holds the latest picture back for output,
// and rebuilding its picture store for the new size must hand that picture out first. Checked
// against ffmpeg's decoding of each piece, on the library directly and through the DVR framing.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kvr_syst/Kvr_MP4_Dec.h"
#include "tests/decoders/TestStreams.h"
#include "tests/support/Psnr.h"
#include "tools/m4vframe/M4vFrame.h"
#include "video/mpeg4/Mpeg4Adapter.h"
#include "video/picture/ColourTables.h"

namespace vistrel::mpeg4 {
namespace {

using testing_streams::Bytes;

constexpr double kMinPsnr = 40.0;
constexpr int kPicturesPerPiece = 10;

struct Picture {
    int width = 0;
    int height = 0;
    Bytes samples;  // I420
};

struct Pieces {
    Bytes stream;                  // small, large, small
    std::vector<Bytes> reference;  // ffmpeg's pictures in the same order
    std::vector<int> widths;
};

Pieces makePieces() {
    Pieces p;
    const std::string small = testing_streams::Mpeg4File(176, 144, kPicturesPerPiece);
    const std::string large = testing_streams::Mpeg4File(352, 288, kPicturesPerPiece);
    if (small.empty() || large.empty()) return p;
    const Bytes smallBytes = testsupport::ReadFile(small);
    const Bytes largeBytes = testsupport::ReadFile(large);
    const auto smallRef = testing_streams::ReferenceDecode(small, 176, 144);
    const auto largeRef = testing_streams::ReferenceDecode(large, 352, 288);
    for (const auto* piece : {&smallBytes, &largeBytes, &smallBytes})
        p.stream.insert(p.stream.end(), piece->begin(), piece->end());
    for (const auto* ref : {&smallRef, &largeRef, &smallRef}) {
        p.reference.insert(p.reference.end(), ref->begin(), ref->end());
        p.widths.insert(p.widths.end(), ref->size(), ref == &largeRef ? 352 : 176);
    }
    return p;
}

void expectSameAsReference(const std::vector<Picture>& got, const Pieces& p) {
    ASSERT_EQ(p.reference.size(), std::size_t(3 * kPicturesPerPiece));
    ASSERT_EQ(got.size(), p.reference.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
        ASSERT_EQ(got[i].width, p.widths[i]) << "picture " << i;
        ASSERT_EQ(got[i].samples.size(), p.reference[i].size()) << "picture " << i;
        EXPECT_GT(testsupport::Psnr(got[i].samples.data(), p.reference[i].data(), got[i].samples.size()), kMinPsnr)
            << "picture " << i;
    }
}

void take(KVR_MP4_DEC& dec, std::vector<Picture>& out) {
    if (!dec.Is_Frame_Ready()) return;
    KVR_MP4_FRAME f{};
    dec.Consume_Frame(&f);
    Picture pic;
    pic.width = f.Width;
    pic.height = f.Height;
    for (int y = 0; y < f.Height; ++y)
        pic.samples.insert(pic.samples.end(), f.Y + y * f.BpS, f.Y + y * f.BpS + f.Width);
    for (const std::uint8_t* plane : {f.U, f.V})
        for (int y = 0; y < f.Height / 2; ++y)
            pic.samples.insert(pic.samples.end(), plane + y * f.BpS, plane + y * f.BpS + f.Width / 2);
    out.push_back(std::move(pic));
}

TEST(SizeChange, LibraryHandsOutThePictureHeldBackBeforeANewSize) {
    const Pieces p = makePieces();
    ASSERT_FALSE(p.stream.empty()) << "ffmpeg could not make the test streams";
    // Whole buffer at once (the adapter's way: again from where the library stopped) and piece
    // by piece at start codes (the command line's way).
    for (bool wholeBuffer : {true, false}) {
        KVR_MP4_DEC* dec = Kvr_MP4_New_Decoder();
        ASSERT_NE(dec, nullptr);
        std::vector<Picture> got;
        std::size_t pos = 0;
        while (pos < p.stream.size()) {
            std::size_t end = p.stream.size();
            if (!wholeBuffer) {
                end = pos + 3;
                while (end + 2 < p.stream.size() &&
                       !(p.stream[end] == 0 && p.stream[end + 1] == 0 && p.stream[end + 2] == 1))
                    ++end;
                if (end + 2 >= p.stream.size()) end = p.stream.size();
            }
            const Bytes unit(p.stream.begin() + long(pos), p.stream.begin() + long(end));
            std::size_t at = 0;
            while (at < unit.size()) {
                const int used = dec->Decode(unit.data() + at, int(unit.size() - at));
                take(*dec, got);
                if (used <= 0) break;
                at += std::size_t(used);
            }
            pos = end;
        }
        dec->Decode(nullptr, 0);
        take(*dec, got);
        Kvr_MP4_Delete_Decoder(dec);
        SCOPED_TRACE(wholeBuffer ? "whole buffer" : "unit by unit");
        expectSameAsReference(got, p);
    }
}

TEST(SizeChange, FramedStreamThroughTheAdapterLosesNoPicture) {
    const Pieces p = makePieces();
    ASSERT_FALSE(p.stream.empty()) << "ffmpeg could not make the test streams";
    InitColourTables(nullptr);
    auto adapter = Mpeg4Adapter::Create();
    ASSERT_TRUE(adapter);
    ASSERT_TRUE(adapter->Attach(nullptr));
    std::vector<Picture> got;
    adapter->SetPictureObserver([&](const YuvPicture& pic) {
        Picture copy;
        copy.width = pic.width();
        copy.height = pic.height();
        const std::uint8_t* start = pic.luma().rows[0];
        copy.samples.assign(start, start + YuvPicture::FrameBytes(pic.width(), pic.height()));
        got.push_back(std::move(copy));
    });
    // One frame per call, as the live session hands them over; rendering stays on.
    const auto frames = m4vframe::SplitElementaryStream(p.stream.data(), p.stream.size());
    ASSERT_EQ(frames.size(), std::size_t(3 * kPicturesPerPiece));
    for (const auto& f : frames) {
        Bytes framed;
        m4vframe::AppendFramed(framed, p.stream.data() + f.offset, f.length, m4vframe::WrapOptions{});
        adapter->Feed(framed.data(), framed.size(), -1);
    }
    adapter->Flush();
    expectSameAsReference(got, p);
    EXPECT_EQ(adapter->width(), 176);
    EXPECT_EQ(adapter->counters().droppedPictures, 0);
}

}  // namespace
}  // namespace vistrel::mpeg4
