// Warp setup, warp kernel and average vectors of global motion compensation.
#include "dsp_src/Kvr_Gmc.h"

#include <climits>
#include <cstdlib>

namespace {

// Division rounding half away from zero.
int64_t Rounded_Div(int64_t A, int64_t B) { return (A >= 0 ? A + (B >> 1) : A - (B >> 1)) / B; }

// Right shift rounding halves towards positive infinity for positive values and towards zero for
// negative ones (the rounding of the average-vector derivation).
int64_t Round_Shift(int64_t A, int B) {
    if (B <= 0) return A;
    const int64_t Half = int64_t{1} << (B - 1);
    return A > 0 ? (A + Half) >> B : (A + Half - 1) >> B;
}

void Identity(KVR_GMC_PARAMS* G) {
    const int64_t A = int64_t{2} << G->Accuracy;
    G->Points = 1;
    G->Offset[0][0] = G->Offset[0][1] = G->Offset[1][0] = G->Offset[1][1] = 0;
    G->Delta[0][0] = G->Delta[1][1] = static_cast<int32_t>(A << 16);
    G->Delta[0][1] = G->Delta[1][0] = 0;
    G->Trans[0][0] = G->Trans[0][1] = G->Trans[1][0] = G->Trans[1][1] = 0;
}

inline int Clampi(int V, int Lo, int Hi) { return V < Lo ? Lo : (V > Hi ? Hi : V); }

// One plane of the warp: W x H block at Dst, block origin position (Ox, Oy) in 16.16 of 1/S units.
void Warp_Block(uint8_t* Dst, const uint8_t* Ref, int BpS, int W, int H, int64_t Ox, int64_t Oy,
                const KVR_GMC_PARAMS* G, int Clip_W, int Clip_H, int Rounding) {
    const int Shift = G->Accuracy + 1;
    const int S = 1 << Shift;
    const int R = (1 << (2 * Shift - 1)) - Rounding;
    for (int y = 0; y < H; ++y) {
        int64_t Vx = Ox + int64_t{G->Delta[0][1]} * y;
        int64_t Vy = Oy + int64_t{G->Delta[1][1]} * y;
        for (int x = 0; x < W; ++x) {
            const int64_t Px = Vx >> 16;
            const int64_t Py = Vy >> 16;
            const int Fx = static_cast<int>(Px & (S - 1));
            const int Fy = static_cast<int>(Py & (S - 1));
            // Positions are bounded by the setup's overflow test, so they fit an int after the shift.
            const int64_t Ix = Px >> Shift;
            const int64_t Iy = Py >> Shift;
            const int X0 = static_cast<int>(Ix < 0 ? 0 : (Ix >= Clip_W ? Clip_W - 1 : Ix));
            const int X1 = static_cast<int>(Ix + 1 < 0 ? 0 : (Ix + 1 >= Clip_W ? Clip_W - 1 : Ix + 1));
            const int Y0 = static_cast<int>(Iy < 0 ? 0 : (Iy >= Clip_H ? Clip_H - 1 : Iy));
            const int Y1 = static_cast<int>(Iy + 1 < 0 ? 0 : (Iy + 1 >= Clip_H ? Clip_H - 1 : Iy + 1));
            const uint8_t* L0 = Ref + Y0 * BpS;
            const uint8_t* L1 = Ref + Y1 * BpS;
            const int V =
                ((L0[X0] * (S - Fx) + L0[X1] * Fx) * (S - Fy) + (L1[X0] * (S - Fx) + L1[X1] * Fx) * Fy + R) >>
                (2 * Shift);
            Dst[y * BpS + x] = static_cast<uint8_t>(V);
            Vx += G->Delta[0][0];
            Vy += G->Delta[1][0];
        }
    }
}

// The picture corners, their warped positions and the virtual points of a warp, in 1/A sample units.
struct WARP_POINTS {
    int64_t A = 0, R = 0, W = 0, H = 0, W2 = 0, H2 = 0;
    int Alpha = 0, Beta = 0, Rho = 0;
    int64_t Vop[3][2] = {}, Spr[3][2] = {}, Virt[2][2] = {};
};

// The warp as the syntax defines it, before it is brought to the kernel's 16.16 form: luma (p 0) and
// chroma (p 1) offsets and deltas, each with its fraction shift.
struct WARP_64 {
    int64_t Off[2][2] = {}, Del[2][2] = {};
    int Shift[2] = {0, 0};
};

WARP_POINTS Warp_Points(const int Du[4], const int Dv[4], int Nb_Points, int Accuracy, int Width, int Height) {
    WARP_POINTS P;
    P.A = int64_t{2} << Accuracy;  // reference positions per sample
    P.Rho = 3 - Accuracy;
    P.R = 16 / P.A;
    P.W = Width;
    P.H = Height;
    P.Alpha = 1;
    P.Beta = 0;
    while ((int64_t{1} << P.Alpha) < P.W) ++P.Alpha;
    while ((int64_t{1} << P.Beta) < P.H) ++P.Beta;
    P.W2 = int64_t{1} << P.Alpha;
    P.H2 = int64_t{1} << P.Beta;
    const int64_t A = P.A, R = P.R, W = P.W, H = P.H, W2 = P.W2, H2 = P.H2;
    int64_t(&Vop)[3][2] = P.Vop;
    int64_t(&Spr)[3][2] = P.Spr;
    int64_t(&Virt)[2][2] = P.Virt;

    int64_t D[4][2] = {};
    for (int i = 0; i < Nb_Points && i < 4; ++i) {
        D[i][0] = Du[i];
        D[i][1] = Dv[i];
    }
    // Reference points of the picture corners (the fourth is never used by GMC). Trajectories
    // are coded in half samples whatever the accuracy; A / 2 brings them to 1/A sample.
    Vop[1][0] = W;  // corners (0, 0), (W, 0), (0, H)
    Vop[2][1] = H;
    for (int c = 0; c < 2; ++c) {
        Spr[0][c] = (A >> 1) * (2 * Vop[0][c] + D[0][c]);
        Spr[1][c] = (A >> 1) * (2 * Vop[1][c] + D[0][c] + D[1][c]);
        Spr[2][c] = (A >> 1) * (2 * Vop[2][c] + D[0][c] + D[2][c]);
    }
    // Virtual points at power-of-two distances, so that the per-sample warp needs shifts only.
    Virt[0][0] =
        16 * (Vop[0][0] + W2) +
        Rounded_Div((W - W2) * (R * Spr[0][0] - 16 * Vop[0][0]) + W2 * (R * Spr[1][0] - 16 * Vop[1][0]), W);
    Virt[0][1] =
        16 * Vop[0][1] +
        Rounded_Div((W - W2) * (R * Spr[0][1] - 16 * Vop[0][1]) + W2 * (R * Spr[1][1] - 16 * Vop[1][1]), W);
    Virt[1][0] =
        16 * Vop[0][0] +
        Rounded_Div((H - H2) * (R * Spr[0][0] - 16 * Vop[0][0]) + H2 * (R * Spr[2][0] - 16 * Vop[2][0]), H);
    Virt[1][1] =
        16 * (Vop[0][1] + H2) +
        Rounded_Div((H - H2) * (R * Spr[0][1] - 16 * Vop[0][1]) + H2 * (R * Spr[2][1] - 16 * Vop[2][1]), H);

    return P;
}

// Offsets and deltas of the warp for its number of points (a fourth point does not take part).
WARP_64 Warp_Coefficients(const WARP_POINTS& P, int Nb_Points) {
    const int64_t A = P.A, R = P.R, W2 = P.W2, H2 = P.H2;
    const int Alpha = P.Alpha, Beta = P.Beta, Rho = P.Rho;
    const int64_t(&Vop)[3][2] = P.Vop;
    const int64_t(&Spr)[3][2] = P.Spr;
    const int64_t(&Virt)[2][2] = P.Virt;
    WARP_64 Wp;
    int64_t(&Off)[2][2] = Wp.Off;
    int64_t(&Del)[2][2] = Wp.Del;
    int(&Shift)[2] = Wp.Shift;
    switch (Nb_Points) {
        case 0:
            Off[0][0] = Off[0][1] = Off[1][0] = Off[1][1] = 0;
            Del[0][0] = Del[1][1] = A;
            Del[0][1] = Del[1][0] = 0;
            break;
        case 1:
            Off[0][0] = Spr[0][0] - A * Vop[0][0];
            Off[0][1] = Spr[0][1] - A * Vop[0][1];
            Off[1][0] = ((Spr[0][0] >> 1) | (Spr[0][0] & 1)) - A * (Vop[0][0] / 2);
            Off[1][1] = ((Spr[0][1] >> 1) | (Spr[0][1] & 1)) - A * (Vop[0][1] / 2);
            Del[0][0] = Del[1][1] = A;
            Del[0][1] = Del[1][0] = 0;
            break;
        case 2: {
            const int S0 = Alpha + Rho;
            Off[0][0] = (Spr[0][0] << S0) + (-R * Spr[0][0] + Virt[0][0]) * (-Vop[0][0]) +
                        (R * Spr[0][1] - Virt[0][1]) * (-Vop[0][1]) + (int64_t{1} << (S0 - 1));
            Off[0][1] = (Spr[0][1] << S0) + (-R * Spr[0][1] + Virt[0][1]) * (-Vop[0][0]) +
                        (-R * Spr[0][0] + Virt[0][0]) * (-Vop[0][1]) + (int64_t{1} << (S0 - 1));
            Off[1][0] = (-R * Spr[0][0] + Virt[0][0]) * (-2 * Vop[0][0] + 1) +
                        (R * Spr[0][1] - Virt[0][1]) * (-2 * Vop[0][1] + 1) + 2 * W2 * R * Spr[0][0] - 16 * W2 +
                        (int64_t{1} << (S0 + 1));
            Off[1][1] = (-R * Spr[0][1] + Virt[0][1]) * (-2 * Vop[0][0] + 1) +
                        (-R * Spr[0][0] + Virt[0][0]) * (-2 * Vop[0][1] + 1) + 2 * W2 * R * Spr[0][1] - 16 * W2 +
                        (int64_t{1} << (S0 + 1));
            Del[0][0] = -R * Spr[0][0] + Virt[0][0];
            Del[0][1] = R * Spr[0][1] - Virt[0][1];
            Del[1][0] = -R * Spr[0][1] + Virt[0][1];
            Del[1][1] = -R * Spr[0][0] + Virt[0][0];
            Shift[0] = S0;
            Shift[1] = S0 + 2;
            break;
        }
        default: {  // 3 points (a fourth point is read but does not take part in GMC)
            const int Min_Ab = Alpha < Beta ? Alpha : Beta;
            const int64_t W3 = W2 >> Min_Ab, H3 = H2 >> Min_Ab;
            const int S0 = Alpha + Beta + Rho - Min_Ab;
            Off[0][0] = (Spr[0][0] << S0) + (-R * Spr[0][0] + Virt[0][0]) * H3 * (-Vop[0][0]) +
                        (-R * Spr[0][0] + Virt[1][0]) * W3 * (-Vop[0][1]) + (int64_t{1} << (S0 - 1));
            Off[0][1] = (Spr[0][1] << S0) + (-R * Spr[0][1] + Virt[0][1]) * H3 * (-Vop[0][0]) +
                        (-R * Spr[0][1] + Virt[1][1]) * W3 * (-Vop[0][1]) + (int64_t{1} << (S0 - 1));
            Off[1][0] = (-R * Spr[0][0] + Virt[0][0]) * H3 * (-2 * Vop[0][0] + 1) +
                        (-R * Spr[0][0] + Virt[1][0]) * W3 * (-2 * Vop[0][1] + 1) + 2 * W2 * H3 * R * Spr[0][0] -
                        16 * W2 * H3 + (int64_t{1} << (S0 + 1));
            Off[1][1] = (-R * Spr[0][1] + Virt[0][1]) * H3 * (-2 * Vop[0][0] + 1) +
                        (-R * Spr[0][1] + Virt[1][1]) * W3 * (-2 * Vop[0][1] + 1) + 2 * W2 * H3 * R * Spr[0][1] -
                        16 * W2 * H3 + (int64_t{1} << (S0 + 1));
            Del[0][0] = (-R * Spr[0][0] + Virt[0][0]) * H3;
            Del[0][1] = (-R * Spr[0][0] + Virt[1][0]) * W3;
            Del[1][0] = (-R * Spr[0][1] + Virt[0][1]) * H3;
            Del[1][1] = (-R * Spr[0][1] + Virt[1][1]) * W3;
            Shift[0] = S0;
            Shift[1] = S0 + 2;
            break;
        }
    }

    return Wp;
}

// A pure translation: kept in sample-fraction units, which the vector averages work on directly.
bool Store_Translation(KVR_GMC_PARAMS* G, const WARP_64& Wp, int64_t A) {
    const int64_t(&Off)[2][2] = Wp.Off;
    const int(&Shift)[2] = Wp.Shift;
    // Trajectories are at most 14-bit values per the syntax; larger ones come only from damage.
    for (int p = 0; p < 2; ++p)
        for (int c = 0; c < 2; ++c)
            if (std::llabs(Off[p][c] >> Shift[p]) >= (int64_t{1} << 14)) return false;
    G->Trans[0][0] = static_cast<int>(Off[0][0] >> Shift[0]);
    G->Trans[0][1] = static_cast<int>(Off[0][1] >> Shift[0]);
    G->Trans[1][0] = static_cast<int>(Off[1][0] >> Shift[1]);
    G->Trans[1][1] = static_cast<int>(Off[1][1] >> Shift[1]);
    G->Points = 1;
    for (int p = 0; p < 2; ++p)
        for (int c = 0; c < 2; ++c) G->Offset[p][c] = G->Trans[p][c] * 65536;
    G->Delta[0][0] = G->Delta[1][1] = static_cast<int32_t>(A << 16);
    G->Delta[0][1] = G->Delta[1][0] = 0;
    return true;
}

// A general warp: luma and chroma brought to a common 16-bit fraction, refused when the 32-bit
// position arithmetic of the kernels could overflow over the picture and its border.
bool Store_General(KVR_GMC_PARAMS* G, WARP_64 Wp, int64_t A, int64_t W, int64_t H, int Nb_Points) {
    int64_t(&Off)[2][2] = Wp.Off;
    int64_t(&Del)[2][2] = Wp.Del;
    const int(&Shift)[2] = Wp.Shift;
    const int Shift_Y = 16 - Shift[0], Shift_C = 16 - Shift[1];
    for (int i = 0; i < 2; ++i) {
        if (Shift_C < 0 || Shift_Y < 0 || std::llabs(Off[0][i]) >= (INT_MAX >> Shift_Y) ||
            std::llabs(Off[1][i]) >= (INT_MAX >> Shift_C) || std::llabs(Del[0][i]) >= (INT_MAX >> Shift_Y) ||
            std::llabs(Del[1][i]) >= (INT_MAX >> Shift_Y))
            return false;
    }
    for (int i = 0; i < 2; ++i) {
        Off[0][i] *= int64_t{1} << Shift_Y;
        Off[1][i] *= int64_t{1} << Shift_C;
        Del[0][i] *= int64_t{1} << Shift_Y;
        Del[1][i] *= int64_t{1} << Shift_Y;
    }
    for (int i = 0; i < 2; ++i) {
        const int64_t Sd0 = Del[i][0] - A * 65536, Sd1 = Del[i][1] - A * 65536;
        if (std::llabs(Off[0][i] + Del[i][0] * (W + 16)) >= INT_MAX ||
            std::llabs(Off[0][i] + Del[i][1] * (H + 16)) >= INT_MAX ||
            std::llabs(Off[0][i] + Del[i][0] * (W + 16) + Del[i][1] * (H + 16)) >= INT_MAX ||
            std::llabs(Del[i][0] * (W + 16)) >= INT_MAX || std::llabs(Del[i][1] * (H + 16)) >= INT_MAX ||
            std::llabs(Sd0 * (W + 16)) >= INT_MAX || std::llabs(Sd1 * (H + 16)) >= INT_MAX ||
            std::llabs(Sd0 * (W + 16) + Sd1 * (H + 16)) >= INT_MAX)
            return false;
    }
    G->Points = Nb_Points;
    for (int p = 0; p < 2; ++p)
        for (int c = 0; c < 2; ++c) {
            G->Offset[p][c] = static_cast<int32_t>(Off[p][c]);
            G->Delta[p][c] = static_cast<int32_t>(Del[p][c]);
        }
    return true;
}

}  // namespace

