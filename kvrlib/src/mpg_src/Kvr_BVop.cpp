// B-VOP macroblock loop: direct, forward, backward and interpolated prediction between two anchors.
#include <cstdio>

#include "kvr_syst/Kvr_Except.h"
#include "mpg_src/Kvr_Asp_Hooks.h"
#include "mpg_src/Kvr_Asp_Pred.h"
#include "mpg_src/Kvr_Conceal.h"
#include "mpg_src/Kvr_Packet.h"

namespace {

enum { B_DIRECT = 0, B_BACKWARD = 1, B_FORWARD = 2, B_INTERP = 3 };

// MB type prefix code: 1 direct, 01 interpolated, 001 backward, 0001 forward; 0000 is not a code
// and is taken as direct without consuming anything.
int Read_B_Type(KVR_BITS* B) {
    const uint32_t Code = B->See(4);
    if (Code >= 8) {
        B->Skip(1);
        return B_DIRECT;
    }
    if (Code >= 4) {
        B->Skip(2);
        return B_INTERP;
    }
    if (Code >= 2) {
        B->Skip(3);
        return B_BACKWARD;
    }
    if (Code == 1) {
        B->Skip(4);
        return B_FORWARD;
    }
    return B_DIRECT;
}

int64_t Rounded_Div(int64_t A, int64_t B) { return (A >= 0 ? A + (B >> 1) : A - (B >> 1)) / B; }

struct B_Times {
    int TRB, TRD;              // current and future anchor distance from the past anchor, ticks
    int Field_TRB, Field_TRD;  // the same in field periods (interlaced direct mode)
};

// Forward and backward vector of one direct-mode component from the co-located vector.
void Direct_Component(int Delta, int Col, int Trb, int Trd, int16_t* Fwd, int16_t* Bwd) {
    if (Trd == 0) Trd = 1;  // only damaged times get here; keep the division defined
    const int F = Delta + static_cast<int>(static_cast<int64_t>(Trb) * Col / Trd);
    *Fwd = static_cast<int16_t>(F);
    *Bwd = static_cast<int16_t>(Delta ? F - Col : static_cast<int>(static_cast<int64_t>(Trb - Trd) * Col / Trd));
}

struct B_Decoder {
    KVR_MP4_STATE* D;
    KVR_BITS* B;
    B_Times T;
    KVR_MV Pred[2][2];           // [forward, backward][field]: last vectors of the row
    const KVR_MB_INFO* Col_Map;  // future anchor's macroblock information

    // Whether the co-located macroblock of the backward anchor was not coded, so that this one carries
    // no bits. One the anchor lost to damage is stored as not coded, but what the encoder saw there is
    // unknown: it is taken as coded, the likelier case in a moving picture (taken as skipped, every
    // lost one that was coded threw the parse of the B-VOPs after it off: half a dB on damaged streams).
    bool Plain_Skip_At(int Idx) const {
        const KVR_MB_INFO& Col = Col_Map[Idx];
        return Col.Class == 0 && Col.Type == KVR_MB_SKIPPED && Col.Lost != KVR_CONCEALED;
    }

    void Reset_Preds() {
        for (auto& Dir : Pred)
            for (auto& P : Dir) P = KVR_MV{0, 0};
    }

    void Read_Dir(KVR_MB* MB, int Dir, int F_Code, KVR_MV Out[2]) {
        if (!MB->Field_Pred) {
            Out[0] = Out[1] = Kvr_Read_MV(B, Pred[Dir][0].X, Pred[Dir][0].Y, F_Code);
            Pred[Dir][0] = Pred[Dir][1] = Out[0];
            return;
        }
        // Field vectors predict their vertical component in field lines.
        for (int f = 0; f < 2; ++f) {
            Out[f] = Kvr_Read_MV(B, Pred[Dir][f].X, Pred[Dir][f].Y / 2, F_Code);
            Pred[Dir][f] = KVR_MV{Out[f].X, static_cast<int16_t>(Out[f].Y * 2)};
        }
    }

