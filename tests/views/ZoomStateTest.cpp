// Digital zoom arithmetic: the point under the pointer stays put, the limits hold, panning stops
// at the picture's edges and the crop the surface gets matches what is shown.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "app/views/ZoomState.h"

using namespace vistrel;
using namespace vistrel::app;

TEST(ViewsZoom, WheelKeepsThePictureUnderThePointerInPlace) {
    ZoomState z;
    const ViewPoint anchors[] = {{0.5, 0.5}, {0.3, 0.7}, {0.9, 0.1}};
    for (const ViewPoint a : anchors) {
        SCOPED_TRACE(a.x);
        z.reset();
        z.wheel(1, {0.5, 0.5});  // start off-centre of the anchor, already zoomed
        const ViewPoint before = z.pictureAt(a);
        for (double notches : {1.0, 2.0, 0.5, -1.0}) {
            z.wheel(notches, a);
            const ViewPoint after = z.pictureAt(a);
            EXPECT_NEAR(after.x, before.x, 1e-9);
            EXPECT_NEAR(after.y, before.y, 1e-9);
        }
    }
}

TEST(ViewsZoom, ZoomStaysBetweenOneAndEightAndResetRestoresTheWholePicture) {
    ZoomState z;
    z.wheel(100, {0.2, 0.8});
    EXPECT_DOUBLE_EQ(z.zoom(), kMaxZoom);
    // The shown part still lies inside the picture.
    EXPECT_GE(z.left(), 0.0);
    EXPECT_LE(z.left() + 1 / z.zoom(), 1.0 + 1e-12);
    z.wheel(-100, {0.2, 0.8});
    EXPECT_DOUBLE_EQ(z.zoom(), kMinZoom);
    EXPECT_DOUBLE_EQ(z.left(), 0.0);
    EXPECT_DOUBLE_EQ(z.top(), 0.0);
    EXPECT_TRUE(z.crop().isWhole());

    z.zoomAbout(4, {1, 1});
    z.zoomAbout(std::numeric_limits<double>::quiet_NaN(), {0.5, 0.5});
    EXPECT_DOUBLE_EQ(z.zoom(), 4);
    z.reset();
    EXPECT_DOUBLE_EQ(z.zoom(), 1);
    EXPECT_TRUE(z.crop().isWhole());
}

TEST(ViewsZoom, PanningFollowsThePointerAndStopsAtTheEdges) {
    ZoomState z;
    z.zoomAbout(2, {0.5, 0.5});  // shows 0.25..0.75
    EXPECT_NEAR(z.left(), 0.25, 1e-12);
    // Dragging right by a tenth of the view brings a twentieth of the picture in from the left.
    z.pan(0.1, 0);
    EXPECT_NEAR(z.left(), 0.20, 1e-12);
    z.pan(10, -10);
    EXPECT_DOUBLE_EQ(z.left(), 0.0);
    EXPECT_DOUBLE_EQ(z.top(), 0.5);
    // Panning at 1x moves nothing.
    z.reset();
    z.pan(0.3, 0.3);
    EXPECT_TRUE(z.crop().isWhole());
}

TEST(ViewsZoom, CropIsTheShownPartInSixtyFourThousandths) {
    ZoomState z;
    z.zoomAbout(4, {0.0, 1.0});  // the bottom-left quarter of a quarter
    const SourceCrop c = z.crop();
    EXPECT_EQ(c.left, 0u);
    EXPECT_EQ(c.top, kCropUnit * 3 / 4);
    EXPECT_EQ(c.width, kCropUnit / 4);
    EXPECT_EQ(c.height, kCropUnit / 4);
    const CropPixels p = CropToPixels(c, 320, 240);
    EXPECT_EQ(p.left, 0);
    EXPECT_EQ(p.top, 180);
    EXPECT_EQ(p.width, 80);
    EXPECT_EQ(p.height, 60);
}
