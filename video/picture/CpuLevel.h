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
