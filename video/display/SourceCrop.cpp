#include "video/display/SourceCrop.h"

#include <algorithm>
#include <mutex>
#include <utility>
#include <vector>

namespace vistrel {

namespace {

// Few windows ever zoom, so a short list beats a map.
std::mutex cropLock;
std::vector<std::pair<WindowHandle, SourceCrop>> crops;  // guarded by cropLock

int scaled(std::uint32_t units, int size) {
    return static_cast<int>((static_cast<std::uint64_t>(units) * static_cast<std::uint64_t>(size)) / kCropUnit);
}

}  // namespace

void SetSourceCrop(WindowHandle window, const SourceCrop& crop) {
    if (window == nullptr) return;
    std::lock_guard<std::mutex> guard(cropLock);
    auto found = std::find_if(crops.begin(), crops.end(), [window](const auto& e) { return e.first == window; });
    if (crop.isWhole()) {
        if (found != crops.end()) crops.erase(found);
        return;
    }
    if (found != crops.end()) found->second = crop;
    else crops.emplace_back(window, crop);
}

void ClearSourceCrop(WindowHandle window) { SetSourceCrop(window, SourceCrop{}); }

SourceCrop GetSourceCrop(WindowHandle window) {
    std::lock_guard<std::mutex> guard(cropLock);
    for (const auto& e : crops)
        if (e.first == window) return e.second;
    return SourceCrop{};
}

CropPixels CropToPixels(const SourceCrop& crop, int width, int height) {
    CropPixels p;
    if (width <= 0 || height <= 0) return p;
    p.left = std::clamp(scaled(crop.left, width), 0, width - 1);
    p.top = std::clamp(scaled(crop.top, height), 0, height - 1);
    p.width = std::clamp(scaled(crop.width, width), 1, width - p.left);
    p.height = std::clamp(scaled(crop.height, height), 1, height - p.top);
    return p;
}

}  // namespace vistrel
