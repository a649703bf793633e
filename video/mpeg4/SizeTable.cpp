#include "video/mpeg4/SizeTable.h"

namespace vistrel::mpeg4 {

namespace {

struct SizeEntry {
    int code;
    int width;
    int height;
};

constexpr SizeEntry kSizes[] = {
    {2, 176, 144}, {3, 352, 288}, {6, 320, 240},  {7, 640, 480},
    {8, 640, 240}, {9, 352, 240}, {10, 720, 576}, {11, 720, 480},
};

// Below these a reported size is not taken as a new picture size.
constexpr int kMinChangeWidth = 176;
constexpr int kMinChangeHeight = 144;

}  // namespace

bool SizeOfCode(int code, int* width, int* height) {
    for (const SizeEntry& e : kSizes) {
        if (e.code == code) {
            *width = e.width;
            *height = e.height;
            return true;
        }
    }
    return false;
}

int SizeCodeForPicture(int width, int height) {
    // 320-wide pictures of any height map to 320 x 240 in the cameras' table; only the exact
    // size is usable here, since the output buffer must match the picture row for row.
    for (const SizeEntry& e : kSizes) {
        if (e.width == width && e.height == height) return e.code;
    }
    return 0;
}

bool PictureSizeChangeConsidered(int width, int height, int currentWidth, int currentHeight) {
    return (width >= kMinChangeWidth && width != currentWidth) ||
           (height >= kMinChangeHeight && height != currentHeight);
}

int SizeCodeForHint(int hint) {
    switch (hint & 3) {
        case 1: return 8;  // 640 x 240
        case 2: return 6;  // 320 x 240
        case 3: return 9;  // 352 x 240
        default: return 0;
    }
}

}  // namespace vistrel::mpeg4
