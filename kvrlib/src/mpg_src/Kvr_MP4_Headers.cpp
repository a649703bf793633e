// Visual object, video object layer, group-of-VOP and VOP headers; reference rotation and output.
#include <cstdio>
#include <cstring>
#include <exception>
#include <utility>

#include "kvr_syst/Kvr_Except.h"
#include "mpg_src/Kvr_Asp_Hooks.h"
#include "mpg_src/Kvr_MP4_MB.h"
#include "mpg_src/Kvr_MP4_State.h"

const uint8_t Kvr_Default_Intra_Mat[64] = {8,  17, 18, 19, 21, 23, 25, 27, 17, 18, 19, 21, 23, 25, 27, 28,
                                           20, 21, 22, 23, 24, 26, 28, 30, 21, 22, 23, 24, 26, 28, 30, 32,
                                           22, 23, 24, 26, 28, 30, 32, 35, 23, 24, 26, 28, 30, 32, 35, 38,
                                           25, 26, 28, 30, 32, 35, 38, 41, 27, 28, 30, 32, 35, 38, 41, 45};
const uint8_t Kvr_Default_Inter_Mat[64] = {16, 17, 18, 19, 20, 21, 22, 23, 17, 18, 19, 20, 21, 22, 23, 24,
                                           18, 19, 20, 21, 22, 23, 24, 25, 19, 20, 21, 22, 23, 24, 26, 27,
                                           20, 21, 22, 23, 25, 26, 27, 28, 21, 22, 23, 24, 26, 27, 28, 30,
                                           22, 23, 24, 26, 27, 28, 30, 31, 23, 24, 25, 27, 28, 30, 31, 33};

