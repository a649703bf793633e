#pragma once
// Running outside programs (ffmpeg, ffprobe, the built command-line tools) from tests and benchmarks
// through the shell, with their exit code and, when asked, what they printed.

#include <string>

namespace vistrel::testsupport {

// Where the program's standard error goes while its standard output is captured.
enum class Stderr {
    Merge,    // into the captured text, so that a failing check can show it
    Discard,  // to /dev/null, for output that is parsed (ffprobe's key=value lines)
};

struct CommandResult {
    int exitCode = -1;   // -1 when the shell could not run it or it died of a signal
    std::string output;  // standard output (and standard error with Stderr::Merge)
};

// Runs a shell command with its output going where the test's goes. Returns the exit code, or -1.
int RunCommand(const std::string& command);
// Runs a shell command with its output thrown away. Returns the exit code, or -1.
int RunQuietly(const std::string& command);
// Runs a shell command and captures its output.
CommandResult RunCapture(const std::string& command, Stderr stderrTo = Stderr::Merge);

// Whether the program answers `NAME -version`; asked once per program and process.
bool HaveFfmpeg();
bool HaveFfprobe();

}  // namespace vistrel::testsupport
