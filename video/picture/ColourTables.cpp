#include "video/picture/ColourTables.h"

#include <algorithm>
#include <array>
#include <mutex>

namespace vistrel {

namespace {

constexpr int kOutputClampSize = 1408;
constexpr int kOutputClampOrigin = 256;
constexpr int kReconClampSize = 1280;
constexpr int kReconClampOrigin = 512;

struct Tables {
    std::array<std::int32_t, 1024> colour{};
    std::array<std::uint8_t, kOutputClampSize> outputClamp{};
    std::array<std::uint8_t, kReconClampSize> reconClamp{};
    std::array<std::uint8_t, kLumaQuantiserSize> luma{};
    std::array<std::uint8_t, kChromaQuantiserSize> cr{};
    std::array<std::uint8_t, kChromaQuantiserSize> cb{};
    std::array<std::uint8_t, 256> indexMap{};
    QuantiserTables quantisers{};
};

// Written once under initOnce, read-only afterwards.
Tables tables;
std::once_flag initOnce;

void build() {
    for (int v = 0; v < 256; ++v) {
        tables.colour[kColourRunGreenCb + v] = 2919680 - 22554 * v;
        tables.colour[kColourRunBlueCb + v] = (116130 * v - 14832896) >> 16;
        tables.colour[kColourRunRedCr + v] = (91881 * v - 11728000) >> 16;
        tables.colour[kColourRunGreenCr + v] = 6023424 - 46802 * v;
    }
    for (int i = 0; i < kOutputClampSize; ++i)
        tables.outputClamp[i] = static_cast<std::uint8_t>(std::clamp(i - kOutputClampOrigin, 0, 255));
    for (int i = 0; i < kReconClampSize; ++i)
        tables.reconClamp[i] = static_cast<std::uint8_t>(std::clamp(i - kReconClampOrigin, 0, 255));
    for (int k = 0; k < kLumaQuantiserSize; ++k)
        tables.luma[k] = static_cast<std::uint8_t>(std::clamp((k - 8) >> 4, 1, 14) << 4);
    for (int k = 0; k < kChromaQuantiserSize; ++k) {
        tables.cr[k] = static_cast<std::uint8_t>(std::clamp((k - 40) >> 4, 0, 3));
        tables.cb[k] = static_cast<std::uint8_t>(tables.cr[k] << 2);
    }
    for (int k = 0; k < 256; ++k) tables.indexMap[k] = static_cast<std::uint8_t>(k);
    tables.quantisers =
        QuantiserTables{tables.luma.data(), tables.cr.data(), tables.cb.data(), tables.indexMap.data()};
}

}  // namespace

bool InitColourTables(WindowHandle) {
    std::call_once(initOnce, build);
    return true;
}

const std::int32_t* ColourTable() {
    InitColourTables();
    return tables.colour.data();
}

const std::uint8_t* OutputClamp() {
    InitColourTables();
    return tables.outputClamp.data() + kOutputClampOrigin;
}

const std::uint8_t* ReconstructionClamp() {
    InitColourTables();
    return tables.reconClamp.data() + kReconClampOrigin;
}

const QuantiserTables& EightBitTables() {
    InitColourTables();
    return tables.quantisers;
}

}  // namespace vistrel
