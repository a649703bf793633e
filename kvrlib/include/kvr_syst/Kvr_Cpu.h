// CPU feature detection and the level the kernel tables are chosen by.
#pragma once

enum {
    KVR_CPU_CPUID = 1,
    KVR_CPU_MMX = 2,
    KVR_CPU_SSE = 4,
    KVR_CPU_SSE2 = 8,
    KVR_CPU_3DNOW = 16,
    KVR_CPU_3DNOW2 = 32,
    // Later x86 extensions: level 4 (SSE2) tables take kernels of these families on top.
    KVR_CPU_SSSE3 = 64,
    KVR_CPU_SSE41 = 128,
    KVR_CPU_AVX2 = 256
};

struct KVR_CPU_INFO {
    int Mask;  // KVR_CPU_* bits
};

// Computed once on first use (probing the processor on x86, nothing elsewhere), then limited by the
// cap; Disable clears bits of the mask in the returned copy.
KVR_CPU_INFO Kvr_CPU_Query(int Disable = 0);
// Caps the mask that Kvr_CPU_Query reports: only the named extension and those below it stay.
// Names: "c" (none), "sse2", "ssse3", "sse41", "avx2"; null or "" lifts the cap. The environment
// variable VISTREL_CPU sets the first cap. Returns false (cap unchanged) for an unknown name. Tables
// installed before the call keep their kernels; Set_CPU(7) installs again under the new cap.
bool Kvr_CPU_Set_Cap(const char* Name);
// The mask of every extension up to and including the named one (-1 for an unknown name, all bits
// for null or "").
int Kvr_CPU_Cap_Mask(const char* Name);
// 4 with SSE2, else 3 with SSE, else 2 with MMX, else 0.
int Kvr_CPU_Level(int Mask);
