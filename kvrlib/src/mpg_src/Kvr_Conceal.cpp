// Concealment of lost macroblocks in anchors (I-, P- and S-VOPs); B-VOPs conceal in their own loop.
#include "mpg_src/Kvr_Conceal.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>

#include "mpg_src/Kvr_Asp_Hooks.h"

namespace {

const int KVR_MID_GREY = 128;
const int MB_INTRA_CLASS = 1;
enum { SIDE_LEFT, SIDE_RIGHT, SIDE_ABOVE, SIDE_BELOW, NB_SIDES };
const int Side_Dx[NB_SIDES] = {-1, 1, 0, 0};
const int Side_Dy[NB_SIDES] = {0, 0, -1, 1};

int Median(int A, int B, int C) {
    if (A > B) {
        const int T = A;
        A = B;
        B = T;
    }
    if (B > C) B = C;
    return A > B ? A : B;
}

struct Neighbours {
    bool Known[NB_SIDES] = {};
    int Nb_Known = 0;
};

Neighbours Known_Around(const KVR_MP4_STATE* D, int X, int Y) {
    Neighbours N;
    for (int s = 0; s < NB_SIDES; ++s) {
        const int Nx = X + Side_Dx[s], Ny = Y + Side_Dy[s];
        if (Nx < 0 || Ny < 0 || Nx >= D->MB_W || Ny >= D->MB_H) continue;
        N.Known[s] = D->Maps[0].MB_Map[Ny * D->MB_W + Nx].Lost != KVR_LOST;
        N.Nb_Known += N.Known[s];
    }
    return N;
}

// The sides a candidate's prediction is judged against: the decoded neighbours among the known ones
// when there are any. A neighbour concealed before may itself be wrong, and judging by it spreads
// its error; its vector still counts as a candidate.
Neighbours Decoded_Sides(const KVR_MP4_STATE* D, int X, int Y, const Neighbours& Known) {
    Neighbours N;
    for (int s = 0; s < NB_SIDES; ++s) {
        if (!Known.Known[s]) continue;
        N.Known[s] = D->Maps[0].MB_Map[(Y + Side_Dy[s]) * D->MB_W + X + Side_Dx[s]].Lost == KVR_DECODED;
        N.Nb_Known += N.Known[s];
    }
    return N.Nb_Known ? N : Known;
}

// How badly the luma of the macroblock at (X, Y) of Cur joins onto its known neighbours.
int Boundary_Cost(const KVR_MP4_STATE* D, int X, int Y, const Neighbours& N) {
    const int BpS = D->BpS;
    const uint8_t* P = D->Cur->Y + 16 * Y * BpS + 16 * X;
    int Cost = 0;
    for (int i = 0; i < 16; ++i) {
        if (N.Known[SIDE_ABOVE]) Cost += std::abs(P[i] - P[i - BpS]);
        if (N.Known[SIDE_BELOW]) Cost += std::abs(P[15 * BpS + i] - P[16 * BpS + i]);
        if (N.Known[SIDE_LEFT]) Cost += std::abs(P[i * BpS] - P[i * BpS - 1]);
        if (N.Known[SIDE_RIGHT]) Cost += std::abs(P[i * BpS + 15] - P[i * BpS + 16]);
    }
    return Cost;
}

// Adds V to the candidates unless it is there already: trying a vector twice only costs time.
void Add_Candidate(KVR_MV* Out, int* Nb, KVR_MV V) {
    for (int i = 0; i < *Nb; ++i)
        if (Out[i].X == V.X && Out[i].Y == V.Y) return;
    Out[(*Nb)++] = V;
}

// Vector candidates: the co-located past vector and zero, each known inter neighbour's nearest block
// vector, and their median; each distinct vector once. The first of equally good candidates is kept,
// and where the known edges cannot tell them apart (a flat neighbour above a moving object) the
// motion there a moment ago is the better guess than none: trying it first gained up to 0.4 dB on
// damaged streams. Not so in interlaced pictures, where the vector stored for a field-predicted
// macroblock only averages its two field vectors, whichever fields they came from: there zero comes
// first (the other order lost 0.1 to 0.2 dB on them).
int Vector_Candidates(KVR_MP4_STATE* D, int X, int Y, const Neighbours& N, KVR_MV* Out) {
    // Block of the neighbour that touches this macroblock: right column of the left one, and so on.
    static const int Blk_X[NB_SIDES] = {1, 0, 0, 0}, Blk_Y[NB_SIDES] = {0, 0, 1, 0};
    int Nb = 0;
    const KVR_MV Past = *Kvr_MV_At(D, 0, 2 * X, 2 * Y);
    if (!D->VOL.Interlaced) Add_Candidate(Out, &Nb, Past);
    Add_Candidate(Out, &Nb, KVR_MV{0, 0});
    Add_Candidate(Out, &Nb, Past);
    int Vx[NB_SIDES], Vy[NB_SIDES], Nb_Vec = 0;
    for (int s = 0; s < NB_SIDES; ++s) {
        if (!N.Known[s]) continue;
        const int Nx = X + Side_Dx[s], Ny = Y + Side_Dy[s];
        if (D->Maps[0].MB_Map[Ny * D->MB_W + Nx].Class == MB_INTRA_CLASS) continue;
        const KVR_MV V = *Kvr_MV_At(D, 0, 2 * Nx + Blk_X[s], 2 * Ny + Blk_Y[s]);
        Vx[Nb_Vec] = V.X;
        Vy[Nb_Vec] = V.Y;
        ++Nb_Vec;
        Add_Candidate(Out, &Nb, V);
    }
    if (Nb_Vec >= 3)
        Add_Candidate(Out, &Nb,
                      KVR_MV{int16_t(Median(Vx[0], Vx[1], Vx[2])), int16_t(Median(Vy[0], Vy[1], Vy[2]))});
    return Nb;
}

// How far a lost macroblock looks for decoded samples in each direction, in macroblocks. Beyond this
// they tell little about it, and the reach bounds the cost on a huge picture that is mostly lost.
const int KVR_SPATIAL_REACH = 16;

// Distance in macroblocks to the nearest decoded macroblock on each side of (X, Y), 0 when there is
// none within reach. With none on any side, the neighbours concealed before this one stand in at
// distance 1, so that a picture lost from its first macroblock still fills smoothly.
struct Sources {
    int Dist[NB_SIDES] = {};
};

Sources Sources_Around(const KVR_MP4_STATE* D, int X, int Y) {
    Sources S;
    bool Any = false;
    for (int s = 0; s < NB_SIDES; ++s)
        for (int k = 1; k <= KVR_SPATIAL_REACH; ++k) {
            const int Nx = X + k * Side_Dx[s], Ny = Y + k * Side_Dy[s];
            if (Nx < 0 || Ny < 0 || Nx >= D->MB_W || Ny >= D->MB_H) break;
            if (D->Maps[0].MB_Map[Ny * D->MB_W + Nx].Lost == KVR_DECODED) {
                S.Dist[s] = k;
                Any = true;
                break;
            }
        }
    if (Any) return S;
    for (int s = 0; s < NB_SIDES; ++s) {
        const int Nx = X + Side_Dx[s], Ny = Y + Side_Dy[s];
        if (Nx < 0 || Ny < 0 || Nx >= D->MB_W || Ny >= D->MB_H) continue;
        if (D->Maps[0].MB_Map[Ny * D->MB_W + Nx].Lost == KVR_CONCEALED) S.Dist[s] = 1;
    }
    return S;
}

// One plane's block of Size x Size at Dst blended from the nearest known samples in each direction,
// each weighted by the inverse of its distance: a lost region continues the picture around it (a run
// of lost rows extends the row above it) instead of smearing one neighbour's edge across it.
void Interpolate_Block(uint8_t* Dst, int BpS, int Size, const Sources& S) {
    // The nearest known samples of each side, per row (left, right) or column (above, below), and
    // each side's weight per column or row: 0 for a side without samples, else the inverse of the
    // distance to them.
    int Edge[NB_SIDES][16] = {};
    int W[NB_SIDES][16] = {};
    int First = -1;  // the first known sample, while all known ones are alike
    bool Flat = true;
    for (int s = 0; s < NB_SIDES; ++s) {
        if (!S.Dist[s]) continue;
        const int Far = (S.Dist[s] - 1) * Size;
        const uint8_t* From = s == SIDE_LEFT    ? Dst - Far - 1
                              : s == SIDE_RIGHT ? Dst + Far + Size
                              : s == SIDE_ABOVE ? Dst - (Far + 1) * BpS
                                                : Dst + (Far + Size) * BpS;
        const std::ptrdiff_t Step = s == SIDE_LEFT || s == SIDE_RIGHT ? BpS : 1;
        for (int i = 0; i < Size; ++i) {
            Edge[s][i] = From[i * Step];
            if (First < 0) First = Edge[s][i];
            Flat = Flat && Edge[s][i] == First;
            const int Near = s == SIDE_LEFT || s == SIDE_ABOVE ? i + 1 : Size - i;
            W[s][i] = (1 << 16) / (Near + Far);
        }
    }
    // Nothing known around, or every known sample alike: their weighted mean is that value.
    if (Flat) {
        const int Value = First < 0 ? KVR_MID_GREY : First;
        for (int y = 0; y < Size; ++y) std::memset(Dst + y * BpS, Value, std::size_t(Size));
        return;
    }
    for (int y = 0; y < Size; ++y) {
        for (int x = 0; x < Size; ++x) {
            const int Sum = W[SIDE_LEFT][x] * Edge[SIDE_LEFT][y] + W[SIDE_RIGHT][x] * Edge[SIDE_RIGHT][y] +
                            W[SIDE_ABOVE][y] * Edge[SIDE_ABOVE][x] + W[SIDE_BELOW][y] * Edge[SIDE_BELOW][x];
            const int Weight = W[SIDE_LEFT][x] + W[SIDE_RIGHT][x] + W[SIDE_ABOVE][y] + W[SIDE_BELOW][y];
            Dst[y * BpS + x] = uint8_t((Sum + Weight / 2) / Weight);
        }
    }
}

void Interpolate_MB(KVR_MP4_STATE* D, const KVR_MB* MB) {
    const Sources S = Sources_Around(D, MB->X, MB->Y);
    const int BpS = D->BpS;
    Interpolate_Block(D->Cur->Y + 16 * MB->Y * BpS + 16 * MB->X, BpS, 16, S);
    const int C_Off = 8 * MB->Y * BpS + 8 * MB->X;
    Interpolate_Block(D->Cur->U + C_Off, BpS, 8, S);
    Interpolate_Block(D->Cur->V + C_Off, BpS, 8, S);
}

// The luma of a candidate's prediction, all the boundary cost looks at. Quarter-sample prediction
// has no luma-only path and predicts the whole macroblock.
void Predict_Luma(KVR_MP4_STATE* D, const KVR_MB* MB, const KVR_MP4_FRAME* Ref, KVR_MV Mv) {
    if (D->VOL.Quarter) {
        Kvr_Predict_1MV(D, MB, Ref, D->MC, Mv);
        return;
    }
    int Vx = Mv.X, Vy = Mv.Y;
    Kvr_Clamp_Luma_MV(D, MB->X, MB->Y, 2, &Vx, &Vy);
    const int Off = 16 * MB->Y * D->BpS + 16 * MB->X;
    Kvr_MC_Block(D->MC, D->Cur->Y + Off, Ref->Y + Off, D->BpS, 16, Vx, Vy);
}

// Lines of known samples beside a lost macroblock that a candidate vector is judged by: a whole
// macroblock's (of 4, 8 and 16 lines measured on damaged streams, 16 gained the most).
const int KVR_OUTER_LINES = 16;

// Width of the edge extension around a reference picture, in samples.
const int KVR_REF_MARGIN = 16;

// The reference's luma at (X2, Y2) in half samples, bilinear, kept within the edge extension, so
// that any vector reads inside the picture's buffer.
int Ref_Half_Sample(const KVR_MP4_STATE* D, const KVR_MP4_FRAME* Ref, int X2, int Y2) {
    const int Lo = -2 * KVR_REF_MARGIN, Hi_X = 2 * (D->Width + KVR_REF_MARGIN - 1),
              Hi_Y = 2 * (D->Height + KVR_REF_MARGIN - 1);
    X2 = X2 < Lo ? Lo : (X2 > Hi_X ? Hi_X : X2);
    Y2 = Y2 < Lo ? Lo : (Y2 > Hi_Y ? Hi_Y : Y2);
    const uint8_t* P = Ref->Y + (Y2 >> 1) * D->BpS + (X2 >> 1);
    const int Fx = X2 & 1, Fy = Y2 & 1;
    if (!Fy) return Fx ? (P[0] + P[1] + 1) >> 1 : P[0];
    if (!Fx) return (P[0] + P[D->BpS] + 1) >> 1;
    return (P[0] + P[1] + P[D->BpS] + P[D->BpS + 1] + 2) >> 2;
}

// Sum of absolute differences between the W x H samples of Cur at (X, Y) and the reference's at
// (X, Y) moved by the half-sample vector (Vx, Vy).
int Outer_Sad(const KVR_MP4_STATE* D, const KVR_MP4_FRAME* Ref, int X, int Y, int W, int H, int Vx, int Vy) {
    const int BpS = D->BpS;
    const uint8_t* C = D->Cur->Y + Y * BpS + X;
    const int Rx = X + (Vx >> 1), Ry = Y + (Vy >> 1), Fx = Vx & 1, Fy = Vy & 1;
    int Sad = 0;
    if (Rx >= -KVR_REF_MARGIN && Ry >= -KVR_REF_MARGIN && Rx + W + Fx <= D->Width + KVR_REF_MARGIN &&
        Ry + H + Fy <= D->Height + KVR_REF_MARGIN) {
        // Inside the extension: no sample needs keeping in.
        const uint8_t* R = Ref->Y + Ry * BpS + Rx;
        for (int y = 0; y < H; ++y, C += BpS, R += BpS)
            for (int x = 0; x < W; ++x) {
                const int P = !Fx && !Fy ? R[x]
                              : !Fy      ? (R[x] + R[x + 1] + 1) >> 1
                              : !Fx      ? (R[x] + R[x + BpS] + 1) >> 1
                                         : (R[x] + R[x + 1] + R[x + BpS] + R[x + BpS + 1] + 2) >> 2;
                Sad += std::abs(C[x] - P);
            }
        return Sad;
    }
    for (int y = 0; y < H; ++y, C += BpS)
        for (int x = 0; x < W; ++x)
            Sad += std::abs(C[x] - Ref_Half_Sample(D, Ref, 2 * (X + x) + Vx, 2 * (Y + y) + Vy));
    return Sad;
}

// How unlike the known samples just outside the macroblock are the reference's samples just outside
// the block that vector V points at, over KVR_OUTER_LINES lines on each judged side. Both are picture
// content, so the right vector scores near zero even where an edge of the picture runs along the
// macroblock's border, which a smoothness measure across that border would hold against it.
int Outer_Cost(const KVR_MP4_STATE* D, const KVR_MB* MB, const KVR_MP4_FRAME* Ref, KVR_MV V, const Neighbours& N) {
    // Quarter-sample vectors are judged at the nearest half sample.
    const int Vx = D->VOL.Quarter ? V.X / 2 : V.X, Vy = D->VOL.Quarter ? V.Y / 2 : V.Y;
    const int X0 = 16 * MB->X, Y0 = 16 * MB->Y, K = KVR_OUTER_LINES;
    int Cost = 0;
    if (N.Known[SIDE_ABOVE]) Cost += Outer_Sad(D, Ref, X0, Y0 - K, 16, K, Vx, Vy);
    if (N.Known[SIDE_BELOW]) Cost += Outer_Sad(D, Ref, X0, Y0 + 16, 16, K, Vx, Vy);
    if (N.Known[SIDE_LEFT]) Cost += Outer_Sad(D, Ref, X0 - K, Y0, K, 16, Vx, Vy);
    if (N.Known[SIDE_RIGHT]) Cost += Outer_Sad(D, Ref, X0 + 16, Y0, K, 16, Vx, Vy);
    return Cost;
}

// Predicts the macroblock from Ref with the candidate vector whose reference block lies among
// samples most like the known ones around the macroblock. In interlaced pictures, where that measure
// lost 0.3 to 1.1 dB, the candidate's prediction is judged by how smoothly it joins onto them.
KVR_MV Best_Prediction(KVR_MP4_STATE* D, const KVR_MB* MB, const KVR_MP4_FRAME* Ref, const Neighbours& N) {
    KVR_MV Cand[NB_SIDES + 3];
    const int Nb = Vector_Candidates(D, MB->X, MB->Y, N, Cand);
    const Neighbours Judge = Decoded_Sides(D, MB->X, MB->Y, N);
    int Best = 0, Best_Cost = -1;
    for (int i = 0; i < Nb && Nb > 1 && N.Nb_Known > 0; ++i) {
        int Cost;
        if (D->VOL.Interlaced) {
            Predict_Luma(D, MB, Ref, Cand[i]);
            Cost = Boundary_Cost(D, MB->X, MB->Y, Judge);
        } else {
            Cost = Outer_Cost(D, MB, Ref, Cand[i], Judge);
        }
        if (Best_Cost < 0 || Cost < Best_Cost) {
            Best = i;
            Best_Cost = Cost;
        }
    }
    Kvr_Predict_1MV(D, MB, Ref, D->MC, Cand[Best]);
    return Cand[Best];
}

bool Reference_Usable(const KVR_MP4_STATE* D, const KVR_MP4_FRAME* Ref) {
    // Every picture of the store has the store's size, so a decoded one always fits; the pictures of
    // a store just rebuilt for a new size hold nothing decoded and are refused here.
    return Ref && Ref != D->Cur && D->Pic_Ok[Kvr_Pic_Index(D, Ref)];
}

// Whether the intra picture just decoded looks unlike the past reference where it is known: then
// the reference alone stands in for the lost samples worse than the interpolation from the neighbours.
// Measured over the decoded macroblocks that have a decoded one below: their difference from the
// reference against their difference from the one below, both in this picture. (The reference's own
// difference from itself would be the wrong yardstick after damage: a damaged reference looks unlike
// anything.)
bool Intra_Unlike_Reference(const KVR_MP4_STATE* D, const KVR_MP4_FRAME* Ref) {
    const int BpS = D->BpS;
    long Temporal = 0, Spatial = 0;
    for (int Y = 0; Y + 1 < D->MB_H; ++Y)
        for (int X = 0; X < D->MB_W; ++X) {
            if (D->Maps[0].MB_Map[Y * D->MB_W + X].Lost != KVR_DECODED ||
                D->Maps[0].MB_Map[(Y + 1) * D->MB_W + X].Lost != KVR_DECODED)
                continue;
            const int Off = 16 * Y * BpS + 16 * X;
            const uint8_t* Cur = D->Cur->Y + Off;
            for (int y = 0; y < 16; y += 2)
                for (int x = 0; x < 16; ++x) {
                    Temporal += std::abs(Cur[y * BpS + x] - Ref->Y[Off + y * BpS + x]);
                    Spatial += std::abs(Cur[(y + 16) * BpS + x] - Cur[y * BpS + x]);
                }
        }
    return Temporal > Spatial;
}

// Sum of absolute differences between the W x H luma samples of Cur at (X, Y) and those (Dx, Dy)
// further on in Cur.
int Self_Sad(const KVR_MP4_STATE* D, int X, int Y, int W, int H, int Dx, int Dy) {
    const int BpS = D->BpS;
    const uint8_t* C = D->Cur->Y + Y * BpS + X;
    const uint8_t* F = C + Dy * BpS + Dx;
    int Sad = 0;
    for (int y = 0; y < H; ++y, C += BpS, F += BpS)
        for (int x = 0; x < W; ++x) Sad += std::abs(C[x] - F[x]);
    return Sad;
}

// Whether the reference looks unlike the intra picture just around the lost macroblock: the known
// samples beside it (KVR_OUTER_LINES deep, on each side whose next macroblock out is decoded too) differ
// more from the reference's around the best candidate vector than from the decoded samples a
// macroblock further out, the yardstick of what interpolating across a macroblock costs there. A
// damaged or changed reference shows up at the border of the region it spoils; false where nothing
// around is decoded, which leaves the choice to the picture-wide judgement.
bool Reference_Unlike_Here(KVR_MP4_STATE* D, const KVR_MB* MB) {
    const Neighbours N = Known_Around(D, MB->X, MB->Y);
    const Neighbours Judge = Decoded_Sides(D, MB->X, MB->Y, N);
    const int X0 = 16 * MB->X, Y0 = 16 * MB->Y, K = KVR_OUTER_LINES;
    Neighbours Used;
    long Spatial = 0;
    for (int s = 0; s < NB_SIDES; ++s) {
        if (!Judge.Known[s]) continue;
        const int Fx = MB->X + 2 * Side_Dx[s], Fy = MB->Y + 2 * Side_Dy[s];
        if (Fx < 0 || Fy < 0 || Fx >= D->MB_W || Fy >= D->MB_H) continue;
        if (D->Maps[0].MB_Map[Fy * D->MB_W + Fx].Lost != KVR_DECODED) continue;
        const int Dx = 16 * Side_Dx[s], Dy = 16 * Side_Dy[s];
        if (s == SIDE_ABOVE) Spatial += Self_Sad(D, X0, Y0 - K, 16, K, Dx, Dy);
        if (s == SIDE_BELOW) Spatial += Self_Sad(D, X0, Y0 + 16, 16, K, Dx, Dy);
        if (s == SIDE_LEFT) Spatial += Self_Sad(D, X0 - K, Y0, K, 16, Dx, Dy);
        if (s == SIDE_RIGHT) Spatial += Self_Sad(D, X0 + 16, Y0, K, 16, Dx, Dy);
        Used.Known[s] = true;
        ++Used.Nb_Known;
    }
    if (!Used.Nb_Known) return false;
    KVR_MV Cand[NB_SIDES + 3];
    const int Nb = Vector_Candidates(D, MB->X, MB->Y, N, Cand);
    long Temporal = -1;
    for (int i = 0; i < Nb; ++i) {
        const long Cost = Outer_Cost(D, MB, D->Fwd, Cand[i], Used);
        if (Temporal < 0 || Cost < Temporal) Temporal = Cost;
    }
    return Temporal > Spatial;
}

// Share of the reference's copy, in eighths, when a lost macroblock of an intra picture blends it
// with the interpolation. Where the picture looks unlike its reference, the copy still knows the
// texture that the interpolation smooths away, and their errors partly cancel: 3/8 gained 0.2 to
// 0.6 dB on damaged streams where 1/4 gained less and 1/2 lost up to 0.5 dB wherever the reference
// itself was badly concealed.
const int KVR_BLEND_COPY = 3;

// Conceals the macroblock as a blend of the reference's copy and the interpolation.
void Blend_MB(KVR_MP4_STATE* D, KVR_MB* MB, const Neighbours& N) {
    MB->MV[0] = Best_Prediction(D, MB, D->Fwd, N);
    const int BpS = D->BpS, C_Off = 8 * MB->Y * BpS + 8 * MB->X;
    uint8_t* Plane[3] = {D->Cur->Y + 16 * MB->Y * BpS + 16 * MB->X, D->Cur->U + C_Off, D->Cur->V + C_Off};
    uint8_t Copy[3][16 * 16];
    for (int p = 0; p < 3; ++p) {
        const int Size = p ? 8 : 16;
        for (int y = 0; y < Size; ++y)
            for (int x = 0; x < Size; ++x) Copy[p][y * Size + x] = Plane[p][y * BpS + x];
    }
    Interpolate_MB(D, MB);  // reads only the samples around the macroblock
    for (int p = 0; p < 3; ++p) {
        const int Size = p ? 8 : 16;
        for (int y = 0; y < Size; ++y)
            for (int x = 0; x < Size; ++x) {
                uint8_t& S = Plane[p][y * BpS + x];
                S = uint8_t((KVR_BLEND_COPY * Copy[p][y * Size + x] + (8 - KVR_BLEND_COPY) * S + 4) >> 3);
            }
    }
}

enum Method { BY_MOTION, BY_INTERPOLATION, BY_BLEND };

void Conceal_MB(KVR_MP4_STATE* D, KVR_MB* MB, Method How) {
    const KVR_MP4_FRAME* Ref = D->Fwd;
    const bool Gmc = D->VOP.Coding == S_VOP && D->VOL.Sprite_Enable == 2;
    const Neighbours N = Known_Around(D, MB->X, MB->Y);
    MB->Type = KVR_MB_SKIPPED;
    MB->Field_Pred = 0;
    MB->MV[0] = KVR_MV{0, 0};
    if (How == BY_BLEND) {
        Blend_MB(D, MB, N);
    } else if (How == BY_INTERPOLATION) {
        Interpolate_MB(D, MB);
    } else if (Gmc) {
        MB->Type = KVR_MB_GMC_SKIPPED;
        Kvr_Asp_Predict_GMC_MB(D, MB);
    } else {
        MB->MV[0] = Best_Prediction(D, MB, Ref, N);
    }
    if (!Gmc) MB->MV[1] = MB->MV[2] = MB->MV[3] = MB->MV[0];
    Kvr_Store_MB(D, MB, 0);
    D->Maps[0].MB_Map[MB->Idx].Lost = KVR_CONCEALED;
}

}  // namespace