bool Kvr_Gmc_Setup(KVR_GMC_PARAMS* G, const int Du[4], const int Dv[4], int Nb_Points, int Accuracy, int Width,
                   int Height) {
    G->Accuracy = Accuracy < 0 ? 0 : (Accuracy > 3 ? 3 : Accuracy);
    G->Width = Width;
    G->Height = Height;
    Identity(G);
    if (Accuracy < 0 || Accuracy > 3 || Width < 16 || Height < 16 || Nb_Points < 0 || Nb_Points > 4) return false;
    const WARP_POINTS P = Warp_Points(Du, Dv, Nb_Points, Accuracy, Width, Height);
    const WARP_64 Wp = Warp_Coefficients(P, Nb_Points);
    const int64_t A = P.A;
    if (Wp.Del[0][0] == (A << Wp.Shift[0]) && Wp.Del[0][1] == 0 && Wp.Del[1][0] == 0 &&
        Wp.Del[1][1] == (A << Wp.Shift[0]))
        return Store_Translation(G, Wp, A);
    return Store_General(G, Wp, A, P.W, P.H, Nb_Points);
}

void Kvr_Gmc_Predict_MB(const KVR_GMC_PARAMS* G, uint8_t* Dst_Y, uint8_t* Dst_U, uint8_t* Dst_V,
                        const uint8_t* Ref_Y, const uint8_t* Ref_U, const uint8_t* Ref_V, int BpS, int Mb_X,
                        int Mb_Y, int Clip_W, int Clip_H, int Rounding) {
    Kvr_Gmc_Warp_MB(Warp_Block, G, Dst_Y, Dst_U, Dst_V, Ref_Y, Ref_U, Ref_V, BpS, Mb_X, Mb_Y, Clip_W, Clip_H,
                    Rounding);
}

