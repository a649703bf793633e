// The network probe over NetworkManager's state.
#include "app/connection/NetworkStateProbe.h"

namespace vistrel::app {

NetworkStateProbe::NetworkStateProbe(QObject* parent)
    : NetworkProbe(parent), state_(new platform::qt::NetworkState(this)) {
    connect(state_, &platform::qt::NetworkState::changed, this, &NetworkProbe::changed);
}

NetworkStatus NetworkStateProbe::status() const { return state_->status(); }

void NetworkStateProbe::refresh() { state_->refresh(); }

}  // namespace vistrel::app
