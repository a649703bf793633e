// The record CRC, the playback ring and the record reader.

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <random>
#include <thread>

#include "RecordBuilder.h"
#include "stream/playback/PlaybackRing.h"
#include "stream/playback/RecordReader.h"
#include "video/frame/FrameHeader.h"

using namespace vistrel::playback;
using namespace vistrel::playback::test;

namespace {

std::vector<std::uint8_t> Bytes(std::size_t n, std::uint8_t seed) {
    std::vector<std::uint8_t> v(n);
    for (std::size_t i = 0; i < n; ++i) v[i] = std::uint8_t(seed + i * 7);
    return v;
}

struct Reader {
    PlaybackRing ring;
    RecordBuffer record;
    std::atomic<std::uint32_t> stop{0};
    std::atomic<std::uint32_t> interrupt{0};
    const std::atomic<std::uint32_t>* flags[2] = {&stop, &interrupt};

    explicit Reader(const std::vector<std::uint8_t>& stream, bool end = true) {
        ring.Write(stream.data(), stream.size());
        if (end) ring.SetEndOfStream();
    }
    bool Next() { return ReadRecord(ring, record, flags); }
    std::vector<std::uint8_t> Payload() const {
        return {record.payload(), record.payload() + record.payloadLength()};
    }
};

}  // namespace

TEST(RecordCrc, MatchesTheCcittFalseCheckValue) {
    BuildRecordCrcTable();
    const char* check = "123456789";
    EXPECT_EQ(RecordCrc16(reinterpret_cast<const std::uint8_t*>(check), 9), 0x29B1);
    EXPECT_EQ(RecordCrc16(nullptr, 0), 0xFFFF);
}

TEST(PlaybackRing, InterruptedReadDeliversItsBytesFirstOnTheNextRead) {
    PlaybackRing ring;
    std::atomic<std::uint32_t> stop{0};
    const std::atomic<std::uint32_t>* flags[1] = {&stop};
    const auto data = Bytes(10, 1);
    ring.Write(data.data(), 6);
    std::uint8_t out[10] = {};
    std::thread raiser([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        stop = 1;
    });
    EXPECT_EQ(ring.Read(out, 10, flags), 0u);  // waits for 4 more bytes until the flag rises
    raiser.join();
    stop = 0;
    ring.Write(data.data() + 6, 4);
    std::uint8_t again[10] = {};
    ASSERT_EQ(ring.Read(again, 10, flags), 10u);
    EXPECT_EQ(0, std::memcmp(again, data.data(), 10));
}

TEST(PlaybackRing, EndOfStreamGivesShortReadsAndWrapsKeepOrder) {
    PlaybackRing ring;
    const std::atomic<std::uint32_t>* flags[1] = {nullptr};
    // Push more than the ring's size through it to cross the wrap several times.
    std::vector<std::uint8_t> all = Bytes(PlaybackRing::kSize * 2 + 123, 9);
    std::thread writer([&] {
        for (std::size_t at = 0; at < all.size(); at += 1024)
            ring.Write(all.data() + at, std::min<std::size_t>(1024, all.size() - at));
        ring.SetEndOfStream();
    });
    std::vector<std::uint8_t> got(all.size() + 100);
    std::size_t n = 0;
    for (;;) {
        const std::size_t r = ring.Read(got.data() + n, 7000, flags);
        n += r;
        if (r < 7000) break;
    }
    writer.join();
    ASSERT_EQ(n, all.size());
    EXPECT_EQ(0, std::memcmp(got.data(), all.data(), n));
    EXPECT_EQ(ring.Free(), PlaybackRing::kSize - 1);
}

