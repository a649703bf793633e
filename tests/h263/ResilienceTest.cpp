// Damaged ffmpeg streams through the H.263 decoder: every picture is still shown, close to the
// undamaged decoding, and the damage is counted; a group lost in the middle of a picture costs that
// group and nothing else.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "tools/resilience/Damage.h"
#include "tools/resilience/OurDecoding.h"
#include "tools/resilience/StreamUnits.h"

using namespace vistrel::resilience;

namespace {

constexpr int kWidth = 176;
constexpr int kHeight = 144;
constexpr int kFrames = 24;

std::string dataDir() {
    const std::string d = std::string(VISTREL_BINARY_DIR) + "/tests/h263/resilience-data";
    std::filesystem::create_directories(d);
    return d;
}

bool haveFfmpeg() {
    static const bool have = std::system("ffmpeg -hide_banner -version >/dev/null 2>&1") == 0;
    return have;
}

// A panning QCIF stream from ffmpeg's encoder; `groupHeaders` asks for a header in front of rows.
std::vector<std::uint8_t> ffmpegStream(const std::string& name, const std::string& options) {
    const std::string path = dataDir() + "/" + name + ".h263";
    if (!std::filesystem::exists(path)) {
        const std::string tmp = path + "." + std::to_string(getpid()) + ".h263";
        const std::string cmd =
            "ffmpeg -hide_banner -loglevel error -y -f lavfi -i "
            "\"testsrc2=size=300x240:rate=30000/1001,crop=176:144:x='10+40*t':y='5+20*t'\" "
            "-frames:v " +
            std::to_string(kFrames) + " -c:v h263 -q:v 4 -g 12 " + options + " '" + tmp +
            "' >/dev/null 2>&1 && mv '" + tmp + "' '" + path + "'";
        if (std::system(cmd.c_str()) != 0) return {};
    }
    return ReadWholeFile(path);
}

double lumaPsnr(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b) {
    double sum = 0;
    for (std::size_t i = 0; i < a.size(); ++i)
        sum += (double(a[i]) - double(b[i])) * (double(a[i]) - double(b[i]));
    return sum == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 * double(a.size()) / sum);
}

struct Outcome {
    std::size_t shown = 0;
    double meanPsnr = 0;
    long errors = 0;
};

// Decodes the damaged copy and compares each picture with our decoding of the undamaged stream.
Outcome decodeDamaged(const std::vector<std::uint8_t>& clean, const DamageOptions& options) {
    const OurDecoding reference = DecodeH263(clean, CutUnits(Codec::H263, clean));
    const DamagedStream damaged = DamageStream(Codec::H263, clean, options);
    const OurDecoding ours = DecodeH263(damaged.bytes, damaged.units);
    Outcome o;
    o.errors = ours.errorsReported;
    double sum = 0;
    for (const auto& [position, luma] : ours.luma) {
        const auto found = reference.luma.find(position);
        if (found == reference.luma.end()) continue;
        sum += lumaPsnr(found->second, luma);
        ++o.shown;
    }
    o.meanPsnr = o.shown ? sum / double(o.shown) : 0;
    return o;
}

}  // namespace

// Bounds sit under what was measured over two seeds (flips: 23.3 to 26.8 dB with group headers,
// 13.9 to 18.4 dB without, where the rest of a picture goes; cut pictures: 22.4 to 26.5 dB).
TEST(H263Resilience, DamagedStreamsShowEveryPictureCloseToTheUndamagedOne) {
    if (!haveFfmpeg()) GTEST_SKIP() << "ffmpeg not installed";
    struct Case {
        const char* name;
        const char* options;
        bool truncate;
        double minPsnr;
    };
    const Case cases[] = {
        {"qcif_pan_gob", "-ps 100", false, 19.0},
        {"qcif_pan_plain", "", false, 10.0},
        {"qcif_pan_gob", "-ps 100", true, 20.0},
        {"qcif_pan_plain", "", true, 20.0},
    };
    for (const Case& c : cases) {
        const std::vector<std::uint8_t> clean = ffmpegStream(c.name, c.options);
        ASSERT_FALSE(clean.empty()) << c.name;
        for (std::uint32_t seed : {1u, 2u}) {
            DamageOptions options;
            options.seed = seed;
            options.truncate = c.truncate;
            const Outcome o = decodeDamaged(clean, options);
            std::printf("%-16s %-9s seed %u: %zu pictures, %.2f dB, %ld errors\n", c.name,
                        c.truncate ? "cut" : "flipped", seed, o.shown, o.meanPsnr, o.errors);
            EXPECT_EQ(o.shown, std::size_t(kFrames)) << c.name;
            EXPECT_GE(o.meanPsnr, c.minPsnr) << c.name;
            EXPECT_GT(o.errors, 0) << c.name;
        }
    }
}

