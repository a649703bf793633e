// The packet-to-chunk conversion and its ADPCM step on packets the input makes up directly (a
// 16-bit length, then the packet), so the converter is reached without passing the record CRC.
// The converter's state carries over from packet to packet, as it does for one channel.

#include <memory>

#include "fuzz/FuzzSupport.h"
#include "fuzz/FuzzTarget.h"
#include "fuzz/ReusedPlayback.h"
#include "stream/playback/PacketChunkConverter.h"
#include "stream/playback/RecordReader.h"

using namespace vistrel::playback;
using namespace vistrel::fuzz;

VISTREL_FUZZ_TARGET(chunk_converter) {
    static std::uint8_t* conversion = new std::uint8_t[kConversionBufferSize];
    ByteSource source(data, size);
    PacketChunkConverter* converter = FreshChunkConverter();
    if (converter == nullptr) return 0;
    while (source.size() > 0) {
        std::size_t length = source.byte();
        length |= std::size_t(source.byte()) << 8;
        length = std::min(length, source.size());
        RecordBuffer record(kRecordHeaderSize + length + kRecordSpare);
        std::memset(record.data(), 0, kRecordHeaderSize);
        PutLe16(record.data() + kOffType, kTypeMpeg4Audio);
        record.setPayloadLength(std::uint32_t(length));
        if (length) std::memcpy(record.payload(), source.data(), length);
        for (std::size_t i = 0; i < length; ++i) source.byte();
        if (ConvertRecord(converter, record, conversion, kConversionBufferSize)) {
            if (record.length() > record.capacity()) Finding("converted record longer than its buffer");
            HeapCopy copy(record.payload(), record.payloadLength());
        }
    }
    AdpcmState state;
    for (std::size_t i = 0; i < std::min<std::size_t>(size, 64); ++i) {
        const int sample = DecodeADPCMC(data[i] & 0x0F, &state);
        if (sample < -32768 || sample > 32767 || state.stepIndex < 0 || state.stepIndex > 88)
            Finding("ADPCM state out of range");
    }
    return 0;
}