namespace {
const int DC_Thresh_Table[8] = {512, 13, 15, 17, 19, 21, 23, 0};

// Flags of the complexity-estimation header, in the order the layer header sends them.
enum {
    CE_OPAQUE,
    CE_TRANSPARENT,
    CE_INTRA_CAE,
    CE_INTER_CAE,
    CE_NO_UPDATE,
    CE_UPSAMPLING,
    CE_INTRA_BLOCKS,
    CE_INTER_BLOCKS,
    CE_INTER4V_BLOCKS,
    CE_NOT_CODED_BLOCKS,
    CE_DCT_COEFS,
    CE_DCT_LINES,
    CE_VLC_SYMBOLS,
    CE_VLC_BITS,
    CE_APM,
    CE_NPM,
    CE_INTERPOLATE_MC_Q,
    CE_FORW_BACK_MC_Q,
    CE_HALFPEL2,
    CE_HALFPEL4,
    CE_SADCT,
    CE_QUARTERPEL
};

void Read_Matrix(KVR_BITS* B, uint8_t* Raster) {
    int Last = 16;
    int i = 0;
    for (; i < 64; ++i) {
        const int V = int(B->Get(8));
        if (V == 0) break;
        Last = V;
        Raster[Kvr_Zigzag[i]] = uint8_t(V);
    }
    for (; i < 64; ++i) Raster[Kvr_Zigzag[i]] = uint8_t(Last);
}

// Field widths of the header syntax that this decoder reads past.
const int VO_VERID_BITS = 4, VO_PRIORITY_BITS = 3;
const uint32_t VISUAL_OBJECT_TYPE_VIDEO = 1;
const int VIDEO_FORMAT_BITS = 3, VIDEO_RANGE_BITS = 1, COLOUR_DESCRIPTION_BITS = 8 + 8 + 8;
const int GOV_TIME_CODE_BITS = 5 + 6 + 1 + 6;  // hours, minutes, marker, seconds
const int GOV_CLOSED_BITS = 1, GOV_BROKEN_LINK_BITS = 1;
const int VOL_VERID_BITS = 4, VOL_PRIORITY_BITS = 3;
const uint32_t ASPECT_RATIO_EXTENDED_PAR = 15;
const int PAR_WIDTH_BITS = 8, PAR_HEIGHT_BITS = 8;
// vbv_parameters: bit rate, buffer size and occupancy, each split in two halves around markers.
const int VBV_PARAMETERS_BITS = (15 + 1 + 15 + 1) + (15 + 1 + 3) + (11 + 1 + 15 + 1);
const int SHAPE_RECTANGULAR = 0;
const int SPRITE_STATIC = 1, SPRITE_GMC = 2;
// sprite_width, sprite_height, sprite_left_coordinate, sprite_top_coordinate, each with its marker.
const int SPRITE_GEOMETRY_BITS = 4 * (13 + 1);
const int NEWPRED_MESSAGE_TYPE_BITS = 2, NEWPRED_SEGMENT_TYPE_BITS = 1;
// hierarchy_type, ref_layer_id, ref_layer_sampling_direc, then the four sampling factors.
const int SCALABILITY_BITS = 1 + 4 + 1 + 4 * 5;
const int COMPLEXITY_FLAG_BITS = 8, COMPLEXITY_VLC_BITS_BITS = 4;

// Reads one group of complexity-estimation flags into Mask (bit Flags[i] for the i-th flag).
void Read_CE_Group(KVR_BITS* B, int* Mask, const int* Flags, int N) {
    if (B->Get1()) return;  // group disabled
    for (int i = 0; i < N; ++i)
        if (B->Get1()) *Mask |= 1 << Flags[i];
}

void Skip_Marker(KVR_BITS* B) { B->Skip(1); }

void Skip_Video_Signal_Type(KVR_BITS* B) {
    B->Skip(VIDEO_FORMAT_BITS + VIDEO_RANGE_BITS);
    if (B->Get1()) B->Skip(COLOUR_DESCRIPTION_BITS);
}

// random_accessible_vol, object type, layer version, aspect ratio and the control parameters.
void Read_VOL_Identity(KVR_MP4_STATE* D, KVR_BITS* B) {
    KVR_MP4_VOL& V = D->VOL;
    B->Skip(1);  // random_accessible_vol
    const int Type = int(B->Get(8));
    if (Type == 2 || (Type >= 5 && Type <= 9))
        Kvr_Log(&D->Log, KVR_LOG_WARNING, "Warning: VO type '%d' might be unsupported.\n", Type);
    V.Verid = 1;
    if (B->Get1()) {
        V.Verid = int(B->Get(VOL_VERID_BITS));
        B->Skip(VOL_PRIORITY_BITS);
    }
    if (B->Get(4) == ASPECT_RATIO_EXTENDED_PAR) B->Skip(PAR_WIDTH_BITS + PAR_HEIGHT_BITS);
    if (B->Get1()) {
        B->Skip(2);  // chroma_format: 4:2:0 is the only one
        V.Low_Delay = int(B->Get1());
        if (B->Get1()) B->Skip(VBV_PARAMETERS_BITS);
    } else {
        V.Low_Delay = 1;
    }
}

int Read_VOL_Shape(KVR_MP4_STATE* D, KVR_BITS* B) {
    KVR_MP4_VOL& V = D->VOL;
    V.Shape = int(B->Get(2));
    if (V.Shape != SHAPE_RECTANGULAR) {
        Kvr_Log(&D->Log, KVR_LOG_WARNING, "Warning: Shape (%d) is not RECTANGULAR\n", V.Shape);
        return 0;
    }
    return 1;
}

// vop_time_increment_resolution and the fixed increment.
int Read_VOL_Timing(KVR_MP4_STATE* D, KVR_BITS* B) {
    KVR_MP4_VOL& V = D->VOL;
    Skip_Marker(B);
    V.Time_Res = int(B->Get(16));
    Skip_Marker(B);
    if (V.Time_Res == 0) {
        // A zero resolution would divide by zero in the time keeping; no encoder writes it.
        Kvr_Log(&D->Log, KVR_LOG_WARNING, "Warning: time resolution 0\n");
        return 0;
    }
    V.Time_Bits = Kvr_Bit_Length(uint32_t(V.Time_Res - 1));
    if (V.Time_Bits < 1) V.Time_Bits = 1;
    V.Fixed_Incr = B->Get1() ? int(B->Get(V.Time_Bits)) : 0;
    return 1;
}

// The picture size, between markers; builds the picture store for it.
int Read_VOL_Size(KVR_MP4_STATE* D, KVR_BITS* B) {
    Skip_Marker(B);
    const int Width = int(B->Get(13));
    Skip_Marker(B);
    const int Height = int(B->Get(13));
    Skip_Marker(B);
    if (B->Overread() || Width < 1 || Height < 1 || Width > KVR_MAX_WIDTH || Height > KVR_MAX_HEIGHT) {
        Kvr_Log(&D->Log, KVR_LOG_WARNING, "Warning: picture size %dx%d not supported\n", Width, Height);
        return 0;
    }
    Kvr_Build_Store(D, Width, Height, 3, 1);
    return 1;
}

void Read_VOL_Sprite(KVR_MP4_STATE* D, KVR_BITS* B) {
    KVR_MP4_VOL& V = D->VOL;
    V.Sprite_Enable = int(B->Get(V.Verid == 1 ? 1 : 2));
    if (!V.Sprite_Enable) return;
    if (V.Sprite_Enable == SPRITE_STATIC) {
        Kvr_Log(&D->Log, KVR_LOG_INFO, "Warning: Static sprite not supported\n");
        B->Skip(SPRITE_GEOMETRY_BITS);
    }
    V.Sprite_Nb_Pts = int(B->Get(6));
    V.Sprite_Accuracy = int(B->Get(2));
    V.Sprite_Brightness = int(B->Get1());
    if (V.Sprite_Enable == SPRITE_STATIC) V.Low_Latency_Sprite = int(B->Get1());
}

// not_8_bit, quant_type and the matrices.
int Read_VOL_Quantisation(KVR_MP4_STATE* D, KVR_BITS* B) {
    KVR_MP4_VOL& V = D->VOL;
    V.Not_8b = int(B->Get1());
    if (V.Not_8b) {
        V.Quant_Prec = int(B->Get(4));
        V.Bpp = int(B->Get(4));
        Kvr_Log(&D->Log, KVR_LOG_WARNING, "Warning: Not_8b unsupported!\n");
        if (V.Quant_Prec < 3 || V.Quant_Prec > 9 || V.Bpp < 4 || V.Bpp > 12) {
            Kvr_Log(&D->Log, KVR_LOG_WARNING, "Warning: quantiser precision %d / %d bits per pixel out of range\n",
                    V.Quant_Prec, V.Bpp);
            return 0;
        }
    }
    Kvr_Set_Quant_Type(D, int(B->Get1()));
    if (V.Quant_Type == 1) {
        uint8_t M[64];
        if (B->Get1()) {
            Read_Matrix(B, M);
            Kvr_Install_Matrix(D, M, 1);
        }
        if (B->Get1()) {
            Read_Matrix(B, M);
            Kvr_Install_Matrix(D, M, 0);
        }
    }
    return 1;
}

// define_vop_complexity_estimation_header: which estimates every VOP header then carries.
int Read_VOL_Complexity(KVR_MP4_STATE* D, KVR_BITS* B) {
    KVR_MP4_VOL& V = D->VOL;
    V.Complexity_Method = int(B->Get(2));
    if (V.Complexity_Method > 1) {
        Kvr_Log(&D->Log, KVR_LOG_WARNING, "Warning: complexity estimation version %d not supported\n",
                V.Complexity_Method);
        return 0;
    }
    static const int Shape_F[] = {CE_OPAQUE,    CE_TRANSPARENT, CE_INTRA_CAE,
                                  CE_INTER_CAE, CE_NO_UPDATE,   CE_UPSAMPLING};
    static const int Tex1_F[] = {CE_INTRA_BLOCKS, CE_INTER_BLOCKS, CE_INTER4V_BLOCKS, CE_NOT_CODED_BLOCKS};
    static const int Tex2_F[] = {CE_DCT_COEFS, CE_DCT_LINES, CE_VLC_SYMBOLS, CE_VLC_BITS};
    static const int MC_F[] = {CE_APM, CE_NPM, CE_INTERPOLATE_MC_Q, CE_FORW_BACK_MC_Q, CE_HALFPEL2, CE_HALFPEL4};
    static const int V2_F[] = {CE_SADCT, CE_QUARTERPEL};
    int Mask = 0;
    Read_CE_Group(B, &Mask, Shape_F, 6);
    Read_CE_Group(B, &Mask, Tex1_F, 4);
    Skip_Marker(B);
    Read_CE_Group(B, &Mask, Tex2_F, 4);
    Read_CE_Group(B, &Mask, MC_F, 6);
    Skip_Marker(B);
    if (V.Complexity_Method == 1) Read_CE_Group(B, &Mask, V2_F, 2);
    V.Complexity_Mask = Mask;
    return 1;
}

// Resync markers, data partitioning, NEWPRED, reduced resolution and scalability.
void Read_VOL_Tools(KVR_MP4_STATE* D, KVR_BITS* B) {
    KVR_MP4_VOL& V = D->VOL;
    V.Resync = !B->Get1();
    V.Partitioned = int(B->Get1());
    if (V.Partitioned) V.RVLC = int(B->Get1());
    if (V.Verid != 1) {
        V.Newpred = int(B->Get1());
        if (V.Newpred) B->Skip(NEWPRED_MESSAGE_TYPE_BITS + NEWPRED_SEGMENT_TYPE_BITS);
        V.Reduced_VOP = B->Get1() ? 0 : -1;
    }
    V.Scalability = int(B->Get1());
    if (V.Scalability) {
        B->Skip(SCALABILITY_BITS);
        V.Enhancement_Type = int(B->Get1());
        Kvr_Log(&D->Log, KVR_LOG_WARNING, "Warning: Scalability not supported.\n");
    }
}

void Dump_VOL(const KVR_MP4_STATE* D) {
    const KVR_MP4_VOL& V = D->VOL;
    Kvr_Log(&D->Log, KVR_LOG_INFO, " Shape = %d  Partitioned = %d  Time incr bits = %d Freq=%d\n", V.Shape,
            V.Partitioned, V.Time_Bits, V.Time_Res);
    Kvr_Log(&D->Log, KVR_LOG_INFO,
            " Size: %d x %d interlace:%d reduced:%d Quant prec %d bpp:%d QType:%d Quarter:%d\n", D->Width,
            D->Height, V.Interlaced, V.Reduced_VOP >= 0 ? 1 : 0, V.Quant_Prec, V.Bpp, V.Quant_Type, V.Quarter);
}

int Read_Sprite_Coord(KVR_BITS* B) {
    int Len;
    const uint32_t P = B->See(3);
    if (P < 2) {
        B->Skip(2);
        Len = 0;
    } else if (P < 7) {
        B->Skip(3);
        Len = int(P) - 1;
    } else {
        B->Skip(3);
        Len = 6;
        while (B->Get1() && Len < 14 && !B->Overread()) ++Len;
    }
    int V = 0;
    if (Len > 0) {
        V = int(B->Get(Len));
        if (!(V >> (Len - 1))) V -= (1 << Len) - 1;
    }
    Skip_Marker(B);
    return V;
}

int Read_Brightness(KVR_BITS* B) {
    int Size;
    if (!B->Get1()) Size = 5;
    else if (!B->Get1()) Size = 6;
    else if (!B->Get1()) Size = 7;
    else if (!B->Get1()) Size = 9;
    else Size = 10;
    int V = int(B->Get(Size));
    if (Size == 9) V += 113;
    else if (Size == 10) V += 625;
    else if (!(V >> (Size - 1))) V -= (1 << Size) - 1;
    return V;
}

void Skip_Complexity(KVR_MP4_STATE* D, KVR_BITS* B, int Coding) {
    static const int I_Fields[] = {CE_OPAQUE,       CE_TRANSPARENT,
                                   CE_INTRA_CAE,    CE_INTER_CAE,
                                   CE_NO_UPDATE,    CE_UPSAMPLING,
                                   CE_INTRA_BLOCKS, CE_NOT_CODED_BLOCKS,
                                   CE_DCT_COEFS,    CE_DCT_LINES,
                                   CE_VLC_SYMBOLS,  CE_VLC_BITS,
                                   CE_SADCT,        -1};
    static const int P_Fields[] = {CE_OPAQUE,
                                   CE_TRANSPARENT,
                                   CE_INTRA_CAE,
                                   CE_INTER_CAE,
                                   CE_NO_UPDATE,
                                   CE_UPSAMPLING,
                                   CE_INTRA_BLOCKS,
                                   CE_NOT_CODED_BLOCKS,
                                   CE_DCT_COEFS,
                                   CE_DCT_LINES,
                                   CE_VLC_SYMBOLS,
                                   CE_VLC_BITS,
                                   CE_INTER_BLOCKS,
                                   CE_INTER4V_BLOCKS,
                                   CE_APM,
                                   CE_NPM,
                                   CE_FORW_BACK_MC_Q,
                                   CE_HALFPEL2,
                                   CE_HALFPEL4,
                                   CE_SADCT,
                                   CE_QUARTERPEL,
                                   -1};
    static const int B_Fields[] = {CE_OPAQUE,
                                   CE_TRANSPARENT,
                                   CE_INTRA_CAE,
                                   CE_INTER_CAE,
                                   CE_NO_UPDATE,
                                   CE_UPSAMPLING,
                                   CE_INTRA_BLOCKS,
                                   CE_NOT_CODED_BLOCKS,
                                   CE_DCT_COEFS,
                                   CE_DCT_LINES,
                                   CE_VLC_SYMBOLS,
                                   CE_VLC_BITS,
                                   CE_INTER_BLOCKS,
                                   CE_INTER4V_BLOCKS,
                                   CE_APM,
                                   CE_NPM,
                                   CE_FORW_BACK_MC_Q,
                                   CE_HALFPEL2,
                                   CE_HALFPEL4,
                                   CE_INTERPOLATE_MC_Q,
                                   CE_SADCT,
                                   CE_QUARTERPEL,
                                   -1};
    static const int S_Fields[] = {CE_INTRA_BLOCKS, CE_NOT_CODED_BLOCKS, CE_DCT_COEFS,
                                   CE_DCT_LINES,    CE_VLC_SYMBOLS,      CE_VLC_BITS,
                                   CE_INTER_BLOCKS, CE_INTER4V_BLOCKS,   CE_APM,
                                   CE_NPM,          CE_FORW_BACK_MC_Q,   CE_HALFPEL2,
                                   CE_HALFPEL4,     CE_INTERPOLATE_MC_Q, -1};
    const int* F = Coding == I_VOP ? I_Fields : Coding == P_VOP ? P_Fields : Coding == B_VOP ? B_Fields : S_Fields;
    for (; *F >= 0; ++F)
        if (D->VOL.Complexity_Mask & (1 << *F))
            B->Skip(*F == CE_VLC_BITS ? COMPLEXITY_VLC_BITS_BITS : COMPLEXITY_FLAG_BITS);
}

void Dump_VOP(const KVR_MP4_STATE* D) {
    const KVR_MP4_VOP& V = D->VOP;
    char Tools[64];
    if (V.Coding == S_VOP && D->VOL.Sprite_Enable == SPRITE_GMC)
        std::snprintf(Tools, sizeof(Tools), " Spr_Nb:%d, Acc:%d ", D->VOL.Sprite_Nb_Pts, D->VOL.Sprite_Accuracy);
    else std::snprintf(Tools, sizeof(Tools), " Reduced:%d NewPred:%d ", V.Reduced_VOP, D->VOL.Newpred);
    Kvr_Log(&D->Log, KVR_LOG_INFO, "  Coding=[%c] Time:%lld Rnd=%d%s FCode: %d/%d  Q:%d DC-Trsh:%d \n",
            "IPBS"[V.Coding & 3], (long long)V.Time_Ticks, V.Rounding, Tools, V.Fwd_Code, V.Bwd_Code, V.Quant,
            V.DC_Thresh);
}

void Finish_Anchor(KVR_MP4_STATE* D) {
    KVR_MP4_FRAME* C = D->Cur;
    D->MB_Dsp.Extend(C->Y, C->U, C->V, D->Width, D->Height, D->BpS);
    D->MB_Dsp.Finish(nullptr);
    D->Past_Time = D->Fwd->Time_Ticks;
}

void Output(KVR_MP4_STATE* D) {
    if (D->Frame_Nb != 0) {
        D->Last = D->Coding == B_VOP ? D->Cur : D->Fwd;
        if (!D->Last) Kvr_Assert_Failed("VOP->Last!=0", "kvr_mpg4_dec", __LINE__);
        D->Last->MB_Map = nullptr;
        D->Last->MV_Map = nullptr;
        // A picture that was damaged or never decoded is not shown.
        if (!D->Pic_Ok[Kvr_Pic_Index(D, D->Last)]) D->Last = nullptr;
    } else {
        D->Last = nullptr;
    }
    D->Frame_Nb++;
}
const int VOP_ID_MAX_BITS = 15;
const int VOP_FCODE_BITS = 3;
const int VOP_DC_THRESHOLD_BITS = 3;

// vop_id and vop_id_for_prediction of a NEWPRED layer: read past, prediction always uses the last anchor.
void Skip_Newpred_Ids(const KVR_MP4_VOL& L, KVR_BITS* B) {
    const int Bits = L.Time_Bits + 3 < VOP_ID_MAX_BITS ? L.Time_Bits + 3 : VOP_ID_MAX_BITS;
    B->Skip(Bits);
    if (B->Get1()) B->Skip(Bits);
    Skip_Marker(B);
}

// The warping points and brightness change of an S-VOP; 0 for a static sprite sent in pieces.
int Read_VOP_Sprite(KVR_MP4_STATE* D, KVR_BITS* B, KVR_MP4_VOP* V) {
    const KVR_MP4_VOL& L = D->VOL;
    std::memset(V->Warp_Pts, 0, sizeof(V->Warp_Pts));
    for (int i = 0; i < L.Sprite_Nb_Pts; ++i) {
        const int Du = Read_Sprite_Coord(B);
        const int Dv = Read_Sprite_Coord(B);
        if (i < 4) {
            V->Warp_Pts[i][0] = Du;
            V->Warp_Pts[i][1] = Dv;
        }
    }
    V->Brightness = L.Sprite_Brightness ? Read_Brightness(B) : 0;
    if (L.Sprite_Enable == SPRITE_STATIC && L.Low_Latency_Sprite) {
        Kvr_Log(&D->Log, KVR_LOG_WARNING, "Sprite transmission not supported\n");
        return 0;
    }
    return 1;
}

// The fields of a coded VOP after vop_coded, up to the first macroblock.
int Read_VOP_Coding_Fields(KVR_MP4_STATE* D, KVR_BITS* B, KVR_MP4_VOP* V) {
    const KVR_MP4_VOL& L = D->VOL;
    if (L.Newpred) Skip_Newpred_Ids(L, B);
    V->Rounding = (V->Coding == P_VOP || (V->Coding == S_VOP && L.Sprite_Enable == SPRITE_GMC)) ? int(B->Get1())
                                                                                                : 0;
    V->Reduced_VOP = L.Reduced_VOP < 0 ? -1 : (V->Coding == I_VOP || V->Coding == P_VOP) ? int(B->Get1()) : 0;
    if (L.Complexity_Mask) Skip_Complexity(D, B, V->Coding);
    V->DC_Thresh = DC_Thresh_Table[B->Get(VOP_DC_THRESHOLD_BITS)];
    if (L.Interlaced) {
        V->Top_Field_First = int(B->Get1());
        V->Alt_Scan = int(B->Get1());
    } else {
        V->Top_Field_First = 0;
        V->Alt_Scan = 0;
    }
    if (V->Coding == S_VOP && L.Sprite_Enable && !Read_VOP_Sprite(D, B, V)) return 0;
    V->Quant = int(B->Get(L.Quant_Prec));
    // A precision above 5 bits can name quantisers the dequantisers have no table for; the
    // packet headers and B-VOPs clamp theirs the same way.
    if (V->Quant < 1) V->Quant = 1;
    if (V->Quant > 31) V->Quant = 31;
    V->Fwd_Code = V->Coding != I_VOP ? int(B->Get(VOP_FCODE_BITS)) : D->VOP.Fwd_Code;
    V->Bwd_Code = V->Coding == B_VOP ? int(B->Get(VOP_FCODE_BITS)) : D->VOP.Bwd_Code;
    if (L.Partitioned) {
        Kvr_Log(&D->Log, KVR_LOG_WARNING, "Data partitioning not yet supported\n");
        return 0;
    }
    if (B->Overread()) return 0;
    if (V->Coding != I_VOP && V->Fwd_Code < 1) return 0;  // f-code 0 is forbidden
    if (V->Coding == B_VOP && V->Bwd_Code < 1) return 0;
    return 1;
}

// Coding type and time stamp of the VOP; 0 when the header is refused (nothing is changed then).
int Read_VOP_Header(KVR_MP4_STATE* D, KVR_BITS* B, KVR_MP4_VOP* V) {
    const KVR_MP4_VOL& L = D->VOL;
    V->Coding = int(B->Get(2));
    const int64_t Base = V->Coding == B_VOP ? D->Sec_Base : D->Bwd->Time_Ticks / L.Time_Res;
    int64_t Nb_Sec = 0;  // modulo_time_base: one 1 bit per whole second
    while (B->Get1()) {
        if (B->Overread()) return 0;
        ++Nb_Sec;
    }
    Skip_Marker(B);
    const int64_t Incr = B->Get(L.Time_Bits);
    Skip_Marker(B);
    V->Time_Ticks = (Base + Nb_Sec) * L.Time_Res + Incr;
    V->Coded = int(B->Get1());
    if (V->Coded && !Read_VOP_Coding_Fields(D, B, V)) return 0;
    return B->Overread() ? 0 : 1;
}

// Anchors move the past one out, B-VOPs use the spare picture; stamps the picture written next.
void Rotate_References(KVR_MP4_STATE* D) {
    const KVR_MP4_VOP& V = D->VOP;
    if (V.Coding == B_VOP) {
        D->Cur = D->B_Spare;
        D->Cur->MB_Map = nullptr;
        D->Cur->MV_Map = nullptr;
    } else {
        D->Cur = D->Fwd;
        D->Fwd = D->Bwd;
        D->Bwd = D->Cur;
        D->Cur->MB_Map = D->Maps[0].MB_Map;
        D->Cur->MV_Map = D->Maps[0].MV_Map;
        D->Sec_Base = D->Fwd->Time_Ticks / D->VOL.Time_Res;
    }
    KVR_MP4_FRAME* C = D->Cur;
    C->Time_Ticks = V.Time_Ticks;
    C->Time = double(V.Time_Ticks) / D->VOL.Time_Res;
    C->Coding = V.Coding;
    if (V.Coding == B_VOP && D->B_Time_Dist == 0) {
        D->B_Time_Dist = C->Time_Ticks - D->Past_Time;
        if (D->B_Time_Dist == 0) D->B_Time_Dist = 1;
    }
}

// A VOP that is not coded repeats the past reference.
void Repeat_Reference(KVR_MP4_STATE* D) {
    KVR_MP4_FRAME* C = D->Cur;
    std::memcpy(C->Y - 16 * D->BpS - 16, D->Fwd->Y - 16 * D->BpS - 16, D->Pic_Bytes);
    D->Pic_Ok[Kvr_Pic_Index(D, C)] = D->Pic_Ok[Kvr_Pic_Index(D, D->Fwd)];
    if (D->VOP.Coding != B_VOP) D->Past_Time = D->Fwd->Time_Ticks;
    Output(D);
}

// Runs the macroblock loop of the VOP's kind; the picture counts as decoded only when it ends.
void Decode_Picture(KVR_MP4_STATE* D, KVR_BITS* B) {
    const KVR_MP4_VOP& V = D->VOP;
    const int Ci = Kvr_Pic_Index(D, D->Cur);
    D->MC = D->MB_Dsp.MC[V.Rounding ? KVR_MC_RND1 : KVR_MC_RND0];
    D->MC_Avg = D->MB_Dsp.MC[KVR_MC_AVG];
    D->Pic_Ok[Ci] = 0;
    try {
        if (V.Coding == S_VOP && D->VOL.Sprite_Enable == SPRITE_GMC) Kvr_Asp_Setup_GMC(D);
        if (V.Coding == B_VOP) Kvr_Asp_Decode_B_VOP(D, B);
        else if (V.Reduced_VOP == 1) Kvr_Asp_Decode_RR_VOP(D, B);
        else if (V.Coding == I_VOP) Kvr_Decode_I_VOP(D, B);
        else Kvr_Decode_P_VOP(D, B);
        D->MB_Dsp.Finish(nullptr);
        D->Pic_Ok[Ci] = 1;
    } catch (...) {
        // The picture keeps what was decoded (it may still serve as a reference) but is not shown.
        if (V.Coding != B_VOP) Finish_Anchor(D);
        Output(D);
        throw;
    }
    if (V.Coding != B_VOP) Finish_Anchor(D);
    Output(D);
    // The loop concealed damage and went on: the picture is out like a good one, the error still reported.
    if (D->Damage) std::rethrow_exception(std::exchange(D->Damage, nullptr));
}
}  // namespace

