// Building the H.263 kernel tables from the codec library's transform and macroblock tables, with
// our flat-block short cut over them.

#include "video/h263/H263Kernels.h"

#include <mutex>

#include "dsp_src/Kvr_Dsp.h"
#include "kvr_syst/Kvr_Cpu.h"

namespace vistrel::h263 {

namespace {

// The library's own level numbers: 0 selects its plain C kernels.
constexpr int kLibraryPlainC = 0;

// The library's H.263 quantiser family; only its transform kernels are used here.
constexpr int kLibraryH263Quantiser = 0;

void fillFromLibrary(H263Kernels* k, CpuLevel level) {
    // The library decides which of its variants the processor (and VISTREL_CPU) allows; the plain
    // level keeps to its C kernels.
    const int libraryLevel = level == CpuLevel::C ? kLibraryPlainC : Kvr_CPU_Level(Kvr_CPU_Query().Mask);
    KVR_QUANT_DSP quant;
    Kvr_Install_Quant_DSP(&quant, kLibraryH263Quantiser, libraryLevel);
    k->name = quant.Name;
    k->transform = quant.IDCT;
    k->put = quant.IDCT_Put;
    k->add = quant.IDCT_Add;
    KVR_MB_DSP dsp;
    Kvr_Install_MB_DSP(&dsp, libraryLevel);
    for (int p = 0; p < 4; ++p) {
        // Rounding mode 0 is H.263's: halves round up.
        k->predict16x8[p] = dsp.MC[KVR_MC_RND0][KVR_MC_16x8 + p];
        k->predict8x8[p] = dsp.MC[KVR_MC_RND0][KVR_MC_8x8 + p];
    }
    k->copy16x16 = dsp.Copy_16x16;
    k->copy8x8 = dsp.Copy_8x8;
}

H263Kernels build(CpuLevel level) {
    H263Kernels k{};
    fillFromLibrary(&k, level);
    FillH263KernelsC(&k);
#if defined(__x86_64__) || defined(__i386__)
    if (level >= CpuLevel::Sse2) FillH263KernelsSse2(&k);
#endif
    return k;
}

}  // namespace

const H263Kernels& H263KernelsFor(CpuLevel level) {
    static H263Kernels tables[kCpuLevelCount];
    static std::once_flag once[kCpuLevelCount];
    if (level > DetectedCpuLevel()) level = DetectedCpuLevel();
    const int i = static_cast<int>(level);
    std::call_once(once[i], [&] { tables[i] = build(level); });
    return tables[i];
}

const H263Kernels& ActiveH263Kernels() { return H263KernelsFor(ActiveCpuLevel()); }

}  // namespace vistrel::h263
