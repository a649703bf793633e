// The texts of the connection status codes.
#include "app/connection/ConnectionStatus.h"

namespace vistrel::app {

const char* ConnectionStatusText(int status) {
    switch (status) {
        case kConnStatusDisconnected: return "The connection has been disconnected";
        case kConnStatusConnectionFailed: return "The connection failed and cannot be reestablished";
        case kConnStatusUserAborted: return "The user aborted the connection";
        case kConnStatusNoPathToDestination: return "No path to the destination could be found";
        case kConnStatusPathUnavailable: return "A path to the destination exists but is not presently available";
        case kConnStatusCallInProgress: return "Connection cannot be made while call in progress";
        case kConnStatusWaitingConnection: return "The device is attempting to connect";
        case kConnStatusResourcesInUse: return "Another client is using resources that this connection requires";
        case kConnStatusDisconnecting: return "The connection is being brought down";
        case kConnStatusAbortingConnection: return "The device is aborting the connection attempt";
        default: return "The connection attempt failed";
    }
}

}  // namespace vistrel::app
