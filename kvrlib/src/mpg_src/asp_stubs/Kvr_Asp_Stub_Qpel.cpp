// Placeholder until quarter-sample prediction exists: such pictures are refused.
#include "kvr_syst/Kvr_Except.h"
#include "mpg_src/Kvr_Asp_Hooks.h"

void Kvr_Asp_Predict_Qpel_MB(KVR_MP4_STATE*, const KVR_MB*, const KVR_MP4_FRAME*, const KVR_MC_FN*,
                             const KVR_MV*, int) {
    throw KVR_UNSUPPORTED_EXCEPTION("Quarter-sample motion not supported");
}
