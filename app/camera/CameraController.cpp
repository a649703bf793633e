#include "app/camera/CameraController.h"

#include <QMetaObject>

#include <charconv>
#include <cstdint>
#include <system_error>
#include <utility>

#include "app/ControlIds.h"
#include "base/DvrProtocol.h"
#include "stream/http/CameraCommand.h"
#include "stream/http/StreamRequest.h"

namespace vistrel::app {

namespace {

// The command of each pad button, in the order of the ids 1048..1060 (the twins follow the same order).
constexpr const auto& kPadCommands = http::kCameraCommandNames;
static_assert(std::size(kPadCommands) == id::kLastCameraButton - id::kFirstCameraButton + 1);

// Lengths the login row's texts are cut to before they go into the request.
constexpr std::size_t kMaxHost = base::kMaxHostNameLength;
constexpr std::size_t kMaxPort = 9;

constexpr int kZzwRange = 999;  // zzw is 0..998

bool ParsePort(const std::string& text, std::uint16_t* port) {
    const std::string cut = text.substr(0, kMaxPort);
    unsigned value = 0;
    const char* end = cut.data() + cut.size();
    const auto [stop, error] = std::from_chars(cut.data(), end, value);
    if (error != std::errc() || stop != end || value == 0 || value > 65535) return false;
    *port = static_cast<std::uint16_t>(value);
    return true;
}

}  // namespace

std::string CameraSuffixFor(int buttonId, int speedIndex) {
    int index = -1;
    if (buttonId >= id::kFirstCameraButton && buttonId <= id::kLastCameraButton)
        index = buttonId - id::kFirstCameraButton;
    else if (buttonId >= id::kFirstCameraButton + id::kCameraTwinOffset &&
             buttonId <= id::kLastCameraButton + id::kCameraTwinOffset)
        index = buttonId - id::kFirstCameraButton - id::kCameraTwinOffset;
    if (index < 0) return {};
    return http::CameraCommandSuffix(kPadCommands[index], speedIndex);
}

CameraController::CameraController(QObject* parent) : QObject(parent), random_(std::random_device{}()) {}

CameraController::~CameraController() {
    // The worker may be posting its result to us right now; that event dies with this object.
    if (worker_.joinable()) worker_.join();
}

void CameraController::setTimeLimits(long connectTimeoutMs, long totalTimeoutMs) {
    connectTimeoutMs_ = connectTimeoutMs;
    totalTimeoutMs_ = totalTimeoutMs;
}

void CameraController::send(const CameraTarget& target, const std::string& suffix) {
    if (busy_) return;
    busy_ = true;

    std::uint16_t port = 0;
    if (!ParsePort(target.port, &port) || !http::OpenInternetRoot(base::kCommandUserAgent)) {
        http::CommandResult refused;
        refused.error = port == 0 ? "not a port number: " + target.port : "HTTP client not initialised";
        QMetaObject::invokeMethod(
            this, [this, refused] { complete(refused); }, Qt::QueuedConnection);
        return;
    }
    const int zzw = std::uniform_int_distribution<int>(0, kZzwRange - 1)(random_);
    std::string url = http::CameraCommandUrl(target.host.substr(0, kMaxHost), port, target.channel, zzw, suffix);

    try {
        worker_ = std::thread([this, url = std::move(url), user = target.user, password = target.password,
                               connectMs = connectTimeoutMs_, totalMs = totalTimeoutMs_] {
            const http::CommandResult result = http::SendCommandRequest(url, user, password, connectMs, totalMs);
            // The last touch of this object from the worker: a queued call, run on the GUI thread.
            QMetaObject::invokeMethod(
                this, [this, result] { complete(result); }, Qt::QueuedConnection);
        });
    } catch (const std::system_error& e) {
        http::CommandResult notStarted;
        notStarted.error = std::string("no thread for the request: ") + e.what();
        QMetaObject::invokeMethod(
            this, [this, notStarted] { complete(notStarted); }, Qt::QueuedConnection);
    }
}

void CameraController::complete(const http::CommandResult& result) {
    // The worker has posted its result and is returning; the join is short.
    if (worker_.joinable()) worker_.join();
    busy_ = false;
    lastResult_ = result;
    emit finished(result.answered && result.status >= 200 && result.status < 300);
}

}  // namespace vistrel::app
