// vistrel-resilience: damages streams deterministically and measures how our decoders and ffmpeg
// come through the damage. scripts/resilience.sh drives it and describes the method.
//
//   vistrel-resilience damage h263|mpeg4 IN OUT [--seed N] [--flips N] [--truncate]
//       writes OUT and OUT.units (where each unit lies in OUT)
//   vistrel-resilience measure h263|mpeg4 NAME CLEAN DAMAGED REF.yuv REF.pts FFMPEG.yuv FFMPEG.pts WxH [--pictures] [--dump OURS.y]
//       REF is ffmpeg's decoding of CLEAN, FFMPEG its decoding of DAMAGED, each with the
//       presentation time of every picture in its .pts file (one per line); prints one table row,
//       with --pictures also a line per display position (PSNR of ffmpeg, ours, ours against our own
//       undamaged decoding; "-" when not shown), with --dump our luma pictures in display order
//   vistrel-resilience header
//       prints the table's heading

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "tools/resilience/Damage.h"
#include "tools/resilience/OurDecoding.h"
#include "tools/resilience/StreamUnits.h"

using namespace vistrel::resilience;

namespace {

// Identical pictures would give an infinite PSNR; capping keeps a mean meaningful.
constexpr double kPsnrCap = 99.0;

int usage() {
    std::fprintf(stderr,
                 "usage: vistrel-resilience damage h263|mpeg4 IN OUT [--seed N] [--flips N] [--truncate]\n"
                 "       vistrel-resilience measure h263|mpeg4 NAME CLEAN DAMAGED REF.yuv REF.pts FFMPEG.yuv "
                 "FFMPEG.pts WxH [--pictures] [--dump OURS.y]\n"
                 "       vistrel-resilience header\n");
    return 2;
}

bool parseCodec(const char* text, Codec* codec) {
    if (std::strcmp(text, "h263") == 0) *codec = Codec::H263;
    else if (std::strcmp(text, "mpeg4") == 0) *codec = Codec::Mpeg4;
    else return false;
    return true;
}

double lumaPsnr(const std::uint8_t* a, const std::uint8_t* b, std::size_t n) {
    double sum = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const double d = double(a[i]) - double(b[i]);
        sum += d * d;
    }
    if (sum == 0) return kPsnrCap;
    return std::min(kPsnrCap, 10.0 * std::log10(255.0 * 255.0 * double(n) / sum));
}

std::vector<long long> readPts(const std::string& path) {
    std::vector<long long> pts;
    std::ifstream f(path);
    long long v = 0;
    while (f >> v) pts.push_back(v);
    return pts;
}

struct Shown {
    std::size_t pictures = 0;
    double meanPsnr = 0;
};

// Mean over the shown pictures against the reference picture at the same display position.
Shown compare(const std::map<int, std::vector<std::uint8_t>>& luma, const std::vector<std::uint8_t>& reference,
              std::size_t frameBytes, std::size_t lumaBytes) {
    Shown s;
    double sum = 0;
    for (const auto& [position, y] : luma) {
        const std::size_t at = std::size_t(position) * frameBytes;
        if (y.size() != lumaBytes || at + lumaBytes > reference.size()) continue;
        sum += lumaPsnr(reference.data() + at, y.data(), lumaBytes);
        ++s.pictures;
    }
    s.meanPsnr = s.pictures ? sum / double(s.pictures) : 0;
    return s;
}

// The luma pictures laid out by display position, Stride bytes apart (a missing one stays black).
std::vector<std::uint8_t> lumaInDisplayOrder(const std::map<int, std::vector<std::uint8_t>>& luma,
                                             std::size_t count, std::size_t lumaBytes, std::size_t stride) {
    std::vector<std::uint8_t> out(count * stride);
    for (const auto& [position, y] : luma)
        if (position >= 0 && std::size_t(position) < count && y.size() == lumaBytes)
            std::copy(y.begin(), y.end(), out.begin() + std::ptrdiff_t(std::size_t(position) * stride));
    return out;
}

int damage(int argc, char** argv) {
    Codec codec;
    if (argc < 5 || !parseCodec(argv[2], &codec)) return usage();
    DamageOptions options;
    for (int i = 5; i < argc; ++i) {
        if (std::strcmp(argv[i], "--seed") == 0 && i + 1 < argc)
            options.seed = std::uint32_t(std::strtoul(argv[++i], nullptr, 10));
        else if (std::strcmp(argv[i], "--flips") == 0 && i + 1 < argc)
            options.flipsPerPicture = std::atoi(argv[++i]);
        else if (std::strcmp(argv[i], "--truncate") == 0) options.truncate = true;
        else return usage();
    }
    const std::vector<std::uint8_t> stream = ReadWholeFile(argv[3]);
    if (stream.empty()) {
        std::fprintf(stderr, "vistrel-resilience: cannot read %s\n", argv[3]);
        return 1;
    }
    const DamagedStream out = DamageStream(codec, stream, options);
    const std::string path = argv[4];
    if (!WriteWholeFile(path, out.bytes) || !WriteUnits(path + ".units", out.units)) {
        std::fprintf(stderr, "vistrel-resilience: cannot write %s\n", path.c_str());
        return 1;
    }
    return 0;
}

