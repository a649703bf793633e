#include "fuzz/CodecLibrary.h"

#include <cstdlib>
#include <cstring>

#include "fuzz/KeptBlocksMemory.h"
#include "kvr_syst/Kvr_Log.h"
#include "kvr_syst/Kvr_Mem.h"

namespace vistrel::fuzz {

namespace {

// The text was formatted already (so a bad format still shows); reading it keeps that honest.
void dropMessage(void*, int, const char* text) {
    volatile std::size_t length = std::strlen(text);
    (void)length;
}

bool keepMessages() {
    const char* v = std::getenv("VISTREL_FUZZ_LOG");
    return v != nullptr && std::strcmp(v, "1") == 0;
}

}  // namespace

void PrepareCodecLibrary() {
    // Never destroyed: decoders of static objects may give blocks back at exit.
    static KeptBlocksMemory* const memory = [] {
        auto* m = new KeptBlocksMemory;
        Kvr_Set_Decoder_Mem(m);
        if (!keepMessages()) Kvr_Set_Default_Log(&dropMessage, nullptr);
        return m;
    }();
    memory->StartInput();
}

}  // namespace vistrel::fuzz
