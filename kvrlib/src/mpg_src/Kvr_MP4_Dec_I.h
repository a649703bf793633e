// The decoder object: KVR_MP4_DEC implemented over one decoder state record.
#pragma once

#include "mpg_src/Kvr_MP4_State.h"

class KVR_MP4_DEC_I : public KVR_MP4_DEC {
public:
    KVR_MP4_DEC_I();
    ~KVR_MP4_DEC_I() override;
    KVR_MP4_DEC_I(const KVR_MP4_DEC_I&) = delete;
    KVR_MP4_DEC_I& operator=(const KVR_MP4_DEC_I&) = delete;

    int Decode(const uint8_t* Buf, int Len) override;
    int Decode_MPEG12(const uint8_t* Buf, int Len) override;
    int Get_Frame_Number() const override;
    int Is_Frame_Ready() const override;
    void Consume_Frame(KVR_MP4_FRAME* Pic) override;
    KVR_MEM_I* Set_Memory_Manager(KVR_MEM_I* Mem) override;
    void Set_CPU(int Cpu) override;
    void Set_Slicer(KVR_SLICER Slicer, uint32_t Data) override;
    void Set_Debug_Level(int Level) override;
    void Get_All_Frames(KVR_MP4_FRAME* Pic) const override;
    int Set_Param(const char* Option) override;

    // For tests and the kernel checker.
    KVR_MP4_STATE& State() { return S; }

private:
    KVR_MP4_STATE S;
};
