#include "tests/support/Ffmpeg.h"

#include <cstdio>

#include "tests/support/Command.h"

namespace vistrel::testsupport {

bool EncodeMovingClip(const std::string& path, int width, int height, int frames, const std::string& options) {
    // Moving fast over a larger picture gives long vectors and intra refreshes.
    char command[1024];
    std::snprintf(command, sizeof command,
                  "ffmpeg -v error -y -f lavfi -i testsrc2=size=%dx%d:rate=25 "
                  "-vf \"crop=w=%d:h=%d:x='mod(t*%d,%d)':y='mod(t*%d,%d)'\" -frames:v %d %s -f m4v '%s'",
                  2 * width, 2 * height, width, height, width, width, height / 2, height, frames, options.c_str(),
                  path.c_str());
    return RunCommand(command) == 0;
}

bool ReferenceDecode(const std::string& path, const std::string& yuvPath) {
    return RunCommand("ffmpeg -v error -y -i '" + path + "' -vsync passthrough -f rawvideo -pix_fmt yuv420p '" +
                      yuvPath + "'") == 0;
}

}  // namespace vistrel::testsupport