void Kvr_Reset_VOL(KVR_MP4_STATE* D) {
    KVR_MP4_VOL Fresh;
    Fresh.Id = D->VOL.Id;
    Fresh.Quant_Type = D->VOL.Quant_Type;
    std::memcpy(Fresh.Intra_Mat, D->VOL.Intra_Mat, 64);
    std::memcpy(Fresh.Inter_Mat, D->VOL.Inter_Mat, 64);
    D->VOL = Fresh;
    D->B_Time_Dist = 0;
}

void Kvr_Set_Quant_Type(KVR_MP4_STATE* D, int Type) {
    if (Type == D->VOL.Quant_Type && D->Quant_Dsp.Name) return;
    D->VOL.Quant_Type = Type;
    Kvr_Install_Quant_DSP(&D->Quant_Dsp, Type > 1 ? 2 : Type, D->Cpu);
    D->Quant_Dsp.Setup_Matrix(D->Q_Base, D->VOL.Intra_Mat, 1);
    D->Quant_Dsp.Setup_Matrix(D->Q_Inter, D->VOL.Inter_Mat, 0);
}

void Kvr_Install_Matrix(KVR_MP4_STATE* D, const uint8_t* Mat, int Intra) {
    uint8_t* Cur = Intra ? D->VOL.Intra_Mat : D->VOL.Inter_Mat;
    if (std::memcmp(Cur, Mat, 64) == 0) return;
    std::memcpy(Cur, Mat, 64);
    D->Quant_Dsp.Setup_Matrix(Intra ? D->Q_Base : D->Q_Inter, Cur, Intra);
}

