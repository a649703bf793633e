#pragma once
// The sub-commands of vistrel-cli. Each takes the arguments after its name and returns the exit
// status: 0 success, 1 failure, 2 bad arguments (with a one-line message on standard error).

namespace vistrel::cli {

int runDecode(int argc, char** argv);    // DecodeCommand.cpp
int runLive(int argc, char** argv);      // LiveCommand.cpp
int runPlayback(int argc, char** argv);  // PlaybackCommand.cpp
int runPtz(int argc, char** argv);       // PtzCommand.cpp
int runExport(int argc, char** argv);    // ExportCommand.cpp

}  // namespace vistrel::cli