    void Predict(KVR_MB* MB, const KVR_MP4_FRAME* Ref, const KVR_MC_FN* Mc, const KVR_MV Mv[2], const int Sel[2]) {
        if (MB->Field_Pred) Kvr_Asp_Predict_Fields(D, MB, Ref, Mc, Mv, Sel);
        else Kvr_Predict_1MV(D, MB, Ref, Mc, Mv[0]);
    }

    // Direct mode: both predictions from the co-located vectors of the future anchor.
    char Direct(KVR_MB* MB, int Dx, int Dy) {
        const KVR_MB_INFO& Col = Col_Map[MB->Idx];
        KVR_MV F[4], Bk[4];
        if (Col.Field & 1) {
            // Co-located field prediction: per field, the distances count fields from the
            // referenced field of the past anchor to this field.
            KVR_MV Fm[2], Bm[2];
            int Sel_F[2], Sel_B[2] = {0, 1};
            for (int f = 0; f < 2; ++f) {
                const int S = (Col.Field >> (1 + f)) & 1;
                Sel_F[f] = S;
                const int Adj = D->VOP.Top_Field_First ? f - S : S - f;
                const int Trd = T.Field_TRD + Adj, Trb = T.Field_TRB + Adj;
                Direct_Component(Dx, Col.Field_MV[f].X, Trb, Trd, &Fm[f].X, &Bm[f].X);
                Direct_Component(Dy, Col.Field_MV[f].Y, Trb, Trd, &Fm[f].Y, &Bm[f].Y);
            }
            MB->Field_Pred = 1;
            Kvr_Asp_Predict_Fields(D, MB, D->Fwd, D->MC, Fm, Sel_F);
            Kvr_Asp_Predict_Fields(D, MB, D->Bwd, D->MC_Avg, Bm, Sel_B);
            MB->Field_Pred = 0;
            return '=';
        }
        const bool Four = Col.Class == 5;
        for (int i = 0; i < 4; ++i) {
            const KVR_MV C = *Kvr_MV_At(D, 0, 2 * MB->X + (i & 1), 2 * MB->Y + (i >> 1));
            const KVR_MV Use = Four ? C : *Kvr_MV_At(D, 0, 2 * MB->X, 2 * MB->Y);
            Direct_Component(Dx, Use.X, T.TRB, T.TRD, &F[i].X, &Bk[i].X);
            Direct_Component(Dy, Use.Y, T.TRB, T.TRD, &F[i].Y, &Bk[i].Y);
        }
        if (Four || D->VOL.Quarter) {
            Kvr_Predict_4MV(D, MB, D->Fwd, D->MC, F);
            Kvr_Predict_4MV(D, MB, D->Bwd, D->MC_Avg, Bk);
        } else {
            Kvr_Predict_1MV(D, MB, D->Fwd, D->MC, F[0]);
            Kvr_Predict_1MV(D, MB, D->Bwd, D->MC_Avg, Bk[0]);
        }
        return Four ? '4' : 'd';
    }

