// Plain C quarter-sample interpolation (reference variant of the quarter-sample kernel tables).
#include "dsp_src/Kvr_Qpel.h"

#include <cstring>

namespace {

inline uint8_t Clip_8(int v) { return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v)); }

// The half-sample value between samples i and i+1 of a line of N+1 samples L[0..N]; taps beyond
// either end are mirrored into the line (L[-1-k] = L[k], L[N+1+k] = L[N-k]).
template <int N>
inline int Tap8(const int* L, int i) {
    auto S = [L](int k) { return k < 0 ? L[-1 - k] : (k > N ? L[2 * N + 1 - k] : L[k]); };
    return 20 * (S(i) + S(i + 1)) - 6 * (S(i - 1) + S(i + 2)) + 3 * (S(i - 2) + S(i + 3)) - (S(i - 3) + S(i + 4));
}

// Horizontal half-sample filter over Rows lines: N outputs per line from N+1 inputs.
template <int N>
void Lowpass_H(uint8_t* Dst, int Dst_BpS, const uint8_t* Src, int Src_BpS, int Rows, int Rnd) {
    int L[N + 1];
    for (int y = 0; y < Rows; ++y) {
        for (int i = 0; i <= N; ++i) L[i] = Src[i];
        for (int i = 0; i < N; ++i) Dst[i] = Clip_8((Tap8<N>(L, i) + 16 - Rnd) >> 5);
        Src += Src_BpS;
        Dst += Dst_BpS;
    }
}

// Vertical half-sample filter: N output lines from N+1 input lines, N columns.
template <int N>
void Lowpass_V(uint8_t* Dst, int Dst_BpS, const uint8_t* Src, int Src_BpS, int Rnd) {
    int L[N + 1];
    for (int x = 0; x < N; ++x) {
        for (int i = 0; i <= N; ++i) L[i] = Src[i * Src_BpS + x];
        for (int i = 0; i < N; ++i) Dst[i * Dst_BpS + x] = Clip_8((Tap8<N>(L, i) + 16 - Rnd) >> 5);
    }
}

// Dst = average of A and B over Rows lines of N samples (rounding control Rnd).
template <int N>
void Avg2(uint8_t* Dst, int Dst_BpS, const uint8_t* A, int A_BpS, const uint8_t* B, int B_BpS, int Rows, int Rnd) {
    for (int y = 0; y < Rows; ++y) {
        for (int x = 0; x < N; ++x) Dst[x] = static_cast<uint8_t>((A[x] + B[x] + 1 - Rnd) >> 1);
        Dst += Dst_BpS;
        A += A_BpS;
        B += B_BpS;
    }
}

// The prediction at quarter position (Fx, Fy) into an N x N scratch block. The interpolation is
// separable: first the horizontal position is built on N+1 lines, then the vertical one from those.
template <int N>
void Predict(uint8_t* Out, const uint8_t* Src, int BpS, int Fx, int Fy, int Rnd) {
    constexpr int Rows = N + 1;
    uint8_t H[N * Rows];
    const int Lines = Fy ? Rows : N;
    // Horizontal stage into H (stride N), Lines lines.
    if (Fx == 0) {
        for (int y = 0; y < Lines; ++y) std::memcpy(H + y * N, Src + y * BpS, N);
    } else {
        Lowpass_H<N>(H, N, Src, BpS, Lines, Rnd);
        if (Fx == 1) Avg2<N>(H, N, H, N, Src, BpS, Lines, Rnd);
        if (Fx == 3) Avg2<N>(H, N, H, N, Src + 1, BpS, Lines, Rnd);
    }
    if (Fy == 0) {
        std::memcpy(Out, H, N * N);
        return;
    }
    uint8_t V[N * N];
    Lowpass_V<N>(V, N, H, N, Rnd);
    if (Fy == 2) std::memcpy(Out, V, N * N);
    else if (Fy == 1) Avg2<N>(Out, N, H, N, V, N, N, Rnd);
    else Avg2<N>(Out, N, H + N, N, V, N, N, Rnd);
}

template <int N, int Rnd, int Pos>
void Qpel_Put(uint8_t* Dst, const uint8_t* Src, int BpS) {
    if (Pos == 0) {
        for (int y = 0; y < N; ++y) std::memcpy(Dst + y * BpS, Src + y * BpS, N);
        return;
    }
    uint8_t P[N * N];
    Predict<N>(P, Src, BpS, Pos & 3, Pos >> 2, Rnd);
    for (int y = 0; y < N; ++y) std::memcpy(Dst + y * BpS, P + y * N, N);
}

template <int N, int Pos>
void Qpel_Avg(uint8_t* Dst, const uint8_t* Src, int BpS) {
    uint8_t P[N * N];
    if (Pos == 0) {
        for (int y = 0; y < N; ++y) std::memcpy(P + y * N, Src + y * BpS, N);
    } else {
        Predict<N>(P, Src, BpS, Pos & 3, Pos >> 2, 0);
    }
    for (int y = 0; y < N; ++y)
        for (int x = 0; x < N; ++x)
            Dst[y * BpS + x] = static_cast<uint8_t>((Dst[y * BpS + x] + P[y * N + x] + 1) >> 1);
}

}  // namespace

const KVR_QPEL_FN Kvr_Qpel16_Put_C[2][16] = {KVR_QPEL_POSITIONS(Qpel_Put, 16, 0),
                                             KVR_QPEL_POSITIONS(Qpel_Put, 16, 1)};
const KVR_QPEL_FN Kvr_Qpel8_Put_C[2][16] = {KVR_QPEL_POSITIONS(Qpel_Put, 8, 0),
                                            KVR_QPEL_POSITIONS(Qpel_Put, 8, 1)};
const KVR_QPEL_FN Kvr_Qpel16_Avg_C[16] = KVR_QPEL_POSITIONS(Qpel_Avg, 16);
const KVR_QPEL_FN Kvr_Qpel8_Avg_C[16] = KVR_QPEL_POSITIONS(Qpel_Avg, 8);
