// The exception family: texts kept in process-wide buffers, and the raising routines.
#include "kvr_syst/Kvr_Except.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "kvr_syst/Kvr_Log.h"

namespace {
const int KVR_TEXT_MAX = 2048;
char Msg_Text[KVR_TEXT_MAX];
char Cond_Text[KVR_TEXT_MAX];
char Src_Text[KVR_TEXT_MAX];
int Line_Nb = 0;
long Byte_Count = 0;

void Copy_Text(char* Dst, const char* Src) {
    if (!Src) {
        Dst[0] = 0;
        return;
    }
    std::strncpy(Dst, Src, KVR_TEXT_MAX - 1);
    Dst[KVR_TEXT_MAX - 1] = 0;
}
}  // namespace

KVR_EXCEPTION::KVR_EXCEPTION() {}
KVR_EXCEPTION::~KVR_EXCEPTION() {}
void KVR_EXCEPTION::Print() const { Kvr_Log(nullptr, KVR_LOG_ERROR, "%s", Msg_Text); }
const char* KVR_EXCEPTION::Message() { return Msg_Text; }

KVR_MEM_EXCEPTION::KVR_MEM_EXCEPTION(const char* Name, long Bytes) {
    Copy_Text(Msg_Text, Name);
    Byte_Count = Bytes;
}
void KVR_MEM_EXCEPTION::Print() const {
    char Size[32] = "";
    if (Byte_Count != 0) std::snprintf(Size, sizeof(Size), "[%ld bytes]", Byte_Count);
    Kvr_Log(nullptr, KVR_LOG_ERROR, "Malloc failure %s\n%s", Size, Msg_Text);
}
const char* KVR_MEM_EXCEPTION::Name() { return Msg_Text; }
long KVR_MEM_EXCEPTION::Bytes() { return Byte_Count; }

KVR_ASSERT_EXCEPTION::KVR_ASSERT_EXCEPTION(const char* Condition, const char* Source, int Line, const char* Msg) {
    Copy_Text(Cond_Text, Condition);
    Copy_Text(Src_Text, Source);
    Copy_Text(Msg_Text, Msg);
    Line_Nb = Line;
}
void KVR_ASSERT_EXCEPTION::Print() const {
    Kvr_Log(nullptr, KVR_LOG_ERROR, "Assertion '%s' failed\n -> File '%s', line %d.\n%s", Cond_Text, Src_Text,
            Line_Nb, Msg_Text);
}
const char* KVR_ASSERT_EXCEPTION::Condition() { return Cond_Text; }
const char* KVR_ASSERT_EXCEPTION::Source() { return Src_Text; }
int KVR_ASSERT_EXCEPTION::Line() { return Line_Nb; }

void KVR_MSG_EXCEPTION::Format_Message(const char* Format, va_list Args) {
    std::vsnprintf(Msg_Text, KVR_TEXT_MAX, Format, Args);
}

KVR_MSG_EXCEPTION::KVR_MSG_EXCEPTION(const char* Format, ...) {
    va_list Args;
    va_start(Args, Format);
    Format_Message(Format, Args);
    va_end(Args);
}

KVR_UNSUPPORTED_EXCEPTION::KVR_UNSUPPORTED_EXCEPTION(const char* Format, ...) {
    va_list Args;
    va_start(Args, Format);
    Format_Message(Format, Args);
    va_end(Args);
}

KVR_STREAM_EXCEPTION::KVR_STREAM_EXCEPTION(const char* Format, ...) {
    va_list Args;
    va_start(Args, Format);
    Format_Message(Format, Args);
    va_end(Args);
}

void Kvr_Assert_Failed(const char* Condition, const char* Source, int Line, const char* Msg) {
    throw KVR_ASSERT_EXCEPTION(Condition, Source, Line, Msg);
}

void Kvr_Mem_Failed(const char* Name, long Bytes) { throw KVR_MEM_EXCEPTION(Name, Bytes); }
