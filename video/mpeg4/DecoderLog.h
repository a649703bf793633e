#pragma once
// Where the codec library's messages go in this program: nowhere, unless VISTREL_DECODER_LOG=1.

namespace vistrel::mpeg4 {

// True when the environment asks for the library's messages (VISTREL_DECODER_LOG=1).
bool DecoderLogEnabled();

// The library's log hook (KVR_LOG_FN): writes the text to standard error, one line per message
// and marked as the decoder's, when DecoderLogEnabled(); drops it otherwise. Any thread.
void DecoderLog(void* user, int level, const char* text);

}  // namespace vistrel::mpeg4