TEST(RecordReader, SkipsGarbageAndDamagedHeadersAndFindsTheNextRecord) {
    std::vector<std::uint8_t> stream = {0x00, 0xFF, 0xFF, 0xFE, 0x12, 0xFF};  // garbage, a near-magic
    RecordSpec bad;
    bad.payload = Bytes(40, 3);
    bad.breakCrc = true;
    Append(stream, MakeRecord(bad));
    RecordSpec version;  // unknown header version
    version.payload = Bytes(10, 4);
    auto unknown = MakeRecord(version);
    unknown[kOffVersion] = 3;
    Append(stream, unknown);
    // A header cut short: the next record's magic lies inside its 54 bytes.
    RecordSpec cutSpec;
    cutSpec.payload = Bytes(30, 5);
    auto cut = MakeRecord(cutSpec);
    cut.resize(20);
    Append(stream, cut);
    RecordSpec good;
    good.type = kTypeMpeg4;
    good.timeStamp = 4242;
    good.payload = Bytes(100, 6);
    Append(stream, MakeRecord(good));

    Reader r(stream);
    ASSERT_TRUE(r.Next());
    EXPECT_EQ(r.record.header().timeStamp(), 4242u);
    EXPECT_EQ(r.record.payloadLength(), 114u);
    EXPECT_FALSE(r.Next());
}

TEST(RecordReader, WidensShortHeadersAndFiltersTypes) {
    std::vector<std::uint8_t> stream;
    RecordSpec v1;
    v1.version = 1;
    v1.type = 7;
    v1.channel = 3;
    v1.payload = Bytes(12, 1);
    Append(stream, MakeRecord(v1));
    for (int skipped : {0, 5, 6, 9, 15, 300}) {
        RecordSpec s;
        s.type = skipped;
        s.payload = Bytes(5, 2);
        Append(stream, MakeRecord(s));
    }
    RecordSpec audio;
    audio.type = kTypeMpeg4Audio;
    audio.payload = Bytes(9, 3);
    Append(stream, MakeRecord(audio));
    Append(stream, MakeEndRecord(0x1234));

    Reader r(stream);
    ASSERT_TRUE(r.Next());
    EXPECT_EQ(r.record.header().type(), 7);
    EXPECT_EQ(r.record.header().channel(), 3);
    for (std::size_t i = kRecordHeaderV1Size; i < kRecordHeaderSize; ++i) EXPECT_EQ(r.record.data()[i], 0) << i;
    EXPECT_EQ(r.Payload(), v1.payload);  // type 7 gets no frame header
    ASSERT_TRUE(r.Next());
    EXPECT_EQ(r.record.header().type(), kTypeMpeg4Audio);
    EXPECT_EQ(r.Payload(), audio.payload);  // the conversion inserts its header later
    ASSERT_TRUE(r.Next());
    EXPECT_TRUE(r.record.header().isEndRecord());
    EXPECT_EQ(r.record.header().endCode(), 0x1234);
    EXPECT_FALSE(r.Next());
}

TEST(RecordReader, InsertsTheFrameHeaderOnceForH263TypeRecords) {
    RecordSpec plain;
    plain.timeStamp = 0x01020304;
    plain.payload = Bytes(0x10005, 1);  // more than 16 bits of length
    RecordSpec framed;
    framed.payload.resize(14);
    vistrel::frame::WriteFrameHeader(framed.payload.data(), 20, 0);
    auto rest = Bytes(20, 2);
    framed.payload.insert(framed.payload.end(), rest.begin(), rest.end());
    std::vector<std::uint8_t> stream;
    Append(stream, MakeRecord(plain));
    Append(stream, MakeRecord(framed));

    Reader r(stream);
    ASSERT_TRUE(r.Next());
    ASSERT_EQ(r.record.payloadLength(), 0x10005u + 14);
    const std::uint8_t* p = r.record.payload();
    EXPECT_TRUE(vistrel::frame::HasFrameHeaderAt(p));
    EXPECT_EQ(p[1], 0x00);
    EXPECT_EQ(p[3], 0x01);
    EXPECT_EQ(vistrel::frame::FrameHeaderWord(p), 0x01020304u);
    EXPECT_EQ(p[8], 0x08);
    EXPECT_EQ(p[10], 0x80);
    EXPECT_EQ(p[13], 0x80);
    EXPECT_EQ(0, std::memcmp(p + 14, plain.payload.data(), plain.payload.size()));
    ASSERT_TRUE(r.Next());
    EXPECT_EQ(r.Payload(), framed.payload);
}

