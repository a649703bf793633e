// Records as the emulator writes them, read back by the tests' own parser: CRC, versions, types,
// key frames, payload forms, packets and audio.

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <set>

#include "TestClient.h"
#include "base/ByteOrder.h"
#include "tools/dvr/ImaAdpcmEncoder.h"
#include "tools/dvr/PesPacket.h"
#include "tools/dvr/RecordGenerator.h"
#include "tools/dvr/RecordWriter.h"

#include "video/h263/H263Decoder.h"

using namespace vistrel::dvr;
using emutest::ParsedRecord;

namespace {

const Mpeg4ClipLibrary& clips() {
    static Mpeg4ClipLibrary library;
    static bool loaded = [] {
        std::string error;
        return library.load(std::string(VISTREL_BINARY_DIR) + "/dvr-clips", &error);
    }();
    EXPECT_TRUE(loaded);
    return library;
}

DvrOptions smallOptions() {
    DvrOptions o;
    o.recordedSecondsPerHour = 2;
    o.recordIntervalMs = 200;
    return o;
}

PlaybackRange rangeOf(int hour, int minute, int second) {
    PlaybackRange r;
    r.start = CivilTime{2009, 2, 24, hour, minute, second};
    r.end = CivilTime{2009, 2, 24, hour, 59, 59};
    r.startSeconds = toSeconds(r.start);
    r.endSeconds = toSeconds(r.end);
    return r;
}

std::vector<std::uint8_t> generate(const DvrOptions& o, const PlaybackRange& range, RecordingCache* cache,
                                   std::uint16_t mask = 0xFFFF) {
    RecordGenerator generator(o, clips(), range, mask, cache);
    std::vector<std::vector<std::uint8_t>> records;
    std::vector<std::uint8_t> all;
    while (generator.next(records))
        for (const auto& r : records) all.insert(all.end(), r.begin(), r.end());
    return all;
}

using vistrel::base::Le32;

// IMA ADPCM decoding written from the format description, apart from the emulator's code.
struct ReferenceAdpcm {
    int predictor = 0, index = 0;
    int decode(int n) {
        static const int steps[89] = {
            7,    8,     9,     10,    11,    12,    13,    14,    16,    17,    19,    21,    23,    25,   28,
            31,   34,    37,    41,    45,    50,    55,    60,    66,    73,    80,    88,    97,    107,  118,
            130,  143,   157,   173,   190,   209,   230,   253,   279,   307,   337,   371,   408,   449,  494,
            544,  598,   658,   724,   796,   876,   963,   1060,  1166,  1282,  1411,  1552,  1707,  1878, 2066,
            2272, 2499,  2749,  3024,  3327,  3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845, 8630,
            9493, 10442, 11487, 12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};
        static const int adjust[8] = {-1, -1, -1, -1, 2, 4, 6, 8};
        const int step = steps[index];
        const int diff = ((2 * (n & 7) + 1) * step) / 8;
        predictor += (n & 8) ? -diff : diff;
        predictor = predictor < -32768 ? -32768 : predictor > 32767 ? 32767 : predictor;
        index += adjust[n & 7];
        index = index < 0 ? 0 : index > 88 ? 88 : index;
        return predictor;
    }
};

}  // namespace

TEST(RecordWriter, CrcCheckValueAndHeaderLayout) {
    const char* check = "123456789";
    EXPECT_EQ(recordCrc16(reinterpret_cast<const std::uint8_t*>(check), 9), 0x29B1);
    EXPECT_EQ(emutest::bitwiseCrc16(reinterpret_cast<const std::uint8_t*>(check), 9), 0x29B1);

    for (int version : {1, 2}) {
        std::vector<std::uint8_t> out;
        RecordFields f;
        f.version = version;
        f.channel = 7;
        f.timestampMs = 123456;
        f.flags = kFlagKeyFrame;
        f.type = kTypeH263;
        const std::uint8_t payload[5] = {1, 2, 3, 4, 5};
        appendRecord(out, f, payload, sizeof payload);
        ASSERT_EQ(out.size(), recordHeaderSize(version) + 5);
        const auto scan = emutest::scanRecords(out);
        ASSERT_EQ(scan.good.size(), 1u);
        EXPECT_EQ(scan.good[0].version, version);
        EXPECT_EQ(scan.good[0].channel, 7);
        EXPECT_EQ(scan.good[0].timestamp, 123456u);
        EXPECT_EQ(scan.good[0].flags, kFlagKeyFrame);
        EXPECT_EQ(scan.good[0].sizeCode, 2);
        EXPECT_EQ(scan.good[0].payload, std::vector<std::uint8_t>(payload, payload + 5));
    }
    std::vector<std::uint8_t> end;
    appendEndRecord(end, 99, kEndCodeRangeDone);
    const auto scan = emutest::scanRecords(end);
    ASSERT_EQ(scan.good.size(), 1u);
    EXPECT_TRUE(scan.good[0].flags & kFlagEndRecord);
    EXPECT_EQ(scan.good[0].endCode, kEndCodeRangeDone);
}

