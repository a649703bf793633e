// The live grid's cost: 16 tiles (or --tiles N) of the demo DVR for --seconds S (30), then the
// process's CPU time per wall second and its resident memory. The emulator runs in a process of
// its own (vistrel-dvr from --dvr PATH) when given, so that only the client is measured;
// otherwise inside this process, and its share is included.
//
// --frame-interval MS paces every channel alike (the demo's own pacing is 15 fps for H.263 and 30
// for MPEG-4; 33 gives 30 fps on all).
//
//   QT_QPA_PLATFORM=offscreen bench_grid [--tiles 16] [--seconds 30] [--frame-interval MS]
//                                        [--dvr path/to/vistrel-dvr]

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTimer>

#include <sys/resource.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>

#include "app/views/GridView.h"
#include "stream/http/StreamRequest.h"
#include "tools/dvr/DvrServer.h"

using namespace vistrel;

namespace {

constexpr int kWarmUpLimitMs = 60000;
constexpr int kGridWidth = 1280;  // 320 x 240 tiles, four a side
constexpr int kGridHeight = 960;

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// "VmRSS" or "VmHWM" from /proc/self/status, in MB.
double statusMb(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field, 0) == 0) return std::stod(line.substr(std::strlen(field) + 1)) / 1024.0;
    return 0;
}

// Runs the event loop for `ms` while sleeping between events (processEvents in a loop would spin
// and be measured as the grid's cost).
void pump(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// The emulator: the named program, so that its work is not counted as ours, or else one inside
// this process. Returns its port, 0 when it did not start.
std::uint16_t startDvr(const QString& program, int frameIntervalMs, QProcess& external,
                       std::unique_ptr<dvr::DvrServer>& inProcess) {
    if (!program.isEmpty()) {
        QStringList arguments = {"--max-connections", "32"};
        if (frameIntervalMs >= 0) arguments << "--frame-interval" << QString::number(frameIntervalMs);
        external.start(program, arguments);
        if (!external.waitForReadyRead(10000)) {
            std::fprintf(stderr, "bench_grid: %s did not start\n", qPrintable(program));
            return 0;
        }
        const QString line = QString::fromLocal8Bit(external.readLine()).trimmed();
        return static_cast<std::uint16_t>(line.section(':', -1).toInt());
    }
    dvr::DvrOptions options;
    options.maxConnections = 32;
    options.frameIntervalMs = frameIntervalMs;
    inProcess = std::make_unique<dvr::DvrServer>(options);
    return inProcess->start();
}

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    int tiles = 16;
    int seconds = 30;
    QString dvrProgram;
    int frameIntervalMs = -1;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string arg = argv[i];
        if (arg == "--tiles") tiles = std::atoi(argv[i + 1]);
        else if (arg == "--seconds") seconds = std::atoi(argv[i + 1]);
        else if (arg == "--dvr") dvrProgram = argv[i + 1];
        else if (arg == "--frame-interval") frameIntervalMs = std::atoi(argv[i + 1]);
    }
    if (app::GridSide(tiles) == 0 || seconds <= 0) {
        std::fprintf(stderr, "bench_grid: --tiles 4|9|16 --seconds S (>0) [--dvr PATH]\n");
        return 2;
    }

    if (!http::OpenInternetRoot("KEMBQM/MSIE")) {
        std::fprintf(stderr, "bench_grid: no HTTP client\n");
        return 1;
    }
    std::unique_ptr<dvr::DvrServer> inProcess;
    QProcess external;
    const std::uint16_t port = startDvr(dvrProgram, frameIntervalMs, external, inProcess);
    if (port == 0) {
        std::fprintf(stderr, "bench_grid: no DVR\n");
        return 1;
    }

    app::GridView grid;
    app::GridSource source;
    source.host = "127.0.0.1";
    source.port = port;
    grid.setSource(source);
    grid.setTileCount(tiles);
    grid.resize(kGridWidth * app::GridSide(tiles) / 4, kGridHeight * app::GridSide(tiles) / 4);
    grid.show();
    grid.start();

    // Every tile shows pictures before the clock starts.
    QElapsedTimer warmUp;
    warmUp.start();
    for (int i = 0; i < tiles; ++i)
        while (grid.tile(i)->stats().framesSinceStart < 5) {
            if (warmUp.elapsed() > kWarmUpLimitMs) {
                std::fprintf(stderr, "bench_grid: tile %d shows no pictures\n", i + 1);
                return 1;
            }
            pump(50);
        }

    std::uint64_t framesBefore = 0;
    for (int i = 0; i < tiles; ++i) framesBefore += grid.tile(i)->stats().framesDecoded;
    const double cpuBefore = cpuSeconds();
    QElapsedTimer wall;
    wall.start();
    pump(seconds * 1000);
    const double elapsed = wall.elapsed() / 1000.0;
    const double cpu = cpuSeconds() - cpuBefore;
    std::uint64_t frames = 0, damaged = 0;
    for (int i = 0; i < tiles; ++i) {
        const live::LiveSessionStats s = grid.tile(i)->stats();
        frames += s.framesDecoded;
        damaged += s.framesDamaged;
    }
    frames -= framesBefore;
    const double rss = statusMb("VmRSS:");
    const double peak = statusMb("VmHWM:");
    grid.stop();
    http::CloseInternetRoot();

    std::printf("tiles %d, %.1f s, emulator %s, frame interval %s\n", tiles, elapsed,
                dvrProgram.isEmpty() ? "in process" : "separate",
                frameIntervalMs >= 0 ? std::to_string(frameIntervalMs).c_str() : "per channel");
    std::printf("frames %llu (%.1f per tile per second), damaged %llu\n", static_cast<unsigned long long>(frames),
                frames / elapsed / tiles, static_cast<unsigned long long>(damaged));
    std::printf("cpu %.3f s per second (%.0f%% of one core)\n", cpu / elapsed, 100 * cpu / elapsed);
    std::printf("resident %.1f MB, peak %.1f MB\n", rss, peak);
    if (external.state() != QProcess::NotRunning) {
        external.terminate();
        external.waitForFinished(5000);
    }
    return 0;
}
