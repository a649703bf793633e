// vistrel-h263enc: encodes raw I420 pictures into an H.263 stream, raw or in the DVR's live frame form.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tools/h263enc/H263Encoder.h"

namespace {

void usage() {
    std::fprintf(
        stderr,
        "usage: vistrel-h263enc IN.yuv OUT --size WxH [-q Q] [--gop N] [--frames N] [--framed] [--header]\n"
        "       [--recon RECON.yuv]\n"
        "  sizes: 176x144, 352x288, 320x240, 640x480, 640x240; --framed writes the live frame form\n"
        "  (2-byte length word), --header adds the 14-byte frame header\n");
}

bool parseInt(const char* text, long low, long high, long* value) {
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || v < low || v > high) return false;
    *value = v;
    return true;
}

struct Settings {
    std::string input;
    std::string output;
    std::string recon;
    int width = 0;
    int height = 0;
    long quantiser = 8;
    long gop = 12;
    long maxFrames = -1;
    bool framed = false;
    bool header = false;
};

// Reads the command line into `s`: -1 to go on, else the exit status (0 after --help).
int parseArguments(int argc, char** argv, Settings& s) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "--size" && hasValue) {
            if (std::sscanf(argv[++i], "%dx%d", &s.width, &s.height) != 2) {
                std::fprintf(stderr, "vistrel-h263enc: bad --size '%s' (expected WxH)\n", argv[i]);
                return 2;
            }
        } else if (a == "-q" && hasValue) {
            if (!parseInt(argv[++i], 1, 31, &s.quantiser)) {
                std::fprintf(stderr, "vistrel-h263enc: -q must be 1..31\n");
                return 2;
            }
        } else if (a == "--gop" && hasValue) {
            if (!parseInt(argv[++i], 1, 100000, &s.gop)) {
                std::fprintf(stderr, "vistrel-h263enc: --gop must be a positive number\n");
                return 2;
            }
        } else if (a == "--frames" && hasValue) {
            if (!parseInt(argv[++i], 0, 100000000, &s.maxFrames)) {
                std::fprintf(stderr, "vistrel-h263enc: --frames must be a number >= 0\n");
                return 2;
            }
        } else if (a == "--recon" && hasValue) {
            s.recon = argv[++i];
        } else if (a == "--framed") {
            s.framed = true;
        } else if (a == "--header") {
            s.framed = true;
            s.header = true;
        } else if (a == "-h" || a == "--help") {
            usage();
            return 0;
        } else if (!a.empty() && a[0] == '-') {
            std::fprintf(stderr, "vistrel-h263enc: unknown or incomplete option '%s'\n", a.c_str());
            return 2;
        } else if (s.input.empty()) {
            s.input = a;
        } else if (s.output.empty()) {
            s.output = a;
        } else {
            std::fprintf(stderr, "vistrel-h263enc: unexpected argument '%s'\n", a.c_str());
            return 2;
        }
    }
    if (s.input.empty() || s.output.empty()) {
        usage();
        return 2;
    }
    return -1;
}

// Encodes the whole pictures of `in` into `out` (and their reconstruction into `reconFile`):
// the exit status, with the number of pictures written in `count`.
int encodePictures(vistrel::h263enc::H263Encoder& encoder, const Settings& s, std::FILE* in, std::FILE* out,
                   std::FILE* reconFile, long* count) {
    std::vector<std::uint8_t> frame(encoder.frameBytes());
    std::vector<std::uint8_t> picture;
    std::vector<std::uint8_t> wrapped;
    const int width = s.width;
    const std::size_t lumaSize = std::size_t(s.width) * std::size_t(s.height);
    while ((s.maxFrames < 0 || *count < s.maxFrames) &&
           std::fread(frame.data(), 1, frame.size(), in) == frame.size()) {
        const vistrel::h263enc::I420View view{frame.data(), frame.data() + lumaSize,
                                              frame.data() + lumaSize * 5 / 4, width, width / 2};
        encoder.encode(view, &picture);
        const std::vector<std::uint8_t>* bytes = &picture;
        if (s.framed) {
            wrapped.clear();
            if (!vistrel::h263enc::AppendLiveFrame(&wrapped, picture.data(), picture.size(), s.header)) {
                std::fprintf(stderr, "vistrel-h263enc: picture %ld too large for a frame without header\n",
                             *count);
                return 1;
            }
            bytes = &wrapped;
        }
        if (std::fwrite(bytes->data(), 1, bytes->size(), out) != bytes->size() ||
            (reconFile &&
             std::fwrite(encoder.reconstruction(), 1, encoder.frameBytes(), reconFile) != encoder.frameBytes())) {
            std::fprintf(stderr, "vistrel-h263enc: write error\n");
            return 1;
        }
        ++*count;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Settings s;
    if (const int status = parseArguments(argc, argv, s); status >= 0) return status;
    vistrel::h263enc::H263Encoder encoder(s.width, s.height, int(s.quantiser), int(s.gop));
    if (!encoder.valid()) {
        std::fprintf(stderr, "vistrel-h263enc: unsupported size %dx%d\n", s.width, s.height);
        return 2;
    }
    std::FILE* in = std::fopen(s.input.c_str(), "rb");
    if (!in) {
        std::fprintf(stderr, "vistrel-h263enc: cannot open '%s'\n", s.input.c_str());
        return 1;
    }
    std::FILE* out = std::fopen(s.output.c_str(), "wb");
    std::FILE* reconFile = s.recon.empty() ? nullptr : std::fopen(s.recon.c_str(), "wb");
    if (!out || (!s.recon.empty() && !reconFile)) {
        std::fprintf(stderr, "vistrel-h263enc: cannot create the output\n");
        std::fclose(in);
        if (out) std::fclose(out);
        if (reconFile) std::fclose(reconFile);
        return 1;
    }
    long count = 0;
    int status = encodePictures(encoder, s, in, out, reconFile, &count);
    std::fclose(in);
    if (std::fclose(out) != 0) status = 1;
    if (reconFile && std::fclose(reconFile) != 0) status = 1;
    if (status == 0) std::fprintf(stderr, "encoded %ld pictures %dx%d\n", count, s.width, s.height);
    return status;
}
