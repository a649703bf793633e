// Decoder object: construction, start-code dispatch of the decode entry, output and flush.
#include "mpg_src/Kvr_MP4_Dec_I.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "kvr_syst/Kvr_Cpu.h"
#include "kvr_syst/Kvr_Except.h"
#include "kvr_syst/Kvr_Mem.h"
#include "mpg_src/Kvr_Start_Codes.h"

namespace {
const uint32_t KVR_SCAN_START = 0xDEADC0DE;
const uint32_t KVR_SCAN_RESUME = 0xD3ADC0D3;
const int KVR_SIMPLE_PROFILE_MAX = 15;
}  // namespace

KVR_MP4_DEC_I::KVR_MP4_DEC_I() {
    S.Mem = Kvr_Decoder_Mem();
    S.Cpu = 7;
    S.Slicer = nullptr;
    S.Slicer_Data = 0;
    S.Q_Base = static_cast<int16_t*>(std::malloc(KVR_Q_BASE_BYTES));
    if (!S.Q_Base) Kvr_Mem_Failed("Q_Base", KVR_Q_BASE_BYTES);
    std::memset(S.Q_Base, 0, KVR_Q_BASE_BYTES);
    S.Q_Inter = S.Q_Base + KVR_Q_TABLE_BYTES / 2;
    Kvr_Reset_VOL(&S);
    S.VOL.Quant_Type = 1;
    std::memcpy(S.VOL.Intra_Mat, Kvr_Default_Intra_Mat, 64);
    std::memcpy(S.VOL.Inter_Mat, Kvr_Default_Inter_Mat, 64);
    S.Cpu = -1;  // forces the first installation
    // The detected level (capped by VISTREL_CPU): clients get the SIMD kernels without asking, and
    // Set_CPU(0) still selects the plain C tables.
    Set_CPU(7);
    S.Frame_Nb = 0;
    S.Sec_Base = S.Past_Time = S.B_Time_Dist = 0;
    S.Last = nullptr;
    S.VOP = KVR_MP4_VOP();
    Kvr_Reset_Slots(&S);
}

KVR_MP4_DEC_I::~KVR_MP4_DEC_I() {
    Kvr_Free_Retired(&S);
    Kvr_Release_Store(&S);
    std::free(S.Q_Base);
}

KVR_MP4_DEC* Kvr_MP4_New_Decoder() { return new (std::nothrow) KVR_MP4_DEC_I(); }

void Kvr_MP4_Delete_Decoder(KVR_MP4_DEC* Dec) { delete Dec; }

int KVR_MP4_DEC_I::Decode(const uint8_t* Buf, int Len) {
    if (!(S.MPEG_Version == 0 || S.MPEG_Version == 4))
        Kvr_Assert_Failed("MPEG_Version==0 || MPEG_Version==4", "kvr_mpg4_dec", __LINE__);
    // A picture of the store a size change replaced is valid until the next call; one not taken
    // yet is still handed out by this call (see below).
    if (S.Retired_Base && S.Last != &S.Retired_Pic) Kvr_Free_Retired(&S);
    if (Len <= 0 || !Buf) {
        if (S.Last == &S.Retired_Pic) return 0;
        // The picture held back is always the latest anchor: after a B-VOP that is Bwd, not Cur.
        S.Last = S.Cur ? S.Bwd : nullptr;
        if (S.Last) {
            S.Last->MB_Map = nullptr;
            S.Last->MV_Map = nullptr;
            if (!S.Pic_Ok[Kvr_Pic_Index(&S, S.Last)]) S.Last = nullptr;
        }
        S.Cur = nullptr;
        S.Frame_Nb++;
        return 0;
    }
    const uint8_t* const End = Buf + Len;
    const uint8_t* P = Buf;
    uint32_t W = KVR_SCAN_START;
    while (P < End) {
        W = (W << 8) | *P++;
        if (P >= End) return Len;
        if (!Kvr_Is_Start_Code(W)) continue;
        KVR_BITS B;
        B.Open(P, size_t(End - P));
        const uint32_t Code = W;
        W = KVR_SCAN_RESUME;
        if (Code == KVR_VOS_START) {
            if (*P > KVR_SIMPLE_PROFILE_MAX)
                Kvr_Log(&S.Log, KVR_LOG_INFO,
                        "Warning: Only Simple Profile is supported. Stream Profile is: 0x%x\n", *P);
            ++P;
            W = KVR_SCAN_START;
            continue;
        }
        if (Code == KVR_VOS_END || Code == KVR_USER_DATA_START) continue;
        // Before the first layer header only the sequence, object and layer headers mean anything.
        if (Code >= KVR_RESERVED_START_FIRST && S.VOL.Id == -1) continue;
        if (Code == KVR_GOV_START) {
            Kvr_Read_GOV(&S, &B);
            S.Sec_Base = 0;
        } else if (Code == KVR_VISUAL_OBJECT_START) {
            if (!Kvr_Read_VO(&S, &B)) continue;
        } else if (Code == KVR_VOP_START) {
            if (!S.VOL_Ok) continue;  // no usable layer header: nothing to decode into
            if (S.Retired_Base) Kvr_Free_Retired(&S);
            if (Kvr_Decode_VOP(&S, &B)) return int(P - Buf) + int(B.Byte_Offset());
            continue;
        } else if (Kvr_Is_VOL_Start(Code)) {
            const int id = int(Code - KVR_VOL_START_FIRST);
            KVR_ASSERT_TEXT("kvr_mpg4_dec", id >= 0 && id <= 0x1f, "id>=0 && id<=0x1f");
            S.MPEG_Version = 4;
            Kvr_Reset_VOL(&S);
            S.VOL.Id = id;
            S.VOL_Ok = 0;
            if (!Kvr_Read_VOL(&S, &B)) return int(P - Buf);
            S.VOL_Ok = 1;
            // The layer changed the picture size and released the picture held back for the old
            // one: return so that the caller takes it before a picture of the new size comes.
            if (S.Last == &S.Retired_Pic) return int(P - Buf) + int(B.Byte_Offset());
        } else if (Kvr_Is_VO_Start(Code)) {
            continue;
        } else if (Kvr_Is_Reserved_Start(Code)) {
            Kvr_Log(&S.Log, KVR_LOG_WARNING, "Unexpected MPEG2 code 0x%x.\n", Code);
            continue;
        } else {
            Kvr_Log(&S.Log, KVR_LOG_WARNING, "Unexpected system code 0x%x. Is stream still multiplexed?\n", Code);
            continue;
        }
        P += B.Byte_Offset();
    }
    return Len;
}

