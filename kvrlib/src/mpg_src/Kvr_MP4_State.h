// Decoder state of the MPEG-4 video decoder: stream layer parameters, picture store, kernels.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>

#include "dsp_src/Kvr_Dsp.h"
#include "kvr_syst/Kvr_Bits.h"
#include "kvr_syst/Kvr_MP4_Dec.h"

enum { MAX_PICS = 3, MAX_MAPS = 2 };
// Larger layers are refused: a damaged size field must not make the store take hundreds of megabytes.
enum { KVR_MAX_WIDTH = 2048, KVR_MAX_HEIGHT = 2048 };

// Video object layer: reset before every layer header (quantiser type and matrices carry over).
struct KVR_MP4_VOL {
    int Id = -1;
    int Verid = 1;
    int Shape = 0;
    int Low_Delay = 1;
    int Time_Res = 25;
    int Time_Bits = 5;
    int Fixed_Incr = 0;
    int Interlaced = 0;
    int Obmc_Disable = 1;
    int Not_8b = 0;
    int Quant_Prec = 5;
    int Bpp = 8;
    int Quant_Type = 1;       // 0 H.263, 1 MPEG
    uint8_t Intra_Mat[64];    // raster order
    uint8_t Inter_Mat[64];    // raster order
    int Quarter = 0;          // quarter-sample vectors
    int Complexity_Mask = 0;  // bits of the complexity-estimation flags read (0 = disabled)
    int Complexity_Method = 0;
    int Resync = 0;  // resync markers enabled
    int Partitioned = 0;
    int RVLC = 0;
    int Sprite_Enable = 0;  // 0 none, 1 static, 2 GMC
    int Sprite_Nb_Pts = 0;
    int Sprite_Accuracy = 3;
    int Sprite_Brightness = 0;
    int Low_Latency_Sprite = 0;
    int Sprite_Mode = 1;
    int Newpred = 0;
    int Reduced_VOP = -1;  // -1 off, 0 when the layer allows reduced-resolution pictures
    int Enhancement_Type = -1;
    int Scalability = 0;
};

struct KVR_MP4_VOP {
    int Coding = I_VOP;
    int64_t Time_Ticks = 0;
    int Coded = 1;
    int Quant = -1;
    int Fwd_Code = -1;
    int Bwd_Code = -1;
    int Rounding = 0;
    int Reduced_VOP = -1;  // this picture: 0/1, -1 when the layer disables it
    int DC_Thresh = 512;   // translated intra_dc_vlc_thr
    int Top_Field_First = 1;
    int Alt_Scan = 0;
    int Warp_Pts[4][2] = {};  // GMC warping points (du, dv)
    int Brightness = 0;       // sprite brightness change factor
};

struct KVR_MV {
    int16_t X, Y;
};
const uint32_t KVR_MV_NONE = 0x7FFF7FFF;

// Macroblock-info map entry (20 bytes per macroblock, row-major, no border).
struct KVR_MB_INFO {
    uint8_t Class;  // 0 not coded, 1 intra, 3 one vector, 5 four vectors (GMC: 0)
    uint8_t Field;  // field-prediction bits: bit 0 field predicted, bit 1/2 top/bottom field select
    uint8_t Quant;
    uint8_t Type;        // macroblock type (0..4, 6 skipped)
    KVR_MV Field_MV[2];  // field vectors (top, bottom) of a field-predicted macroblock
    uint8_t Lost;        // lost to damage in the anchor being decoded, concealed when its loop ends (Kvr_Conceal.h)
    uint8_t Reserved[7];
};
static_assert(sizeof(KVR_MB_INFO) == 20, "the map entry is 20 bytes");

// AC/DC predictor of one 8x8 intra block. Quant 0 means not available (DC predicts 1024, no AC).
struct KVR_MB_PRED {
    int16_t Quant;
    int16_t DC;      // DC level x DC scaler
    int16_t Row[7];  // levels 1..7 of the first row
    int16_t Col[7];  // levels 8, 16, ..., 56 of the first column
};
// Per macroblock the six block predictors Y0..Y3, Cb, Cr.
struct KVR_MB_PREDS {
    KVR_MB_PRED B[6];
};

struct KVR_MP4_STATE {
    KVR_MEM_I* Mem = nullptr;  // null = process heap
    int Width = 0, Height = 0;
    int MB_W = 0, MB_H = 0;
    int BpS = 0;        // bytes per line of every plane
    int MV_Stride = 0;  // motion-vector map entries per row
    int Frame_Nb = 0;

    KVR_MP4_FRAME Pics[MAX_PICS] = {};
    KVR_MP4_FRAME* Fwd = nullptr;      // past reference
    KVR_MP4_FRAME* Cur = nullptr;      // picture written by the current VOP
    KVR_MP4_FRAME* Bwd = nullptr;      // future reference (latest anchor)
    KVR_MP4_FRAME* B_Spare = nullptr;  // target of B-VOPs
    KVR_MP4_FRAME* Last = nullptr;     // ready for output

