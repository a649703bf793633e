#pragma once
// The main window: the screen-mode machine, login, live view, playback, camera commands, full
// screen and exit. It owns the two streams and wires the window's parts together.

#include <QDateTime>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "app/ScreenMode.h"
#include "app/navigation/KeyNavigator.h"
#include "app/profile/Profile.h"
#include "platform/qt/ScreenDepth.h"
#include "stream/live/LiveStreamSession.h"
#include "stream/playback/PlaybackSession.h"
#include "stream/playback/PlaybackUrl.h"

class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QSlider;
class QTimeEdit;

namespace vistrel::platform::qt {
class FramebufferView;
}

namespace vistrel::media {
class MediaActions;
}

namespace vistrel::app {

class CameraController;
class ConnectionBringUp;
class ExtrasMenu;
class StatusMessage;
class ViewsController;
class ProgressRelay;
class StatusIcon;

// What a test or the program changes about the window; the defaults are the program's.
struct DlgSettings {
    platform::qt::ScreenDepth screenDepth = platform::qt::ScreenDepth::Rgb32;
    // Empty: DefaultProfilePath() below $XDG_CONFIG_HOME.
    std::string profilePath;
    // Exit waits this long after stopping both streams before the window closes.
    int exitWaitMs = 1500;
    // A left-button release in full screen within this many ms of entering it is ignored.
    std::uint32_t fullScreenTapMs = 3000;
    // The tick count the full-screen rule is timed by; null: platform::tickCount.
    std::function<std::uint32_t()> tick;
    // Client width at start; the height fits the tallest mode.
    int initialWidth = 480;
    live::LiveSessionTimings liveTimings;
    // Made on the GUI thread; null: the NetworkManager probe with the "Connection Manager" box.
    std::function<ConnectionBringUp*(QObject* parent)> makeBringUp;
};

class CwmTarselDlg : public QWidget, private NavigationHost {
    Q_OBJECT
    // Grid, stream health, shortcuts, zoom, step and seeking drive the window through its own steps.
    friend class ViewsController;

public:
    explicit CwmTarselDlg(DlgSettings settings = {}, QWidget* parent = nullptr);
    ~CwmTarselDlg() override;  // the teardown: both streams stopped, the player, then the session

    // Fills the login row as if the user typed it (the demo's login).
    void setLoginFields(const QString& host, const QString& port, const QString& user, const QString& password);
    // Selects channel 1..16 in the list without switching streams (the next start takes it).
    void setChannel(int channel);
    // Puts the date and time pickers at the start of a playback range without touching the player.
    void setPlaybackStart(const QDateTime& start);
    // Login (button 1025).
    void Login();
    // Runs what a click on an image button (or its twin) does.
    void onButton(int id);

    int mode() const { return m_nMode; }
    bool loggedIn() const { return m_bPictureReserved != 0; }
    QWidget* control(int id) const;
    platform::qt::FramebufferView* view() const { return m_view; }
    live::LiveStreamSession& liveSession() { return m_liveSession; }
    playback::PlaybackSession& player() { return m_player; }
    KeyNavigator& navigator() { return m_navigator; }
    const playback::PlaybackRange& playbackRange() const { return m_range; }
    const std::string& liveUrl() const { return m_liveUrl; }
    const std::string& playbackUrl() const { return m_playbackUrl; }
    int playerSpeedCode() const { return m_playerSpeed; }
    // Snapshot, recording, export and sound of the window.
    media::MediaActions* media() const { return m_media; }
    std::string profilePath() const { return m_profilePath; }
    // The window with its picture, as the user sees it.
    QImage grabWindow();
    // The menu of additions ("⋯" button and right click on the picture); features add sections.
    ExtrasMenu* extrasMenu() const { return m_extras; }
    ViewsController* views() const { return m_views; }
    // A one-line message over the bottom of the picture area for a few seconds.
    void showStatusMessage(const QString& text);

signals:
    // The Exit command's wait is over and the window has closed.
    void exited();
    // A camera request has been answered or given up.
    void cameraCommandDone(bool answered);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // NavigationHost
    void setHighlighted(int buttonId, bool on) override;
    void focusControl(int id) override;
    void runCommand(int buttonId) override;
    void openDateCalendar() override;
    void selectTimeSection(int field) override;
    void leaveFullScreen() override;