TEST(RecordReader, OversizedLengthIsTakenAsDamage) {
    RecordSpec huge;
    huge.payload = Bytes(8, 1);
    auto bad = MakeRecord(huge);
    PutLe32(&bad[kOffPayloadLength], 0xFFFFFFF0u);
    const std::uint16_t crc = RecordHeaderCrc(bad.data(), kRecordHeaderSize);
    bad[kOffCrc] = std::uint8_t(crc >> 8);
    bad[kOffCrc + 1] = std::uint8_t(crc);
    RecordSpec good;
    good.timeStamp = 77;
    good.payload = Bytes(8, 2);
    std::vector<std::uint8_t> stream = bad;
    Append(stream, MakeRecord(good));
    Reader r(stream);
    ASSERT_TRUE(r.Next());
    EXPECT_EQ(r.record.header().timeStamp(), 77u);
}

TEST(RecordReader, AStopInsideARecordLosesNothing) {
    RecordSpec a;
    a.type = 7;  // handed out as received, so payloads compare directly
    a.timeStamp = 1;
    a.payload = Bytes(3000, 1);
    RecordSpec b;
    b.type = 7;
    b.timeStamp = 2;
    b.payload = Bytes(500, 2);
    std::vector<std::uint8_t> first = MakeRecord(a);
    std::vector<std::uint8_t> second = MakeRecord(b);
    std::vector<std::uint8_t> all = first;
    Append(all, second);
    // Every cut point: the reader is stopped there, then the rest arrives and reading goes on.
    for (std::size_t cutAt : {std::size_t(2), std::size_t(20), std::size_t(45), std::size_t(1000),
                              first.size() - 1, first.size() + 30}) {
        Reader r({all.begin(), all.begin() + std::ptrdiff_t(cutAt)}, false);
        std::thread raiser([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            r.interrupt = 1;
        });
        bool gotFirst = false;
        if (cutAt > first.size()) {
            ASSERT_TRUE(r.Next());
            gotFirst = true;
        }
        EXPECT_FALSE(r.Next());
        raiser.join();
        r.interrupt = 0;
        r.ring.Write(all.data() + cutAt, all.size() - cutAt);
        r.ring.SetEndOfStream();
        if (!gotFirst) {
            ASSERT_TRUE(r.Next()) << cutAt;
            EXPECT_EQ(r.Payload(), a.payload) << cutAt;
        }
        ASSERT_TRUE(r.Next()) << cutAt;
        EXPECT_EQ(r.Payload(), b.payload) << cutAt;
        EXPECT_FALSE(r.Next());
    }
}

TEST(RecordReader, SurvivesTruncationsAndBitFlips) {
    std::vector<std::uint8_t> stream;
    for (int i = 0; i < 12; ++i) {
        RecordSpec s;
        s.version = 1 + i % 2;
        s.type = (i % 3 == 0) ? kTypeMpeg4Audio : kTypeH263;
        s.timeStamp = std::uint32_t(i * 40);
        s.payload = Bytes(std::size_t(20 + i * 37), std::uint8_t(i));
        Append(stream, MakeRecord(s));
    }
    Append(stream, MakeEndRecord(1));
    std::mt19937 rng(1234);
    for (int round = 0; round < 300; ++round) {
        std::vector<std::uint8_t> damaged = stream;
        if (round % 2 == 0) damaged.resize(rng() % damaged.size());
        const int flips = 1 + int(rng() % 8);
        for (int f = 0; f < flips && !damaged.empty(); ++f)
            damaged[rng() % damaged.size()] ^= std::uint8_t(1u << (rng() % 8));
        Reader r(damaged);
        int n = 0;
        while (r.Next()) {
            // Whatever comes out has a consistent length within its buffer.
            ASSERT_LE(r.record.length(), r.record.capacity());
            ASSERT_LT(++n, 100);
        }
    }
}
