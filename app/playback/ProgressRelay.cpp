#include "app/playback/ProgressRelay.h"

#include <QMetaObject>

#include <mutex>
#include <unordered_set>

namespace vistrel::app {

namespace {

// The relays alive now. The player may still report after the window dropped its relay, so a
// report is posted only to a relay found here; the lock is held while posting, so a relay cannot
// be destroyed between the look-up and the post (its destructor then discards the posted event).
std::mutex& registryLock() {
    static std::mutex lock;
    return lock;
}

std::unordered_set<const ProgressRelay*>& liveRelays() {
    static auto* relays = new std::unordered_set<const ProgressRelay*>;  // guarded by registryLock()
    return *relays;
}

}  // namespace

ProgressRelay::ProgressRelay(QObject* parent) : QObject(parent) {
    std::lock_guard<std::mutex> hold(registryLock());
    liveRelays().insert(this);
}

ProgressRelay::~ProgressRelay() {
    std::lock_guard<std::mutex> hold(registryLock());
    liveRelays().erase(this);
}

void ProgressRelay::Callback(int kind, int value, void* relay) {
    auto* target = static_cast<ProgressRelay*>(relay);
    std::lock_guard<std::mutex> hold(registryLock());
    if (target == nullptr || liveRelays().count(target) == 0) return;
    // Posting only queues an event: the player's thread never waits for the GUI thread.
    QMetaObject::invokeMethod(
        target, [target, kind, value] { emit target->progress(kind, value); }, Qt::QueuedConnection);
}

}  // namespace vistrel::app