namespace {

// ffmpeg's decoding of a stream (its own concealment included): the luma of every picture in order.
std::vector<std::vector<std::uint8_t>> ffmpegLuma(const std::vector<std::uint8_t>& stream,
                                                  const std::string& name) {
    const std::string in = dataDir() + "/" + name + "." + std::to_string(getpid()) + ".h263";
    const std::string out = in + ".yuv";
    std::vector<std::vector<std::uint8_t>> pictures;
    if (!WriteWholeFile(in, stream)) return pictures;
    const std::string cmd = "ffmpeg -hide_banner -loglevel quiet -y -i '" + in +
                            "' -fps_mode passthrough -f rawvideo -pix_fmt yuv420p '" + out + "' >/dev/null 2>&1";
    const bool decoded = std::system(cmd.c_str()) == 0;
    const std::vector<std::uint8_t> yuv = decoded ? ReadWholeFile(out) : std::vector<std::uint8_t>{};
    std::filesystem::remove(in);
    std::filesystem::remove(out);
    const std::size_t luma = std::size_t(kWidth) * kHeight;
    for (std::size_t at = 0; at + luma * 3 / 2 <= yuv.size(); at += luma * 3 / 2)
        pictures.emplace_back(yuv.begin() + std::ptrdiff_t(at), yuv.begin() + std::ptrdiff_t(at + luma));
    return pictures;
}

}  // namespace

// Bit flips are mostly seen macroblocks after they struck; what is kept of the garbage, and how the
// loss is filled, decides how far the damage lives on in the pictures predicted from it. ffmpeg's
// decoder, an independent one with its own concealment, sets the mark on the same damage: both are
// compared with our undamaged decoding, and ours must come out no worse than ffmpeg's (a margin for
// the handful of pictures; measured: ours 0.9 to 3.3 dB ahead).
TEST(H263Resilience, BitFlipsCostNoMoreThanInFfmpeg) {
    if (!haveFfmpeg()) GTEST_SKIP() << "ffmpeg not installed";
    constexpr double kMargin = 0.5;
    for (const auto& [name, options] : {std::pair{"qcif_pan_gob", "-ps 100"}, std::pair{"qcif_pan_plain", ""}}) {
        const std::vector<std::uint8_t> clean = ffmpegStream(name, options);
        ASSERT_FALSE(clean.empty()) << name;
        const OurDecoding reference = DecodeH263(clean, CutUnits(Codec::H263, clean));
        for (std::uint32_t seed : {1u, 2u}) {
            DamageOptions damage;
            damage.seed = seed;
            const DamagedStream damaged = DamageStream(Codec::H263, clean, damage);
            const OurDecoding ours = DecodeH263(damaged.bytes, damaged.units);
            const std::vector<std::vector<std::uint8_t>> theirs = ffmpegLuma(damaged.bytes, name);
            ASSERT_EQ(theirs.size(), reference.luma.size()) << name << " seed " << seed;
            ASSERT_EQ(ours.luma.size(), reference.luma.size()) << name << " seed " << seed;
            double ourSum = 0;
            double theirSum = 0;
            for (const auto& [position, luma] : reference.luma) {
                ourSum += lumaPsnr(luma, ours.luma.at(position));
                theirSum += lumaPsnr(luma, theirs.at(std::size_t(position)));
            }
            const double n = double(reference.luma.size());
            std::printf("%-16s seed %u: ours %.2f dB, ffmpeg %.2f dB\n", name, seed, ourSum / n, theirSum / n);
            EXPECT_GE(ourSum / n, theirSum / n - kMargin) << name << " seed " << seed;
        }
    }
}

