// vistrel-m4vframe: wraps an MPEG-4 elementary stream file into the DVR's live framing.

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tools/m4vframe/M4vFrame.h"

namespace {

// Refuse inputs that could not come from a camera clip, rather than trying to hold them.
constexpr long kMaxInputBytes = 512L * 1024 * 1024;
constexpr std::size_t kMaxInfoBody = 65000;

const char kUsage[] =
    "usage: vistrel-m4vframe INPUT.m4v OUTPUT [--size-hint none|640|320|352] [--strip-headers]\n"
    "                        [--headerless] [--info-between] [--info-inside] [--info-body N]\n"
    "                        [--frames N] [--list]\n";

int badArgument(const std::string& what) {
    std::fprintf(stderr, "vistrel-m4vframe: %s\n", what.c_str());
    return 2;
}

bool parseCount(const char* text, long maxValue, long* value) {
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || v < 0 || v > maxValue) return false;
    *value = v;
    return true;
}

bool readFile(const std::string& path, std::vector<std::uint8_t>* data, std::string* error) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) {
        *error = "cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    std::uint8_t chunk[65536];
    std::size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) {
        if (data->size() + n > std::size_t(kMaxInputBytes)) {
            std::fclose(f);
            *error = path + " is larger than 512 MiB";
            return false;
        }
        data->insert(data->end(), chunk, chunk + n);
    }
    const bool failed = std::ferror(f) != 0;
    std::fclose(f);
    if (failed) *error = "cannot read " + path;
    return !failed;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace vistrel::m4vframe;
    WrapOptions options;
    std::vector<std::string> files;
    long maxFrames = -1;
    bool list = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (arg == "--strip-headers") {
            options.stripHeaders = true;
        } else if (arg == "--headerless") {
            options.headerless = true;
        } else if (arg == "--info-between") {
            options.infoBlockBetween = true;
        } else if (arg == "--info-inside") {
            options.infoBlockInside = true;
        } else if (arg == "--list") {
            list = true;
        } else if (arg == "--size-hint" && hasValue) {
            const std::string v = argv[++i];
            if (v == "none") options.sizeHint = SizeHint::None;
            else if (v == "640") options.sizeHint = SizeHint::W640;
            else if (v == "320") options.sizeHint = SizeHint::W320;
            else if (v == "352") options.sizeHint = SizeHint::W352;
            else return badArgument("--size-hint takes none, 640, 320 or 352, not '" + v + "'");
        } else if (arg == "--info-body" && hasValue) {
            long v;
            if (!parseCount(argv[++i], long(kMaxInfoBody), &v))
                return badArgument("--info-body takes a byte count from 0 to 65000");
            options.infoBlockBody = std::size_t(v);
        } else if (arg == "--frames" && hasValue) {
            if (!parseCount(argv[++i], 1L << 30, &maxFrames))
                return badArgument("--frames takes a non-negative frame count");
        } else if (!arg.empty() && arg[0] == '-') {
            return badArgument("unknown or incomplete option '" + arg + "' (see --help)");
        } else {
            files.push_back(arg);
        }
    }
    if (files.size() != (list ? 1u : 2u))
        return badArgument(list ? "--list takes one input file" : "expected INPUT and OUTPUT (see --help)");

    std::vector<std::uint8_t> input;
    std::string error;
    if (!readFile(files[0], &input, &error)) {
        std::fprintf(stderr, "vistrel-m4vframe: %s\n", error.c_str());
        return 1;
    }
    if (list) {
        for (const ElementaryFrame& f : SplitElementaryStream(input.data(), input.size()))
            std::printf("%zu %zu %s%s\n", f.offset, f.length, f.intra ? "I" : "P", f.hasVol ? " vol" : "");
        return 0;
    }
    const std::vector<std::uint8_t> out = WrapStream(input.data(), input.size(), options, maxFrames);
    if (out.empty()) {
        std::fprintf(stderr, "vistrel-m4vframe: no video object plane in %s\n", files[0].c_str());
        return 1;
    }
    std::FILE* f = std::fopen(files[1].c_str(), "wb");
    if (f == nullptr) {
        std::fprintf(stderr, "vistrel-m4vframe: cannot create %s: %s\n", files[1].c_str(), std::strerror(errno));
        return 1;
    }
    const bool ok = std::fwrite(out.data(), 1, out.size(), f) == out.size();
    if (std::fclose(f) != 0 || !ok) {
        std::fprintf(stderr, "vistrel-m4vframe: cannot write %s\n", files[1].c_str());
        return 1;
    }
    return 0;
}
