// Big-endian bit reader over a caller's buffer that never reads outside that buffer.
#pragma once

#include <cstddef>
#include <cstdint>

#include "kvr_syst/Kvr_Except.h"

// Bytes past the end read as zero; Overread() then turns true and stays true, so the parsers only
// check it at macroblock, packet and picture boundaries instead of on every read.
struct KVR_BITS {
    const uint8_t* Buf = nullptr;  // start of the caller's data
    const uint8_t* Ptr = nullptr;  // next byte to load, never beyond End
    const uint8_t* End = nullptr;
    uint64_t Cache = 0;  // unread bits, left-aligned; below them zeros
    int Bits_Left = 0;   // valid bits in Cache
    int64_t Zeros = 0;   // zero bytes loaded from beyond End

    void Open(const uint8_t* B, size_t Len) {
        KVR_ASSERT("kvr_bits", B != nullptr || Len == 0);
        Buf = Ptr = B;
        End = B + Len;
        Cache = 0;
        Bits_Left = 0;
        Zeros = 0;
    }
    void Refill() {
        if (End - Ptr >= 8) {
            uint64_t W = 0;
            for (int i = 0; i < 8; ++i) W = (W << 8) | Ptr[i];
            const int Take = (64 - Bits_Left) >> 3;
            Cache |= (W >> (64 - Take * 8)) << (64 - Bits_Left - Take * 8);
            Ptr += Take;
            Bits_Left += Take * 8;
            return;
        }
        while (Bits_Left <= 56) {
            uint64_t B = 0;
            if (Ptr < End) B = *Ptr++;
            else ++Zeros;
            Cache |= B << (56 - Bits_Left);
            Bits_Left += 8;
        }
    }
    // Makes at least Nb (<= 32) bits available.
    void Need(int Nb) {
        if (Bits_Left < Nb) Refill();
    }
    uint32_t See(int Nb) {
        if (Nb == 0) return 0;
        Need(Nb);
        return uint32_t(Cache >> (64 - Nb));
    }
    uint32_t See_Loaded(int Nb) const { return Nb == 0 ? 0 : uint32_t(Cache >> (64 - Nb)); }
    void Skip_Loaded(int Nb) {
        Cache = Nb >= 64 ? 0 : Cache << Nb;
        Bits_Left -= Nb;
    }
    void Skip(int Nb) {
        while (Nb > 32) {
            Need(32);
            Skip_Loaded(32);
            Nb -= 32;
        }
        Need(Nb);
        Skip_Loaded(Nb);
    }
    uint32_t Get(int Nb) {
        const uint32_t V = See(Nb);
        Skip_Loaded(Nb);
        return V;
    }
    uint32_t Get1() { return Get(1); }
    // The 32 next bits, left-aligned (for table look-ups by leading bits).
    uint32_t Peek32() {
        Need(32);
        return uint32_t(Cache >> 32);
    }

    // Bits consumed since Open.
    int64_t Bit_Pos() const { return (int64_t(Ptr - Buf) + Zeros) * 8 - Bits_Left; }
    int64_t Bits_Avail() const { return int64_t(End - Buf) * 8 - Bit_Pos(); }
    // True once a bit beyond the end of the data has been consumed.
    bool Overread() const { return Bits_Avail() < 0; }
    // Bytes consumed since Open; a partly read byte counts as consumed.
    size_t Byte_Offset() const {
        const int64_t P = (Bit_Pos() + 7) >> 3;
        const int64_t L = End - Buf;
        return size_t(P < L ? P : L);
    }
    int Bits_To_Byte_Align() const { return int((8 - (Bit_Pos() & 7)) & 7); }
    void Byte_Align() { Skip(Bits_To_Byte_Align()); }
};

// Number of significant bits of V >= 0 (0 for 0, 5 for 24, 9 for 256).
inline int Kvr_Bit_Length(uint32_t V) {
    int N = 0;
    while (V) {
        ++N;
        V >>= 1;
    }
    return N;
}
