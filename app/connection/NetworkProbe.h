// What the connection bring-up asks about the network: the real one reads NetworkManager, tests
// put in their own answers.
#pragma once

#include <QObject>

#include "platform/qt/NetworkState.h"

namespace vistrel::app {

using platform::qt::NetworkStatus;

class NetworkProbe : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    // The last answer known; never blocks.
    virtual NetworkStatus status() const = 0;
    // Asks again; a different answer arrives through changed().
    virtual void refresh() = 0;

signals:
    void changed(vistrel::platform::qt::NetworkStatus status);
};

}  // namespace vistrel::app
