#include "video/display/PicturePresenter.h"

#include "platform/Window.h"
#include "video/display/ConvertForDisplay.h"
#include "video/picture/ColourConversion.h"
#include "video/picture/Snapshot.h"

namespace vistrel {

namespace {
constexpr int kOffScreenBitsPerPixel = 24;
}

void FillBlackPicture(std::uint8_t* samples, int width, int height) {
    FillYuvFrame(samples, width, height, kBlackLuma, kBlackChroma, kBlackChroma);
}

bool PicturePresenter::Attach(WindowHandle window, int width, int height) {
    if (surface_) return false;
    if (window != nullptr) {
        SurfacePointer surface(CreateDisplaySurface(window, width, height));
        if (!surface) return false;
        replaceSurface(std::move(surface));
    }
    window_ = window;
    offScreen_ = window == nullptr;
    attached_ = true;
    // The depth the next conversion needs may differ from the one the last was made in.
    screen_.reset();
    renderPending_ = false;
    return true;
}

void PicturePresenter::Detach() { replaceSurface(nullptr); }

void PicturePresenter::replaceSurface(SurfacePointer surface) {
    platform::LockGuard guard(lock_);
    surface_ = std::move(surface);
}

void PicturePresenter::Resize(int width, int height) {
    if (!surface_ || window_ == nullptr) return;
    DrawCallback callback = nullptr;
    std::uintptr_t word = 0;
    GetDrawCallback(surface_.get(), &callback, &word);
    const int fullScreen = GetSurfaceFullScreen(surface_.get());
    // The old surface goes first: a window carries one surface at a time.
    Detach();
    replaceSurface(SurfacePointer(CreateDisplaySurface(window_, width, height)));
    vistrel::SetDrawCallback(surface_.get(), callback, word);
    SetSurfaceFullScreen(surface_.get(), fullScreen);
    // The old surface remembered the screen picture; the new one has not seen it.
    screen_.reset();
}

bool PicturePresenter::ensureScreenPicture(int width, int height, int bitsPerPixel) const {
    if (screen_ && screen_->width() == width && screen_->height() == height &&
        screen_->bitsPerPixel() == bitsPerPixel)
        return true;
    screen_ = ScreenPicture::CreateForConversion(width, height, bitsPerPixel);
    return screen_ != nullptr;
}

bool PicturePresenter::keepIfConverted(bool converted) const {
    // The screen picture is not cleared when made; one that a conversion refused may hold
    // anything, and a redraw must never show that.
    if (!converted) screen_.reset();
    return converted;
}

bool PicturePresenter::Render(const YuvPicture* picture) {
    if (picture == nullptr || !attached_) return false;
    if (offScreen_) {
        renderPending_ = true;
        return true;
    }
    if (!surface_ || window_ == nullptr) return false;
    const int mode = GetDisplayMode(surface_.get());
    if (!ensureScreenPicture(picture->width(), picture->height(), DisplayModeBitsPerPixel(mode))) return false;
    const int clientWidth = window_->clientRectOnScreen().width();
    if (!keepIfConverted(ConvertForDisplayMode(mode, picture, screen_.get(), clientWidth))) return false;
    PresentPicture(surface_.get(), screen_.get(), 0, 0, screen_->width(), screen_->height());
    return true;
}

const ScreenPicture* PicturePresenter::screenPicture(const YuvPicture* latest) const {
    if (offScreen_ && renderPending_ && latest != nullptr) {
        renderPending_ = false;
        if (ensureScreenPicture(latest->width(), latest->height(), kOffScreenBitsPerPixel))
            keepIfConverted(ConvertTo24(latest, screen_.get()));
    }
    return screen_.get();
}

void PicturePresenter::Redraw() {
    if (surface_ && screen_)
        PresentPicture(surface_.get(), screen_.get(), 0, 0, screen_->width(), screen_->height());
}

std::size_t PicturePresenter::Snapshot(const YuvPicture* picture, std::uint8_t* buffer, std::size_t size) {
    platform::LockGuard guard(lock_);
    return WriteSnapshotBitmap(picture, buffer, size);
}

void PicturePresenter::SetDrawCallback(DrawCallback callback, std::uintptr_t word) {
    vistrel::SetDrawCallback(surface_.get(), callback, word);
}

void PicturePresenter::SetFullScreen(int flag) { SetSurfaceFullScreen(surface_.get(), flag); }

}  // namespace vistrel
