#pragma once
// A one-line message over the bottom of the picture area ("saved to ..."), translucent, hidden
// again after a few seconds. A newer message replaces the one shown and restarts its time.

#include <QLabel>
#include <QTimer>

namespace vistrel::app {

class StatusMessage : public QLabel {
    Q_OBJECT

public:
    explicit StatusMessage(QWidget* parent, int showMs = 4000);

    void showMessage(const QString& text);
    // The picture area it sits at the bottom of, in the parent's coordinates.
    void setPictureArea(const QRect& area);

private:
    void place();

    QTimer m_hideTimer;  // GUI thread
    QRect m_area;
};

}  // namespace vistrel::app