TEST(RecordGenerator, RecordedRangeHoldsAllChannelsThenTheEndRecord) {
    const DvrOptions o = smallOptions();
    const auto data = generate(o, rangeOf(13, 0, 0), nullptr);
    const auto scan = emutest::scanRecords(data);
    EXPECT_EQ(scan.badCrc, 0);
    EXPECT_EQ(scan.skippedBytes, 0u);
    EXPECT_FALSE(scan.truncated);
    ASSERT_FALSE(scan.good.empty());
    const ParsedRecord& last = scan.good.back();
    EXPECT_TRUE(last.flags & kFlagEndRecord);
    EXPECT_EQ(last.endCode, kEndCodeRangeDone);

    std::map<int, int> perChannel;
    std::set<int> versions;
    std::map<int, bool> firstIsKey;
    std::uint32_t previousTs = 0;
    for (std::size_t i = 0; i + 1 < scan.good.size(); ++i) {
        const ParsedRecord& r = scan.good[i];
        versions.insert(r.version);
        EXPECT_GE(r.timestamp, previousTs);
        EXPECT_LT(r.timestamp, 2000u);  // 2 s recorded from minute 0, stamped from the hour's start
        EXPECT_EQ(r.timestamp % 200, 0u);
        previousTs = r.timestamp;
        const auto coding = o.channels[r.channel];
        const bool video = !(r.type == kTypeMpeg4Audio && r.payload[3] == kAudioStreamId);
        if (video) {
            ++perChannel[r.channel];
            if (!firstIsKey.count(r.channel)) firstIsKey[r.channel] = (r.flags & kFlagKeyFrame) != 0;
        }
        EXPECT_EQ(r.sizeCode, kSizeCode320x240);
        if (coding == ChannelCoding::H263) {
            ASSERT_EQ(r.type, kTypeH263);
            // The length word and the picture, without the 14-byte header.
            ASSERT_GE(r.payload.size(), 5u);
            EXPECT_EQ(r.payload[0] | r.payload[1] << 8, int(r.payload.size()));
            EXPECT_EQ(r.payload[2], 0);
            EXPECT_EQ(r.payload[3], 0);
            EXPECT_TRUE(r.payload[4] & 0x80);
        } else if (coding == ChannelCoding::Mpeg4) {
            ASSERT_EQ(r.type, kTypeMpeg4);
            ASSERT_GE(r.payload.size(), 8u);
            EXPECT_EQ(Le32(r.payload.data()), r.payload.size() - 4);
            EXPECT_EQ(r.payload[4], 0);
            EXPECT_EQ(r.payload[5], 0);
            EXPECT_EQ(r.payload[6], 1);
        } else {
            ASSERT_EQ(r.type, kTypeMpeg4Audio);
            ASSERT_GE(r.payload.size(), kPesHeaderSize + 8);
            EXPECT_EQ(r.payload[0], 0);
            EXPECT_EQ(r.payload[1], 0);
            EXPECT_EQ(r.payload[2], 1);
            const std::size_t dataStart = 9 + r.payload[8];
            ASSERT_LT(dataStart, r.payload.size());
            const std::uint8_t* d = r.payload.data() + dataStart;
            const std::size_t n = r.payload.size() - dataStart;
            if (r.payload[3] == kAudioStreamId) {
                EXPECT_EQ(n, std::size_t(o.recordIntervalMs * kAudioSampleRate / 1000 / 2));
                EXPECT_FALSE(r.flags & kFlagKeyFrame);
            } else {
                ASSERT_EQ(r.payload[3], kVideoStreamId);
                // Either form the adapter reads: 18-byte frame header or 32-bit length, then a start code.
                const bool withHeader = d[0] == 0xF6 && d[2] == 0xFF && d[4] == 0xF9 && d[6] == 0xDD &&
                                        d[12] == 0xC5;
                const std::size_t skip = withHeader ? 18 : 4;
                EXPECT_EQ(Le32(d + (withHeader ? 14 : 0)), n - skip);
                EXPECT_EQ(d[skip + 2], 1);
                EXPECT_NE(d[n - 1], 0) << "the conversion drops trailing zero bytes of a video packet";
            }
        }
    }
    EXPECT_EQ(versions, (std::set<int>{1, 2}));
    ASSERT_EQ(perChannel.size(), 16u);
    for (const auto& [channel, count] : perChannel) {
        EXPECT_EQ(count, 10) << channel;
        EXPECT_TRUE(firstIsKey[channel]) << channel;
    }
}

TEST(RecordGenerator, NothingRecordedGivesOnlyTheEndRecord) {
    const auto scan = emutest::scanRecords(generate(smallOptions(), rangeOf(13, 30, 0), nullptr));
    ASSERT_EQ(scan.good.size(), 1u);
    EXPECT_TRUE(scan.good[0].flags & kFlagEndRecord);
    // A range that ends before it starts.
    PlaybackRange backwards = rangeOf(13, 0, 0);
    backwards.endSeconds = backwards.startSeconds - 1;
    EXPECT_EQ(emutest::scanRecords(generate(smallOptions(), backwards, nullptr)).good.size(), 1u);
}

