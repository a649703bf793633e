// Video packets: the resync marker, the packet header, and the search for the next packet after damage.
#pragma once

#include "mpg_src/Kvr_MP4_State.h"

struct KVR_PACKET_HEADER {
    int First_MB = 0;  // linear index of the packet's first macroblock
    int Quant = 1;     // quantiser the packet starts with, clamped to 1..31
};

// Length in bits of the resync marker of the current VOP (16 zeros and more, then a one).
int Kvr_Resync_Marker_Len(const KVR_MP4_VOP& V);

// True when stuffing (a 0 then ones up to the byte boundary, a whole 0x7F when aligned) and a
// marker of Len bits follow the reader's position.
bool Kvr_Packet_Ahead(KVR_BITS* B, int Len);

// Reads the packet header that follows the stuffing and marker (both consumed here). Returns false,
// with the reader somewhere past the marker, when the header ran past the data or names a first
// macroblock outside [Min_MB, number of macroblocks). Strict also refuses what a real encoder never
// writes (quantiser 0, broken marker bits, a repeated coding type other than this VOP's): the
// search uses it, because there a marker-like pattern may be plain damaged data.
bool Kvr_Read_Packet_Header(const KVR_MP4_STATE* D, KVR_BITS* B, int Len, int Min_MB, bool Strict,
                            KVR_PACKET_HEADER* H);

// Looks for the next packet of this VOP at byte-aligned positions from bit From on, stopping at a
// start code (the end of the VOP) or the end of the data. On success the reader is placed after the
// header and true is returned; otherwise the reader is left at the start code (or the end).
bool Kvr_Find_Packet(const KVR_MP4_STATE* D, KVR_BITS* B, int64_t From, int Len, int Min_MB, KVR_PACKET_HEADER* H);

// A packet that starts at macroblock Packet_Start ended (its successor's header met) after fewer
// macroblocks than that header says, at Ended: the macroblocks from the returned one on are lost.
int Kvr_Short_Packet_Lost_From(int Packet_Start, int Ended);

// After a stream error at macroblock Failed_MB of the packet that starts at macroblock Packet_Start
// (its data at bit Packet_Bits; markers Len bits long, 0 without packets): the lost macroblocks are
// [*From, *Next), where Next is the first macroblock of the next packet found (true, *H filled and
// the reader after its header) or the end of the picture (false).
bool Kvr_Find_Lost_Span(const KVR_MP4_STATE* D, KVR_BITS* B, int Len, int64_t Packet_Bits, int Packet_Start,
                        int Failed_MB, int* From, int* Next, KVR_PACKET_HEADER* H);