namespace {

// Bit position of the group header with number `group` in a picture, or 0.
std::size_t groupHeaderAt(const std::vector<std::uint8_t>& data, std::size_t begin, std::size_t end, int group) {
    auto bit = [&](std::size_t p) { return (data[p / 8] >> (7 - p % 8)) & 1; };
    for (std::size_t p = begin * 8; p + 22 <= end * 8; ++p) {
        bool zeros = true;
        for (std::size_t i = 0; i < 16 && zeros; ++i) zeros = bit(p + i) == 0;
        if (!zeros || bit(p + 16) != 1) continue;
        int number = 0;
        for (std::size_t i = 17; i < 22; ++i) number = number * 2 + bit(p + i);
        if (number == group) return p;
    }
    return 0;
}

// The stream with the data of group `group` of one picture zeroed (zero bytes are no macroblock:
// decoding fails at once, right behind that group's header); empty when ffmpeg wrote no such header.
std::vector<std::uint8_t> wipeGroup(const std::vector<std::uint8_t>& clean, const StreamUnit& unit, int group) {
    const std::size_t begin = groupHeaderAt(clean, unit.offset + 4, unit.offset + unit.length, group);
    const std::size_t end = groupHeaderAt(clean, unit.offset + 4, unit.offset + unit.length, group + 1);
    if (begin == 0 || end <= begin) return {};
    std::vector<std::uint8_t> damaged = clean;
    for (std::size_t b = begin / 8 + 4; b < end / 8 - 1; ++b) damaged[b] = 0;
    return damaged;
}

std::vector<std::uint8_t> macroblockRow(const std::vector<std::uint8_t>& luma, int row) {
    const auto from = std::ptrdiff_t(row) * 16 * kWidth;
    return {luma.begin() + from, luma.begin() + from + 16 * kWidth};
}

}  // namespace

// Groups of predicted pictures in the middle of a pan are wiped out, one at a time: the other rows
// are exactly the undamaged decoding, and the lost row, carried on with the motion around it (the
// vector whose prediction joins best onto the rows above and below), comes out on average at least as
// close to the undamaged row as ffmpeg's concealment of the same loss. Single cases go either way
// (where the time stamp's digits change no vector is right); measured: 22.2 against 21.7 dB on average.
TEST(H263Resilience, LostGroupsOfPredictedPicturesMoveWithTheirNeighbours) {
    if (!haveFfmpeg()) GTEST_SKIP() << "ffmpeg not installed";
    const std::vector<std::uint8_t> clean = ffmpegStream("qcif_pan_gob", "-ps 100");
    ASSERT_FALSE(clean.empty());
    const std::vector<StreamUnit> units = CutUnits(Codec::H263, clean);
    const OurDecoding expected = DecodeH263(clean, units);
    constexpr int kCases = 8;
    int cases = 0;
    double ourSum = 0;
    double theirSum = 0;
    // Predicted pictures are small, so ffmpeg puts headers in front of a few rows only; the first
    // twelve pictures are all predicted but the first.
    for (int picture = 1; picture < 12 && picture < int(units.size()) && cases < kCases; ++picture) {
        for (int group = 1; group + 1 < kHeight / 16 && cases < kCases; ++group) {
            const std::vector<std::uint8_t> damaged = wipeGroup(clean, units[std::size_t(picture)], group);
            if (damaged.empty()) continue;
            ++cases;
            const OurDecoding ours = DecodeH263(damaged, units);
            const std::vector<std::vector<std::uint8_t>> theirs = ffmpegLuma(damaged, "wiped_group");
            ASSERT_EQ(ours.luma.size(), expected.luma.size());
            ASSERT_EQ(theirs.size(), expected.luma.size());
            EXPECT_EQ(ours.errorsReported, 1);
            for (int row = 0; row < kHeight / 16; ++row) {
                const std::vector<std::uint8_t> got = macroblockRow(ours.luma.at(picture), row);
                const std::vector<std::uint8_t> want = macroblockRow(expected.luma.at(picture), row);
                if (row != group) {
                    EXPECT_EQ(got, want) << "picture " << picture << " row " << row;
                    continue;
                }
                const double psnr = lumaPsnr(got, want);
                const double ffmpeg = lumaPsnr(macroblockRow(theirs.at(std::size_t(picture)), row), want);
                std::printf("picture %2d, lost row %d: ours %.2f dB, ffmpeg %.2f dB\n", picture, group, psnr,
                            ffmpeg);
                ourSum += psnr;
                theirSum += ffmpeg;
            }
        }
    }
    ASSERT_GT(cases, 2) << "ffmpeg wrote too few group headers in predicted pictures";
    EXPECT_GE(ourSum, theirSum);
}

