// The playback record stream: the magic hunt, both header versions, the header CRC, payload
// lengths, frame-header insertion and the ring's put-back, then the conversion of type-14 records
// (audio and video packets) into chunks. The input is the body as the DVR would send it.

#include <memory>

#include "fuzz/FuzzSupport.h"
#include "fuzz/FuzzTarget.h"
#include "fuzz/ReusedPlayback.h"
#include "stream/playback/PacketChunkConverter.h"
#include "stream/playback/PlaybackRing.h"
#include "stream/playback/RecordReader.h"

using namespace vistrel::playback;
using namespace vistrel::fuzz;

VISTREL_FUZZ_TARGET(record_reader) {
    static std::uint8_t* conversion = new std::uint8_t[kConversionBufferSize];
    PlaybackRing& ring = EmptyPlaybackRing();
    const std::size_t n = std::min(size, PlaybackRing::kSize - 1);
    ring.Write(data, n);
    ring.SetEndOfStream();
    PacketChunkConverter* converter = FreshChunkConverter();
    // Kept, as the player keeps its record buffer from record to record; it grows when a record
    // needs more.
    static RecordBuffer record;
    int records = 0;
    while (ReadRecord(ring, record, {})) {
        if (record.length() > record.capacity()) Finding("record longer than its buffer");
        if (++records > int(n)) Finding("more records than input bytes");
        if (record.header().isEndRecord()) break;
        if (record.header().type() == kTypeMpeg4Audio) {
            if (ConvertRecord(converter, record, conversion, kConversionBufferSize) &&
                record.length() > record.capacity())
                Finding("converted record longer than its buffer");
        }
        HeapCopy copy(record.data(), record.length());
    }
    return 0;
}
