#include "app/views/ZoomState.h"

#include <algorithm>
#include <cmath>

namespace vistrel::app {

void ZoomState::zoomAbout(double newZoom, ViewPoint anchor) {
    if (!std::isfinite(newZoom)) return;
    const ViewPoint under = pictureAt(anchor);
    zoom_ = std::clamp(newZoom, kMinZoom, kMaxZoom);
    left_ = under.x - anchor.x / zoom_;
    top_ = under.y - anchor.y / zoom_;
    clampEdges();
}

void ZoomState::wheel(double notches, ViewPoint anchor) {
    zoomAbout(zoom_ * std::pow(kZoomPerNotch, notches), anchor);
}

void ZoomState::pan(double viewDx, double viewDy) {
    if (!std::isfinite(viewDx) || !std::isfinite(viewDy)) return;
    left_ -= viewDx / zoom_;
    top_ -= viewDy / zoom_;
    clampEdges();
}

void ZoomState::reset() { *this = ZoomState{}; }

ViewPoint ZoomState::pictureAt(ViewPoint p) const { return ViewPoint{left_ + p.x / zoom_, top_ + p.y / zoom_}; }

SourceCrop ZoomState::crop() const {
    if (!isZoomed()) return SourceCrop{};
    const auto units = [](double f) {
        return static_cast<std::uint32_t>(std::lround(std::clamp(f, 0.0, 1.0) * kCropUnit));
    };
    SourceCrop c;
    c.left = units(left_);
    c.top = units(top_);
    c.width = std::max<std::uint32_t>(1, units(1.0 / zoom_));
    c.height = c.width;
    return c;
}

void ZoomState::clampEdges() {
    const double span = 1.0 / zoom_;
    left_ = std::clamp(left_, 0.0, 1.0 - span);
    top_ = std::clamp(top_, 0.0, 1.0 - span);
}

}  // namespace vistrel::app
