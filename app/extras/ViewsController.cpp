#include "app/extras/ViewsController.h"

#include <QAbstractSpinBox>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QIcon>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QSlider>
#include <QTimeEdit>
#include <QToolButton>

#include <algorithm>
#include <iterator>

#include "app/ControlIds.h"
#include "app/CwmTarselDlg.h"
#include "app/camera/CameraController.h"
#include "app/extras/ExtrasMenu.h"
#include "app/layout/Geometry.h"
#include "app/layout/ImageButton.h"
#include "app/layout/StatusIcon.h"
#include "app/playback/PlaybackTexts.h"
#include "app/views/CameraKeySender.h"
#include "app/views/GridTile.h"
#include "app/views/GridView.h"
#include "app/views/HealthOverlay.h"
#include "app/views/KeyboardHelpWindow.h"
#include "app/views/PictureZoom.h"
#include "app/views/StatsOverlay.h"
#include "base/DvrProtocol.h"
#include "platform/qt/FramebufferView.h"

namespace vistrel::app {

namespace {

// The play speed list's indices from slowest to fastest ("(1/8)X" ... "4X", then "Full").
constexpr int kSpeedOrder[] = {6, 5, 4, 1, 2, 3, 0};
constexpr int kOverlayMargin = 4;

}  // namespace

ViewsController::ViewsController(CwmTarselDlg& dlg) : QObject(&dlg), m_dlg(dlg), m_shortcuts(*this) {
    // The zoom surface lies over the picture (which lets the mouse through) and under every
    // control; what it does not take goes on to the window (full-screen tap, context menu).
    m_zoomSurface = new QWidget(&dlg);
    m_zoomSurface->setObjectName(QStringLiteral("zoomSurface"));
    m_zoomSurface->hide();
    m_zoomSurface->stackUnder(dlg.m_view);
    m_zoomSurface->raise();
    m_zoom = std::make_unique<PictureZoom>(m_zoomSurface, dlg.m_view->platformWindow());
    // A paused or stepped picture is drawn again so the new crop shows without waiting for the
    // next frame.
    connect(m_zoom.get(), &PictureZoom::zoomChanged, this, [this] { m_dlg.m_view->update(); });

    m_grid = new GridView(&dlg);
    m_grid->setObjectName(QStringLiteral("grid"));
    m_grid->hide();
    connect(m_grid, &GridView::channelActivated, this, [this](int channel) { leaveGrid(channel); });
    connect(m_grid, &GridView::tileCountChanged, this, [this](int tiles) { m_gridTiles = tiles; });

    m_health = new HealthOverlay(&dlg);
    connect(m_health, &HealthOverlay::reconnectRequested, this, [this] { restartLive(); });
    m_stats = new StatsOverlay(&dlg);
    m_stats->setObjectName(QStringLiteral("statsOverlay"));

    m_step = new QToolButton(&dlg);
    m_step->setObjectName(QStringLiteral("stepButton"));
    m_step->setIcon(QIcon(QStringLiteral(":/buttons/step.svg")));
    m_step->setToolTip(tr("Next picture"));
    // Drawn like its neighbours: the picture is the whole button.
    m_step->setStyleSheet(QStringLiteral("QToolButton { border: none; padding: 0; background: transparent; }"));
    m_step->setFocusPolicy(Qt::NoFocus);
    m_step->hide();
    connect(m_step, &QToolButton::clicked, this, [this] { stepFrame(); });

    connect(dlg.m_sliderPos, &QSlider::sliderReleased, this, [this] { seekToSlider(); });
    // Choosing a channel from the list while the grid shows means that channel, alone.
    connect(dlg.m_comboChannel, &QComboBox::activated, this, [this] {
        if (gridShown()) leaveGrid(-1);
    });
    // The Live button in the grid returns to the single live view.
    for (int liveId : {id::kLiveButton, id::kLiveTwin})
        if (auto* live = qobject_cast<ImageButton*>(dlg.control(liveId)))
            connect(live, &ImageButton::clicked, this, [this] { leaveGrid(); });

    m_cameraKeys = new CameraKeySender(
        *dlg.m_camera,
        [this] {
            CameraTarget target;
            target.host = m_dlg.text8(m_dlg.m_comboHost->currentText(), 127);
            target.port = m_dlg.text8(m_dlg.m_editPort->text(), 5);
            target.user = m_dlg.text8(m_dlg.m_comboUser->currentText(), 127);
            target.password = m_dlg.text8(m_dlg.m_editPassword->text(), 127);
            target.channel = m_dlg.channelNumber();
            return target;
        },
        [this] { return m_dlg.m_comboPtzSpeed->currentIndex(); }, this);

    m_shortcuts.setNavigationActive([this] { return navigationHighlighted(); });
    buildMenu();
    // Installed after the window's own filter, so it is asked first.
    qApp->installEventFilter(this);
}

ViewsController::~ViewsController() {
    qApp->removeEventFilter(this);
    m_grid->stop();
}

void ViewsController::buildMenu() {
    ExtrasMenu* extras = m_dlg.extrasMenu();
    QMenu* view = extras->addSubmenu(tr("View"));
    for (int tiles : kGridSizes) {
        const int side = GridSide(tiles);
        view->addAction(tr("Grid %1x%2").arg(side).arg(side), this, [this, tiles] { showGrid(tiles); });
    }
    view->addAction(tr("Single view"), this, [this] {
        if (gridShown()) leaveGrid();
    });
    view->addSeparator();
    view->addAction(tr("Statistics"), this, [this] { toggleStatistics(); });
    QMenu* help = extras->addSubmenu(tr("Help"));
    help->addAction(tr("Keyboard..."), this, [this] { openKeyboardHelp(); });
}

KeyboardHelpWindow* ViewsController::openKeyboardHelp() {
    if (m_help == nullptr) {
        m_help = new KeyboardHelpWindow(&m_dlg);
        m_help->setAttribute(Qt::WA_DeleteOnClose);
    }
    m_help->show();
    m_help->raise();
    return m_help;
}

QRect ViewsController::pictureArea() const {
    return m_dlg.m_view->isHidden() ? QRect() : m_dlg.m_view->geometry();
}

bool ViewsController::liveStreamShown() const {
    const int mode = m_dlg.m_nMode;
    return mode == ModeLive || mode == ModeCamera ||
           (mode == ModeFullScreen && m_dlg.m_nModeBeforeFullScreen != ModePlayback);
}

bool ViewsController::gridShown() const { return !m_grid->isHidden(); }

bool ViewsController::navigationHighlighted() const {
    const KeyNavigator& nav = m_dlg.m_navigator;
    if (nav.dateCalendarOpen() || nav.timeFieldsActive()) return true;
    for (const auto& [controlId, widget] : m_dlg.m_controls)
        if (IsTwin(controlId) && !widget->isHidden()) return true;
    return false;
}

void ViewsController::modeApplied() {
    const QRect area = pictureArea();
    const int mode = m_dlg.m_nMode;
    const bool gridMode = mode == ModeLive ||
                          (mode == ModeFullScreen && m_dlg.m_nModeBeforeFullScreen == ModeLive);
    if (gridShown() && !gridMode) {
        m_grid->stop();
        m_grid->hide();
        // Camera control works on the single picture: it comes back. Playback and the login row
        // start or stop their own streams.
        if (mode == ModeCamera)
            QMetaObject::invokeMethod(
                this,
                [this] {
                    if (m_dlg.m_nMode == ModeCamera && !gridShown()) restartLive();
                },
                Qt::QueuedConnection);
    }
    if (gridShown()) m_grid->setGeometry(area);

    if (area.isEmpty()) {
        m_zoomSurface->hide();
    } else {
        m_zoomSurface->setGeometry(area);
        m_zoomSurface->show();
        m_zoomSurface->stackUnder(m_grid);
    }

    const bool single = liveStreamShown() && !gridShown() && !area.isEmpty();
    if (single) {
        m_health->setSource([this] { return m_dlg.m_liveSession.Stats(); });
        m_stats->setSource([this] { return m_dlg.m_liveSession.Stats(); });
    } else {
        m_health->setSource(nullptr);
        m_stats->setSource(nullptr);
        m_stats->hide();
    }
    m_health->move(area.left() + kOverlayMargin, area.top() + kOverlayMargin);
    m_health->raise();
    m_stats->adjustSize();
    m_stats->move(area.right() - m_stats->width() - kOverlayMargin, area.top() + kOverlayMargin);
    m_stats->raise();

    // The Step button goes right of Pause, where the playback bar has room.
    const ModeLayout layout = LayOutMode(mode, m_dlg.m_nWorkWidth, m_dlg.m_bPictureReserved != 0);
    const auto pause = std::find_if(layout.shown.begin(), layout.shown.end(),
                                    [](const ControlRect& r) { return r.id == id::kPauseButton; });
    if (pause != layout.shown.end()) {
        m_step->setGeometry(pause->x + pause->width, pause->y, pause->width, pause->height);
        m_step->setIconSize(m_step->size());
        m_step->show();
    } else {
        m_step->hide();
    }
    if (mode != ModeCamera && mode != ModeFullScreen) m_shortcuts.releaseHeldKeys();
}

void ViewsController::showGrid(int tiles) {
    if (m_dlg.m_nMode == ModeLogin || m_dlg.m_exiting) return;
    if (m_dlg.m_nMode != ModeLive && m_dlg.m_nMode != ModeFullScreen) m_dlg.switchMode(ModeLive);
    if (m_dlg.m_nMode == ModeFullScreen && m_dlg.m_nModeBeforeFullScreen != ModeLive) return;
    m_gridTiles = GridSide(tiles) != 0 ? tiles : 4;
    m_dlg.m_liveSession.Stop();
    m_zoom->reset();

    GridSource source;
    source.host = m_dlg.text8(m_dlg.m_comboHost->currentText(), 127);
    source.port = static_cast<std::uint16_t>(m_dlg.m_editPort->text().toUInt());
    source.user = m_dlg.text8(m_dlg.m_comboUser->currentText(), 127);
    source.password = m_dlg.text8(m_dlg.m_editPassword->text(), 127);
    source.timings = m_dlg.m_settings.liveTimings;
    m_grid->stop();
    m_grid->setSource(source);
    m_grid->setTileCount(m_gridTiles);
    m_grid->setGeometry(pictureArea());
    m_grid->show();
    m_grid->raise();
    m_grid->start();
    modeApplied();
}

void ViewsController::leaveGrid(int channel) {
    if (!gridShown()) return;
    m_grid->stop();
    m_grid->hide();
    // -1: the channel list's own handler has already started that channel.
    if (channel >= 1 && channel <= base::kChannelCount) {
        const QSignalBlocker quiet(m_dlg.m_comboChannel);
        m_dlg.m_comboChannel->setCurrentIndex(channel - 1);
    }
    if (channel != -1) restartLive();
    modeApplied();
}

void ViewsController::restartLive() {
    if (!liveStreamShown() || gridShown() || m_dlg.m_exiting) return;
    m_dlg.m_liveSession.Stop();
    m_dlg.StartLive();
}

// ---- shortcuts ---------------------------------------------------------------------------------

bool ViewsController::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type != QEvent::KeyPress && type != QEvent::KeyRelease) return false;
    // Only the first delivery of a key within this window counts, as for the key navigation.
    QWidget* focus = QApplication::focusWidget();
    QWidget* target = focus != nullptr ? focus : &m_dlg;
    if (watched != target || (target != &m_dlg && !m_dlg.isAncestorOf(target))) return false;
    auto* key = static_cast<QKeyEvent*>(event);
    if (type == QEvent::KeyRelease) return m_shortcuts.keyRelease(*key);
    // Typing into a field (port, password, the time) keeps its digits and letters.
    if (qobject_cast<QLineEdit*>(focus) != nullptr || qobject_cast<QAbstractSpinBox*>(focus) != nullptr)
        if (!key->text().isEmpty() && key->text().at(0).isPrint()) return false;
    if (m_dlg.m_nMode == ModeLogin || m_dlg.m_exiting) return false;
    // A grid tile's Enter opens its channel; the grid has no other keys of its own.
    return m_shortcuts.keyPress(*key, static_cast<ScreenMode>(m_dlg.m_nMode));
}

