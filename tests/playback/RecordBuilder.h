#pragma once
// Test helper: writes playback records (either header version, correct or damaged CRC).

#include <cstdint>
#include <vector>

#include "stream/playback/RecordCrc.h"
#include "stream/playback/RecordFormat.h"

namespace vistrel::playback::test {

struct RecordSpec {
    int version = 2;
    int channel = 0;
    std::uint32_t timeStamp = 0;
    std::uint32_t flags = kFlagKeyFrame;
    int type = kTypeH263;
    int sizeCode = kSizeCode320x240;
    std::vector<std::uint8_t> payload;
    int endSelector = 0;  // end records: bytes 38..39
    int endCode = 0;      // end records: bytes 40..41
    bool breakCrc = false;
};

inline std::vector<std::uint8_t> MakeRecord(const RecordSpec& s) {
    const std::size_t headerLength = s.version == 1 ? kRecordHeaderV1Size : kRecordHeaderSize;
    std::vector<std::uint8_t> r(headerLength, 0);
    for (int i = 0; i < 4; ++i) r[std::size_t(i)] = kRecordMagic[i];
    r[4] = 0x5A;
    r[kOffVersion] = std::uint8_t(s.version);
    PutLe16(&r[kOffChannel], std::uint32_t(s.channel));
    PutLe32(&r[kOffPayloadLength], std::uint32_t(s.payload.size()));
    PutLe32(&r[kOffTimeStamp], s.timeStamp);
    PutLe32(&r[kOffFlags], s.flags);
    PutLe16(&r[kOffType], std::uint32_t(s.type));
    PutLe16(&r[kOffSizeCode], std::uint32_t(s.sizeCode));
    if (s.version != 1) {
        PutLe16(&r[kOffEndSelector], std::uint32_t(s.endSelector));
        PutLe16(&r[kOffEndCode], std::uint32_t(s.endCode));
        r[50] = 0x77;  // uninterpreted bytes still count in the CRC
    }
    std::uint16_t crc = RecordHeaderCrc(r.data(), headerLength);
    if (s.breakCrc) crc ^= 0x0100;
    r[kOffCrc] = std::uint8_t(crc >> 8);
    r[kOffCrc + 1] = std::uint8_t(crc);
    r.insert(r.end(), s.payload.begin(), s.payload.end());
    return r;
}

inline std::vector<std::uint8_t> MakeEndRecord(int code, int selector = 0) {
    RecordSpec s;
    s.flags = kFlagEndRecord;
    s.type = 0;
    s.endCode = code;
    s.endSelector = selector;
    return MakeRecord(s);
}

inline void Append(std::vector<std::uint8_t>& to, const std::vector<std::uint8_t>& what) {
    to.insert(to.end(), what.begin(), what.end());
}

}  // namespace vistrel::playback::test