int Kvr_Read_VO(KVR_MP4_STATE*, KVR_BITS* B) {
    if (B->Get1()) B->Skip(VO_VERID_BITS + VO_PRIORITY_BITS);
    if (B->Get(4) != VISUAL_OBJECT_TYPE_VIDEO) return 0;
    if (B->Get1()) Skip_Video_Signal_Type(B);
    return 1;
}

void Kvr_Read_GOV(KVR_MP4_STATE*, KVR_BITS* B) {
    B->Skip(GOV_TIME_CODE_BITS + GOV_CLOSED_BITS + GOV_BROKEN_LINK_BITS);
}

int Kvr_Read_VOL(KVR_MP4_STATE* D, KVR_BITS* B) {
    KVR_MP4_VOL& V = D->VOL;
    Read_VOL_Identity(D, B);
    if (!Read_VOL_Shape(D, B)) return 0;
    if (!Read_VOL_Timing(D, B)) return 0;
    if (!Read_VOL_Size(D, B)) return 0;
    V.Interlaced = int(B->Get1());
    V.Obmc_Disable = int(B->Get1());
    if (!V.Obmc_Disable) {
        Kvr_Log(&D->Log, KVR_LOG_WARNING, "Warning: overlapped motion compensation not supported\n");
        return 0;
    }
    Read_VOL_Sprite(D, B);
    if (!Read_VOL_Quantisation(D, B)) return 0;
    V.Quarter = V.Verid != 1 ? int(B->Get1()) : 0;
    if (!B->Get1() && !Read_VOL_Complexity(D, B)) return 0;
    Read_VOL_Tools(D, B);
    if (D->Debug >= 3) Dump_VOL(D);
    return 1;
}

int Kvr_Decode_VOP(KVR_MP4_STATE* D, KVR_BITS* B) {
    KVR_MP4_VOP V = D->VOP;  // committed only once the header is accepted
    if (!Read_VOP_Header(D, B, &V)) return 0;
    D->VOP = V;
    D->Coding = V.Coding;
    if (D->Debug >= 4) Dump_VOP(D);
    Rotate_References(D);
    if (!V.Coded) Repeat_Reference(D);
    else Decode_Picture(D, B);
    return 1;
}
