#pragma once
// Digital zoom as plain arithmetic: which part of the picture is shown, in fractions of the
// picture, changed by zooming about a point and by panning; no widget, so it is testable alone.

#include "video/display/SourceCrop.h"

namespace vistrel::app {

inline constexpr double kMinZoom = 1.0;
inline constexpr double kMaxZoom = 8.0;
// One wheel notch (120 units of angle delta) multiplies or divides the zoom by this.
inline constexpr double kZoomPerNotch = 1.25;

// A point in fractions of the shown area (0..1 across, 0..1 down).
struct ViewPoint {
    double x = 0;
    double y = 0;
};

class ZoomState {
public:
    double zoom() const { return zoom_; }
    bool isZoomed() const { return zoom_ > kMinZoom; }
    // Left and top edge of the shown part, in fractions of the picture.
    double left() const { return left_; }
    double top() const { return top_; }

    // Sets the zoom (held to 1..8) so that the picture point under `anchor` stays under it, as
    // far as the picture's edges allow.
    void zoomAbout(double newZoom, ViewPoint anchor);
    // Wheel notches (positive: closer) about `anchor`.
    void wheel(double notches, ViewPoint anchor);
    // Moves the picture with the pointer: a drag across the whole view moves by one view width.
    void pan(double viewDx, double viewDy);
    void reset();

    // The picture point (fractions of the picture) shown at `p`.
    ViewPoint pictureAt(ViewPoint p) const;
    SourceCrop crop() const;

private:
    void clampEdges();

    double zoom_ = kMinZoom;
    double left_ = 0;
    double top_ = 0;
};

}  // namespace vistrel::app
