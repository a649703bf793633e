#pragma once
// Brings the grid, stream health, statistics, keyboard shortcuts, digital zoom, frame step and
// seeking into the main window. The window keeps its own behaviour; this object sits beside it,
// watches its mode and keys, and drives it through the same steps its buttons take.

#include <QObject>
#include <QPointer>
#include <QRect>

#include <memory>

#include "app/views/ShortcutMap.h"

class QAction;
class QToolButton;
class QWidget;

namespace vistrel::app {

class CameraKeySender;
class CwmTarselDlg;
class GridView;
class HealthOverlay;
class KeyboardHelpWindow;
class PictureZoom;
class StatsOverlay;

class ViewsController : public QObject, private ShortcutTarget {
    Q_OBJECT

public:
    // Made by the window once its controls exist; a child of it. GUI thread only.
    explicit ViewsController(CwmTarselDlg& dlg);
    ~ViewsController() override;

    // The window has laid out a mode: overlays follow the picture area; leaving the live view
    // ends the grid.
    void modeApplied();

    // Shows 4, 9 or 16 channels (live view); the window's single stream stops meanwhile.
    void showGrid(int tiles);
    // Back to the single live view of `channel` (0: the channel in the list).
    void leaveGrid(int channel = 0);
    bool gridShown() const;

    GridView* grid() const { return m_grid; }
    HealthOverlay* health() const { return m_health; }
    StatsOverlay* statistics() const { return m_stats; }
    PictureZoom* zoom() const { return m_zoom.get(); }
    QWidget* zoomSurface() const { return m_zoomSurface; }
    QToolButton* stepButton() const { return m_step; }
    ShortcutHandler& shortcuts() { return m_shortcuts; }
    KeyboardHelpWindow* openKeyboardHelp();

    // Playback: show the next picture and pause.
    void stepFrame() override;
    // Playback: request the hour again from the slider's position.
    void seekToSlider();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // ShortcutTarget
    void selectChannel(int channel) override;
    void toggleFullScreen() override;
    void leaveFullScreen() override;
    void showGrid() override;
    void toggleStatistics() override;
    void sendCameraCommand(int buttonId) override;
    void togglePause() override;
    void changeSpeed(int steps) override;

    void buildMenu();
    QRect pictureArea() const;
    bool liveStreamShown() const;
    bool navigationHighlighted() const;
    void restartLive();

    CwmTarselDlg& m_dlg;
    ShortcutHandler m_shortcuts;
    // Children of the window (Qt owns them); GUI thread.
    GridView* m_grid = nullptr;
    HealthOverlay* m_health = nullptr;
    StatsOverlay* m_stats = nullptr;
    QWidget* m_zoomSurface = nullptr;
    QToolButton* m_step = nullptr;
    CameraKeySender* m_cameraKeys = nullptr;
    QPointer<KeyboardHelpWindow> m_help;
    std::unique_ptr<PictureZoom> m_zoom;
    int m_gridTiles = 4;  // the layout G returns to
};

}  // namespace vistrel::app
