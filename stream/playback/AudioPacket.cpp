#include "stream/playback/AudioPacket.h"

namespace vistrel::playback {

namespace {

constexpr std::size_t kPacketFixedHeader = 9;
constexpr std::size_t kPacketHeaderLengthOffset = 8;

bool FindPacketData(const std::uint8_t* p, std::size_t length, std::uint8_t firstId, std::size_t* offset,
                    std::size_t* count) {
    if (p == nullptr || length < kPacketFixedHeader || p[0] != 0 || p[1] != 0 || p[2] != 1) return false;
    if (p[3] < firstId || p[3] > firstId + 0x0F) return false;
    const std::size_t start = kPacketFixedHeader + p[kPacketHeaderLengthOffset];
    if (start > length) return false;
    *offset = start;
    *count = length - start;
    return true;
}

}  // namespace

bool FindAudioPacketData(const std::uint8_t* payload, std::size_t length, std::size_t* offset,
                         std::size_t* count) {
    return FindPacketData(payload, length, 0xC0, offset, count);
}

bool FindVideoPacketData(const std::uint8_t* payload, std::size_t length, std::size_t* offset,
                         std::size_t* count) {
    return FindPacketData(payload, length, 0xE0, offset, count);
}

void DecodeAdpcmBytes(const std::uint8_t* data, std::size_t count, AdpcmState& state,
                      std::vector<std::int16_t>& samples) {
    samples.reserve(samples.size() + 2 * count);
    for (std::size_t i = 0; i < count; ++i) {
        samples.push_back(std::int16_t(DecodeADPCMC(data[i] >> 4, &state)));
        samples.push_back(std::int16_t(DecodeADPCMC(data[i] & 0x0F, &state)));
    }
}

}  // namespace vistrel::playback
