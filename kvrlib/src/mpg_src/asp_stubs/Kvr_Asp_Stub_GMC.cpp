// Placeholder until global motion compensation exists: S-VOPs using it are refused.
#include "kvr_syst/Kvr_Except.h"
#include "mpg_src/Kvr_Asp_Hooks.h"

void Kvr_Asp_Setup_GMC(KVR_MP4_STATE*) {}

void Kvr_Asp_Predict_GMC_MB(KVR_MP4_STATE*, KVR_MB*) {
    throw KVR_UNSUPPORTED_EXCEPTION("GMC not supported");
}
