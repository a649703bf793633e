// CPU description, level detection, drivers and the destroyable registry.
#include "kvr_syst/Kvr_Cpu.h"

#include <cstdio>

namespace {
const char* const Cpu_Names[] = {"INTEL", "AMD", "K6", "ATHLON", "CYRIX", "MIPS",
                                 "SPARC", "ALPHA", "HP", "Unknown"};
const char* const Feature_Names[] = {"CPUID", "MMX", "SSE", "SSE2", "3dNow!", "3dNow2!"};
KVR_CPU_INFO Cpu_Info = {9, 0};
bool Cpu_Known = false;
KVR_DESTROYABLE* Registry = nullptr;
bool Registry_Active = true;
}  // namespace

KVR_CPU_INFO Kvr_CPU_Query(int Disable) {
    if (!Cpu_Known) {
        // No probing: the plain C kernels are the only ones, whatever the processor offers.
        Cpu_Info = {0, 0};
        Cpu_Known = true;
    }
    KVR_CPU_INFO Info = Cpu_Info;
    Info.Mask &= ~Disable;
    return Info;
}

int Kvr_CPU_Level(int Mask) {
    if (Mask & KVR_CPU_SSE2) return 4;
    if (Mask & KVR_CPU_SSE) return 3;
    if (Mask & KVR_CPU_MMX) return 2;
    return 0;
}

void Kvr_CPU_Dump() {
    const KVR_CPU_INFO Info = Kvr_CPU_Query();
    std::printf("CPU type: %s\n", Cpu_Names[Info.Type]);
    std::printf("Vendor  : %s\n", "Unknown");
    std::printf("Model   : %s\n", "Unknown");
    std::printf("Ext.    : ");
    for (int i = 0; i < 6; ++i)
        if (Info.Mask & (1 << i)) std::printf("%s ", Feature_Names[i]);
    std::printf("\n");
}

KVR_DESTROYABLE::KVR_DESTROYABLE() {
    Next_ = Registry;
    Registry = this;
}

KVR_DESTROYABLE::~KVR_DESTROYABLE() {
    if (!Registry_Active) return;
    for (KVR_DESTROYABLE** P = &Registry; *P; P = &(*P)->Next_)
        if (*P == this) { *P = Next_; break; }
}

void Kvr_Destroy_All() {
    Registry_Active = false;
    while (Registry) {
        KVR_DESTROYABLE* D = Registry;
        Registry = D->Next_;
        D->Next_ = nullptr;
        D->Release();
    }
}

void KVR_DRIVER_I::Wake_Up() {
    std::printf("Waking up driver '%s'\n", Name_);
    Init_ = 1;
}
void KVR_DRIVER_I::Sleep() {
    std::printf("Driver '%s' is now sleeping\n", Name_);
    Init_ = 0;
}
void KVR_DRIVER_I::Print_Status() const {
    std::printf("Driver: %s (%s).\n", Name_, Init_ ? "Initialized" : "Uninitialized");
}