void Kvr_Mark_Lost(KVR_MP4_STATE* D, int From, int To) {
    const int Total = D->MB_W * D->MB_H;
    if (From < 0) From = 0;
    if (To > Total) To = Total;
    for (int i = From; i < To; ++i) {
        KVR_MB_INFO& I = D->Maps[0].MB_Map[i];
        I.Lost = KVR_LOST;
        I.Class = 0;
        I.Type = KVR_MB_SKIPPED;
        I.Field = 0;
        // The vector map keeps what the past anchor (or this one before the damage was noticed) left
        // there: the motion there a moment ago is a candidate for the concealment.
    }
}

void Kvr_Conceal_Lost(KVR_MP4_STATE* D) {
    if (!D->Damage) return;
    KVR_MB MB;
    MB.Quant = D->VOP.Quant;
    MB.Field_DCT = -1;
    const int Total = D->MB_W * D->MB_H;
    const bool Usable = Reference_Usable(D, D->Fwd);
    const bool Unlike = Usable && D->VOP.Coding == I_VOP && Intra_Unlike_Reference(D, D->Fwd);
    // An intra picture unlike its reference blends the copy into the interpolation, except where the
    // reference is seen to differ right around the macroblock. Interlaced pictures interpolate: the
    // blend lost up to 0.5 dB there.
    const bool Blend = Unlike && !D->VOL.Interlaced;
    const Method Picture_Wide = !Usable || Unlike ? BY_INTERPOLATION : BY_MOTION;
    for (int i = 0; i < Total; ++i) {
        if (D->Maps[0].MB_Map[i].Lost != KVR_LOST) continue;
        MB.Idx = i;
        MB.X = i % D->MB_W;
        MB.Y = i / D->MB_W;
        const Method How = Blend ? (Reference_Unlike_Here(D, &MB) ? BY_INTERPOLATION : BY_BLEND) : Picture_Wide;
        Conceal_MB(D, &MB, How);  // stores it, which makes it known to the ones after it
    }
}

void Kvr_Note_Damage(KVR_MP4_STATE* D) {
    if (!D->Damage) D->Damage = std::current_exception();
}

void Kvr_Note_Damage(KVR_MP4_STATE* D, std::exception_ptr Error) {
    if (!D->Damage) D->Damage = Error;
}