    void Macroblock(KVR_MB* MB) {
        MB->CBP = 0;
        MB->Field_Pred = 0;
        MB->Field_DCT = D->VOL.Interlaced ? 0 : -1;
        // A plain skip in the future anchor skips here too; GMC macroblocks (skipped or not) are
        // predictions, not skips.
        if (Plain_Skip_At(MB->Idx)) {
            Kvr_Copy_MB(D, MB, D->Fwd);
            if (D->Debug >= 5) Kvr_Log(&D->Log, KVR_LOG_INFO, "%c", 's');
            return;
        }
        int Type = B_DIRECT;
        bool Modb_Data = false;
        if (!B->Get1()) {
            Modb_Data = true;
            const bool No_CBP = B->Get1();
            Type = Read_B_Type(B);
            MB->CBP = No_CBP ? 0 : static_cast<int>(B->Get(6));
            if (Type != B_DIRECT && MB->CBP && B->Get1()) {
                MB->Quant += B->Get1() ? 2 : -2;
                MB->Quant = MB->Quant < 1 ? 1 : (MB->Quant > 31 ? 31 : MB->Quant);
            }
            MB->Quant_Prev = MB->Quant;
            if (D->VOL.Interlaced) {
                if (MB->CBP) MB->Field_DCT = static_cast<int>(B->Get1());
                if (Type != B_DIRECT && B->Get1()) {
                    MB->Field_Pred = 1;
                    if (Type != B_BACKWARD) {
                        MB->Field_Sel[0][0] = static_cast<int>(B->Get1());
                        MB->Field_Sel[0][1] = static_cast<int>(B->Get1());
                    }
                    if (Type != B_FORWARD) {
                        MB->Field_Sel[1][0] = static_cast<int>(B->Get1());
                        MB->Field_Sel[1][1] = static_cast<int>(B->Get1());
                    }
                }
            }
        }
        KVR_ASSERT("kvr_mpg4_dec", D->VOL.Interlaced || (MB->Field_DCT == -1 && MB->Field_Pred == 0));
        char Dbg;
        if (Type == B_DIRECT) {
            int Dx = 0, Dy = 0;
            if (Modb_Data) {
                const KVR_MV Delta = Kvr_Read_MV(B, 0, 0, 1);
                Dx = Delta.X;
                Dy = Delta.Y;
            }
            Dbg = Direct(MB, Dx, Dy);
            if (!Modb_Data) Dbg = '0';
        } else {
            KVR_MV Fm[2] = {}, Bm[2] = {};
            if (Type != B_BACKWARD) Read_Dir(MB, 0, D->VOP.Fwd_Code, Fm);
            if (Type != B_FORWARD) Read_Dir(MB, 1, D->VOP.Bwd_Code, Bm);
            const int Sel_F[2] = {MB->Field_Sel[0][0], MB->Field_Sel[0][1]};
            const int Sel_B[2] = {MB->Field_Sel[1][0], MB->Field_Sel[1][1]};
            if (Type == B_FORWARD) Predict(MB, D->Fwd, D->MC, Fm, Sel_F);
            else if (Type == B_BACKWARD) Predict(MB, D->Bwd, D->MC, Bm, Sel_B);
            else {
                Predict(MB, D->Fwd, D->MC, Fm, Sel_F);
                Predict(MB, D->Bwd, D->MC_Avg, Bm, Sel_B);
            }
            Dbg = MB->Field_Pred ? "DBFI."[Type] : "?+-=."[Type];
        }
        if (MB->CBP) Kvr_Decode_Inter_Residual(D, B, MB);
        if (D->Debug >= 5) Kvr_Log(&D->Log, KVR_LOG_INFO, "%c", Dbg);
    }

    // Lost macroblocks [From, To): those skipped with their co-located one are copied as the stream
    // would have it, the rest predicted in direct mode without a delta (a macroblock sent without data).
    void Conceal(const KVR_MB* At, int From, int To) {
        KVR_MB C = *At;
        for (int i = From; i < To; ++i) {
            C.Idx = i;
            C.X = i % D->MB_W;
            C.Y = i / D->MB_W;
            C.Field_Pred = 0;
            C.Field_DCT = D->VOL.Interlaced ? 0 : -1;
            if (Plain_Skip_At(i)) Kvr_Copy_MB(D, &C, D->Fwd);
            else Direct(&C, 0, 0);
            if ((i + 1) % D->MB_W == 0) Kvr_MB_End_Row(D, &C);
        }
    }

    void Start_Packet(KVR_MB* MB, int First, const KVR_PACKET_HEADER& H) {
        MB->Quant = MB->Quant_Prev = H.Quant;
        MB->Packet_Start = First;
        MB->Packet_Bits = B->Bit_Pos();
        Reset_Preds();
    }

