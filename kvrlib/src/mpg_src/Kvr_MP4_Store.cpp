// Picture store: three bordered pictures and the macroblock/vector maps in one allocation.
#include <cstdlib>
#include <cstring>

#include "kvr_syst/Kvr_Except.h"
#include "mpg_src/Kvr_MP4_State.h"

void* Kvr_Alloc(KVR_MP4_STATE* D, size_t Size, const char* Name) {
    if (D->Mem) return D->Mem->New(Size);
    void* P = std::malloc(Size ? Size : 1);
    if (!P) Kvr_Mem_Failed(Name, long(Size));
    return P;
}

void Kvr_Free(KVR_MP4_STATE* D, void* Ptr, size_t Size) {
    if (!Ptr) return;
    if (D->Mem) D->Mem->Delete(Ptr, Size);
    else std::free(Ptr);
}

void Kvr_Reset_Slots(KVR_MP4_STATE* D) {
    D->Fwd = &D->Pics[0];
    D->Bwd = &D->Pics[1];
    D->B_Spare = &D->Pics[2];
    D->Cur = nullptr;
    D->Last = nullptr;
    for (int& Ok : D->Pic_Ok) Ok = 0;
}

int Kvr_Pic_Index(const KVR_MP4_STATE* D, const KVR_MP4_FRAME* Pic) { return Pic ? int(Pic - D->Pics) : -1; }

void Kvr_Free_Retired(KVR_MP4_STATE* D) {
    if (D->Last == &D->Retired_Pic) D->Last = nullptr;
    Kvr_Free(D, D->Retired_Base, D->Retired_Size);
    D->Retired_Base = nullptr;
    D->Retired_Size = 0;
    D->Retired_Pic = KVR_MP4_FRAME();
}

namespace {
// The latest anchor is held back until the next picture (or the flush) releases it. A new store
// would lose it, so its store is kept aside and the picture made ready before the rebuild.
void Retire_Held_Picture(KVR_MP4_STATE* D) {
    Kvr_Free_Retired(D);
    if (!D->Pic_Base || !D->Cur || !D->Bwd || !D->Pic_Ok[Kvr_Pic_Index(D, D->Bwd)]) return;
    D->Retired_Pic = *D->Bwd;
    D->Retired_Pic.MB_Map = nullptr;
    D->Retired_Pic.MV_Map = nullptr;
    D->Retired_Base = D->Pic_Base;
    D->Retired_Size = D->Pic_Size;
    D->Pic_Base = nullptr;
    D->Pic_Size = 0;
}
}  // namespace

void Kvr_Release_Store(KVR_MP4_STATE* D) {
    Kvr_Free(D, D->Pic_Base, D->Pic_Size);
    Kvr_Free(D, D->MB_Data, D->MB_Data_Bytes);
    D->Pic_Base = nullptr;
    D->Pic_Size = 0;
    D->MB_Data = nullptr;
    D->MB_Data_Bytes = 0;
    D->Nb_Pics = D->Nb_Maps = 0;
    D->MB_W = D->MB_H = 0;
    std::memset(D->Maps, 0, sizeof(D->Maps));
    std::memset(D->Pics, 0, sizeof(D->Pics));
    Kvr_Reset_Slots(D);
}

void Kvr_Build_Store(KVR_MP4_STATE* D, int Width, int Height, int Nb_Pics, int Nb_Maps) {
    KVR_ASSERT_TEXT("kvr_mpg4_dec", Nb_Pics <= MAX_PICS && Nb_Maps <= MAX_MAPS,
                    "Nb_Pics<=MAX_PICS && Nb_Maps<=MAX_MAPS");
    const int MB_W = (Width + 15) / 16, MB_H = (Height + 15) / 16;
    // MB_Data is checked too: a store whose second allocation failed is not a store.
    if (D->Pic_Base && D->MB_Data && MB_W == D->MB_W && MB_H == D->MB_H && Nb_Pics == D->Nb_Pics &&
        Nb_Maps == D->Nb_Maps)
        return;
    Retire_Held_Picture(D);
    Kvr_Release_Store(D);
    const int BpS = (MB_W + 2) * 16;
    const size_t Pic_Bytes = size_t(24) * (MB_H + 2) * BpS;
    const size_t MV_Bytes = size_t(16) * (MB_W + 2) * (MB_H + 2);
    const size_t Info_Bytes = size_t(20) * MB_W * MB_H;
    const size_t Total = Nb_Pics * Pic_Bytes + Nb_Maps * (MV_Bytes + Info_Bytes);
    D->Pic_Base = static_cast<uint8_t*>(Kvr_Alloc(D, Total, "Pic_Base"));
    D->Pic_Size = Total;
    D->Pic_Bytes = Pic_Bytes;
    D->Width = Width;
    D->Height = Height;
    D->MB_W = MB_W;
    D->MB_H = MB_H;
    D->BpS = BpS;
    D->MV_Stride = (MB_W + 2) * 2;
    D->Nb_Pics = Nb_Pics;
    D->Nb_Maps = Nb_Maps;
    // Black pictures: a reference that is used before anything was decoded into it stays harmless.
    for (int i = 0; i < Nb_Pics; ++i) {
        uint8_t* S = D->Pic_Base + i * Pic_Bytes;
        const size_t Luma = size_t(MB_H + 2) * 16 * BpS;
        std::memset(S, 16, Luma);
        std::memset(S + Luma, 128, Pic_Bytes - Luma);
        KVR_MP4_FRAME& F = D->Pics[i];
        F.Y = S + 16 * BpS + 16;
        F.U = S + size_t(MB_W + 2) * (MB_H + 2) * 256 + 8 * BpS + 8;
        F.V = F.U + (MB_W + 2) * 8;
        F.Width = Width;
        F.Height = Height;
        F.BpS = BpS;
        F.Time_Ticks = D->Sec_Base * D->VOL.Time_Res;
        F.Time = double(D->Sec_Base);
    }
    uint8_t* M = D->Pic_Base + Nb_Pics * Pic_Bytes;
    for (int i = 0; i < Nb_Maps; ++i) {
        D->Maps[i].MV_Map = reinterpret_cast<KVR_MV*>(M);
        std::memset(M, 0, MV_Bytes);
        // The ring around the picture means "not available" to vector prediction.
        for (int Bx = -1; Bx <= 2 * MB_W; ++Bx) {
            std::memcpy(Kvr_MV_At(D, i, Bx, -1), &KVR_MV_NONE, 4);
            std::memcpy(Kvr_MV_At(D, i, Bx, 2 * MB_H), &KVR_MV_NONE, 4);
        }
        for (int By = 0; By < 2 * MB_H; ++By) {
            std::memcpy(Kvr_MV_At(D, i, -1, By), &KVR_MV_NONE, 4);
            std::memcpy(Kvr_MV_At(D, i, 2 * MB_W, By), &KVR_MV_NONE, 4);
        }
        M += MV_Bytes;
    }
    for (int i = 0; i < Nb_Maps; ++i) {
        D->Maps[i].MB_Map = reinterpret_cast<KVR_MB_INFO*>(M);
        std::memset(M, 0, Info_Bytes);
        M += Info_Bytes;
    }
    D->MB_Data_Bytes = size_t(2) * (MB_W + 1) * sizeof(KVR_MB_PREDS);
    D->MB_Data = static_cast<KVR_MB_PREDS*>(Kvr_Alloc(D, D->MB_Data_Bytes, "KVR_MB_DATA"));
    std::memset(D->MB_Data, 0, D->MB_Data_Bytes);
    Kvr_Reset_Slots(D);
    if (D->Retired_Base) D->Last = &D->Retired_Pic;
}
