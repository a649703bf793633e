#pragma once
// One tile of the live grid: its own live session and decoder drawing into its own framebuffer
// window, with the channel number and the stream's health written over the picture.

#include <QWidget>

#include <memory>
#include <string>

#include "stream/live/LiveStreamSession.h"

namespace vistrel::platform::qt {
class FramebufferView;
}

namespace vistrel::app {

class HealthOverlay;

// What a tile's session needs besides its channel.
struct GridSource {
    std::string host;
    std::uint16_t port = 80;
    std::string user;
    std::string password;
    live::LiveSessionTimings timings;
    live::DecoderFactory decoderFactory = live::MakeLiveDecoder;
};

class GridTile : public QWidget {
    Q_OBJECT
public:
    GridTile(int channel, QWidget* parent = nullptr);
    // Stops the session before the window it draws into goes.
    ~GridTile() override;

    int channel() const { return channel_; }
    // GUI thread. start() makes a session (replacing any) and starts it; stop() ends it, waiting
    // as long as a session stop takes.
    void start(const GridSource& source);
    void stop();
    bool running() const { return session_ != nullptr; }

    // Non-blocking reading of the session's counters (default figures when none runs).
    live::LiveSessionStats stats() const;
    platform::qt::FramebufferView* view() const { return view_; }
    HealthOverlay* health() const { return health_; }

signals:
    // Double-click or Enter: the user wants this channel in the single live view.
    void activated(int channel);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void reconnect();

    const int channel_;
    platform::qt::FramebufferView* view_ = nullptr;
    HealthOverlay* health_ = nullptr;
    std::unique_ptr<live::LiveStreamSession> session_;  // GUI thread
};

}  // namespace vistrel::app
