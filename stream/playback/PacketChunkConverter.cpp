#include "stream/playback/PacketChunkConverter.h"

#include <cstring>
#include <new>

#include "stream/playback/RecordReader.h"
#include "video/frame/FrameHeader.h"

namespace vistrel::playback {

namespace {

constexpr std::size_t kPacketHeaderLengthOffset = 8;
constexpr std::size_t kPacketFixedHeader = 9;
constexpr std::size_t kCountSize = 4;

bool IsAudioId(std::uint8_t id) { return id >= 0xC0 && id <= 0xCF; }
bool IsVideoId(std::uint8_t id) { return id >= 0xE0 && id <= 0xEF; }

void Put(PacketChunkConverter& c, const void* data, std::size_t length) {
    std::memcpy(c.output + c.outputPosition, data, length);
    c.outputPosition += length;
}

// Finishes the block in c.block: header from the state before its samples, then the samples run
// through the decoder step (first sample in the high nibble as recorded) and stored the way IMA
// ADPCM blocks carry them (first sample in the low nibble).
void EmitAudioBlock(PacketChunkConverter& c) {
    const int predictor = c.adpcmState.predictor;
    PutLe16(c.block, std::uint32_t(predictor));
    c.block[2] = std::uint8_t(c.adpcmState.stepIndex);
    c.block[3] = 0;
    for (std::size_t i = kAdpcmBlockHeader; i < kAdpcmBlockSize; ++i) {
        const std::uint8_t b = c.block[i];
        DecodeADPCMC(b >> 4, &c.adpcmState);
        DecodeADPCMC(b & 0x0F, &c.adpcmState);
        c.block[i] = std::uint8_t((b << 4) | (b >> 4));
    }
    Put(c, "01wb", kChunkIdSize);
    Put(c, c.block, kAdpcmBlockSize);
}

}  // namespace

std::unique_ptr<PacketChunkConverter> CreatePacketChunkConverter() {
    std::unique_ptr<PacketChunkConverter> c(new (std::nothrow) PacketChunkConverter);
    if (!c) return nullptr;
    c->input.reset(new (std::nothrow) std::uint8_t[kMaxPacketLength]);
    if (!c->input) return nullptr;
    return c;
}

bool ConvertRecord(PacketChunkConverter* converter, RecordBuffer& record, std::uint8_t* conversionBuffer,
                   std::size_t capacity) {
    if (!converter || !conversionBuffer || capacity < kCountSize) return false;
    PacketChunkConverter& c = *converter;
    const std::size_t length = record.payloadLength();
    if (length == 0 || length > kMaxPacketLength) return false;
    std::memcpy(c.input.get(), record.payload(), length);
    c.inputLength = length;

    const std::uint8_t* in = c.input.get();
    if (length < kPacketFixedHeader || in[0] != 0 || in[1] != 0 || in[2] != 1) return false;
    const std::uint8_t id = in[3];
    const bool audio = IsAudioId(id);
    if (!audio && !IsVideoId(id)) return false;
    const std::size_t dataStart = kPacketFixedHeader + in[kPacketHeaderLengthOffset];
    if (dataStart > length) return false;  // header claims more than the packet holds

    c.output = conversionBuffer;
    c.outputCapacity = capacity;
    c.outputPosition = kCountSize;
    if (!audio) {
        std::size_t end = length;
        while (end > dataStart && in[end - 1] == 0) --end;
        const std::size_t dataLength = end - dataStart;
        if (kCountSize + kChunkIdSize + dataLength > capacity) return false;
        Put(c, "00dc", kChunkIdSize);
        Put(c, in + dataStart, dataLength);
    } else {
        const std::size_t n = length - dataStart;
        const std::size_t blocks = (c.carry + n) / kAdpcmBlockData;
        const std::size_t rest = (c.carry + n) % kAdpcmBlockData;
        // Checked before the state moves, so a refused packet leaves the channel's audio intact.
        if (kCountSize + blocks * (kChunkIdSize + kAdpcmBlockSize) > capacity) return false;
        const std::uint8_t* data = in + dataStart;
        for (std::size_t b = 0; b < blocks; ++b) {
            const std::size_t take = kAdpcmBlockData - c.carry;
            std::memcpy(c.block + kAdpcmBlockHeader + c.carry, data, take);
            data += take;
            c.carry = 0;
            EmitAudioBlock(c);
        }
        const std::size_t left = std::size_t(in + length - data);
        std::memcpy(c.block + kAdpcmBlockHeader + c.carry, data, left);
        c.carry = rest;
    }

    const std::size_t chunkBytes = c.outputPosition - kCountSize;
    PutLe32(conversionBuffer, std::uint32_t(chunkBytes));
    const std::size_t newPayload = c.outputPosition;
    c.output = nullptr;
    if (!record.Grow(kRecordHeaderSize + newPayload + frame::kFrameHeaderSize + kRecordSpare, kRecordHeaderSize))
        return false;
    std::memcpy(record.payload(), conversionBuffer, newPayload);
    record.setPayloadLength(std::uint32_t(newPayload));
    InsertFrameHeader(record, false);
    return true;
}

}  // namespace vistrel::playback
