#include "video/picture/ColourConversion.h"

#include "video/picture/ColourKernels.h"
#include "video/picture/ColourTables.h"

namespace vistrel {

namespace {

bool sizesAgree(const YuvPicture* source, int width, int height) {
    return source != nullptr && width > 0 && height > 0 && source->width() == width &&
           source->height() == height && width % 4 == 0 && height % 4 == 0;
}

bool picturesAgree(const YuvPicture* source, const ScreenPicture* destination, int bitsPerPixel) {
    return destination != nullptr && destination->bitsPerPixel() == bitsPerPixel &&
           sizesAgree(source, destination->width(), destination->height());
}

// Chroma offsets are computed once per 2 x 2 block and the chroma is replicated over it.
void convertDirect(RowPairFn convert, const YuvPicture& source, std::uint8_t* const* rows) {
    const int chromaWidth = source.width() / 2;
    const int chromaHeight = source.height() / 2;
    for (int i = 0; i < chromaHeight; ++i) {
        convert(source.luma().rows[2 * i], source.luma().rows[2 * i + 1], source.cb().rows[i], source.cr().rows[i],
                rows[2 * i], rows[2 * i + 1], chromaWidth);
    }
}

bool convertChecked(RowPairFn convert, int bitsPerPixel, const YuvPicture* source, ScreenPicture* destination) {
    if (!picturesAgree(source, destination, bitsPerPixel)) return false;
    convertDirect(convert, *source, destination->rows());
    return true;
}

}  // namespace

bool ConvertTo24(const YuvPicture* source, ScreenPicture* destination) {
    return convertChecked(ActiveColourKernels().to24, 24, source, destination);
}

bool ConvertTo32(const YuvPicture* source, ScreenPicture* destination) {
    return convertChecked(ActiveColourKernels().to32, 32, source, destination);
}

bool ConvertTo565(const YuvPicture* source, ScreenPicture* destination) {
    return convertChecked(ActiveColourKernels().to565, 16, source, destination);
}

bool ConvertTo555(const YuvPicture* source, ScreenPicture* destination) {
    return convertChecked(ActiveColourKernels().to555, 16, source, destination);
}

bool ConvertTo24Rows(const YuvPicture* source, std::uint8_t* const* rows, int width, int height) {
    if (rows == nullptr || !sizesAgree(source, width, height)) return false;
    convertDirect(ActiveColourKernels().to24, *source, rows);
    return true;
}

bool ConvertTo8(const YuvPicture* source, ScreenPicture* destination, int matrix) {
    if (matrix != kDitherMatrixA && matrix != kDitherMatrixB) return false;
    if (!picturesAgree(source, destination, 8)) return false;
    const std::uint8_t(*dither)[4] = matrix == kDitherMatrixA ? kDitherA : kDitherB;
    const DitherRowFn convert = ActiveColourKernels().to8;
    for (int r = 0; r < source->height(); ++r) {
        // Rows r, r+1 share chroma row r/2; the dither matrix repeats every four rows.
        convert(source->luma().rows[r], source->cb().rows[r / 2], source->cr().rows[r / 2], destination->row(r),
                source->width(), dither[r % 4]);
    }
    return true;
}

}  // namespace vistrel
