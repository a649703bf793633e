#pragma once
// Camera commands from held keys. The camera controller refuses a send while a request is in
// flight, which for a quickly released key would drop the stop and leave the camera moving; here
// the latest command waits for the one in flight and goes out when it has finished.

#include <QObject>

#include <functional>

#include "app/camera/CameraController.h"

namespace vistrel::app {

class CameraKeySender : public QObject {
    Q_OBJECT
public:
    // `target` and `speedIndex` are asked at each send (the login row and the speed list as they
    // are then). The controller must outlive this object. GUI thread.
    CameraKeySender(CameraController& controller, std::function<CameraTarget()> target,
                    std::function<int()> speedIndex, QObject* parent = nullptr);

    // A camera pad button id (kCamUp ... kCamFocusFar, kCamStop).
    void send(int buttonId);
    // The command waiting for the one in flight (0: none).
    int waiting() const { return waiting_; }

private:
    void sendNow(int buttonId);
    void onFinished();

    CameraController& controller_;
    std::function<CameraTarget()> target_;
    std::function<int()> speedIndex_;
    // Only the latest counts: a move then its stop while busy leaves just the stop.
    int waiting_ = 0;
};

}  // namespace vistrel::app
