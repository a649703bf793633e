#pragma once
// Ownership of a library decoder object, and the factory the adapter makes it with (tests hand
// in decoders of their own).

#include <functional>
#include <memory>

#include "kvr_syst/Kvr_MP4_Dec.h"

namespace vistrel::mpeg4 {

using LibraryDecoderDeleter = void (*)(KVR_MP4_DEC*);
using LibraryDecoder = std::unique_ptr<KVR_MP4_DEC, LibraryDecoderDeleter>;
using LibraryFactory = std::function<LibraryDecoder()>;

// A decoder from the library; null when it cannot be made (its failures are caught here).
LibraryDecoder NewLibraryDecoder();

}  // namespace vistrel::mpeg4
