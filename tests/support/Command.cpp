#include "tests/support/Command.h"

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <cstdlib>

namespace vistrel::testsupport {
namespace {

int ExitCodeOf(int status) { return status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1; }

}  // namespace

int RunCommand(const std::string& command) { return ExitCodeOf(std::system(command.c_str())); }

int RunQuietly(const std::string& command) { return RunCommand("(" + command + ") >/dev/null 2>&1"); }

CommandResult RunCapture(const std::string& command, Stderr stderrTo) {
    CommandResult result;
    const std::string redirect = stderrTo == Stderr::Merge ? " 2>&1" : " 2>/dev/null";
    std::FILE* pipe = ::popen(("(" + command + ")" + redirect).c_str(), "r");
    if (!pipe) return result;
    std::array<char, 65536> buffer;
    std::size_t n;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) result.output.append(buffer.data(), n);
    result.exitCode = ExitCodeOf(::pclose(pipe));
    return result;
}

bool HaveFfmpeg() {
    static const bool have = RunQuietly("ffmpeg -hide_banner -version") == 0;
    return have;
}

bool HaveFfprobe() {
    static const bool have = RunQuietly("ffprobe -hide_banner -version") == 0;
    return have;
}

}  // namespace vistrel::testsupport
