#include "app/extras/ExtrasMenu.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QMenu>
#include <QToolButton>
#include <QWidget>

namespace vistrel::app {

ExtrasMenu::ExtrasMenu(QWidget* window, std::function<QRect()> pictureArea)
    : QObject(window),
      m_window(window),
      m_pictureArea(std::move(pictureArea)),
      m_menu(new QMenu(window)),
      m_button(new QToolButton(window)) {
    m_menu->setObjectName(QStringLiteral("extrasMenu"));
    m_button->setObjectName(QStringLiteral("extrasButton"));
    m_button->setText(QString::fromUtf8("\u22ef"));
    m_button->setToolTip(QStringLiteral("More"));
    // The button never takes the keyboard focus: the directional-key navigation owns it.
    m_button->setFocusPolicy(Qt::NoFocus);
    m_button->setPopupMode(QToolButton::InstantPopup);
    m_button->setMenu(m_menu);
    // The dots already say "more"; the arrow Qt adds would crowd them on a narrow button.
    m_button->setStyleSheet(QStringLiteral("QToolButton::menu-indicator { image: none; width: 0; }"));
    m_button->hide();
    // The picture widget lets mouse events through to the window, so the window sees the click.
    m_window->installEventFilter(this);
}

void ExtrasMenu::addSection(const QString& title, const QList<QAction*>& actions) {
    if (!m_menu->isEmpty() || !title.isEmpty()) m_menu->addSection(title);
    m_menu->addActions(actions);
}

QMenu* ExtrasMenu::addSubmenu(const QString& title) { return m_menu->addMenu(title); }

void ExtrasMenu::placeButton(const QRect& rect) {
    m_button->setGeometry(rect);
    m_button->show();
    m_button->raise();
}

void ExtrasMenu::hideButton() { m_button->hide(); }

void ExtrasMenu::popupAt(const QPoint& windowPos) { m_menu->popup(m_window->mapToGlobal(windowPos)); }

bool ExtrasMenu::eventFilter(QObject* watched, QEvent* event) {
    if (watched != m_window || event->type() != QEvent::ContextMenu) return false;
    const auto* menuEvent = static_cast<QContextMenuEvent*>(event);
    const QRect area = m_pictureArea ? m_pictureArea() : QRect();
    if (!area.contains(menuEvent->pos())) return false;
    popupAt(menuEvent->pos());
    return true;
}

}  // namespace vistrel::app
