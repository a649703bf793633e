// Start code values of the MPEG-4 visual bitstream (the byte after the 00 00 01 prefix, plus 0x100).
#pragma once

#include <cstdint>

enum : uint32_t {
    KVR_VO_START_FIRST = 0x100,  // video_object_start_code, one per object id 0..31
    KVR_VO_START_LAST = 0x11F,
    KVR_VOL_START_FIRST = 0x120,  // video_object_layer_start_code, one per layer id 0..15
    KVR_VOL_START_LAST = 0x12F,
    KVR_RESERVED_START_FIRST = 0x130,  // reserved for later use
    KVR_RESERVED_START_LAST = 0x1AF,
    KVR_VOS_START = 0x1B0,  // visual_object_sequence_start_code
    KVR_VOS_END = 0x1B1,    // visual_object_sequence_end_code
    KVR_USER_DATA_START = 0x1B2,
    KVR_GOV_START = 0x1B3,           // group_of_vop_start_code
    KVR_SESSION_ERROR_CODE = 0x1B4,  // video_session_error_code
    KVR_VISUAL_OBJECT_START = 0x1B5,
    KVR_VOP_START = 0x1B6,
    KVR_RESERVED_B7 = 0x1B7,
    KVR_RESERVED_B8 = 0x1B8,
    KVR_SYSTEM_START_FIRST = 0x1B9,  // 0x1B9..0x1FF: mesh, face and system start codes
    KVR_SYSTEM_START_LAST = 0x1FF
};

inline bool Kvr_Is_VO_Start(uint32_t Code) { return Code >= KVR_VO_START_FIRST && Code <= KVR_VO_START_LAST; }
inline bool Kvr_Is_VOL_Start(uint32_t Code) { return Code >= KVR_VOL_START_FIRST && Code <= KVR_VOL_START_LAST; }
inline bool Kvr_Is_Start_Code(uint32_t Code) {
    return Code >= KVR_VO_START_FIRST && Code <= KVR_SYSTEM_START_LAST;
}
inline bool Kvr_Is_Reserved_Start(uint32_t Code) {
    return Code == KVR_SESSION_ERROR_CODE || Code == KVR_RESERVED_B7 || Code == KVR_RESERVED_B8 ||
           (Code >= KVR_RESERVED_START_FIRST && Code <= KVR_RESERVED_START_LAST);
}
