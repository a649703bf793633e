// Placeholder until the reduced-resolution loop exists: such pictures are refused.
#include "kvr_syst/Kvr_Except.h"
#include "mpg_src/Kvr_Asp_Hooks.h"

void Kvr_Asp_Decode_RR_VOP(KVR_MP4_STATE*, KVR_BITS*) {
    throw KVR_UNSUPPORTED_EXCEPTION("Reduced-resolution VOPs not supported");
}
