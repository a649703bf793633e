#pragma once
// One 8-point pass of the H.263 inverse transform (integer Loeffler-Ligtenberg-Moschytz arrangement,
// 13-bit constants, half the divisor added before the shift), written once over a vector type so
// that the scalar and SIMD variants compute the same thing lane by lane. `Ops` supplies add, sub,
// mul (by a constant), shl13, sar<Shift> and splat. Exact in 32 bits for inputs up to
// kFastTransformLimit in magnitude (the largest sum is below 178,220 times the input bound).

namespace vistrel::h263 {

// `UpperZero`: inputs 4..7 are known to be zero (a block whose coefficients all lie in the first
// four rows and columns), so their terms are left out; the result is the same.
template <typename Ops, int Shift, bool UpperZero = false>
inline void IdctPass(const typename Ops::V* source, typename Ops::V* out)
{
    using V = typename Ops::V;
    const V zero = Ops::splat(0);
    const V in[8] = {source[0], source[1], source[2], source[3],
                     UpperZero ? zero : source[4], UpperZero ? zero : source[5],
                     UpperZero ? zero : source[6], UpperZero ? zero : source[7]};
    const V rounding = Ops::splat(1 << (Shift - 1));
    const V z1 = Ops::mul(Ops::add(in[2], in[6]), 4433);
    const V t2 = Ops::sub(z1, Ops::mul(in[6], 15137));
    const V t3 = Ops::add(z1, Ops::mul(in[2], 6270));
    const V t0 = Ops::add(Ops::shl13(Ops::add(in[0], in[4])), rounding);
    const V t1 = Ops::add(Ops::shl13(Ops::sub(in[0], in[4])), rounding);
    const V t10 = Ops::add(t0, t3);
    const V t13 = Ops::sub(t0, t3);
    const V t11 = Ops::add(t1, t2);
    const V t12 = Ops::sub(t1, t2);

    const V sum71 = Ops::add(in[7], in[1]);
    const V z5 = Ops::mul(Ops::add(Ops::add(in[7], in[3]), Ops::add(in[5], in[1])), 9633);
    const V za = Ops::sub(z5, Ops::mul(Ops::add(in[1], in[5]), 3196));
    const V zb = Ops::sub(z5, Ops::mul(Ops::add(in[3], in[7]), 16069));
    const V zc = Ops::mul(Ops::add(in[5], in[3]), -20995);
    const V m71 = Ops::mul(sum71, 7373);
    const V o3 = Ops::add(Ops::sub(Ops::mul(in[1], 12299), m71), za);
    const V o0 = Ops::add(Ops::sub(Ops::mul(in[7], 2446), m71), zb);
    const V o1 = Ops::add(Ops::add(Ops::mul(in[5], 16819), zc), za);
    const V o2 = Ops::add(Ops::add(Ops::mul(in[3], 25172), zc), zb);

    out[0] = Ops::template sar<Shift>(Ops::add(t10, o3));
    out[7] = Ops::template sar<Shift>(Ops::sub(t10, o3));
    out[1] = Ops::template sar<Shift>(Ops::add(t11, o2));
    out[6] = Ops::template sar<Shift>(Ops::sub(t11, o2));
    out[2] = Ops::template sar<Shift>(Ops::add(t12, o1));
    out[5] = Ops::template sar<Shift>(Ops::sub(t12, o1));
    out[3] = Ops::template sar<Shift>(Ops::add(t13, o0));
    out[4] = Ops::template sar<Shift>(Ops::sub(t13, o0));
}

// Column pass: two fraction bits kept; row pass: back to samples.
constexpr int kIdctColumnShift = 11;
constexpr int kIdctRowShift = 18;

}  // namespace vistrel::h263