void Kvr_Gmc_Average_MV(const KVR_GMC_PARAMS* G, int Mb_X, int Mb_Y, int Quarter, int F_Code, int* Mv_X,
                        int* Mv_Y) {
    const int Len = 1 << (Clampi(F_Code, 1, 7) + 4);
    const int A = G->Accuracy;
    for (int n = 0; n < 2; ++n) {
        int64_t Sum;
        if (G->Points == 1) {
            Sum = Round_Shift(static_cast<int64_t>(G->Trans[0][n]) * (int64_t{1} << Quarter), A);
        } else {
            int64_t Dx = G->Delta[n][0], Dy = G->Delta[n][1];
            // The displacement is the warped position minus the sample's own position.
            if (n) Dy -= int64_t{1} << (16 + A + 1);
            else Dx -= int64_t{1} << (16 + A + 1);
            const int64_t Mb_V = int64_t{G->Offset[0][n]} + Dx * Mb_X * 16 + Dy * Mb_Y * 16;
            Sum = 0;
            for (int y = 0; y < 16; ++y) {
                int64_t V = Mb_V + Dy * y;
                for (int x = 0; x < 16; ++x) {
                    Sum += V >> 16;
                    V += Dx;
                }
            }
            Sum = Round_Shift(Sum, A + 8 - Quarter);
        }
        if (Sum < -Len) Sum = -Len;
        else if (Sum >= Len) Sum = Len - 1;
        (n ? *Mv_Y : *Mv_X) = static_cast<int>(Sum);
    }
}
