#pragma once
// How a decoding state shows its pictures: the display surface of the window it draws into, the
// picture converted for that surface (or into 24 bits off-screen), redraws and snapshots. Both the
// H.263 state and the MPEG-4 adapter present through one of these, so the two cannot drift apart.

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/Lock.h"
#include "platform/WindowHandle.h"
#include "video/display/DisplaySurface.h"
#include "video/picture/ScreenPicture.h"
#include "video/picture/YuvPicture.h"

namespace vistrel {

// The black a decoder paints before its first picture and after a reset: (0, 127, 127).
inline constexpr std::uint8_t kBlackLuma = 0;
inline constexpr std::uint8_t kBlackChroma = 127;
// Paints a packed width * height * 3 / 2 picture that black; not a byte beyond it.
void FillBlackPicture(std::uint8_t* samples, int width, int height);

// Threads: every method expects the caller to hold the lock of the decoder class that owns the
// decoding state (one caller at a time), and none takes that lock. In addition lock_ guards the
// surface's existence: Detach and a size change replace or destroy it under lock_, and Snapshot
// holds lock_, so a snapshot never runs while the surface goes.
//
// The window's client rectangle is read at every render, not kept from attach time: the desktop
// window resizes its picture area at will (layouts, full screen), and the dither choice on an
// 8-bit screen must follow the width the picture is shown at now.
class PicturePresenter {
public:
    PicturePresenter() = default;
    // The surface goes before the screen picture it may still remember as its last one.
    ~PicturePresenter() { Detach(); }
    PicturePresenter(const PicturePresenter&) = delete;
    PicturePresenter& operator=(const PicturePresenter&) = delete;

    // Non-null window: a display surface for pictures of width x height. Null: off-screen, the
    // rendered picture is converted into 24 bits only, and only when screenPicture() asks for it.
    // False when a surface exists already or the window's screen cannot take one. Until the first
    // Attach nothing is rendered.
    bool Attach(WindowHandle window, int width, int height);
    // Destroys the surface, if any, under lock_.
    void Detach();
    // A surface is made for one picture size: after a size change it is made again for the same
    // window, carrying the draw callback and the full-screen flag across. Off-screen: nothing to do.
    void Resize(int width, int height);

    // Converts `picture` for the screen (the screen picture is made, or made again, to the
    // picture's size and the surface's depth when it first differs) and presents it. False when not
    // attached, the surface is gone, or the conversion refuses. Off-screen it only notes that a
    // picture came: nobody sees an off-screen conversion until asked for it, and the command-line
    // decoder and the exporter would pay one per picture for nothing.
    bool Render(const YuvPicture* picture);
    // Presents the last converted picture again; nothing before the first render.
    void Redraw();
    // The 24-bit bitmap of `picture`; see WriteSnapshotBitmap. Holds lock_.
    std::size_t Snapshot(const YuvPicture* picture, std::uint8_t* buffer, std::size_t size);

    // Both do nothing without a surface.
    void SetDrawCallback(DrawCallback callback, std::uintptr_t word);
    void SetFullScreen(int flag);

    bool offScreen() const { return offScreen_; }
    WindowHandle window() const { return window_; }
    DisplaySurface* surface() const { return surface_.get(); }
    // The picture last converted, or null before the first render. Off-screen the conversion
    // waits for this call: when a render came since the last one, `latest` (the owner's picture
    // now) is converted; null when that conversion refuses.
    const ScreenPicture* screenPicture(const YuvPicture* latest = nullptr) const;

private:
    struct SurfaceDeleter {
        void operator()(DisplaySurface* surface) const { DestroyDisplaySurface(surface); }
    };
    using SurfacePointer = std::unique_ptr<DisplaySurface, SurfaceDeleter>;

    // Destroys the old surface and installs the new one under lock_.
    void replaceSurface(SurfacePointer surface);
    bool ensureScreenPicture(int width, int height, int bitsPerPixel) const;
    bool keepIfConverted(bool converted) const;

    WindowHandle window_ = nullptr;
    bool attached_ = false;
    bool offScreen_ = false;
    // Made at the first conversion, so a decoder that never shows a picture never pays for one.
    // Off-screen both are brought up to date by screenPicture(), under the caller's lock.
    mutable std::unique_ptr<ScreenPicture> screen_;
    mutable bool renderPending_ = false;
    // Declared after screen_ so that it is destroyed first; replaced and destroyed under lock_.
    SurfacePointer surface_;
    platform::Lock lock_;
};

}  // namespace vistrel
