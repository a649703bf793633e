#pragma once
// The picture sizes the decoders produce, under the size codes the H.263 headers and the MPEG-4
// adapter use.

namespace vistrel {

struct PictureSizeEntry {
    int code;
    int width;
    int height;
    bool h263;   // H.263 streams may announce it
    bool mpeg4;  // the MPEG-4 adapter may switch to it
};

inline constexpr int kInitialPictureSizeCode = 6;  // 320 x 240: every new decoding state
inline constexpr int kPictureSizeCount = 8;

inline constexpr PictureSizeEntry kPictureSizes[kPictureSizeCount] = {
    {2, 176, 144, true, true},   {3, 352, 288, true, true},   {6, 320, 240, true, true},
    {7, 640, 480, true, true},   {8, 640, 240, true, true},   {9, 352, 240, false, true},
    {10, 720, 576, false, true}, {11, 720, 480, false, true},
};

// The entry of a code, or null for a code outside the table.
constexpr const PictureSizeEntry* FindPictureSize(int code) {
    for (const PictureSizeEntry& entry : kPictureSizes)
        if (entry.code == code) return &entry;
    return nullptr;
}

// The code of a size, or 0 when the size is not in the table.
constexpr int PictureSizeCode(int width, int height) {
    for (const PictureSizeEntry& entry : kPictureSizes)
        if (entry.width == width && entry.height == height) return entry.code;
    return 0;
}

}  // namespace vistrel
