// CPU description, level detection and the driver/destroyable registry of the library.
#pragma once

enum { KVR_CPU_CPUID = 1, KVR_CPU_MMX = 2, KVR_CPU_SSE = 4, KVR_CPU_SSE2 = 8,
       KVR_CPU_3DNOW = 16, KVR_CPU_3DNOW2 = 32 };

struct KVR_CPU_INFO {
    int Type;   // index into "INTEL", "AMD", ..., "Unknown"
    int Mask;   // KVR_CPU_* bits
};

// Computed once on first use; Disable clears bits of the mask in the returned copy.
KVR_CPU_INFO Kvr_CPU_Query(int Disable = 0);
// 4 with SSE2, else 3 with SSE, else 2 with MMX, else 0.
int Kvr_CPU_Level(int Mask);
void Kvr_CPU_Dump();

// Objects that can be released all at once by Kvr_Destroy_All (most recent first).
class KVR_DESTROYABLE {
public:
    KVR_DESTROYABLE();
    virtual void Release() {}
    virtual ~KVR_DESTROYABLE();
    KVR_DESTROYABLE(const KVR_DESTROYABLE&) = delete;
    KVR_DESTROYABLE& operator=(const KVR_DESTROYABLE&) = delete;
private:
    friend void Kvr_Destroy_All();
    KVR_DESTROYABLE* Next_ = nullptr;
};
void Kvr_Destroy_All();

class KVR_DRIVER_I {
public:
    explicit KVR_DRIVER_I(const char* Name) : Name_(Name) {}
    virtual ~KVR_DRIVER_I() = default;
    void Wake_Up();
    void Sleep();
    void Print_Status() const;
    const char* Name() const { return Name_; }
    int Initialized() const { return Init_; }
private:
    const char* Name_;
    int Init_ = 0;
};
