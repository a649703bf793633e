#pragma once
// The MPEG-4 decoding state behind CDecKvr4 and PCDecKvr4: strips information blocks, cuts the
// DVR's live frames, primes and feeds the library decoder, copies its pictures into an output
// picture that follows size changes, and shows it through the same presenter as the H.263 state.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

#include "kvr_syst/Kvr_MP4_Dec.h"
#include "platform/WindowHandle.h"
#include "video/display/PicturePresenter.h"
#include "video/mpeg4/LibraryDecoder.h"
#include "video/mpeg4/Mpeg4Framing.h"
#include "video/picture/ScreenPicture.h"
#include "video/picture/YuvPicture.h"

namespace vistrel::mpeg4 {

// Feeding runs on the caller's thread. Nothing ever filled the background feeding ring the
// cameras' reference client carried, so this state has neither that ring nor its idle thread.
class Mpeg4Adapter {
public:
    // Bytes of live data gathered until they hold whole frames, at most; the buffer starts small
    // and grows with the frames it meets.
    static constexpr std::size_t kAccumulationSize = 524288;
    static constexpr std::size_t kInitialAccumulation = 16384;

    struct Counters {
        long frames = 0;           // frames handed to the library
        long pictures = 0;         // pictures copied into the output picture
        long droppedPictures = 0;  // pictures of a size the output cannot take
        long resets = 0;           // accumulated bytes dropped as damaged
        long libraryErrors = 0;    // exceptions the library raised
    };

    // Called with every picture copied from the library, before it is rendered.
    using PictureObserver = std::function<void(const YuvPicture& picture)>;

    // 320 x 240, black, library primed for that size. Null when the library decoder cannot be
    // made. The output picture is made at first use, so that an adapter which never gets a
    // picture costs no picture memory.
    static std::unique_ptr<Mpeg4Adapter> Create();
    static std::unique_ptr<Mpeg4Adapter> Create(const LibraryFactory& factory);
    ~Mpeg4Adapter();
    Mpeg4Adapter(const Mpeg4Adapter&) = delete;
    Mpeg4Adapter& operator=(const Mpeg4Adapter&) = delete;

    // Non-null window: a display surface for it at the current size. Null: off-screen, pictures
    // are converted to 24 bits only. False when a surface exists already or cannot be made.
    bool Attach(WindowHandle window);
    void Detach();
    // Drops gathered bytes and the suppress-display flag; the library keeps its state.
    void Reset();
    // Takes live bytes and decodes complete frames, at most `count` (-1 = all, 0 = none).
    // Returns the number of frames handed to the library.
    int Feed(const std::uint8_t* data, std::size_t length, int count);
    // End of stream: lets the library hand out the picture it holds back. True when one came.
    bool Flush();
    // Converts the output picture and presents it (off-screen: converts only, and only when the
    // picture changed since the last conversion, since the result would be the same bytes).
    bool Render();
    void Redraw();
    // Snapshot bitmap of the output picture; the size needed when `size` is too small.
    std::size_t Snapshot(std::uint8_t* buffer, std::size_t size);
    void SetDrawCallback(DrawCallback callback, std::uintptr_t word);
    void SetFullScreen(int flag);
    void SetSuppressDisplay(bool suppress) { suppressDisplay_ = suppress; }
    bool suppressDisplay() const { return suppressDisplay_; }
    void SetPictureObserver(PictureObserver observer) { observer_ = std::move(observer); }

    int width() const { return width_; }
    int height() const { return height_; }
    int sizeCode() const { return sizeCode_; }
    bool offScreen() const { return presenter_.offScreen(); }
    // Null only when its buffer cannot be made.
    const YuvPicture* outputPicture() const;
    const ScreenPicture* screenPicture() const { return presenter_.screenPicture(outputPicture()); }
    const DisplaySurface* surface() const { return presenter_.surface(); }
    std::size_t heldBytes() const { return held_; }
    const Counters& counters() const { return counters_; }

private:
    explicit Mpeg4Adapter(LibraryDecoder library);

    bool applySizeCode(int code, bool prime);
    // Makes the output picture for the current size if it is missing; false when that fails.
    bool ensureOutput();
    // A black output picture of width x height in place of the current one.
    bool replaceOutput(int width, int height);
    bool reserveAccumulation(std::size_t bytes);
    void dropAccumulated();
    int extractFrames(int limit);
    bool decodeFrame(const std::uint8_t* frame, const FrameSpan& span);
    bool feedLibrary(const std::uint8_t* data, std::size_t length, bool resetOnError);
    void takeReadyPicture();
    void copyPicture(const KVR_MP4_FRAME& picture);

    // Everything below is used only by the thread that holds the owning wrapper's lock; the
    // presenter's surface is in addition guarded by the presenter's lock (see PicturePresenter).
    LibraryDecoder library_;
    int width_ = 0;
    int height_ = 0;
    int sizeCode_ = 0;
    std::unique_ptr<std::uint8_t[]> accumulation_;  // accumulationCapacity_ bytes, null until needed
    std::size_t accumulationCapacity_ = 0;
    std::size_t held_ = 0;
    // width * height * 3 / 2: luma, Cb, Cr; null until first needed.
    std::unique_ptr<std::uint8_t[]> output_;
    std::unique_ptr<YuvPicture> yuv_;  // over output_
    bool suppressDisplay_ = false;
    PicturePresenter presenter_;
    PictureObserver observer_;
    Counters counters_;
};

}  // namespace vistrel::mpeg4
