// Default and tracing allocators.
#include "kvr_syst/Kvr_Mem.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

#include "kvr_syst/Kvr_Except.h"
#include "kvr_syst/Kvr_Log.h"

namespace {
size_t Round8(size_t Size) { return (Size + 7) & ~size_t(7); }
const int KVR_TRC_FIRST_SLOTS = 100;
const long KVR_TRC_MAX_SLOTS = 0x1FFFFFFF;
}  // namespace

KVR_MEM_I::~KVR_MEM_I() {}

void* KVR_MEM_I::New(size_t Size) {
    // A request of 0 bytes still gets a distinct block so that callers never see null on success.
    const size_t Rounded = Round8(Size == 0 ? 1 : Size);
    void* P = std::malloc(Rounded);
    if (!P) Kvr_Mem_Failed("(KVR_DFLT_MEM)", long(Rounded));
    std::memset(P, 0xDE, Rounded);
    return P;
}

void KVR_MEM_I::Delete(void* Ptr, size_t Size) {
    if (!Ptr) return;
    std::memset(Ptr, 0xAD, Size);
    std::free(Ptr);
}

KVR_MEM_I* Kvr_Default_Mem() {
    static KVR_MEM_I Dflt;
    return &Dflt;
}

namespace {
// Decoders are made on several stream threads at once.
std::atomic<KVR_MEM_I*> Decoder_Mem{nullptr};
}  // namespace

void Kvr_Set_Decoder_Mem(KVR_MEM_I* Mem) { Decoder_Mem.store(Mem); }

KVR_MEM_I* Kvr_Decoder_Mem() { return Decoder_Mem.load(); }

KVR_MEM_TRC_I::KVR_MEM_TRC_I(int Verbose) : Verbose_(Verbose) {}

KVR_MEM_TRC_I::~KVR_MEM_TRC_I() {
    if (Nb_ > 0 && Verbose_ != 0) {
        Kvr_Log(nullptr, KVR_LOG_INFO,
                " Nb. Allocated: \t\t%ld bytes\n Nb. Max alloc: \t\t%ld bytes\n Left slots   :    \t\t%d.\n"
                " Max slots    :    \t\t%d.\n",
                Total_, Peak_, Nb_, Max_);
    }
    std::free(Slots_);
}

void* KVR_MEM_TRC_I::New(size_t Size) {
    if (Size == 0) return nullptr;
    const size_t Rounded = Round8(Size);
    void* P = std::malloc(Rounded);
    if (!P) Kvr_Mem_Failed("KVR_MEM_TRC", long(Rounded));
    std::memset(P, 0xDE, Rounded);
    Total_ += long(Rounded);
    if (Total_ > Peak_) Peak_ = Total_;
    if (Nb_ == Max_) {
        const long New_Max = Max_ == 0 ? KVR_TRC_FIRST_SLOTS : 2L * Max_;
        SLOT* Grown = New_Max > KVR_TRC_MAX_SLOTS
                          ? nullptr
                          : static_cast<SLOT*>(std::malloc(size_t(New_Max) * sizeof(SLOT)));
        if (!Grown) {
            if (Verbose_ != 0)
                Kvr_Log(nullptr, KVR_LOG_INFO, "Malloc failure during grow (%ld bytes)", New_Max * 8);
            return P;
        }
        if (Nb_ > 0) std::memcpy(Grown, Slots_, size_t(Nb_) * sizeof(SLOT));
        std::free(Slots_);
        Slots_ = Grown;
        Max_ = int(New_Max);
    }
    if (Verbose_ >= 2)
        Kvr_Log(nullptr, KVR_LOG_INFO, "Malloc'd %d bytes \tat %8p. \t\tTotal:%ld\n", int(Rounded), P, Total_);
    Slots_[Nb_++] = SLOT{P, long(Rounded)};
    return P;
}

void KVR_MEM_TRC_I::Delete(void* Ptr, size_t Size) {
    if (!Ptr) return;
    size_t Fill = Size;
    int Found = -1;
    for (int i = Nb_ - 1; i >= 0; --i)
        if (Slots_[i].Ptr == Ptr) {
            Found = i;
            break;
        }
    if (Found < 0) {
        if (Verbose_ != 0) Kvr_Log(nullptr, KVR_LOG_INFO, " Ptr %8p not found in _Delete()\n", Ptr);
    } else {
        const long Rounded = long(Round8(Size));
        if (Rounded != Slots_[Found].Size)
            Kvr_Log(nullptr, KVR_LOG_INFO, " Size %ld doesn't match stored one %ld!\n", Rounded,
                    Slots_[Found].Size);
        Total_ -= Slots_[Found].Size;
        if (Verbose_ >= 2)
            Kvr_Log(nullptr, KVR_LOG_INFO, "Free'd %ld bytes \tat %8p. \t\tTotal:%ld\n", Slots_[Found].Size, Ptr,
                    Total_);
        // Fill what was really allocated; a wrong size from the caller must not write past it.
        Fill = size_t(Slots_[Found].Size);
        Slots_[Found] = Slots_[Nb_ - 1];
        Slots_[Nb_ - 1] = SLOT{nullptr, 0};
        --Nb_;
    }
    std::memset(Ptr, 0xAD, Fill);
    std::free(Ptr);
}