    // After macroblock MB->Idx: reads the header of a packet that follows and moves MB on.
    void Advance(KVR_MB* MB) {
        const int Total = D->MB_W * D->MB_H;
        int Next = MB->Idx + 1;
        if (Next % D->MB_W == 0) Kvr_MB_End_Row(D, MB);
        // Macroblocks skipped with their co-located one carry no bits, so the header of a video
        // packet that starts at one of them is only met before the next coded macroblock.
        if (MB->Resync_Len && Next < Total && !Plain_Skip_At(Next) && Kvr_Packet_Ahead(B, MB->Resync_Len)) {
            int Min = Next;
            while (Min - 1 > MB->Packet_Start && Plain_Skip_At(Min - 1)) --Min;
            KVR_PACKET_HEADER H;
            if (!Kvr_Read_Packet_Header(D, B, MB->Resync_Len, Min, false, &H))
                throw KVR_STREAM_EXCEPTION("Damaged video packet header in a B-VOP after macroblock %d", MB->Idx);
            if (H.First_MB > Next) {
                // Fewer macroblocks than the header says were read: the packet's data was damaged.
                Kvr_Note_Damage(D, std::make_exception_ptr(
                                       KVR_STREAM_EXCEPTION("B-VOP packet at macroblock %d ended at %d, before %d",
                                                            MB->Packet_Start, Next, H.First_MB)));
                Conceal(MB, Kvr_Short_Packet_Lost_From(MB->Packet_Start, Next), H.First_MB);
                Next = H.First_MB;
            }
            Start_Packet(MB, H.First_MB, H);
        }
        MB->Idx = Next;
        MB->X = Next % D->MB_W;
        MB->Y = Next / D->MB_W;
    }

    // From the handler of a stream error: conceals the damaged packet up to the next one found (the
    // rest of the picture when none) and places MB at that packet's first macroblock.
    void Recover(KVR_MB* MB) {
        Kvr_Note_Damage(D);
        KVR_PACKET_HEADER H;
        int From = 0, Next = 0;
        const bool Found =
            Kvr_Find_Lost_Span(D, B, MB->Resync_Len, MB->Packet_Bits, MB->Packet_Start, MB->Idx, &From, &Next, &H);
        Conceal(MB, From, Next);
        if (Found) Start_Packet(MB, Next, H);
        MB->Idx = Next;
        MB->X = Next % D->MB_W;
        MB->Y = Next / D->MB_W;
    }
};

}  // namespace

void Kvr_Asp_Decode_B_VOP(KVR_MP4_STATE* D, KVR_BITS* B) {
    KVR_ASSERT("kvr_mpg4_dec", D->VOP.Rounding == 0);
    const KVR_MB_INFO* Map = D->Maps[0].MB_Map;
    KVR_ASSERT("kvr_mpg4_dec", Map != 0);
    // Both anchors must hold decoded pictures; a B-VOP right after the first anchor (or after a
    // damaged one) has nothing to interpolate between and is dropped.
    if (!D->Pic_Ok[Kvr_Pic_Index(D, D->Fwd)] || !D->Pic_Ok[Kvr_Pic_Index(D, D->Bwd)])
        throw KVR_STREAM_EXCEPTION("B-VOP without two decoded reference pictures");
    const int64_t Past = D->Past_Time;
    const int64_t Trb = D->Cur->Time_Ticks - Past, Trd = D->Bwd->Time_Ticks - Past;
    if (Trd <= 0 || Trb <= 0 || Trb >= Trd || Trd > 0x7FFFFFFF)
        throw KVR_STREAM_EXCEPTION("B-VOP time outside its reference pictures");

    B_Decoder Dec{D, B, {}, {}, Map};
    Dec.T.TRB = static_cast<int>(Trb);
    Dec.T.TRD = static_cast<int>(Trd);
    const int64_t Frame = D->B_Time_Dist > 0 ? D->B_Time_Dist : 1;
    const int64_t Base = Rounded_Div(Past, Frame);
    Dec.T.Field_TRD = static_cast<int>((Rounded_Div(D->Bwd->Time_Ticks, Frame) - Base) * 2);
    Dec.T.Field_TRB = static_cast<int>((Rounded_Div(D->Cur->Time_Ticks, Frame) - Base) * 2);

    KVR_MB MB;
    Kvr_MB_Start_VOP(D, &MB);
    MB.Packet_Bits = B->Bit_Pos();
    const int Total = D->MB_W * D->MB_H;
    while (MB.Idx < Total) {
        try {
            if (MB.X == 0) Dec.Reset_Preds();
            Dec.Macroblock(&MB);
            Kvr_Check_Overread(B);
            Dec.Advance(&MB);
        } catch (const KVR_STREAM_EXCEPTION&) {
            Dec.Recover(&MB);
        }
    }
}