    int Coding = I_VOP;
    KVR_MP4_VOL VOL;
    KVR_MP4_VOP VOP;
    int MPEG_Version = 0;
    int VOL_Ok = 0;  // a layer header was accepted and the store is built

    int64_t Sec_Base = 0;   // whole seconds of the current time base
    int64_t Past_Time = 0;  // time of the past reference, ticks
    int64_t B_Time_Dist = 0;

    int Nb_Pics = 0, Nb_Maps = 0;
    uint8_t* Pic_Base = nullptr;
    size_t Pic_Size = 0;   // bytes of the whole store
    size_t Pic_Bytes = 0;  // bytes of one bordered picture
    struct {
        KVR_MB_INFO* MB_Map;
        KVR_MV* MV_Map;
    } Maps[MAX_MAPS] = {};
    KVR_MB_PREDS* MB_Data = nullptr;  // two rows of (MB_W + 1) predictor sets
    size_t MB_Data_Bytes = 0;
    int Pic_Ok[MAX_PICS] = {};  // picture holds decoded content (usable as reference)
    // The store a size change replaced, kept while the picture it held back for output waits in
    // Retired_Pic to be taken (Last then points there); freed by the next Decode call.
    uint8_t* Retired_Base = nullptr;
    size_t Retired_Size = 0;
    KVR_MP4_FRAME Retired_Pic = {};

    int16_t* Q_Base = nullptr;   // KVR_Q_BASE_BYTES; intra table first
    int16_t* Q_Inter = nullptr;  // Q_Base + KVR_Q_TABLE_BYTES

    int Cpu = 7;
    KVR_IMG_DSP Img_Dsp = {};
    KVR_MB_DSP MB_Dsp = {};
    KVR_GMC_DSP GMC_Dsp = {};
    KVR_QUANT_DSP Quant_Dsp = {};
    const KVR_MC_FN* MC = nullptr;      // sub-table for the current VOP's rounding
    const KVR_MC_FN* MC_Avg = nullptr;  // averaging sub-table

    // First stream error of the VOP being decoded when its macroblock loop concealed the damage and
    // went on; raised once the concealed picture is out (decoding thread, like the rest of the state).
    std::exception_ptr Damage;

    KVR_SLICER Slicer = nullptr;
    uint32_t Slicer_Data = 0;
    int Debug = 0;

    // Scratch of the macroblock loops, here so that no allocation happens per picture.
    alignas(16) int16_t Blocks[6][64];

    KVR_LOG_HOOK Log;  // set by Kvr_Set_Log; null Fn = the process-wide hook
};

// Motion-vector map origin of picture map set Set: entry (2 * MB column, 2 * MB row) of block 0.
inline KVR_MV* Kvr_MV_At(KVR_MP4_STATE* D, int Set, int Bx, int By) {
    return D->Maps[Set].MV_Map + (By + 2) * D->MV_Stride + Bx + 2;
}

// Picture store and reference handling (Kvr_MP4_Store.cpp).
void Kvr_Build_Store(KVR_MP4_STATE* D, int Width, int Height, int Nb_Pics, int Nb_Maps);
void Kvr_Release_Store(KVR_MP4_STATE* D);
void Kvr_Reset_Slots(KVR_MP4_STATE* D);
void Kvr_Free_Retired(KVR_MP4_STATE* D);
void* Kvr_Alloc(KVR_MP4_STATE* D, size_t Size, const char* Name);
void Kvr_Free(KVR_MP4_STATE* D, void* Ptr, size_t Size);
int Kvr_Pic_Index(const KVR_MP4_STATE* D, const KVR_MP4_FRAME* Pic);

// Headers (Kvr_MP4_Headers.cpp). Return 1 accepted/decoded, 0 refused.
int Kvr_Read_VO(KVR_MP4_STATE* D, KVR_BITS* B);
int Kvr_Read_VOL(KVR_MP4_STATE* D, KVR_BITS* B);
void Kvr_Read_GOV(KVR_MP4_STATE* D, KVR_BITS* B);
int Kvr_Decode_VOP(KVR_MP4_STATE* D, KVR_BITS* B);
void Kvr_Reset_VOL(KVR_MP4_STATE* D);
void Kvr_Set_Quant_Type(KVR_MP4_STATE* D, int Type);
void Kvr_Install_Matrix(KVR_MP4_STATE* D, const uint8_t* Mat, int Intra);
extern const uint8_t Kvr_Default_Intra_Mat[64];
extern const uint8_t Kvr_Default_Inter_Mat[64];

// Macroblock loops (Kvr_MP4_IVop.cpp, Kvr_MP4_PVop.cpp).
void Kvr_Decode_I_VOP(KVR_MP4_STATE* D, KVR_BITS* B);
void Kvr_Decode_P_VOP(KVR_MP4_STATE* D, KVR_BITS* B);
