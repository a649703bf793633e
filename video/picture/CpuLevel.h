#pragma once
// Which SIMD level the video kernels may use: what the processor offers, capped by VISTREL_CPU.

namespace vistrel {

// Ordered: each level includes the ones below it.
enum class CpuLevel { C = 0, Sse2 = 1, Ssse3 = 2, Sse41 = 3, Avx2 = 4 };
inline constexpr int kCpuLevelCount = 5;

// The highest level the processor and the operating system support.
CpuLevel DetectedCpuLevel();

// Parses a VISTREL_CPU value ("c", "sse2", "ssse3", "sse41", "avx2"); false for anything else.
bool ParseCpuLevel(const char* text, CpuLevel* level);

// The level kernel tables are chosen for: the detected one, lowered to VISTREL_CPU when that names
// a lower level (an unknown or higher value changes nothing). Read once per process.
CpuLevel ActiveCpuLevel();

// "c", "sse2", ... as VISTREL_CPU spells them.
const char* CpuLevelName(CpuLevel level);

}  // namespace vistrel

// VISTREL_TARGET_BEGIN("avx2") ... VISTREL_TARGET_END builds the functions between them (lambdas and
// templates included) for that instruction set, leaving everything included above at the baseline.
// GCC and clang each ignore the other's spelling, so a kernel file that named only one failed to
// build with the other.
#define VISTREL_PRAGMA_TEXT(...) #__VA_ARGS__
#if defined(__clang__)
#define VISTREL_TARGET_BEGIN(isa) \
    _Pragma(VISTREL_PRAGMA_TEXT(clang attribute push(__attribute__((target(isa))), apply_to = function)))
#define VISTREL_TARGET_END _Pragma("clang attribute pop")
#else
#define VISTREL_TARGET_BEGIN(isa) _Pragma("GCC push_options") _Pragma(VISTREL_PRAGMA_TEXT(GCC target(isa)))
#define VISTREL_TARGET_END _Pragma("GCC pop_options")
#endif
