#include "cli/InterruptWatch.h"

#include <atomic>
#include <csignal>

namespace vistrel::cli {

namespace {
std::atomic<bool> gInterrupted{false};  // written by the signal handler, read by the command's loop
void onSignal(int) { gInterrupted.store(true); }
}  // namespace

InterruptWatch::InterruptWatch() {
    gInterrupted.store(false);
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
}

InterruptWatch::~InterruptWatch() {
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
}

bool InterruptWatch::interrupted() const { return gInterrupted.load(); }

}  // namespace vistrel::cli