int measure(int argc, char** argv) {
    Codec codec;
    int width = 0;
    int height = 0;
    bool perPicture = false;
    const char* dumpPath = nullptr;
    for (int i = 11; i < argc; ++i) {
        if (std::strcmp(argv[i], "--pictures") == 0) perPicture = true;
        else if (std::strcmp(argv[i], "--dump") == 0 && i + 1 < argc) dumpPath = argv[++i];
        else return usage();
    }
    if (argc < 11 || !parseCodec(argv[2], &codec) || std::sscanf(argv[10], "%dx%d", &width, &height) != 2 ||
        width <= 0 || height <= 0)
        return usage();
    const std::string name = argv[3];
    const std::vector<std::uint8_t> clean = ReadWholeFile(argv[4]);
    const std::vector<std::uint8_t> damaged = ReadWholeFile(argv[5]);
    const std::vector<std::uint8_t> reference = ReadWholeFile(argv[6]);
    const std::vector<long long> referencePts = readPts(argv[7]);
    const std::vector<std::uint8_t> theirs = ReadWholeFile(argv[8]);
    const std::vector<long long> theirPts = readPts(argv[9]);
    std::vector<StreamUnit> damagedUnits;
    if (!ReadUnits(std::string(argv[5]) + ".units", damaged.size(), &damagedUnits)) {
        std::fprintf(stderr, "vistrel-resilience: %s.units missing or not of %s\n", argv[5], argv[5]);
        return 1;
    }
    const std::vector<StreamUnit> cleanUnits = CutUnits(codec, clean);
    const std::size_t lumaBytes = std::size_t(width) * std::size_t(height);
    const std::size_t frameBytes = lumaBytes * 3 / 2;
    const std::size_t picturesIn = reference.size() / frameBytes;
    if (referencePts.size() != picturesIn || theirPts.size() != theirs.size() / frameBytes) {
        std::fprintf(stderr, "vistrel-resilience: %s: the .pts files do not match the pictures\n", name.c_str());
        return 1;
    }

    // ffmpeg's damaged pictures are placed by their presentation times among the undamaged ones.
    std::map<long long, int> positionOfPts;
    for (std::size_t i = 0; i < referencePts.size(); ++i) positionOfPts.emplace(referencePts[i], int(i));
    std::map<int, std::vector<std::uint8_t>> theirLuma;
    for (std::size_t i = 0; i < theirPts.size(); ++i) {
        const auto found = positionOfPts.find(theirPts[i]);
        if (found == positionOfPts.end() || theirLuma.count(found->second)) continue;
        const auto* y = theirs.data() + i * frameBytes;
        theirLuma[found->second] = std::vector<std::uint8_t>(y, y + lumaBytes);
    }

    const OurDecoding ours = codec == Codec::H263 ? DecodeH263(damaged, damagedUnits)
                                                  : DecodeMpeg4(clean, cleanUnits, damaged, damagedUnits);
    const OurDecoding oursClean = codec == Codec::H263 ? DecodeH263(clean, cleanUnits)
                                                       : DecodeMpeg4(clean, cleanUnits, clean, cleanUnits);
    if (ours.failed || oursClean.failed) {
        std::fprintf(stderr, "vistrel-resilience: our decoder could not be made\n");
        return 1;
    }
    const Shown a = compare(theirLuma, reference, frameBytes, lumaBytes);
    const Shown b = compare(ours.luma, reference, frameBytes, lumaBytes);
    const Shown c = compare(oursClean.luma, reference, frameBytes, lumaBytes);
    // ffmpeg's damaged decoding is measured against its own undamaged one, so ours is measured against
    // ours too: this column leaves out how far the two decoders' inverse transforms differ, which
    // weighs on the column before it wherever a picture came through undamaged (99 dB against 70-odd).
    const std::vector<std::uint8_t> ourReference =
        lumaInDisplayOrder(oursClean.luma, picturesIn, lumaBytes, frameBytes);
    const Shown d = compare(ours.luma, ourReference, frameBytes, lumaBytes);
    std::printf("%-28s %5zu %7zu %7zu %9.2f %9.2f %9.2f %9.2f %7ld\n", name.c_str(), picturesIn, a.pictures,
                b.pictures, a.meanPsnr, b.meanPsnr, d.meanPsnr, c.meanPsnr, ours.errorsReported);
    if (dumpPath && !WriteWholeFile(dumpPath, lumaInDisplayOrder(ours.luma, picturesIn, lumaBytes, lumaBytes))) {
        std::fprintf(stderr, "vistrel-resilience: cannot write %s\n", dumpPath);
        return 1;
    }
    if (perPicture) {
        for (std::size_t i = 0; i < picturesIn; ++i) {
            std::printf("  %3zu", i);
            using Pictures = std::map<int, std::vector<std::uint8_t>>;
            const std::pair<const Pictures*, const std::uint8_t*> columns[] = {
                {&theirLuma, reference.data() + i * frameBytes},
                {&ours.luma, reference.data() + i * frameBytes},
                {&ours.luma, ourReference.data() + i * frameBytes}};
            for (const auto& [luma, against] : columns) {
                const auto found = luma->find(int(i));
                if (found == luma->end() || found->second.size() != lumaBytes) std::printf(" %7s", "-");
                else std::printf(" %7.2f", lumaPsnr(against, found->second.data(), lumaBytes));
            }
            std::printf("\n");
        }
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return usage();
    if (std::strcmp(argv[1], "header") == 0) {
        std::printf("%-28s %5s %7s %7s %9s %9s %9s %9s %7s\n", "stream", "in", "out:ff", "ours", "dB:ff", "ours",
                    "ours/own", "ours-ok", "errors");
        return 0;
    }
    if (std::strcmp(argv[1], "damage") == 0) return damage(argc, argv);
    if (std::strcmp(argv[1], "measure") == 0) return measure(argc, argv);
    return usage();
}
