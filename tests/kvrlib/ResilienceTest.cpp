// Damaged MPEG-4 streams: decoding resumes at the next video packet, lost macroblocks are concealed
// from the reference pictures, every picture comes out, and the damage is still reported.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <string>
#include <vector>

#include "StreamWriter.h"
#include "kvr_syst/Kvr_Except.h"
#include "kvr_syst/Kvr_MP4_Dec.h"
#include "mpg_src/Kvr_MP4_MB.h"
#include "mpg_src/Kvr_Packet.h"
#include "tests/support/Command.h"
#include "tests/support/Ffmpeg.h"
#include "tests/support/Files.h"
#include "tests/support/Psnr.h"
#include "tests/support/StartCodes.h"

using namespace vistrel::testsupport;

namespace {

using Bytes = std::vector<std::uint8_t>;

const int kFrames = 25;
const std::uint8_t kVopCode = 0xB6;
// Bytes at the start of a VOP left intact: start code and picture header (GMC warping points included).
const std::size_t kProtectedPrefix = 12;

// A clip ffmpeg makes once and the scratch folder keeps; empty when this ffmpeg cannot make it.
Bytes madeClip(const std::string& name, int w, int h, int frames, const char* options) {
    const std::string path = ScratchDir("tests/kvrlib/scratch/resilience") + "/" + name + ".m4v";
    if (!FileExists(path) && !EncodeMovingClip(path, w, h, frames, options)) return {};
    return ReadFile(path);
}

struct Decoded {
    std::vector<std::uint8_t> i420;  // every picture in output order
    int pictures = 0;
    int errors = 0;  // stream errors reported by Decode
    int width = 0, height = 0;
};

void take(KVR_MP4_DEC* dec, Decoded* out) {
    if (!dec->Is_Frame_Ready()) return;
    KVR_MP4_FRAME f{};
    dec->Consume_Frame(&f);
    out->width = f.Width;
    out->height = f.Height;
    for (int y = 0; y < f.Height; ++y)
        out->i420.insert(out->i420.end(), f.Y + y * f.BpS, f.Y + y * f.BpS + f.Width);
    for (const std::uint8_t* plane : {f.U, f.V})
        for (int y = 0; y < (f.Height + 1) / 2; ++y)
            out->i420.insert(out->i420.end(), plane + y * f.BpS, plane + y * f.BpS + (f.Width + 1) / 2);
    ++out->pictures;
}

// Feeds one start-code unit at a time and takes the ready picture after every call, thrown or not,
// as the command-line decoder does.
Decoded decode(const Bytes& stream) {
    testing::internal::CaptureStdout();  // the library's notes about profiles
    Decoded out;
    KVR_MP4_DEC* dec = Kvr_MP4_New_Decoder();
    std::vector<std::size_t> cuts = StartCodeOffsets(stream);
    cuts.push_back(stream.size());
    for (std::size_t i = 0; i + 1 < cuts.size(); ++i) {
        try {
            dec->Decode(stream.data() + cuts[i], int(cuts[i + 1] - cuts[i]));
        } catch (const KVR_STREAM_EXCEPTION&) {
            ++out.errors;
        }
        take(dec, &out);
    }
    try {
        dec->Decode(nullptr, 0);
    } catch (const KVR_STREAM_EXCEPTION&) {
        ++out.errors;
    }
    take(dec, &out);
    Kvr_MP4_Delete_Decoder(dec);
    testing::internal::GetCapturedStdout();
    return out;
}

// Flips bits inside the data of VOPs (never their headers, never making a start code), the same
// ones on every run. First_Fraction/Last_Fraction limit the flips to that part of each VOP's data.
Bytes damage(const Bytes& stream, int flipsPerVop, std::uint32_t seed, double firstFraction = 0.0,
             double lastFraction = 1.0, int onlyVop = -1) {
    Bytes out = stream;
    std::vector<std::size_t> cuts = StartCodeOffsets(stream);
    cuts.push_back(stream.size());
    std::uint32_t state = seed;
    auto next = [&state] {
        state = state * 1664525u + 1013904223u;
        return state >> 8;
    };
    int vop = -1;
    for (std::size_t i = 0; i + 1 < cuts.size(); ++i) {
        if (stream[cuts[i] + 3] != kVopCode) continue;
        ++vop;
        if (onlyVop >= 0 && vop != onlyVop) continue;
        const std::size_t begin = cuts[i] + kProtectedPrefix, end = cuts[i + 1];
        if (end <= begin + 8) continue;
        const std::size_t from = begin + std::size_t(double(end - begin) * firstFraction);
        const std::size_t span = std::size_t(double(end - begin) * (lastFraction - firstFraction));
        for (int k = 0; k < flipsPerVop && span > 0; ++k) {
            for (;;) {
                const std::size_t at = from + next() % span;
                const std::uint8_t bit = std::uint8_t(1u << (next() % 8));
                out[at] ^= bit;
                bool startCode = false;
                for (std::size_t s = at >= 2 ? at - 2 : 0; s <= at && s + 2 < out.size(); ++s)
                    startCode = startCode || (out[s] == 0 && out[s + 1] == 0 && out[s + 2] == 1);
                if (!startCode) break;
                out[at] ^= bit;
            }
        }
    }
    return out;
}

double meanPsnr(const Decoded& a, const Decoded& b) {
    const auto psnr = I420FramePsnr(a.i420, b.i420, a.width, a.height);
    double sum = 0;
    for (double p : psnr) sum += p;
    return psnr.empty() ? 0 : sum / double(psnr.size());
}

struct Kind {
    const char* name;
    int w, h;
    const char* options;
    double minMeanPsnr;  // against the undamaged decoding, two flips per VOP
};

class DamagedStreams : public ::testing::TestWithParam<Kind> {};

TEST_P(DamagedStreams, EveryPictureComesOutConcealedAndTheDamageIsReported) {
    if (!HaveFfmpeg()) GTEST_SKIP() << "ffmpeg not installed";
    const Kind& k = GetParam();
    const Bytes clean = madeClip(k.name, k.w, k.h, kFrames, k.options);
    if (clean.empty()) GTEST_SKIP() << "this ffmpeg cannot make " << k.name;
    const Decoded good = decode(clean);
    ASSERT_EQ(good.errors, 0);
    ASSERT_EQ(good.pictures, kFrames);
    for (std::uint32_t seed : {1u, 2u}) {
        const Bytes damaged = damage(clean, 2, seed);
        const Decoded bad = decode(damaged);
        EXPECT_EQ(bad.pictures, good.pictures) << "seed " << seed;
        EXPECT_GT(bad.errors, 0) << "seed " << seed;
        std::string table;
        for (double p : I420FramePsnr(good.i420, bad.i420, good.width, good.height))
            table += " " + std::to_string(int(p));
        EXPECT_GE(meanPsnr(good, bad), GetParam().minMeanPsnr) << "seed " << seed << ", per picture:" << table;
    }
}

// The bounds are 2 to 3 dB under what this decoder reached with both seeds (ffmpeg's decoding of the
// same damaged streams gave 20 to 28, 27, 20 to 23, 16 to 18 and 10 to 14 dB; no concealment at all
// gives far less, as every damage then spreads to the end of its group of pictures).
INSTANTIATE_TEST_SUITE_P(Mpeg4, DamagedStreams,
                         ::testing::Values(Kind{"packets", 320, 240, "-c:v mpeg4 -ps 500 -g 12", 18.0},
                                           Kind{"packets_qpel_bframes", 320, 240,
                                                "-c:v mpeg4 -flags +qpel+mv4 -bf 2 -ps 500 -g 12", 22.0},
                                           Kind{"packets_interlaced_bframes", 320, 240,
                                                "-c:v mpeg4 -flags +ildct+ilme -top 1 -bf 2 -ps 500 -g 12", 17.0},
                                           Kind{"no_packets_bframes", 320, 240, "-c:v mpeg4 -bf 1 -g 12", 13.0},
                                           Kind{"xvid_gmc", 320, 240, "-c:v libxvid -gmc 1 -bf 0 -g 12", 9.0}),
                         [](const ::testing::TestParamInfo<Kind>& param) {
                             return std::string(param.param.name);
                         });

// Cuts every third VOP to between a quarter and three quarters of its data (its header kept), as a
// picture that lost its tail in transit.
Bytes cutShort(const Bytes& stream, std::uint32_t seed) {
    std::vector<std::size_t> cuts = StartCodeOffsets(stream);
    cuts.push_back(stream.size());
    Bytes out;
    std::uint32_t state = seed;
    int vop = -1;
    for (std::size_t i = 0; i + 1 < cuts.size(); ++i) {
        std::size_t end = cuts[i + 1];
        if (stream[cuts[i] + 3] == kVopCode && ++vop % 3 == 0 && end > cuts[i] + kProtectedPrefix + 8) {
            state = state * 1664525u + 1013904223u;
            const std::size_t data = end - cuts[i] - kProtectedPrefix;
            end = cuts[i] + kProtectedPrefix + data / 4 + (state >> 8) % (data / 2);
        }
        out.insert(out.end(), stream.begin() + std::ptrdiff_t(cuts[i]), stream.begin() + std::ptrdiff_t(end));
    }
    return out;
}

// ffmpeg's decoding of a (damaged) stream, every picture it puts out in I420. One thread: with more,
// its concealment of the same bytes differs from run to run (by up to a dB of mean PSNR).
Decoded ffmpegDecode(const Bytes& stream, const std::string& scratch, int width, int height) {
    Decoded out;
    if (!WriteFile(scratch + ".m4v", stream) ||
        RunQuietly("ffmpeg -v quiet -y -threads 1 -i '" + scratch +
                   ".m4v' -vsync passthrough -f rawvideo -pix_fmt yuv420p '" + scratch + ".yuv'") != 0)
        return out;
    out.i420 = ReadFile(scratch + ".yuv");
    out.width = width;
    out.height = height;
    out.pictures = int(out.i420.size() / I420Bytes(width, height));
    return out;
}

// Each decoder's damaged decoding is measured against its own undamaged one, so that what is
// compared is how well the damage is concealed, not how closely two inverse transforms agree.
struct Clip {
    const char* name;
    const char* options;  // ffmpeg's, for a 320x240 clip
    double margin;        // dB by which our mean may fall behind ffmpeg's
};

class ConcealmentBesideFfmpeg : public ::testing::TestWithParam<Clip> {};

TEST_P(ConcealmentBesideFfmpeg, MeanPsnrOfFlippedAndCutStreamsIsNoWorseThanFfmpegs) {
    if (!HaveFfmpeg()) GTEST_SKIP() << "ffmpeg not installed";
    const Bytes clean = madeClip(std::string("beside_") + GetParam().name, 320, 240, kFrames, GetParam().options);
    if (clean.empty()) GTEST_SKIP() << "this ffmpeg cannot make " << GetParam().name;
    const std::string scratch = ScratchDir("tests/kvrlib/scratch/resilience") + "/beside_" + GetParam().name;
    const Decoded ours = decode(clean);
    const Decoded theirs = ffmpegDecode(clean, scratch + ".clean", ours.width, ours.height);
    ASSERT_EQ(theirs.pictures, ours.pictures);
    for (std::uint32_t seed : {1u, 2u})
        for (bool cut : {false, true}) {
            const Bytes damaged = cut ? cutShort(clean, seed) : damage(clean, 2, seed);
            const Decoded oursDamaged = decode(damaged);
            const Decoded theirsDamaged = ffmpegDecode(damaged, scratch + ".damaged", ours.width, ours.height);
            const std::string what = std::string(cut ? "cut" : "flipped") + ", seed " + std::to_string(seed);
            ASSERT_EQ(oursDamaged.pictures, ours.pictures) << what;
            // ffmpeg keeps every picture of these streams too; were one dropped, the means would not compare.
            ASSERT_EQ(theirsDamaged.pictures, theirs.pictures) << what;
            const double ourMean = meanPsnr(ours, oursDamaged), theirMean = meanPsnr(theirs, theirsDamaged);
            EXPECT_GE(ourMean, theirMean - GetParam().margin) << what << ": ffmpeg " << theirMean << " dB";
            std::printf("%s, %s: ours %.2f dB, ffmpeg %.2f dB\n", GetParam().name, what.c_str(), ourMean,
                        theirMean);
        }
}

// With seeds 1 and 2 this decoder's mean was, against ffmpeg's (flipped; cut): plain -0.2, +0.2;
// +4.6, +6.7 dB; B-frames with packets +0.7, +3.8; +2.3, +1.9 dB; quarter-sample +3.3, +2.9; +4.9,
// +6.0 dB. Before the damage was noticed where ffmpeg notices it and lost intra regions were filled
// from the nearest decoded samples, the flipped plain streams were 3 to 5 dB behind.
INSTANTIATE_TEST_SUITE_P(Mpeg4, ConcealmentBesideFfmpeg,
                         ::testing::Values(Clip{"plain", "-c:v mpeg4 -g 12", 1.0},
                                           Clip{"packets_bframes", "-c:v mpeg4 -bf 2 -ps 500 -g 12", 1.0},
                                           Clip{"qpel", "-c:v mpeg4 -flags +qpel -g 12", 1.0}),
                         [](const ::testing::TestParamInfo<Clip>& param) {
                             return std::string(param.param.name);
                         });

TEST(DamagedIntraPicture, PacketsAfterTheDamagedOneDecodeExactly) {
    if (!HaveFfmpeg()) GTEST_SKIP() << "ffmpeg not installed";
    const Bytes clean = madeClip("intra_packets", 320, 240, 2, "-c:v mpeg4 -ps 300 -g 12");
    ASSERT_FALSE(clean.empty());
    const Decoded good = decode(clean);
    // One flip in the first tenth of the intra picture's data: the packets after the damaged one
    // hold no prediction from it, so the lower half of the picture is exact.
    const Decoded bad = decode(damage(clean, 1, 7, 0.0, 0.1, 0));
    ASSERT_EQ(bad.pictures, good.pictures);
    ASSERT_GE(bad.errors, 1);
    const int w = good.width, h = good.height;
    const std::size_t half = std::size_t(w) * (h / 2);
    EXPECT_TRUE(std::equal(good.i420.begin() + std::ptrdiff_t(half), good.i420.begin() + std::ptrdiff_t(w * h),
                           bad.i420.begin() + std::ptrdiff_t(half)));
}

// A plain stream loses the rest of an intra picture from the first damage on. Over a fast-moving
// window the picture looks unlike its reference, yet the reference's copy still holds texture that
// interpolating from the decoded rows above smooths away: blended, the two come closest on the whole
// (with these flips the intra picture's mean was 28.8 dB interpolated, 26.2 dB copied, 29.6 blended;
// one of them favours the interpolation alone by 6 dB).
TEST(DamagedIntraPicture, UnlikeItsReferenceBlendsTheCopyIntoTheInterpolation) {
    if (!HaveFfmpeg()) GTEST_SKIP() << "ffmpeg not installed";
    const Bytes clean = madeClip("intra_plain", 320, 240, 14, "-c:v mpeg4 -g 12");
    ASSERT_FALSE(clean.empty());
    const Decoded good = decode(clean);
    ASSERT_EQ(good.pictures, 14);
    const std::size_t frame = I420Bytes(good.width, good.height);
    double sum = 0;
    std::string table;
    const std::uint32_t seeds[] = {1, 3, 6, 9, 10, 11};  // whose flip the decoder notices
    for (std::uint32_t seed : seeds) {
        // One flip in the second fifth of the second intra picture's data.
        const Decoded bad = decode(damage(clean, 1, seed, 0.2, 0.4, 12));
        ASSERT_EQ(bad.pictures, good.pictures) << "seed " << seed;
        ASSERT_EQ(bad.errors, 1) << "seed " << seed;
        EXPECT_TRUE(
            std::equal(good.i420.begin(), good.i420.begin() + std::ptrdiff_t(12 * frame), bad.i420.begin()))
            << "seed " << seed << ": damage before the intra picture";
        const double intra = I420FramePsnr(good.i420, bad.i420, good.width, good.height)[12];
        sum += intra;
        table += " " + std::to_string(intra);
    }
    EXPECT_GE(sum / double(std::size(seeds)), 29.2) << "per seed:" << table;
}

// Damage is noticed in the coefficients, where it most often first shows: a run that passes the end
// of the block and a fixed-length escape without its marker bits are never written by an encoder.
TEST(DamagedCoefficients, RunsPastTheBlockAndEscapesWithoutMarkersAreDamage) {
    // Inter escape code, fixed-length form: last, run, marker, 12-bit level, marker.
    auto escape = [](kvrtest::BitWriter& w, int last, int run, int level, int firstMarker, int secondMarker) {
        w.put("000001111");
        w.put(std::uint32_t(last), 1);
        w.put(std::uint32_t(run), 6);
        w.put(std::uint32_t(firstMarker), 1);
        w.put(std::uint32_t(level) & 0xFFF, 12);
        w.put(std::uint32_t(secondMarker), 1);
    };
    auto parse = [](const kvrtest::BitWriter& w, std::int16_t* blk) {
        const Bytes data = w.bytes();
        KVR_BITS b;
        b.Open(data.data(), data.size());
        Kvr_Decode_Coefs(&b, blk, Kvr_Zigzag, 0, 0);
    };
    std::int16_t blk[64] = {};
    kvrtest::BitWriter fills;  // up to the last position exactly: valid
    escape(fills, 0, 62, 5, 1, 1);
    escape(fills, 1, 0, -3, 1, 1);
    fills.put(0, 16);
    EXPECT_NO_THROW(parse(fills, blk));
    EXPECT_EQ(blk[Kvr_Zigzag[62]], 5);
    EXPECT_EQ(blk[Kvr_Zigzag[63]], -3);
    kvrtest::BitWriter past;  // one position beyond it
    escape(past, 0, 62, 5, 1, 1);
    escape(past, 1, 1, -3, 1, 1);
    past.put(0, 16);
    EXPECT_THROW(parse(past, blk), KVR_STREAM_EXCEPTION);
    for (int missing : {0, 1}) {
        kvrtest::BitWriter unmarked;
        escape(unmarked, 1, 2, 7, missing, 1 - missing);
        unmarked.put(0, 16);
        EXPECT_THROW(parse(unmarked, blk), KVR_STREAM_EXCEPTION) << (missing ? "second" : "first") << " marker";
    }
}

// The packet search, on hand-made bytes: a 22x18-macroblock picture (9-bit macroblock numbers),
// 5-bit quantisers, P-VOP with f-code 2 (18-bit markers).
class PacketSearch : public ::testing::Test {
protected:
    PacketSearch() {
        state.MB_W = 22;
        state.MB_H = 18;
        state.VOP.Coding = P_VOP;
        state.VOP.Fwd_Code = 2;
    }
    // Marker, macroblock number, quantiser, no header extension; padded to whole bytes with ones.
    void packet(int firstMb, int quant) {
        put(1, 18);
        put(std::uint32_t(firstMb), 9);
        put(std::uint32_t(quant), 5);
        put(0, 1);
        while (bits % 8) put(1, 1);
    }
    void put(std::uint32_t value, int n) {
        for (int i = n - 1; i >= 0; --i) {
            if (bits % 8 == 0) data.push_back(0);
            if ((value >> i) & 1) data.back() |= std::uint8_t(0x80 >> (bits % 8));
            ++bits;
        }
    }
    void bytes(std::initializer_list<std::uint8_t> b) {
        data.insert(data.end(), b);
        bits += 8 * int(b.size());
    }
    KVR_MP4_STATE state;
    Bytes data;
    int bits = 0;
};

TEST_F(PacketSearch, RefusesWhatNoEncoderWritesAndStopsAtTheNextPicture) {
    EXPECT_EQ(Kvr_Resync_Marker_Len(state.VOP), 18);
    bytes({0x5A, 0xC3});
    packet(40, 6);  // before the damaged packet's successor: refused
    bytes({0x12});
    packet(396, 6);  // beyond the picture: refused
    packet(120, 0);  // quantiser 0: refused
    const int good = bits;
    packet(121, 7);
    const int end = bits;
    bytes({0, 0, 1, 0xB6});
    packet(200, 5);  // the next VOP's: never reached
    KVR_BITS b;
    b.Open(data.data(), data.size());
    KVR_PACKET_HEADER h;
    ASSERT_TRUE(Kvr_Find_Packet(&state, &b, 0, 18, 41, &h));
    EXPECT_EQ(h.First_MB, 121);
    EXPECT_EQ(h.Quant, 7);
    EXPECT_EQ(b.Bit_Pos(), good + 18 + 9 + 5 + 1) << "the reader stands after the header";
    // Searching on from there meets the start code and stops in front of it.
    EXPECT_FALSE(Kvr_Find_Packet(&state, &b, b.Bit_Pos(), 18, 122, &h));
    EXPECT_EQ(b.Bit_Pos(), int64_t(end));
}

// A code that fails takes the few macroblocks before it along (the damage began a little earlier);
// data that ran out was sound up to its end, so only the macroblock it ended in is lost.
TEST_F(PacketSearch, DataThatEndedLosesOnlyTheMacroblockItEndedIn) {
    bytes({0x5A, 0xC3, 0x77, 0x0F});
    KVR_BITS b;
    KVR_PACKET_HEADER h;
    int from = 0, next = 0;
    b.Open(data.data(), data.size());
    b.Skip(20);
    EXPECT_FALSE(Kvr_Find_Lost_Span(&state, &b, 18, 0, 100, 150, &from, &next, &h));
    EXPECT_EQ(from, 147);
    EXPECT_EQ(next, 22 * 18);
    b.Open(data.data(), data.size());
    b.Skip(40);
    ASSERT_TRUE(b.Overread());
    EXPECT_FALSE(Kvr_Find_Lost_Span(&state, &b, 18, 0, 100, 150, &from, &next, &h));
    EXPECT_EQ(from, 150);
    EXPECT_EQ(next, 22 * 18);
}

}  // namespace
