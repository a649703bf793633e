// Drawing of the synthetic camera scene.

#include "tools/dvr/Scene.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace vistrel::dvr {

namespace {

constexpr int kGlyphWidth = 5;
constexpr int kGlyphHeight = 7;
constexpr int kTileShift = 5;  // 32-pixel chequer tiles

struct Glyph {
    char c;
    std::uint8_t rows[kGlyphHeight];  // 5 bits each, most significant bit leftmost
};

constexpr Glyph kFont[] = {
    {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}}, {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}}, {'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}},
    {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}}, {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}},
    {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}}, {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
    {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}}, {'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}},
    {':', {0x00, 0x0C, 0x0C, 0x00, 0x0C, 0x0C, 0x00}}, {'C', {0x0E, 0x11, 0x10, 0x10, 0x10, 0x11, 0x0E}},
    {'H', {0x11, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}}, {' ', {0, 0, 0, 0, 0, 0, 0}},
};

const Glyph* findGlyph(char c) {
    for (const auto& g : kFont)
        if (g.c == c) return &g;
    return nullptr;
}

// White text on a black box, `scale` pixels per font dot, at (x0, y0); clipped to the picture.
void drawText(YuvFrame& f, int x0, int y0, int scale, const char* text) {
    const int n = int(std::strlen(text));
    const int boxW = n * (kGlyphWidth + 1) * scale + scale;
    const int boxH = (kGlyphHeight + 2) * scale;
    for (int y = std::max(0, y0); y < std::min(f.height, y0 + boxH); ++y)
        for (int x = std::max(0, x0); x < std::min(f.width, x0 + boxW); ++x) f.y()[y * f.width + x] = 16;
    for (int i = 0; i < n; ++i) {
        const Glyph* g = findGlyph(text[i]);
        if (g == nullptr) continue;
        const int gx = x0 + scale + i * (kGlyphWidth + 1) * scale;
        const int gy = y0 + scale;
        for (int row = 0; row < kGlyphHeight; ++row)
            for (int col = 0; col < kGlyphWidth; ++col) {
                if (!(g->rows[row] & (0x10 >> col))) continue;
                for (int dy = 0; dy < scale; ++dy)
                    for (int dx = 0; dx < scale; ++dx) {
                        const int x = gx + col * scale + dx, y = gy + row * scale + dy;
                        if (x >= 0 && x < f.width && y >= 0 && y < f.height) f.y()[y * f.width + x] = 235;
                    }
            }
    }
    // Neutral chroma under the box so the text reads the same on every tile colour.
    for (int y = std::max(0, y0) / 2; y < std::min(f.height, y0 + boxH) / 2; ++y)
        for (int x = std::max(0, x0) / 2; x < std::min(f.width, x0 + boxW) / 2; ++x) {
            f.u()[y * (f.width / 2) + x] = 128;
            f.v()[y * (f.width / 2) + x] = 128;
        }
}

// Horizontal then vertical box blur of the luma plane, standing in for a defocused lens.
void blurLuma(YuvFrame& f, int radius) {
    std::vector<std::uint8_t> line(std::size_t(std::max(f.width, f.height)));
    for (int pass = 0; pass < 2; ++pass) {
        const int lines = pass == 0 ? f.height : f.width;
        const int length = pass == 0 ? f.width : f.height;
        const int step = pass == 0 ? 1 : f.width;
        for (int l = 0; l < lines; ++l) {
            std::uint8_t* p = f.y() + (pass == 0 ? l * f.width : l);
            for (int i = 0; i < length; ++i) line[std::size_t(i)] = p[i * step];
            for (int i = 0; i < length; ++i) {
                int sum = 0, count = 0;
                for (int k = std::max(0, i - radius); k <= std::min(length - 1, i + radius); ++k, ++count)
                    sum += line[std::size_t(k)];
                p[i * step] = std::uint8_t(sum / count);
            }
        }
    }
}

}  // namespace

void renderScene(const SceneView& view, int width, int height, YuvFrame& f) {
    f.width = width;
    f.height = height;
    f.data.resize(std::size_t(width) * height * 3 / 2);
    const int zoom = std::max(1, view.camera.zoomPercent);
    const int hue = (view.channel * 37) & 63;
    // The sweeping bar crosses the visible part of the scene every few seconds.
    const int barX = int((view.millis / 8) % (width + 64)) - 32;
    auto worldX = [&](int x) { return (x - width / 2) * 100 / zoom + view.camera.panX + width / 2; };
    auto worldY = [&](int y) { return (y - height / 2) * 100 / zoom + view.camera.tiltY + height / 2; };

    for (int y = 0; y < height; ++y) {
        const int wy = worldY(y);
        std::uint8_t* row = f.y() + y * width;
        for (int x = 0; x < width; ++x) {
            const int wx = worldX(x);
            const bool dark = (((wx >> kTileShift) + (wy >> kTileShift)) & 1) != 0;
            int luma = (dark ? 70 : 160) + ((wx + wy) & 31);
            if (x >= barX && x < barX + 12) luma = 220;
            row[x] = std::uint8_t(luma);
        }
    }
    for (int y = 0; y < height / 2; ++y) {
        const int wy = worldY(2 * y);
        for (int x = 0; x < width / 2; ++x) {
            const int wx = worldX(2 * x);
            f.u()[y * (width / 2) + x] = std::uint8_t(96 + (((wx >> 6) * 13 + hue) & 63));
            f.v()[y * (width / 2) + x] = std::uint8_t(96 + (((wy >> 6) * 11 + hue * 3) & 63));
        }
    }
    if (view.camera.focus != 0) blurLuma(f, std::min(5, std::abs(view.camera.focus)));

    const int scale = std::max(2, width / 110);
    char text[32];
    std::snprintf(text, sizeof text, "CH %02d", std::clamp(view.channel, 0, 99));
    drawText(f, scale * 2, scale * 2, scale, text);
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", std::clamp(view.hour, 0, 99),
                  std::clamp(view.minute, 0, 99), std::clamp(view.second, 0, 99));
    drawText(f, scale * 2, height - (kGlyphHeight + 4) * scale, scale, text);
}

}  // namespace vistrel::dvr
