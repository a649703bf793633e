// Video packets: one parser of the packet header for every macroblock loop and for the resync search.
#include "mpg_src/Kvr_Packet.h"

namespace {

const int KVR_MIN_MARKER_ZEROS = 16;
const int KVR_CODING_TYPE_BITS = 2;
const int KVR_DC_THRESH_BITS = 3;
const int KVR_FCODE_BITS = 3;

// Places the reader at bit Pos of its data (Pos inside the data).
void Seek(KVR_BITS* B, int64_t Pos) {
    const uint8_t* Buf = B->Buf;
    B->Open(Buf, size_t(B->End - Buf));
    B->Ptr = Buf + (Pos >> 3);
    B->Skip(int(Pos & 7));
}

// The repeated picture-header fields of a header extension. Strict checks what an encoder always writes.
bool Skip_Header_Extension(const KVR_MP4_STATE* D, KVR_BITS* B, bool Strict) {
    const KVR_MP4_VOL& L = D->VOL;
    const KVR_MP4_VOP& V = D->VOP;
    while (B->Get1() && !B->Overread()) {
    }                          // modulo_time_base: ones, then a zero
    bool Ok = B->Get1() == 1;  // marker
    B->Skip(L.Time_Bits);
    Ok = (B->Get1() == 1) && Ok;  // marker
    const int Coding = int(B->Get(KVR_CODING_TYPE_BITS));
    Ok = Ok && Coding == V.Coding;
    B->Skip(KVR_DC_THRESH_BITS);
    if (L.Reduced_VOP >= 0 && (V.Coding == I_VOP || V.Coding == P_VOP)) B->Skip(1);
    if (V.Coding != I_VOP) {
        const int Fwd = int(B->Get(KVR_FCODE_BITS));
        Ok = Ok && Fwd == V.Fwd_Code;
    }
    if (V.Coding == B_VOP) {
        const int Bwd = int(B->Get(KVR_FCODE_BITS));
        Ok = Ok && Bwd == V.Bwd_Code;
    }
    return Ok || !Strict;
}

// The header after the marker: macroblock number, quantiser, optional header extension.
bool Read_Fields(const KVR_MP4_STATE* D, KVR_BITS* B, int Min_MB, bool Strict, KVR_PACKET_HEADER* H) {
    const int Total = D->MB_W * D->MB_H;
    const int First = int(B->Get(Kvr_Bit_Length(uint32_t(Total - 1))));
    const int Q = int(B->Get(D->VOL.Quant_Prec));
    if (B->Get1() && !Skip_Header_Extension(D, B, Strict)) return false;
    if (B->Overread()) return false;
    if (First < Min_MB || First >= Total) return false;
    if (Strict && Q == 0) return false;
    H->First_MB = First;
    H->Quant = Q < 1 ? 1 : (Q > 31 ? 31 : Q);
    return true;
}

}  // namespace

int Kvr_Resync_Marker_Len(const KVR_MP4_VOP& V) {
    if (V.Coding == I_VOP) return KVR_MIN_MARKER_ZEROS + 1;
    if (V.Coding == B_VOP) {
        const int F = V.Fwd_Code > V.Bwd_Code ? V.Fwd_Code : V.Bwd_Code;
        return KVR_MIN_MARKER_ZEROS + (F > 2 ? F : 2);
    }
    return KVR_MIN_MARKER_ZEROS + V.Fwd_Code;
}

bool Kvr_Packet_Ahead(KVR_BITS* B, int Len) {
    int N = B->Bits_To_Byte_Align();
    if (N == 0) N = 8;
    const uint32_t Stuffing = (1u << (N - 1)) - 1;
    const uint32_t Want = (Stuffing << Len) | 1u;
    return B->Bits_Avail() >= N + Len && B->See(N + Len) == Want;
}

bool Kvr_Read_Packet_Header(const KVR_MP4_STATE* D, KVR_BITS* B, int Len, int Min_MB, bool Strict,
                            KVR_PACKET_HEADER* H) {
    const int N = B->Bits_To_Byte_Align();
    B->Skip((N == 0 ? 8 : N) + Len);
    return Read_Fields(D, B, Min_MB, Strict, H);
}

bool Kvr_Find_Packet(const KVR_MP4_STATE* D, KVR_BITS* B, int64_t From, int Len, int Min_MB,
                     KVR_PACKET_HEADER* H) {
    const uint8_t* const Buf = B->Buf;
    const int64_t Size = B->End - Buf;
    int64_t P = From < 0 ? 0 : (From + 7) >> 3;
    // The encoder starts every marker on a byte boundary (stuffing fills the byte before it).
    for (; P + 2 < Size; ++P) {
        if (Buf[P] != 0 || Buf[P + 1] != 0) continue;
        if (Buf[P + 2] == 1) break;  // a start code: the VOP ends here
        Seek(B, P * 8);
        if (B->Get(Len) != 1u) continue;
        if (Read_Fields(D, B, Min_MB, true, H)) return true;
    }
    Seek(B, (P + 2 < Size ? P : Size) * 8);
    return false;
}

// Macroblocks before the one whose code failed that are lost with it (measured on damaged streams:
// doubting 10, 20 or 50 coded ones, or the whole packet, cost 0.2 to 2 dB of mean PSNR, because most of
// what was decoded before the error is right and concealing it is worse). Data that ended is no
// failed code: nothing before it is doubted.
static const int KVR_DOUBTED_MBS = 3;

// Macroblocks before the end of a packet that ended short which are lost with the missing ones. Where
// its data went wrong is unknown, but losing the whole packet was measured to cost more than this
// (about 0.3 dB on the damaged streams of quarter-sample and packet pictures).
static const int KVR_DOUBTED_SHORT_MBS = 20;

int Kvr_Short_Packet_Lost_From(int Packet_Start, int Ended) {
    return Ended - KVR_DOUBTED_SHORT_MBS > Packet_Start ? Ended - KVR_DOUBTED_SHORT_MBS : Packet_Start;
}

bool Kvr_Find_Lost_Span(const KVR_MP4_STATE* D, KVR_BITS* B, int Len, int64_t Packet_Bits, int Packet_Start,
                        int Failed_MB, int* From, int* Next, KVR_PACKET_HEADER* H) {
    // The damage may have been noticed only after the parse ran past the next marker, so the search
    // starts right after the damaged packet's header; the packet it finds must come later than that one.
    // Read before the search, which moves the reader.
    const bool Ran_Out = B->Overread();
    const bool Found = Len && Kvr_Find_Packet(D, B, Packet_Bits, Len, Packet_Start + 1, H);
    *Next = Found ? H->First_MB : D->MB_W * D->MB_H;
    // A code goes invalid a little after the damage, so the few macroblocks before the one that failed
    // go too; but data that simply ended (a picture cut short in transit) was sound up to its end, and
    // only the macroblock it ended in is lost. When the packet found starts before the failure, the
    // parse had run on past its marker: nothing of the damaged packet is trusted then.
    *From = Packet_Start;
    const int Doubt = Ran_Out ? 0 : KVR_DOUBTED_MBS;
    if (*Next > Failed_MB && Failed_MB - Doubt > *From) *From = Failed_MB - Doubt;
    return Found;
}
