// Placeholder until field prediction exists: field-predicted macroblocks are refused.
#include "kvr_syst/Kvr_Except.h"
#include "mpg_src/Kvr_Asp_Hooks.h"

void Kvr_Asp_Read_Field_MVs(KVR_MP4_STATE*, KVR_BITS*, KVR_MB*) {
    throw KVR_UNSUPPORTED_EXCEPTION("Field prediction not supported");
}

void Kvr_Asp_Predict_Field_MB(KVR_MP4_STATE*, KVR_MB*, const KVR_MP4_FRAME*, const KVR_MC_FN*) {
    throw KVR_UNSUPPORTED_EXCEPTION("Field prediction not supported");
}
