// Where the library's messages go: a hook per decoder, and a process-wide one for everything else.
#pragma once

enum KVR_LOG_LEVEL { KVR_LOG_ERROR = 0, KVR_LOG_WARNING = 1, KVR_LOG_INFO = 2 };

// Text is the whole message as the console would show it, line ends included (debug dumps come in
// pieces of a line). Called on the thread that decodes, or that raised the message.
typedef void (*KVR_LOG_FN)(void* User, int Level, const char* Text);

// A null Fn sends the messages to the process-wide hook.
struct KVR_LOG_HOOK {
    KVR_LOG_FN Fn = nullptr;
    void* User = nullptr;
};

// Errors and warnings to standard error, information to standard output, text as given.
void Kvr_Log_To_Console(void* User, int Level, const char* Text);

// The process-wide hook: messages not tied to a decoder (CPU probe, allocators, exception reports)
// and those of decoders without a hook of their own. Null restores Kvr_Log_To_Console. Safe to call
// while other threads decode; a message already on its way may still reach the old hook.
void Kvr_Set_Default_Log(KVR_LOG_FN Fn, void* User);

// Formats the message and hands it to Hook (null: the process-wide hook). Texts longer than 8 KB are cut.
void Kvr_Log(const KVR_LOG_HOOK* Hook, int Level, const char* Format, ...) __attribute__((format(printf, 3, 4)));