void ViewsController::selectChannel(int channel) {
    if (channel < 1 || channel > m_dlg.m_comboChannel->count()) return;
    if (gridShown()) {
        leaveGrid(channel);
        return;
    }
    if (m_dlg.m_comboChannel->currentIndex() == channel - 1 &&
        m_dlg.m_strChannel == m_dlg.m_comboChannel->currentText())
        return;
    m_dlg.m_comboChannel->setCurrentIndex(channel - 1);
    m_dlg.onChannelSelected();
}

void ViewsController::toggleFullScreen() {
    if (m_dlg.m_nMode == ModeFullScreen) m_dlg.leaveFullScreen();
    else m_dlg.enterFullScreen();
}

void ViewsController::leaveFullScreen() { m_dlg.leaveFullScreen(); }

void ViewsController::showGrid() { showGrid(gridShown() ? NextGridSize(m_grid->tileCount()) : m_gridTiles); }

void ViewsController::toggleStatistics() {
    if (!liveStreamShown() || gridShown()) return;
    m_stats->toggle();
    m_stats->refresh();
    m_stats->adjustSize();
    const QRect area = pictureArea();
    m_stats->move(area.right() - m_stats->width() - kOverlayMargin, area.top() + kOverlayMargin);
    m_stats->raise();
}

