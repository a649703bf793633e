// vistrel-cli: the client without a window. Dispatches to one sub-command.

#include <cstdio>
#include <cstring>

#include "cli/Commands.h"

namespace {

void printUsage() {
    std::fprintf(stderr,
                 "usage: vistrel-cli decode|live|playback|ptz|export [options]\n"
                 "  decode INPUT [-o OUT.yuv] [--codec h263|mpeg4] [--framed] [--bmp-dir DIR] [--frames N]\n"
                 "  live --host H [--port P] [--user U] [--password W] [--channel 1..16] [--seconds S]\n"
                 "       [--snapshot FILE.png|FILE.bmp] [--record FILE]\n"
                 "  playback --host H ... --date YYYY-MM-DD --time HH:MM:SS [--speed CODE] [--seconds S]\n"
                 "       [--snapshot FILE.png|FILE.bmp]\n"
                 "  ptz --host H ... --channel C --command NAME [--speed slow|normal|fast]\n"
                 "  export (--from-file F | --host H ... --channel C --date D --time T --seconds S) -o OUT.mkv\n");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        printUsage();
        return 2;
    }
    const char* command = argv[1];
    if (std::strcmp(command, "decode") == 0) return vistrel::cli::runDecode(argc - 2, argv + 2);
    if (std::strcmp(command, "live") == 0) return vistrel::cli::runLive(argc - 2, argv + 2);
    if (std::strcmp(command, "playback") == 0) return vistrel::cli::runPlayback(argc - 2, argv + 2);
    if (std::strcmp(command, "ptz") == 0) return vistrel::cli::runPtz(argc - 2, argv + 2);
    if (std::strcmp(command, "export") == 0) return vistrel::cli::runExport(argc - 2, argv + 2);
    if (std::strcmp(command, "--help") == 0 || std::strcmp(command, "-h") == 0) {
        printUsage();
        return 0;
    }
    std::fprintf(stderr, "vistrel-cli: unknown command '%s' (expected decode, live, playback, ptz or export)\n",
                 command);
    return 2;
}
