#pragma once
// The H.263 decoding state behind CDec263 and PCDec263: input buffer and frame loop, the gates that
// decide which pictures are decoded, and the picture buffers; pictures are shown through a
// PicturePresenter (a display surface, or off-screen into 24 bits).

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/WindowHandle.h"
#include "video/display/PicturePresenter.h"
#include "video/h263/PictureLayer.h"
#include "video/picture/ScreenPicture.h"
#include "video/picture/YuvPicture.h"

namespace vistrel::h263 {

// Threads: every operation is called under the owning decoder class's lock (one caller at a time);
// the presenter's own lock only keeps Detach and Snapshot apart, so a snapshot never sees the
// surface go.
//
// Memory follows the input: the input buffer grows with the frames it meets, and the picture
// buffers are made when a picture is first decoded, painted or asked for, so a decoder fed a few
// bytes of junk allocates next to nothing.
class H263Decoder {
public:
    static constexpr std::size_t kInputCapacity = 131072;
    // Bytes that must stay above the held data before a frame search is worth it.
    static constexpr std::size_t kMinSearchBytes = 18;
    // A header-less frame whose length word is 0 is skipped together with the bytes after it.
    static constexpr std::size_t kEmptyFrameSkip = 25;

    // Size 320 x 240, gates open (allow-predicted and has-reference set), quantiser 10, rendering
    // off-screen into 24 bits until attached. Null when memory runs out.
    static std::unique_ptr<H263Decoder> Create();
    // Destroys the surface (if any) and frees every buffer.
    ~H263Decoder();
    H263Decoder(const H263Decoder&) = delete;
    H263Decoder& operator=(const H263Decoder&) = delete;

    // Non-null window: creates a display surface for it at the current size (false when that
    // fails or a surface already exists). Null: off-screen mode (pictures converted to 24 bits
    // only); the picture starts over black with an all-zero reference, as new buffers would be.
    bool Attach(WindowHandle window);
    // Destroys the display surface, if any, under the presenter's lock.
    void Detach();
    // Drops the held input and any frame in progress, clears all four gates, paints the picture
    // black (luma 0, chroma 127), converts and presents it.
    void Reset();
    // Appends `data` (may be null) and decodes frames: `count` 1 or a positive maximum, -1 for
    // every complete frame, 0 for none. Returns the frames handled (decoded or rejected). When the
    // data would make more than kInputCapacity bytes held: Reset, the overflow gate is set, the data
    // is dropped and 0 is returned.
    int Feed(const std::uint8_t* data, std::size_t length, int count);
    // Converts the picture being shown and presents it (off-screen: converts only).
    bool Render();
    // Presents the last converted picture again.
    void Redraw();
    // A 24-bit bitmap of the latest picture (the one just decoded, or black after Reset); returns
    // the size needed and writes only when `size` is enough; 0 without picture buffers.
    std::size_t Snapshot(std::uint8_t* buffer, std::size_t size);

    void SetDrawCallback(DrawCallback callback, std::uintptr_t word);
    void SetFullScreen(int flag);

    // Gates the decoder classes set from their show flags.
    void SetSuppressDisplay(bool suppress) { suppressDisplay_ = suppress; }
    void SetAllowPredicted(bool allow) { allowPredicted_ = allow; }
    bool suppressDisplay() const { return suppressDisplay_; }
    bool allowPredicted() const { return allowPredicted_; }
    bool hasReference() const { return hasReference_; }
    bool overflowed() const { return overflow_; }

    void GetPictureSize(int* width, int* height) const;
    int sizeCode() const { return sizeCode_; }
    // The latest picture (just decoded, or black after Reset); null after a failed size change or
    // when its buffers cannot be made. Valid until the next Feed, Reset, Attach or size change.
    const YuvPicture* CurrentPicture() const;
    // The converted picture last rendered (24 bits off-screen), or null.
    const ScreenPicture* screenPicture() const { return presenter_.screenPicture(CurrentPicture()); }
    // Pictures decoded since creation (dropped ones not counted); lets a caller that feeds one
    // frame at a time tell whether a new picture came out.
    std::uint64_t picturesDecoded() const { return picturesDecoded_; }
    // Pictures whose data was damaged since creation (shown concealed or dropped); counted after the
    // picture is made available, so a caller sees the picture and then the error.
    std::uint64_t errorsSeen() const { return errorsSeen_; }
    bool offScreen() const { return presenter_.offScreen(); }
    WindowHandle window() const { return presenter_.window(); }
    DisplaySurface* surface() const { return presenter_.surface(); }
    std::size_t bytesHeld() const { return held_; }

private:
    H263Decoder() = default;
    // Takes the size of `code` (false for an unknown one); buffers of another size are freed and
    // made again at first use.
    bool selectSize(int code);
    // Makes the picture buffers for the current size if they are missing; false when that fails
    // (the size is then forgotten, so that the next picture header tries again).
    bool ensurePictureBuffers();
    void releasePictureBuffers();
    bool reserveInput(std::size_t bytes);
    void decodePicture(const std::uint8_t* data, std::size_t size);

    PicturePresenter presenter_;

    int width_ = 0;
    int height_ = 0;
    std::size_t frameBytes_ = 0;
    int sizeCode_ = 0;

    bool frameInProgress_ = false;
    bool frameHasHeader_ = false;
    std::uint64_t frameLength_ = 0;          // total bytes of the frame in progress
    std::unique_ptr<std::uint8_t[]> input_;  // inputCapacity_ bytes plus a zeroed slack; null until fed
    std::size_t inputCapacity_ = 0;
    std::size_t held_ = 0;

    // Chosen once per decoder; predictions are interpolated per block from reference_.
    const H263Kernels* kernels_ = nullptr;
    // Picture planes (luma, Cb, Cr packed), all frameBytes_ long; null until first needed and after
    // a failed size change.
    std::unique_ptr<std::uint8_t[]> reference_;
    std::unique_ptr<std::uint8_t[]> output_;
    std::unique_ptr<std::int16_t[]> blocks_;
    std::unique_ptr<std::int32_t[]> modes_;
    std::unique_ptr<std::int32_t[]> vectors_;
    std::unique_ptr<YuvPicture> referencePicture_;
    std::unique_ptr<YuvPicture> outputPicture_;
    bool latestIsOutput_ = true;  // after Reset the black output buffer is the latest picture

    PictureHeader header_;
    int quantiser_ = kInitialQuantiser;
    int macroblockRows_ = 0;
    int macroblockColumns_ = 0;

    bool closing_ = false;
    bool suppressDisplay_ = false;
    bool allowPredicted_ = true;
    bool hasReference_ = true;
    bool overflow_ = false;
    std::uint64_t picturesDecoded_ = 0;
    std::uint64_t errorsSeen_ = 0;
    // The reference buffer holds a decoded picture, not the zeros it was made with (damage in an intra
    // picture is concealed from it).
    bool referenceIsPicture_ = false;
};

}  // namespace vistrel::h263
