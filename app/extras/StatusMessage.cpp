#include "app/extras/StatusMessage.h"

#include <algorithm>

namespace vistrel::app {

StatusMessage::StatusMessage(QWidget* parent, int showMs) : QLabel(parent) {
    setObjectName(QStringLiteral("statusMessage"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setStyleSheet(QStringLiteral("QLabel { background: rgba(0,0,0,150); color: white; padding: 2px 6px; }"));
    setTextFormat(Qt::PlainText);
    hide();
    m_hideTimer.setSingleShot(true);
    m_hideTimer.setInterval(showMs);
    connect(&m_hideTimer, &QTimer::timeout, this, &QWidget::hide);
}

void StatusMessage::showMessage(const QString& text) {
    setText(text);
    place();
    show();
    raise();
    m_hideTimer.start();
}

void StatusMessage::setPictureArea(const QRect& area) {
    m_area = area;
    if (isVisible()) place();
}

void StatusMessage::place() {
    const QRect area = m_area.isEmpty() && parentWidget() != nullptr ? parentWidget()->rect() : m_area;
    const int h = std::min(area.height(), fontMetrics().height() + 6);
    setGeometry(area.left(), area.bottom() + 1 - h, area.width(), h);
}

}  // namespace vistrel::app
