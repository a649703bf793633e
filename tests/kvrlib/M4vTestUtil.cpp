// Helpers of the kvrlib tests: making streams with ffmpeg, reading files, comparing pictures.
#include "M4vTestUtil.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace kvrtest {

bool run(const std::string& command) { return std::system(command.c_str()) == 0; }

bool haveFfmpeg() {
    static const bool have = run("ffmpeg -hide_banner -version > /dev/null 2>&1");
    return have;
}

std::string scratchDir(const std::string& name) {
    const std::string dir = std::string(VISTREL_BINARY_DIR) + "/tests/kvrlib/scratch/" + name;
    std::filesystem::create_directories(dir);
    return dir;
}

std::vector<std::uint8_t> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool encodeClip(const std::string& path, int w, int h, int frames, const std::string& options) {
    // A window moving fast over a larger test picture gives long vectors and intra refreshes.
    char cmd[1024];
    std::snprintf(cmd, sizeof cmd,
                  "ffmpeg -v error -y -f lavfi -i testsrc2=size=%dx%d:rate=25 "
                  "-vf \"crop=w=%d:h=%d:x='mod(t*%d,%d)':y='mod(t*%d,%d)'\" -frames:v %d %s -f m4v '%s'",
                  2 * w, 2 * h, w, h, w, w, h / 2, h, frames, options.c_str(), path.c_str());
    return run(cmd);
}

bool referenceDecode(const std::string& path, const std::string& refPath) {
    return run("ffmpeg -v error -y -i '" + path + "' -vsync passthrough -f rawvideo -pix_fmt yuv420p '" +
               refPath + "'");
}

std::vector<double> framePsnr(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b,
                              int w, int h) {
    const std::size_t frame = std::size_t(w) * h + 2 * std::size_t((w + 1) / 2) * ((h + 1) / 2);
    std::vector<double> out;
    for (std::size_t off = 0; off + frame <= a.size() && off + frame <= b.size(); off += frame) {
        double se = 0;
        for (std::size_t i = 0; i < frame; ++i) {
            const int d = int(a[off + i]) - int(b[off + i]);
            se += d * d;
        }
        out.push_back(se == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 * frame / se));
    }
    return out;
}

}  // namespace kvrtest
