#pragma once
// A picture that acts as a button: the main window's toolbar, camera pad and playback buttons and
// their highlighted twins.

#include <QPixmap>
#include <QWidget>

#include <memory>

class QSvgRenderer;

namespace vistrel::app {

class ImageButton : public QWidget {
    Q_OBJECT
public:
    // Loads PicturePath(id) and the tooltip for the id.
    ImageButton(int id, QWidget* parent);
    ~ImageButton() override;

    int id() const { return id_; }
    // False when the picture resource is missing or not a valid SVG (the button then draws a
    // plain frame, so it can still be found and clicked).
    bool hasPicture() const;

signals:
    // A left-button release inside the button, while enabled.
    void clicked(int id);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    const int id_;
    std::unique_ptr<QSvgRenderer> renderer_;
    // The picture rendered at the last painted size and device pixel ratio; rendering an SVG on
    // every paint is wasted work when the window size rarely changes.
    QPixmap cache_;
    bool pressed_ = false;
};

}  // namespace vistrel::app