int KVR_MP4_DEC_I::Decode_MPEG12(const uint8_t*, int) {
    if (!(S.MPEG_Version <= 2)) Kvr_Assert_Failed("MPEG_Version<=2", "kvr_mpg4_v12", __LINE__);
    throw KVR_UNSUPPORTED_EXCEPTION("MPEG-1/2 decoding not supported");
}

int KVR_MP4_DEC_I::Get_Frame_Number() const { return S.Frame_Nb; }

int KVR_MP4_DEC_I::Is_Frame_Ready() const { return S.Last != nullptr ? 1 : 0; }

void KVR_MP4_DEC_I::Consume_Frame(KVR_MP4_FRAME* Pic) {
    KVR_ASSERT_TEXT("kvr_mpg4_dec", Is_Frame_Ready() && Pic != 0, "Is_Frame_Ready() && Pic!=0");
    *Pic = *S.Last;
    S.Last = nullptr;
}

KVR_MEM_I* KVR_MP4_DEC_I::Set_Memory_Manager(KVR_MEM_I* Mem) {
    KVR_MEM_I* Old = S.Mem;
    // The store must go back to whoever allocated it: release it now, the next layer header rebuilds.
    Kvr_Free_Retired(&S);
    if (Mem != Old && S.Pic_Base) {
        Kvr_Release_Store(&S);
        S.VOL_Ok = 0;
    }
    S.Mem = Mem;
    return Old;
}

void KVR_MP4_DEC_I::Set_CPU(int Cpu) {
    if (Cpu == 7) Cpu = Kvr_CPU_Level(Kvr_CPU_Query().Mask);
    if (Cpu == S.Cpu) return;
    S.Cpu = Cpu;
    Kvr_Install_IMG_DSP(&S.Img_Dsp, Cpu);
    Kvr_Install_MB_DSP(&S.MB_Dsp, Cpu);
    Kvr_Install_GMC_DSP(&S.GMC_Dsp, Cpu);
    Kvr_Install_Quant_DSP(&S.Quant_Dsp, S.VOL.Quant_Type, Cpu);
    S.Quant_Dsp.Setup_Matrix(S.Q_Base, S.VOL.Intra_Mat, 1);
    S.Quant_Dsp.Setup_Matrix(S.Q_Inter, S.VOL.Inter_Mat, 0);
    S.MC = S.MB_Dsp.MC[S.VOP.Rounding ? KVR_MC_RND1 : KVR_MC_RND0];
    S.MC_Avg = S.MB_Dsp.MC[KVR_MC_AVG];
}

void KVR_MP4_DEC_I::Set_Slicer(KVR_SLICER Slicer, uint32_t Data) {
    S.Slicer = Slicer;
    S.Slicer_Data = Data;
}

void KVR_MP4_DEC_I::Set_Debug_Level(int Level) { S.Debug = Level; }

void KVR_MP4_DEC_I::Get_All_Frames(KVR_MP4_FRAME* Pic) const {
    KVR_ASSERT_TEXT("kvr_mpg4_dec", Pic != 0, "Pic!=0");
    Pic->Y = S.Pic_Base;
    Pic->U = Pic->V = nullptr;
    Pic->MB_Map = Pic->MV_Map = nullptr;
    Pic->Width = S.BpS;
    Pic->Height = (S.Height * 3 / 2 + 48) * S.Nb_Pics;
    Pic->BpS = S.BpS;
}

int KVR_MP4_DEC_I::Set_Param(const char*) { return 0; }
