#include "app/views/CameraKeySender.h"

namespace vistrel::app {

CameraKeySender::CameraKeySender(CameraController& controller, std::function<CameraTarget()> target,
                                 std::function<int()> speedIndex, QObject* parent)
    : QObject(parent), controller_(controller), target_(std::move(target)), speedIndex_(std::move(speedIndex)) {
    connect(&controller_, &CameraController::finished, this, &CameraKeySender::onFinished);
}

void CameraKeySender::send(int buttonId) {
    if (controller_.busy()) {
        waiting_ = buttonId;
        return;
    }
    sendNow(buttonId);
}

void CameraKeySender::sendNow(int buttonId) {
    const std::string suffix = CameraSuffixFor(buttonId, speedIndex_ ? speedIndex_() : -1);
    if (suffix.empty()) return;
    controller_.send(target_ ? target_() : CameraTarget{}, suffix);
}

void CameraKeySender::onFinished() {
    if (waiting_ == 0 || controller_.busy()) return;
    const int next = waiting_;
    waiting_ = 0;
    sendNow(next);
}

}  // namespace vistrel::app
