// Building the colour-conversion kernel tables: C entries first, the vector variants over them.

#include "video/picture/ColourKernels.h"

#include <mutex>

namespace vistrel {

namespace {

ColourKernels build(CpuLevel level) {
    ColourKernels k{
        "c", ConvertRowPairTo24C, ConvertRowPairTo32C, ConvertRowPairTo565C, ConvertRowPairTo555C, DitherRowTo8C};
#if defined(__x86_64__) || defined(__i386__)
    if (level >= CpuLevel::Sse2) FillColourKernelsSse2(&k);
    if (level >= CpuLevel::Ssse3) FillColourKernelsSsse3(&k);
    if (level >= CpuLevel::Avx2) FillColourKernelsAvx2(&k);
#endif
    return k;
}

}  // namespace

const ColourKernels& ColourKernelsFor(CpuLevel level) {
    static ColourKernels tables[kCpuLevelCount];
    static std::once_flag once[kCpuLevelCount];
    if (level > DetectedCpuLevel()) level = DetectedCpuLevel();
    const int i = static_cast<int>(level);
    std::call_once(once[i], [&] { tables[i] = build(level); });
    return tables[i];
}

const ColourKernels& ActiveColourKernels() {
    static const ColourKernels& active = ColourKernelsFor(ActiveCpuLevel());
    return active;
}

}  // namespace vistrel