TEST(RecordGenerator, ChannelMaskAndMidRecordingStart) {
    DvrOptions o = smallOptions();
    // From 13:00:01 only the second half of the recording; channel 1 (H.263) alone.
    const auto scan = emutest::scanRecords(generate(o, rangeOf(13, 0, 1), nullptr, 0x0002));
    ASSERT_EQ(scan.good.size(), 6u);
    EXPECT_EQ(scan.good[0].timestamp, 1000u);
    EXPECT_TRUE(scan.good[0].flags & kFlagKeyFrame);
    EXPECT_TRUE(scan.good[0].flags & kFlagDiscontinuity);
    for (std::size_t i = 0; i < 5; ++i) EXPECT_EQ(scan.good[i].channel, 1);
}

// Pictures are the same whichever request made them, so the cache can hand them out.
TEST(RecordGenerator, CachedPicturesMatchFreshlyEncodedOnes) {
    const DvrOptions o = smallOptions();
    RecordingCache cache;
    const auto fresh = generate(o, rangeOf(13, 0, 1), nullptr, 0x0001);
    generate(o, rangeOf(13, 0, 0), &cache, 0x0001);
    const auto cached = generate(o, rangeOf(13, 0, 1), &cache, 0x0001);
    const auto a = emutest::scanRecords(fresh), b = emutest::scanRecords(cached);
    ASSERT_EQ(a.good.size(), b.good.size());
    for (std::size_t i = 0; i < a.good.size(); ++i) EXPECT_EQ(a.good[i].payload, b.good[i].payload) << i;
}

TEST(RecordGenerator, RecordedH263DecodesWithOurDecoder) {
    const auto scan = emutest::scanRecords(generate(smallOptions(), rangeOf(13, 0, 0), nullptr, 0x0001));
    auto decoder = vistrel::h263::H263Decoder::Create();
    ASSERT_TRUE(decoder);
    int frames = 0;
    for (const auto& r : scan.good)
        if (!(r.flags & kFlagEndRecord)) frames += decoder->Feed(r.payload.data(), r.payload.size(), -1);
    EXPECT_EQ(frames, 10);
    EXPECT_EQ(decoder->picturesDecoded(), 10u);
}

TEST(ImaAdpcm, PacketsCarryAToneAnIndependentDecoderRecovers) {
    DvrOptions o = smallOptions();
    const auto scan = emutest::scanRecords(generate(o, rangeOf(13, 0, 0), nullptr, 0x1000));
    ReferenceAdpcm reference;
    double error = 0, energy = 0;
    int sampleIndex = 0;
    const double frequency = 300.0 + 50.0 * 12;
    for (const auto& r : scan.good) {
        if (r.type != kTypeMpeg4Audio || r.payload[3] != kAudioStreamId) continue;
        for (std::size_t i = 9 + r.payload[8]; i < r.payload.size(); ++i) {
            for (int nibble : {r.payload[i] >> 4, r.payload[i] & 15}) {
                const double expected = 6000.0 * std::sin(6.283185307179586 * frequency * sampleIndex / 8000.0);
                const double got = reference.decode(nibble);
                if (sampleIndex > 64) {  // past the encoder's start-up
                    error += (got - expected) * (got - expected);
                    energy += expected * expected;
                }
                ++sampleIndex;
            }
        }
    }
    EXPECT_EQ(sampleIndex, 2 * 8000);
    ASSERT_GT(energy, 0);
    EXPECT_GT(10 * std::log10(energy / error), 20.0) << "signal to noise of the decoded tone";

    // The encoder's state is exactly the decoder's.
    ImaAdpcmState encoder, decoder;
    for (int s = -30000; s < 30000; s += 777) {
        const int nibble = imaAdpcmEncodeSample(s, encoder);
        imaAdpcmDecodeStep(nibble, decoder);
        ASSERT_EQ(encoder.predictor, decoder.predictor);
        ASSERT_EQ(encoder.index, decoder.index);
    }
}

TEST(PesPacket, HeaderFields) {
    const std::uint8_t data[3] = {9, 8, 7};
    const auto p = makePesPacket(kVideoStreamId, 1000, data, 3);
    ASSERT_EQ(p.size(), kPesHeaderSize + 3);
    EXPECT_EQ(p[3], kVideoStreamId);
    EXPECT_EQ((p[4] << 8 | p[5]), int(p.size() - 6));
    EXPECT_EQ(9 + p[8], int(kPesHeaderSize));
    // 1000 ms on the 90 kHz clock.
    const std::uint64_t pts = (std::uint64_t(p[9] & 0x0E) << 29) | (std::uint64_t(p[10]) << 22) |
                              (std::uint64_t(p[11] & 0xFE) << 14) | (std::uint64_t(p[12]) << 7) | (p[13] >> 1);
    EXPECT_EQ(pts, 90000u);
    const std::vector<std::uint8_t> big(70000, 1);
    EXPECT_EQ(makePesPacket(kVideoStreamId, 0, big.data(), big.size())[4], 0);
}
