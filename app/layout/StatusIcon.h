#pragma once
// The playback bar's status picture: playing, stopped, waiting for data or paused.

#include <QPixmap>
#include <QWidget>

#include <memory>

class QSvgRenderer;

namespace vistrel::app {

class StatusIcon : public QWidget {
    Q_OBJECT
public:
    explicit StatusIcon(QWidget* parent);
    ~StatusIcon() override;

    // Kinds 1, 3, 4 and 5 (see StatusIconPath); any other kind changes nothing.
    void setKind(int kind);
    int kind() const { return kind_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int kind_ = 0;
    std::unique_ptr<QSvgRenderer> renderer_;
    QPixmap cache_;  // the current kind at the last painted size
};

}  // namespace vistrel::app