// An intra picture whose data is wiped out whole has nothing decoded to interpolate from: it is the
// previous picture moved on by its motion, never a grey one.
TEST(H263Resilience, AnIntraPictureLostWholeIsThePreviousMovedOn) {
    if (!haveFfmpeg()) GTEST_SKIP() << "ffmpeg not installed";
    const std::vector<std::uint8_t> clean = ffmpegStream("qcif_pan_gob", "-ps 100");
    ASSERT_FALSE(clean.empty());
    const std::vector<StreamUnit> units = CutUnits(Codec::H263, clean);
    constexpr int kIntra = 12;  // -g 12
    ASSERT_GT(units.size(), std::size_t(kIntra));
    std::vector<std::uint8_t> damaged = clean;
    // The picture header takes its first 50 bits.
    const StreamUnit& u = units[kIntra];
    std::fill(damaged.begin() + std::ptrdiff_t(u.offset + 7),
              damaged.begin() + std::ptrdiff_t(u.offset + u.length), std::uint8_t(0));
    const OurDecoding expected = DecodeH263(clean, units);
    const OurDecoding ours = DecodeH263(damaged, units);
    ASSERT_EQ(ours.luma.size(), expected.luma.size());
    EXPECT_EQ(ours.errorsReported, 1);
    const std::vector<std::uint8_t>& got = ours.luma.at(kIntra);
    int grey = 0;
    for (int row = 0; row < kHeight / 16; ++row)
        for (int column = 0; column < kWidth / 16; ++column)
            grey += got[std::size_t(16 * row + 8) * kWidth + std::size_t(16 * column + 8)] == 128 &&
                    got[std::size_t(16 * row + 3) * kWidth + std::size_t(16 * column + 12)] == 128;
    EXPECT_LT(grey, 3);
    EXPECT_GT(lumaPsnr(got, expected.luma.at(kIntra)),
              lumaPsnr(expected.luma.at(kIntra - 1), expected.luma.at(kIntra)));
}

// The data of group 3 of the first (intra) picture is wiped out: rows 0 to 2 and 4 on are exactly the
// undamaged decoding, row 3 (nothing earlier to copy) is filled from the rows around it, and one error
// is counted.
TEST(H263Resilience, ALostGroupCostsThatGroupOnly) {
    if (!haveFfmpeg()) GTEST_SKIP() << "ffmpeg not installed";
    const std::vector<std::uint8_t> clean = ffmpegStream("qcif_pan_gob", "-ps 100");
    ASSERT_FALSE(clean.empty());
    const std::vector<StreamUnit> units = CutUnits(Codec::H263, clean);
    ASSERT_GE(units.size(), 2u);
    const StreamUnit first = units[0];
    const std::size_t third = groupHeaderAt(clean, first.offset + 4, first.offset + first.length, 3);
    const std::size_t fourth = groupHeaderAt(clean, first.offset + 4, first.offset + first.length, 4);
    ASSERT_GT(third, 0u) << "ffmpeg wrote no header in front of row 3";
    ASSERT_GT(fourth, third);
    std::vector<std::uint8_t> damaged = clean;
    // Zero bytes are no macroblock: decoding fails at once, right behind the header of group 3.
    for (std::size_t b = third / 8 + 4; b < fourth / 8 - 1; ++b) damaged[b] = 0;

    const OurDecoding expected = DecodeH263(clean, units);
    const OurDecoding ours = DecodeH263(damaged, units);
    ASSERT_EQ(ours.luma.size(), expected.luma.size());
    EXPECT_EQ(ours.errorsReported, 1);
    const std::vector<std::uint8_t>& got = ours.luma.at(0);
    const std::vector<std::uint8_t>& want = expected.luma.at(0);
    const std::size_t rowBytes = std::size_t(16 * kWidth);
    for (int row = 0; row < kHeight / 16; ++row) {
        const auto from = std::ptrdiff_t(row * rowBytes);
        const std::vector<std::uint8_t> a(got.begin() + from, got.begin() + from + std::ptrdiff_t(rowBytes));
        const std::vector<std::uint8_t> b(want.begin() + from, want.begin() + from + std::ptrdiff_t(rowBytes));
        if (row == 3) {
            // Only rows 2 and 4 are known around it: each column is a blend of the line just above
            // the hole and the line just below it.
            const std::uint8_t* above = got.data() + from - kWidth;
            const std::uint8_t* below = got.data() + from + std::ptrdiff_t(rowBytes);
            int outside = 0;
            for (std::size_t i = 0; i < rowBytes; ++i) {
                const int x = int(i % kWidth);
                outside += a[i] < std::min(above[x], below[x]) || a[i] > std::max(above[x], below[x]);
            }
            EXPECT_EQ(outside, 0) << "row 3";
            EXPECT_GT(lumaPsnr(a, b), 20.0) << "row 3";
        } else {
            EXPECT_EQ(a, b) << "row " << row;
        }
    }
}
