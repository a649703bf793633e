// vistrel-h263enc: encodes raw I420 pictures into an H.263 stream, raw or in the DVR's live frame form.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tools/h263enc/H263Encoder.h"

namespace {

void usage() {
    std::fprintf(stderr,
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

}  // namespace

int main(int argc, char** argv) {
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
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "--size" && hasValue) {
            if (std::sscanf(argv[++i], "%dx%d", &width, &height) != 2) {
                std::fprintf(stderr, "vistrel-h263enc: bad --size '%s' (expected WxH)\n", argv[i]);
                return 2;
            }
        } else if (a == "-q" && hasValue) {
            if (!parseInt(argv[++i], 1, 31, &quantiser)) {
                std::fprintf(stderr, "vistrel-h263enc: -q must be 1..31\n");
                return 2;
            }
        } else if (a == "--gop" && hasValue) {
            if (!parseInt(argv[++i], 1, 100000, &gop)) {
                std::fprintf(stderr, "vistrel-h263enc: --gop must be a positive number\n");
                return 2;
            }
        } else if (a == "--frames" && hasValue) {
            if (!parseInt(argv[++i], 0, 100000000, &maxFrames)) {
                std::fprintf(stderr, "vistrel-h263enc: --frames must be a number >= 0\n");
                return 2;
            }
        } else if (a == "--recon" && hasValue) {
            recon = argv[++i];
        } else if (a == "--framed") {
            framed = true;
        } else if (a == "--header") {
            framed = true;
            header = true;
        } else if (a == "-h" || a == "--help") {
            usage();
            return 0;
        } else if (!a.empty() && a[0] == '-') {
            std::fprintf(stderr, "vistrel-h263enc: unknown or incomplete option '%s'\n", a.c_str());
            return 2;
        } else if (input.empty()) {
            input = a;
        } else if (output.empty()) {
            output = a;
        } else {
            std::fprintf(stderr, "vistrel-h263enc: unexpected argument '%s'\n", a.c_str());
            return 2;
        }
    }
    if (input.empty() || output.empty()) {
        usage();
        return 2;
    }
    vistrel::h263enc::H263Encoder encoder(width, height, int(quantiser), int(gop));
    if (!encoder.valid()) {
        std::fprintf(stderr, "vistrel-h263enc: unsupported size %dx%d\n", width, height);
        return 2;
    }
    std::FILE* in = std::fopen(input.c_str(), "rb");
    if (!in) {
        std::fprintf(stderr, "vistrel-h263enc: cannot open '%s'\n", input.c_str());
        return 1;
    }
    std::FILE* out = std::fopen(output.c_str(), "wb");
    std::FILE* reconFile = recon.empty() ? nullptr : std::fopen(recon.c_str(), "wb");
    if (!out || (!recon.empty() && !reconFile)) {
        std::fprintf(stderr, "vistrel-h263enc: cannot create the output\n");
        std::fclose(in);
        if (out) std::fclose(out);
        if (reconFile) std::fclose(reconFile);
        return 1;
    }
    std::vector<std::uint8_t> frame(encoder.frameBytes());
    std::vector<std::uint8_t> picture;
    std::vector<std::uint8_t> wrapped;
    long count = 0;
    int status = 0;
    const std::size_t lumaSize = std::size_t(width) * std::size_t(height);
    while ((maxFrames < 0 || count < maxFrames) && std::fread(frame.data(), 1, frame.size(), in) == frame.size()) {
        const vistrel::h263enc::I420View view{frame.data(), frame.data() + lumaSize, frame.data() + lumaSize * 5 / 4,
                                              width, width / 2};
        encoder.encode(view, &picture);
        const std::vector<std::uint8_t>* bytes = &picture;
        if (framed) {
            wrapped.clear();
            if (!vistrel::h263enc::AppendLiveFrame(&wrapped, picture.data(), picture.size(), header)) {
                std::fprintf(stderr, "vistrel-h263enc: picture %ld too large for a frame without header\n", count);
                status = 1;
                break;
            }
            bytes = &wrapped;
        }
        if (std::fwrite(bytes->data(), 1, bytes->size(), out) != bytes->size() ||
            (reconFile && std::fwrite(encoder.reconstruction(), 1, encoder.frameBytes(), reconFile) != encoder.frameBytes())) {
            std::fprintf(stderr, "vistrel-h263enc: write error\n");
            status = 1;
            break;
        }
        ++count;
    }
    std::fclose(in);
    if (std::fclose(out) != 0) status = 1;
    if (reconFile && std::fclose(reconFile) != 0) status = 1;
    if (status == 0) std::fprintf(stderr, "encoded %ld pictures %dx%d\n", count, width, height);
    return status;
}
