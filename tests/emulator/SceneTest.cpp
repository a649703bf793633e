// The H.263 channels' scene follows its virtual camera: panning shifts it, zooming scales it
// about the centre, defocus blurs it; the overlay stays put.

#include <gtest/gtest.h>

#include "tools/dvr/CameraState.h"
#include "tools/dvr/Scene.h"

using namespace vistrel::dvr;

namespace {

// millis 0 keeps the sweeping bar left of the picture.
YuvFrame render(int panX, int tiltY, int zoom, int focus = 0) {
    SceneView view;
    view.channel = 5;
    view.hour = 13;
    view.camera.panX = panX;
    view.camera.tiltY = tiltY;
    view.camera.zoomPercent = zoom;
    view.camera.focus = focus;
    YuvFrame f;
    renderScene(view, 320, 240, f);
    return f;
}

}  // namespace

TEST(Scene, PanTiltShiftAndZoomScalesAboutTheCentre) {
    YuvFrame still = render(0, 0, 100);
    YuvFrame panned = render(32, 16, 100);
    // Rows clear of the two text boxes.
    for (int y = 60; y < 180; y += 7)
        for (int x = 0; x + 32 < 320; x += 5)
            ASSERT_EQ(panned.y()[y * 320 + x], still.y()[(y + 16) * 320 + x + 32]) << x << "," << y;
    YuvFrame zoomed = render(0, 0, 200);
    for (int y = 80; y < 160; y += 2)
        for (int x = 80; x < 240; x += 2)
            ASSERT_EQ(zoomed.y()[y * 320 + x], still.y()[(120 + (y - 120) / 2) * 320 + 160 + (x - 160) / 2]);
    // Defocus changes the picture; the channel label stays the same.
    YuvFrame blurred = render(0, 0, 100, -3);
    EXPECT_NE(blurred.data, still.data);
}

TEST(CameraBank, MovesUntilStoppedAndStepsZoomAndFocus) {
    CameraBank bank;
    using namespace std::chrono;
    const auto t0 = steady_clock::now();
    bank.apply(4, CameraCommand::DownLeft, 2, t0);
    auto p = bank.position(4, t0 + milliseconds(500));
    EXPECT_EQ(p.panX, -kPanSpeeds[2] / 2);
    EXPECT_EQ(p.tiltY, kPanSpeeds[2] / 2);
    bank.apply(4, CameraCommand::Stop, 0, t0 + seconds(1));
    EXPECT_EQ(bank.position(4, t0 + seconds(5)).panX, -kPanSpeeds[2]);
    for (int i = 0; i < 20; ++i) bank.apply(4, CameraCommand::ZoomIn, 1, t0 + seconds(6));
    EXPECT_EQ(bank.position(4, t0 + seconds(6)).zoomPercent, kZoomMaxPercent);
    for (int i = 0; i < 20; ++i) bank.apply(4, CameraCommand::FocusFar, 1, t0 + seconds(6));
    EXPECT_EQ(bank.position(4, t0 + seconds(6)).focus, kFocusLimit);
    // An unknown speed moves at the normal one; other channels are untouched.
    bank.apply(7, CameraCommand::Up, -1, t0);
    EXPECT_EQ(bank.position(7, t0 + seconds(1)).tiltY, -kPanSpeeds[1]);
    EXPECT_EQ(bank.position(5, t0 + seconds(9)).commands, 0);
    EXPECT_FALSE(cameraCommandFromName("stop"));
    EXPECT_EQ(cameraCommandFromName("stoppt"), CameraCommand::Stop);
}
