#include "stream/playback/RecordReader.h"

#include <cstring>
#include <vector>

#include "stream/playback/RecordCrc.h"
#include "video/frame/FrameHeader.h"

namespace vistrel::playback {

bool IsReturnedRecordType(int type) {
    return (type >= 1 && type <= 4) || type == 7 || type == 8 || (type >= 10 && type <= 14);
}

namespace {

bool NeedsFrameHeader(int type) { return type == 1 || type == 2 || type == 8 || type == 13; }

// Reads exactly `count` bytes. On a short read, bytes this record had already consumed
// (`consumed`, `consumedLength`) go back to the ring when a stop flag caused it, so that nothing
// of the record is lost across a pause.
bool ReadExactly(PlaybackRing& ring, std::uint8_t* destination, std::size_t count, StopFlags stopFlags,
                 const std::uint8_t* consumed, std::size_t consumedLength) {
    const std::size_t got = ring.Read(destination, count, stopFlags);
    if (got == count) return true;
    if (got == 0 && AnyRaised(stopFlags)) ring.Unread(consumed, consumedLength);
    return false;
}

}  // namespace

bool ReadRecord(PlaybackRing& ring, RecordBuffer& record, StopFlags stopFlags) {
    std::uint8_t header[kRecordHeaderSize];
    for (;;) {
        // Hunt for the magic one byte at a time.
        if (!ReadExactly(ring, header, 4, stopFlags, nullptr, 0)) return false;
        while (std::memcmp(header, kRecordMagic, 4) != 0) {
            std::memmove(header, header + 1, 3);
            if (!ReadExactly(ring, header + 3, 1, stopFlags, header, 3)) return false;
        }
        if (!ReadExactly(ring, header + 4, kRecordHeaderV1Size - 4, stopFlags, header, 4)) return false;
        std::size_t headerLength = kRecordHeaderV1Size;
        const std::uint8_t version = header[kOffVersion];
        if (version == kHeaderVersionShort) {
            std::memset(header + kRecordHeaderV1Size, 0, kRecordHeaderSize - kRecordHeaderV1Size);
        } else if (version == kHeaderVersionLong) {
            if (!ReadExactly(ring, header + kRecordHeaderV1Size, kRecordHeaderSize - kRecordHeaderV1Size,
                             stopFlags, header, kRecordHeaderV1Size))
                return false;
            headerLength = kRecordHeaderSize;
        } else {
            // A damaged version byte: look for the next magic from the byte after this one.
            ring.Unread(header + 1, kRecordHeaderV1Size - 1);
            continue;
        }
        const std::uint16_t sent = std::uint16_t((header[kOffCrc] << 8) | header[kOffCrc + 1]);
        const RecordHeaderView view{header};
        if (sent != RecordHeaderCrc(header, headerLength) || view.payloadLength() > kMaxRecordPayload) {
            // The magic may have been payload bytes, or the header was cut short and the next
            // record began inside it: search again right after this magic.
            ring.Unread(header + 1, headerLength - 1);
            continue;
        }

        const std::size_t payloadLength = view.payloadLength();
        if (record.capacity() < payloadLength + kRecordSpare + kRecordHeaderSize) {
            const std::size_t size = ((payloadLength + kRecordSpare) / kRecordGrowStep + 2) * kRecordGrowStep;
            if (!record.Replace(size)) return false;
        }
        std::memcpy(record.data(), header, kRecordHeaderSize);
        if (payloadLength > 0) {
            const std::size_t got = ring.Read(record.payload(), payloadLength, stopFlags);
            if (got != payloadLength) {
                // The ring kept the partial payload; the header goes back in front of it.
                if (got == 0 && AnyRaised(stopFlags)) ring.Unread(header, headerLength);
                return false;
            }
        }
        const RecordHeaderView stored = record.header();
        if (stored.isEndRecord()) return true;
        if (NeedsFrameHeader(stored.type())) InsertFrameHeader(record);
        if (IsReturnedRecordType(stored.type())) return true;
    }
}

void InsertFrameHeader(RecordBuffer& record, bool checkPresent) {
    const std::uint32_t length = record.payloadLength();
    std::uint8_t* payload = record.payload();
    if (checkPresent && length >= frame::kFrameHeaderSize && frame::HasFrameHeaderAt(payload)) return;
    std::memmove(payload + frame::kFrameHeaderSize, payload, length);
    frame::WriteFrameHeader(payload, length, record.header().timeStamp());
    record.setPayloadLength(length + std::uint32_t(frame::kFrameHeaderSize));
}

}  // namespace vistrel::playback
