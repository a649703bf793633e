#pragma once
// The window's menu of additions: a small "⋯" button at the right end of the toolbar row and the
// same menu on a right click into the picture area. The specified controls keep their places;
// everything beyond them is reached from here. Each feature adds its own section of actions.

#include <QList>
#include <QObject>
#include <QRect>
#include <QString>

#include <functional>

class QAction;
class QMenu;
class QToolButton;
class QWidget;

namespace vistrel::app {

class ExtrasMenu : public QObject {
    Q_OBJECT

public:
    // pictureArea: the picture area in the window's coordinates as it is now (empty: none); a
    // right click inside it opens the menu. GUI thread only, like every widget here.
    ExtrasMenu(QWidget* window, std::function<QRect()> pictureArea);

    QMenu* menu() const { return m_menu; }
    QToolButton* button() const { return m_button; }

    // Appends the actions under a titled separator; the menu does not own them unless they are
    // its children (make them with menu() as parent to hand them over).
    void addSection(const QString& title, const QList<QAction*>& actions);
    // Appends a submenu (e.g. "View"), made with the menu as parent.
    QMenu* addSubmenu(const QString& title);

    // Places the button at the right end of the toolbar row (rect from the window's layout) and
    // shows it; hide() when the toolbar is hidden.
    void placeButton(const QRect& rect);
    void hideButton();

    // Opens the menu at a point of the window (what a right click does).
    void popupAt(const QPoint& windowPos);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* m_window;
    std::function<QRect()> m_pictureArea;
    QMenu* m_menu;          // child of the window
    QToolButton* m_button;  // child of the window
};

}  // namespace vistrel::app
