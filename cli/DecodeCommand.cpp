// vistrel-cli decode: argument parsing, loading the input, choosing the decoding path, and the
// closing summary line.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "cli/Decode.h"

namespace vistrel::cli {

namespace {

constexpr const char* kUsage =
    "usage: vistrel-cli decode INPUT [-o OUT.yuv] [--codec h263|mpeg4] [--framed] [--bmp-dir DIR] [--frames N]";

int badArgument(const char* format, const char* value) {
    std::fprintf(stderr, "vistrel-cli decode: ");
    std::fprintf(stderr, format, value);
    std::fprintf(stderr, "\n");
    return 2;
}

bool endsWith(const std::string& text, const char* suffix) {
    const std::size_t n = std::strlen(suffix);
    if (text.size() < n) return false;
    for (std::size_t i = 0; i < n; ++i) {
        const char a = text[text.size() - n + i];
        const char lower = (a >= 'A' && a <= 'Z') ? char(a - 'A' + 'a') : a;
        if (lower != suffix[i]) return false;
    }
    return true;
}

Codec codecFromName(const std::string& name) {
    for (const char* e : {".h263", ".263"})
        if (endsWith(name, e)) return Codec::H263;
    for (const char* e : {".m4v", ".cmp", ".mp4v"})
        if (endsWith(name, e)) return Codec::Mpeg4;
    return Codec::Auto;
}

// The whole file; false (with a message) when it cannot be read.
bool loadFile(const std::string& path, std::vector<std::uint8_t>* data) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) {
        std::fprintf(stderr, "vistrel-cli decode: cannot open '%s': file not found or not readable\n",
                     path.c_str());
        return false;
    }
    std::uint8_t chunk[65536];
    std::size_t n = 0;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) data->insert(data->end(), chunk, chunk + n);
    const bool failed = std::ferror(f) != 0;
    std::fclose(f);
    if (failed) {
        std::fprintf(stderr, "vistrel-cli decode: read error on '%s'\n", path.c_str());
        return false;
    }
    return true;
}

}  // namespace

int runDecode(int argc, char** argv) {
    DecodeOptions options;
    for (int i = 0; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "-o" || a == "--codec" || a == "--bmp-dir" || a == "--frames") {
            if (!hasValue) return badArgument("option %s needs a value", a.c_str());
            const std::string value = argv[++i];
            if (a == "-o") {
                options.output = value;
            } else if (a == "--bmp-dir") {
                options.bmpDir = value;
            } else if (a == "--codec") {
                if (value == "h263") {
                    options.codec = Codec::H263;
                } else if (value == "mpeg4") {
                    options.codec = Codec::Mpeg4;
                } else {
                    return badArgument("unknown codec '%s' (expected h263 or mpeg4)", value.c_str());
                }
            } else {
                char* end = nullptr;
                const long n = std::strtol(value.c_str(), &end, 10);
                if (value.empty() || *end != '\0' || n < 0) {
                    return badArgument("--frames needs a number of 0 or more, not '%s'", value.c_str());
                }
                options.maxFrames = n;
            }
        } else if (a == "--framed") {
            options.framed = true;
        } else if (a == "-h" || a == "--help") {
            std::fprintf(stderr, "%s\n", kUsage);
            return 0;
        } else if (!a.empty() && a[0] == '-' && a != "-") {
            return badArgument("unknown option '%s'", a.c_str());
        } else if (options.input.empty()) {
            options.input = a;
        } else {
            return badArgument("unexpected argument '%s' (one input only)", a.c_str());
        }
    }
    if (options.input.empty()) return badArgument("%s", "no input file given");
    if (options.codec == Codec::Auto) options.codec = codecFromName(options.input);
    if (options.codec == Codec::Auto) {
        return badArgument("cannot tell the codec of '%s' from its name; give --codec h263 or --codec mpeg4",
                           options.input.c_str());
    }

    std::vector<std::uint8_t> data;
    if (!loadFile(options.input, &data)) return 1;
    options.y4mRate = Y4mRateForStream(data.data(), data.size(), options.codec == Codec::H263);

    PictureSink sink(options);
    if (!sink.open()) return 1;
    const auto started = std::chrono::steady_clock::now();
    int status;
    if (options.codec == Codec::H263) {
        status = options.framed ? decodeH263Framed(options, data.data(), data.size(), sink)
                                : decodeH263Elementary(options, data.data(), data.size(), sink);
    } else {
        status = options.framed ? decodeMpeg4Framed(options, data.data(), data.size(), sink)
                                : decodeMpeg4Elementary(options, data.data(), data.size(), sink);
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    if (status == 0 && sink.writeFailed()) {
        std::fprintf(stderr, "vistrel-cli decode: cannot write the output\n");
        status = 1;
    }
    if (status != 0) return status;
    std::printf("decoded %ld frames %dx%d in %.3f s (%.1f fps)\n", sink.frames(), sink.width(), sink.height(),
                seconds, seconds > 0 ? double(sink.frames()) / seconds : 0.0);
    return 0;
}

}  // namespace vistrel::cli
