// CPU feature detection, the level it gives, and the cap that tests and users put on it.
#include "kvr_syst/Kvr_Cpu.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace {
// Decoders are made on several stream threads at once, so the first use must be race-free.
std::atomic<int> Cpu_Cap{~0};  // bits the cap lets through
std::once_flag Cap_From_Environment;

int Probe_Mask() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_cpu_init();
    int M = KVR_CPU_CPUID;
    if (__builtin_cpu_supports("mmx")) M |= KVR_CPU_MMX;
    if (__builtin_cpu_supports("sse")) M |= KVR_CPU_SSE;
    if (__builtin_cpu_supports("sse2")) M |= KVR_CPU_SSE2;
    if (__builtin_cpu_supports("ssse3")) M |= KVR_CPU_SSSE3;
    if (__builtin_cpu_supports("sse4.1")) M |= KVR_CPU_SSE41;
    // AVX2 also needs the operating system to save the wide registers; the builtin checks that.
    if (__builtin_cpu_supports("avx2")) M |= KVR_CPU_AVX2;
    return M;
#else
    return 0;
#endif
}

}  // namespace

int Kvr_CPU_Cap_Mask(const char* Name) {
    if (!Name || !*Name) return ~0;
    // Each name keeps itself and everything below it; CPUID, MMX and SSE ride along with SSE2.
    const int Base = KVR_CPU_CPUID | KVR_CPU_MMX | KVR_CPU_SSE | KVR_CPU_SSE2;
    if (!std::strcmp(Name, "c")) return 0;
    if (!std::strcmp(Name, "sse2")) return Base;
    if (!std::strcmp(Name, "ssse3")) return Base | KVR_CPU_SSSE3;
    if (!std::strcmp(Name, "sse41")) return Base | KVR_CPU_SSSE3 | KVR_CPU_SSE41;
    if (!std::strcmp(Name, "avx2")) return Base | KVR_CPU_SSSE3 | KVR_CPU_SSE41 | KVR_CPU_AVX2;
    return -1;
}

namespace {
// VISTREL_CPU is read once, before any explicit cap, so that it never overrides one.
void Read_Cap_From_Environment() {
    std::call_once(Cap_From_Environment, [] {
        // An unknown value caps nothing rather than failing: the variable is a testing aid.
        const int M = Kvr_CPU_Cap_Mask(std::getenv("VISTREL_CPU"));
        Cpu_Cap.store(M == -1 ? ~0 : M);
    });
}
}  // namespace

bool Kvr_CPU_Set_Cap(const char* Name) {
    const int M = Kvr_CPU_Cap_Mask(Name);
    if (M == -1 && Name && *Name) return false;
    Read_Cap_From_Environment();
    Cpu_Cap.store(M);
    return true;
}

KVR_CPU_INFO Kvr_CPU_Query(int Disable) {
    static const KVR_CPU_INFO Probed = {Probe_Mask()};
    Read_Cap_From_Environment();
    KVR_CPU_INFO Info = Probed;
    Info.Mask &= Cpu_Cap.load() & ~Disable;
    return Info;
}

int Kvr_CPU_Level(int Mask) {
    if (Mask & KVR_CPU_SSE2) return 4;
    if (Mask & KVR_CPU_SSE) return 3;
    if (Mask & KVR_CPU_MMX) return 2;
    return 0;
}
