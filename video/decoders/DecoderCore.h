#pragma once
// What the four decoder classes share: one decoding state behind one lock, opened on a window
// or off-screen, fed, snapshotted and reset. The coding is a policy (see H263Policy.h and
// Mpeg4Policy.h); the live and playback interfaces are thin shells over this core.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>

#include "platform/Lock.h"
#include "platform/WindowHandle.h"
#include "video/picture/Snapshot.h"

namespace vistrel::decoders {

// Policy requirements: `State` with Create() -> unique_ptr, Attach, Detach, Reset, Feed,
// Redraw, Snapshot, SetDrawCallback, SetFullScreen and SetSuppressDisplay; static
// SetAllowPredicted(State&, bool) and GetPictureSize(const State&, int*, int*); and the constant
// kCaptureFrameCount (frames one DecodeAndCapture decodes, -1 = all).
template <class Policy>
class DecoderCore {
public:
    using State = typename Policy::State;

    DecoderCore() = default;
    ~DecoderCore() { close(); }
    DecoderCore(const DecoderCore&) = delete;
    DecoderCore& operator=(const DecoderCore&) = delete;

    // The live classes attach before painting the picture black, the playback classes after;
    // the playback state therefore draws nothing until its first frame.
    bool open(WindowHandle window, bool resetBeforeAttach) {
        platform::LockGuard guard(lock_);
        releaseState();
        std::unique_ptr<State> state = Policy::State::Create();
        if (!state) return false;
        if (resetBeforeAttach) state->Reset();
        if (!state->Attach(window)) return false;
        if (!resetBeforeAttach) state->Reset();
        state_ = std::move(state);
        return true;
    }

    void close() {
        platform::LockGuard guard(lock_);
        releaseState();
    }

    // Frames the state handled, or -1 when the wrapper is closed.
    int decode(const std::uint8_t* data, std::size_t length, bool show, bool gatePredicted, int count) {
        platform::LockGuard guard(lock_);
        if (!state_) return -1;
        state_->SetSuppressDisplay(!show);
        if (gatePredicted) Policy::SetAllowPredicted(*state_, show);
        return state_->Feed(data, length, count);
    }

    // A snapshot counts only when it was really written: a buffer too small for it is left
    // untouched, and reporting success then would hand the caller garbage.
    bool decodeAndCapture(const std::uint8_t* data, std::size_t length, bool capture, std::uint8_t* buffer,
                          std::size_t size, bool show) {
        platform::LockGuard guard(lock_);
        if (!state_) return false;
        state_->SetSuppressDisplay(!show);
        const int frames = state_->Feed(data, length, Policy::kCaptureFrameCount);
        if (!capture) return frames > 0;
        const std::size_t written = buffer != nullptr ? state_->Snapshot(buffer, size) : 0;
        return frames > 0 && written != 0 && written <= size;
    }

    // The bitmap is allocated with new[]; the caller frees it with PIDecoder::ReleaseBitmap.
    bool captureBitmap(std::uint8_t** buffer, std::size_t* size) {
        platform::LockGuard guard(lock_);
        if (!state_ || buffer == nullptr || size == nullptr) return false;
        int width = 0;
        int height = 0;
        Policy::GetPictureSize(*state_, &width, &height);
        const std::size_t needed = SnapshotBitmapSize(width, height);
        if (needed == 0) return false;
        std::unique_ptr<std::uint8_t[]> bitmap(new (std::nothrow) std::uint8_t[needed]);
        if (!bitmap || state_->Snapshot(bitmap.get(), needed) != needed) return false;
        *buffer = bitmap.release();
        *size = needed;
        return true;
    }

    void redraw() {
        platform::LockGuard guard(lock_);
        if (state_) state_->Redraw();
    }

    void resetPicture() {
        platform::LockGuard guard(lock_);
        if (state_) state_->Reset();
    }

    void getPictureSize(int* width, int* height) {
        platform::LockGuard guard(lock_);
        if (!state_ || width == nullptr || height == nullptr) return;
        Policy::GetPictureSize(*state_, width, height);
    }

    void setFullScreen(int flag) {
        platform::LockGuard guard(lock_);
        if (state_) state_->SetFullScreen(flag);
    }

    void setDrawCallback(DrawCallback callback, std::uintptr_t word) {
        platform::LockGuard guard(lock_);
        if (state_) state_->SetDrawCallback(callback, word);
    }

    // Waits out any call in progress on another thread.
    void touchLock() { platform::LockGuard guard(lock_); }

    bool isOpen() {
        platform::LockGuard guard(lock_);
        return state_ != nullptr;
    }

private:
    void releaseState() {
        if (!state_) return;
        state_->Detach();
        state_.reset();
    }

    std::unique_ptr<State> state_;  // guarded by lock_; null while closed
    platform::Lock lock_;
};

}  // namespace vistrel::decoders
