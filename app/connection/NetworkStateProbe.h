// The network probe over NetworkManager's state on the system D-Bus.
#pragma once

#include "app/connection/NetworkProbe.h"
#include "platform/qt/NetworkState.h"

namespace vistrel::app {

class NetworkStateProbe : public NetworkProbe {
    Q_OBJECT

public:
    explicit NetworkStateProbe(QObject* parent = nullptr);

    NetworkStatus status() const override;
    void refresh() override;

private:
    platform::qt::NetworkState* state_;  // child of this object
};

}  // namespace vistrel::app
