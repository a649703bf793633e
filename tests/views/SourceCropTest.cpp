// The zoom crop in the display path: a window's crop is scaled like a whole picture would be, in
// the stretched and the letterboxed full-screen drawing, field pictures keep their double height,
// other windows are untouched, and crops from anywhere stay inside the picture.

#include <gtest/gtest.h>

#include <memory>

#include "platform/MemoryWindow.h"
#include "video/display/DisplaySurface.h"
#include "video/display/SourceCrop.h"

using namespace vistrel;
using platform::MemoryWindow;

namespace {

MemoryWindow::Config landscape() {
    MemoryWindow::Config config;
    config.screen = {320, 240};
    config.format = {32, 0xFF0000, 0xFF00, 0xFF};
    config.workArea = {0, 0, 320, 240};
    config.clientRect = {0, 0, 320, 240};
    return config;
}

std::uint32_t label(int row, int column) { return 1 + (static_cast<std::uint32_t>(row) << 12 | column); }

std::unique_ptr<ScreenPicture> labelledPicture(int width, int height) {
    auto picture = ScreenPicture::Create(width, height, 32);
    for (int r = 0; r < height; ++r)
        for (int c = 0; c < width; ++c) {
            const std::uint32_t v = label(r, c);
            std::uint8_t* p = picture->row(r) + c * 4;
            p[0] = static_cast<std::uint8_t>(v);
            p[1] = static_cast<std::uint8_t>(v >> 8);
            p[2] = static_cast<std::uint8_t>(v >> 16);
            p[3] = 0;
        }
    return picture;
}

struct Surface {
    explicit Surface(MemoryWindow& w, int width, int height) : s(CreateDisplaySurface(&w, width, height)) {}
    ~Surface() { DestroyDisplaySurface(s); }
    void present(const ScreenPicture& p) { PresentPicture(s, &p, 0, 0, p.width(), p.height()); }
    DisplaySurface* s;
};

// The middle half of the picture: a 2x zoom about the centre.
SourceCrop middleHalf() {
    SourceCrop c;
    c.left = c.top = kCropUnit / 4;
    c.width = c.height = kCropUnit / 2;
    return c;
}

}  // namespace

TEST(ViewsCrop, StretchedAndLetterboxedDrawingScaleTheCroppedPart) {
    MemoryWindow window(landscape());
    MemoryWindow other(landscape());
    Surface surface(window, 320, 240);
    Surface otherSurface(other, 320, 240);
    auto picture = labelledPicture(320, 240);
    SetSourceCrop(&window, middleHalf());

    surface.present(*picture);
    otherSurface.present(*picture);
    // 160 x 120 from (80, 60) over 320 x 240: every source pixel twice in both directions.
    for (int y = 0; y < 240; y += 7)
        for (int x = 0; x < 320; x += 5)
            ASSERT_EQ(window.pixel(x, y), label(60 + y / 2, 80 + x / 2)) << x << "," << y;
    EXPECT_EQ(window.pixel(319, 239), label(60 + 119, 80 + 159));
    EXPECT_EQ(other.pixel(319, 239), label(239, 319));

    SetSurfaceFullScreen(surface.s, 1);
    surface.present(*picture);
    for (int y = 0; y < 240; y += 7)
        for (int x = 0; x < 320; x += 5)
            ASSERT_EQ(window.pixel(x, y), label(60 + y / 2, 80 + x / 2)) << x << "," << y;

    ClearSourceCrop(&window);
    surface.present(*picture);
    EXPECT_EQ(window.pixel(319, 239), label(239, 319));
    EXPECT_TRUE(GetSourceCrop(&window).isWhole());
}

TEST(ViewsCrop, ZoomedFieldPictureKeepsItsDoubleHeight) {
    MemoryWindow window(landscape());
    Surface surface(window, 640, 240);
    auto picture = labelledPicture(640, 240);
    SetSourceCrop(&window, middleHalf());
    surface.present(*picture);
    // 320 x 120 from (160, 60) at double height fills the 320 x 240 area: each row twice.
    EXPECT_EQ(window.pixel(0, 0), label(60, 160));
    EXPECT_EQ(window.pixel(10, 239), label(60 + 119, 170));
    EXPECT_EQ(window.pixel(319, 200), label(160, 160 + 319));
    ClearSourceCrop(&window);
}

TEST(ViewsCrop, HostileCropsStayInsideThePicture) {
    const SourceCrop crops[] = {
        {kCropUnit - 1, kCropUnit - 1, kCropUnit, kCropUnit},
        {0, 0, 0, 0},
        {0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu},
        {kCropUnit / 2, 0, kCropUnit, 1},
    };
    for (const SourceCrop& c : crops) {
        for (const auto& size : {std::pair{320, 240}, std::pair{1, 1}, std::pair{4096, 4096}}) {
            const CropPixels p = CropToPixels(c, size.first, size.second);
            EXPECT_GE(p.left, 0);
            EXPECT_GE(p.top, 0);
            EXPECT_GE(p.width, 1);
            EXPECT_GE(p.height, 1);
            EXPECT_LE(p.left + p.width, size.first);
            EXPECT_LE(p.top + p.height, size.second);
        }
        // Drawn for real, any stray read shows under the address sanitizer.
        MemoryWindow window(landscape());
        Surface surface(window, 320, 240);
        auto picture = labelledPicture(320, 240);
        SetSourceCrop(&window, c);
        surface.present(*picture);
        SetSurfaceFullScreen(surface.s, 1);
        surface.present(*picture);
        ClearSourceCrop(&window);
    }
}
