#include "video/picture/CpuLevel.h"

#include <cstdlib>
#include <cstring>

namespace vistrel {

namespace {

constexpr const char* kNames[kCpuLevelCount] = {"c", "sse2", "ssse3", "sse41", "avx2"};

CpuLevel detect() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_cpu_init();
    // __builtin_cpu_supports("avx2") also checks that the system saves the wide registers.
    if (__builtin_cpu_supports("avx2")) return CpuLevel::Avx2;
    if (__builtin_cpu_supports("sse4.1")) return CpuLevel::Sse41;
    if (__builtin_cpu_supports("ssse3")) return CpuLevel::Ssse3;
    if (__builtin_cpu_supports("sse2")) return CpuLevel::Sse2;
#endif
    return CpuLevel::C;
}

}  // namespace

CpuLevel DetectedCpuLevel() {
    static const CpuLevel level = detect();
    return level;
}

bool ParseCpuLevel(const char* text, CpuLevel* level) {
    if (text == nullptr) return false;
    for (int i = 0; i < kCpuLevelCount; ++i) {
        if (std::strcmp(text, kNames[i]) == 0) {
            *level = static_cast<CpuLevel>(i);
            return true;
        }
    }
    return false;
}

CpuLevel ActiveCpuLevel() {
    static const CpuLevel level = [] {
        const CpuLevel detected = DetectedCpuLevel();
        CpuLevel cap = detected;
        if (!ParseCpuLevel(std::getenv("VISTREL_CPU"), &cap) || cap > detected) return detected;
        return cap;
    }();
    return level;
}

const char* CpuLevelName(CpuLevel level) {
    const int i = static_cast<int>(level);
    return i >= 0 && i < kCpuLevelCount ? kNames[i] : "?";
}

}  // namespace vistrel
