#pragma once
// The playback pieces whose buffers are far larger than one fuzz input (the 512 KB ring, the
// 256 KB packet copy of a converter), kept for the whole process and handed out empty, so an
// input pays for its own bytes and not for mapping and unmapping those buffers each time.

#include <memory>
#include <utility>

#include "stream/playback/PacketChunkConverter.h"
#include "stream/playback/PlaybackRing.h"

namespace vistrel::fuzz {

inline playback::PlaybackRing& EmptyPlaybackRing() {
    static auto* ring = new playback::PlaybackRing;
    ring->Reset();
    return *ring;
}

// A converter in the state CreatePacketChunkConverter gives, over the kept packet buffer; null
// when memory runs out.
inline playback::PacketChunkConverter* FreshChunkConverter() {
    static std::unique_ptr<playback::PacketChunkConverter> kept = playback::CreatePacketChunkConverter();
    if (!kept) return nullptr;
    auto input = std::move(kept->input);
    *kept = playback::PacketChunkConverter{};
    kept->input = std::move(input);
    return kept.get();
}

}  // namespace vistrel::fuzz
