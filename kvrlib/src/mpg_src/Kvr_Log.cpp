// The library's message hooks and the console writer they default to.
#include "kvr_syst/Kvr_Log.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>

#include "mpg_src/Kvr_MP4_Dec_I.h"

namespace {
// Room for an assertion report: three texts of up to 2 KB each and the lines around them.
const int KVR_LOG_TEXT_MAX = 8192;

// Set by the embedder on any thread, read by every decoding thread.
std::mutex Default_Lock;
KVR_LOG_HOOK Default_Hook;  // guarded by Default_Lock

KVR_LOG_HOOK Current_Default() {
    std::lock_guard<std::mutex> Lock(Default_Lock);
    return Default_Hook;
}
}  // namespace

void Kvr_Log_To_Console(void*, int Level, const char* Text) {
    std::FILE* Out = Level == KVR_LOG_INFO ? stdout : stderr;
    std::fputs(Text, Out);
    std::fflush(Out);
}

void Kvr_Set_Default_Log(KVR_LOG_FN Fn, void* User) {
    std::lock_guard<std::mutex> Lock(Default_Lock);
    Default_Hook.Fn = Fn;
    Default_Hook.User = User;
}

void Kvr_Log(const KVR_LOG_HOOK* Hook, int Level, const char* Format, ...) {
    char Text[KVR_LOG_TEXT_MAX];
    va_list Args;
    va_start(Args, Format);
    std::vsnprintf(Text, sizeof(Text), Format, Args);
    va_end(Args);
    KVR_LOG_HOOK To = Hook && Hook->Fn ? *Hook : Current_Default();
    if (!To.Fn) To.Fn = Kvr_Log_To_Console;
    To.Fn(To.User, Level, Text);
}

void Kvr_Set_Log(KVR_MP4_DEC* Dec, KVR_LOG_FN Fn, void* User) {
    // Decoders that are not ours (test doubles) have no hook to set.
    auto* Ours = dynamic_cast<KVR_MP4_DEC_I*>(Dec);
    if (!Ours) return;
    Ours->State().Log.Fn = Fn;
    Ours->State().Log.User = User;
}