void ViewsController::sendCameraCommand(int buttonId) { m_cameraKeys->send(buttonId); }

void ViewsController::togglePause() {
    if (!m_dlg.playbackActive()) return;
    if (m_dlg.m_statusIcon->kind() == kStatusPaused) m_dlg.Play();
    else m_dlg.Pause();
}

void ViewsController::stepFrame() {
    if (!m_dlg.playbackActive() || m_dlg.m_exiting) return;
    // After Stop or a range change there is no stream to step: a fresh request starts with one
    // step instead of playing.
    if (m_dlg.m_bRangeChanged) {
        m_dlg.Play();
        m_dlg.m_bRangeChanged = 0;
    }
    m_dlg.SetStatusIcon(kStatusPaused);
    m_dlg.m_player.Step();
}

void ViewsController::changeSpeed(int steps) {
    if (!m_dlg.playbackActive()) return;
    const int index = m_dlg.m_comboPlaySpeed->currentIndex();
    const auto at = std::find(std::begin(kSpeedOrder), std::end(kSpeedOrder), index);
    const int rank = at == std::end(kSpeedOrder) ? 3 : int(at - std::begin(kSpeedOrder));
    const int next = std::clamp(rank + steps, 0, int(std::size(kSpeedOrder)) - 1);
    if (next == rank) return;
    m_dlg.m_comboPlaySpeed->setCurrentIndex(kSpeedOrder[next]);
    m_dlg.onPlaySpeedSelected();
}

void ViewsController::seekToSlider() {
    if (!m_dlg.playbackActive() || m_dlg.m_exiting || m_dlg.m_playHour < 0) return;
    const int seconds = std::clamp(m_dlg.m_sliderPos->value(), 0, 3599);
    {
        // The pickers say where playback now is; their own change handlers would only mark the
        // range as changed and wait for Play.
        const QSignalBlocker quiet(m_dlg.m_timePicker);
        m_dlg.m_timePicker->setTime(QTime(m_dlg.m_playHour, seconds / 60, seconds % 60));
    }
    m_dlg.EnableControls(false);
    m_dlg.m_player.Stop();
    m_dlg.StartPlayback();
    m_dlg.m_bRangeChanged = 0;
    m_dlg.EnableControls(true);
}

}  // namespace vistrel::app