    void createControls();
    void addControl(int id, QWidget* widget);
    void connectControls();
    void ApplyMode();
    void EnableControls(bool enable);
    void FillLoginControls();
    bool SaveProfile(int hostCount, int accountCount);
    void BringUpConnection(int seconds);
    void continueLogin();
    void rememberTyped(QComboBox* combo, bool host);
    bool playbackActive() const;
    void StartLive();
    void StartPlayback();
    void SetStatusIcon(int kind);
    void OnPlaybackProgress(int kind, int value);
    void onChannelSelected();
    void onPlaySpeedSelected();
    void onHostSelected(int index);
    void onDateChanged();
    void onTimeChanged();
    void onDateDropDown();
    void switchMode(int newMode);
    void enterFullScreen();
    void exitProgram();
    void sendCameraCommand(int buttonId);
    void Play();
    void Stop();
    void Pause();
    void stopStreams();
    std::uint32_t tickNow() const;
    int channelNumber() const;
    std::string text8(const QString& text, int maxLength) const;

    const DlgSettings m_settings;

    // The two streams. The player is declared after the session so that it is destroyed first.
    live::LiveStreamSession m_liveSession;
    playback::PlaybackSession m_player;

    int m_nMode = ModeLogin;
    int m_nModeBeforeFullScreen = ModeLive;
    playback::PlaybackRange m_range;
    int m_nWorkWidth = 0;
    int m_nPictureHeight = 0;
    int m_bPictureReserved = 0;
    int m_bRangeChanged = 0;
    int m_nLastPosMs = 0;
    QString m_strChannel;
    QString m_strPlaySpeed;
    int m_bReselectPending = 0;
    std::uint32_t m_dwFullScreenTick = 0;
    int m_bHostEdited = 0;
    int m_bUserEdited = 0;
    bool m_loginPending = false;  // a bring-up is under way; further Login presses are ignored
    bool m_exiting = false;
    int m_playerSpeed = 1;      // the speed code last given to the player
    int m_playHour = -1;        // hour of the running playback: the time text counts from it
    int m_fontUnit = 0;         // layout unit the font was last sized for
    int m_lastAppliedMode = 0;  // mode of the last ApplyMode; 0 before the first
    std::string m_liveUrl;      // as last started, for tests and diagnostics
    std::string m_playbackUrl;
    QRect m_normalGeometry;  // the window's place before full screen

    std::string m_profilePath;
    std::unique_ptr<ProfileTable> m_profile;  // 128 KB: on the heap

    // Widgets (owned by Qt's parent chain), found by control id.
    std::map<int, QWidget*> m_controls;
    platform::qt::FramebufferView* m_view = nullptr;
    QComboBox* m_comboHost = nullptr;
    QComboBox* m_comboUser = nullptr;
    QLineEdit* m_editPort = nullptr;
    QLineEdit* m_editPassword = nullptr;
    QComboBox* m_comboChannel = nullptr;
    QComboBox* m_comboPlaySpeed = nullptr;
    QComboBox* m_comboPtzSpeed = nullptr;
    QDateEdit* m_datePicker = nullptr;
    QTimeEdit* m_timePicker = nullptr;
    QSlider* m_sliderPos = nullptr;
    QLabel* m_staticTime = nullptr;
    StatusIcon* m_statusIcon = nullptr;
    QComboBox* m_focusHolder = nullptr;
    media::MediaActions* m_media = nullptr;  // child QObject, GUI thread; made before any stream starts

    ProgressRelay* m_relay = nullptr;          // child QObject, GUI thread
    CameraController* m_camera = nullptr;      // child QObject; waits for its request when destroyed
    ConnectionBringUp* m_bringUp = nullptr;    // child QObject
    ExtrasMenu* m_extras = nullptr;            // child QObject, GUI thread
    StatusMessage* m_statusMessage = nullptr;  // child widget
    ViewsController* m_views = nullptr;        // child QObject, GUI thread; deleted first in the teardown
    KeyNavigator m_navigator;
};

}  // namespace vistrel::app
