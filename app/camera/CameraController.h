#pragma once
// Camera pad commands: the request suffix of each pad button and the controller that sends one
// "cam_ctrl.htm" request at a time off the GUI thread.

#include <QObject>

#include <random>
#include <string>
#include <thread>

#include "stream/http/CommandRequest.h"

namespace vistrel::app {

// Where a camera command goes: the login row's texts and the channel as the channel list shows it.
struct CameraTarget {
    std::string host;
    std::string port;
    std::string user;
    std::string password;
    int channel = 1;  // 1..16, sent as it is (the live and playback requests send channel - 1)
};

// "&Speed=%d&camctrl_X=X" for a camera pad button (1048..1060) or its twin (1080..1092); empty for
// any other id. speedIndex is the camera speed list's selected index, -1 when nothing is selected.
std::string CameraSuffixFor(int buttonId, int speedIndex);

// Sends camera commands, one at a time, each on a thread of its own, so that a dead or stalled
// DVR never holds the window. Lives on the GUI thread; every member is touched only there except
// where said otherwise.
class CameraController : public QObject {
    Q_OBJECT
public:
    explicit CameraController(QObject* parent = nullptr);
    // Waits for a request in flight; its time limits bound the wait.
    ~CameraController() override;
    CameraController(const CameraController&) = delete;
    CameraController& operator=(const CameraController&) = delete;

    // Sends "http://H:P/cam_ctrl.htm?scrw=1024&mcast=0&Video_Source=C&zzw=R" + suffix on a worker
    // thread and returns at once; finished() follows, queued on this object's thread. zzw is a new
    // pseudo-random number 0..998 each time. The answer is discarded; when the DVR asks for
    // credentials (401) the target's user name and password are offered (Basic or Digest).
    // While a request is in flight a send is refused: nothing is sent and no finished() follows
    // for it (the window keeps its controls disabled until finished() anyway).
    // A port text that is not a port number sends nothing; finished(false) follows.
    void send(const CameraTarget& target, const std::string& suffix);
    bool busy() const { return busy_; }

    // The outcome of the last finished request (valid once finished() has been emitted).
    const http::CommandResult& lastResult() const { return lastResult_; }

    // Time limits of the request; the defaults are the command request's own.
    void setTimeLimits(long connectTimeoutMs, long totalTimeoutMs);

signals:
    // true when the DVR answered the command with a success status (2xx).
    void finished(bool answered);

private:
    void complete(const http::CommandResult& result);

    std::thread worker_;  // started and joined on the GUI thread
    bool busy_ = false;
    http::CommandResult lastResult_;
    long connectTimeoutMs_ = http::kCommandConnectTimeoutMs;
    long totalTimeoutMs_ = http::kCommandTotalTimeoutMs;
    std::minstd_rand random_;
};

}  // namespace vistrel::app
