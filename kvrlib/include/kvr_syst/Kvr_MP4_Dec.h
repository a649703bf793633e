// Public interface of the MPEG-4 video decoder: the decoder object and its picture descriptor.
#pragma once

#include <cstdint>

#include "kvr_syst/Kvr_Except.h"
#include "kvr_syst/Kvr_Log.h"
#include "kvr_syst/Kvr_Mem.h"

enum { I_VOP = 0, P_VOP = 1, B_VOP = 2, S_VOP = 3, D_VOP = 4 };

// One decoded picture. The planes point into the decoder's picture store and stay valid only
// until the next Decode call that decodes a picture.
struct KVR_MP4_FRAME {
    uint8_t* Y;      // first visible luma sample
    uint8_t* U;      // first visible Cb sample
    uint8_t* V;      // first visible Cr sample
    int32_t Coding;  // I_VOP, P_VOP, B_VOP or S_VOP
    int32_t Width;
    int32_t Height;
    int32_t BpS;   // bytes per line, the same for all three planes
    void* MV_Map;  // motion-vector map attached while decoding, null on output
    double Time;   // seconds = Time_Ticks / time resolution
    int64_t Time_Ticks;
    void* MB_Map;  // macroblock-info map attached while decoding, null on output
    int32_t Reserved;
};

typedef void (*KVR_SLICER)(const KVR_MP4_FRAME* Pic, int Y, int Lines, uint32_t Data);

class KVR_MP4_DEC {
public:
    virtual ~KVR_MP4_DEC() {}
    // Bytes consumed; Len 0 flushes the picture held back for output.
    virtual int Decode(const uint8_t* Buf, int Len) = 0;
    virtual int Decode_MPEG12(const uint8_t* Buf, int Len) = 0;
    virtual int Get_Frame_Number() const = 0;
    virtual int Is_Frame_Ready() const = 0;
    virtual void Consume_Frame(KVR_MP4_FRAME* Pic) = 0;
    virtual KVR_MEM_I* Set_Memory_Manager(KVR_MEM_I* Mem) = 0;
    virtual void Set_CPU(int Cpu) = 0;
    virtual void Set_Slicer(KVR_SLICER Slicer, uint32_t Data) = 0;
    virtual void Set_Debug_Level(int Level) = 0;
    virtual void Get_All_Frames(KVR_MP4_FRAME* Pic) const = 0;
    virtual int Set_Param(const char* Option) = 0;
};

// Null only when the object itself cannot be allocated.
KVR_MP4_DEC* Kvr_MP4_New_Decoder();
void Kvr_MP4_Delete_Decoder(KVR_MP4_DEC* Dec);
// Sends the messages of Dec (unsupported features, damaged streams, debug dumps) to Fn instead of the
// process-wide hook; a null Fn goes back to it. Set it before decoding, on the thread that decodes.
void Kvr_Set_Log(KVR_MP4_DEC* Dec, KVR_LOG_FN Fn, void* User);
