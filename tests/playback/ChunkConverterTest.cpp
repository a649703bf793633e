// Packet-to-chunk conversion, the IMA ADPCM step, and ffmpeg's opinion of the blocks we write.

#include <gtest/gtest.h>

#include <unistd.h>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "RecordBuilder.h"
#include "stream/playback/PacketChunkConverter.h"
#include "stream/playback/RecordReader.h"
#include "video/frame/FrameHeader.h"

using namespace vistrel::playback;
using namespace vistrel::playback::test;

namespace {

constexpr std::uint8_t kExtraHeader = 5;  // packet header bytes after byte 8

std::vector<std::uint8_t> Packet(std::uint8_t id, const std::vector<std::uint8_t>& data) {
    std::vector<std::uint8_t> p = {0x00, 0x00, 0x01, id, 0x01, 0x02, 0x83, 0x80, kExtraHeader};
    p.insert(p.end(), kExtraHeader, 0xEE);
    p.insert(p.end(), data.begin(), data.end());
    return p;
}

RecordBuffer RecordOf(const std::vector<std::uint8_t>& packet) {
    RecordSpec s;
    s.type = kTypeMpeg4Audio;
    s.timeStamp = 0x0A0B0C0D;
    s.payload = packet;
    const auto bytes = MakeRecord(s);
    RecordBuffer r(bytes.size() + kRecordSpare);
    std::memcpy(r.data(), bytes.data(), bytes.size());
    return r;
}

struct Converted {
    bool ok = false;
    std::vector<std::uint8_t> chunks;  // after the frame header and the count
};

Converted Convert(PacketChunkConverter* c, const std::vector<std::uint8_t>& packet,
                  std::size_t capacity = kConversionBufferSize) {
    static std::vector<std::uint8_t> buffer(kConversionBufferSize);
    RecordBuffer r = RecordOf(packet);
    Converted out;
    out.ok = ConvertRecord(c, r, buffer.data(), capacity);
    if (!out.ok) return out;
    const std::uint8_t* p = r.payload();
    EXPECT_TRUE(vistrel::frame::HasFrameHeaderAt(p));
    EXPECT_EQ(vistrel::frame::FrameHeaderWord(p), 0x0A0B0C0Du);
    const std::uint32_t count = Le32(p + 14);
    EXPECT_EQ(r.payloadLength(), 14 + 4 + count);
    out.chunks.assign(p + 18, p + 18 + count);
    return out;
}

std::vector<std::uint8_t> Ramp(std::size_t n, std::uint8_t start) {
    std::vector<std::uint8_t> v(n);
    for (std::size_t i = 0; i < n; ++i) v[i] = std::uint8_t(start + i);
    return v;
}

// The block our step gives for 252 recorded bytes (first sample in the high nibble) from `state`.
std::vector<std::uint8_t> ExpectedBlock(const std::uint8_t* recorded, AdpcmState& state) {
    std::vector<std::uint8_t> b = {std::uint8_t(state.predictor & 0xFF),
                                   std::uint8_t((state.predictor >> 8) & 0xFF), std::uint8_t(state.stepIndex), 0};
    for (int i = 0; i < 252; ++i) {
        DecodeADPCMC(recorded[i] >> 4, &state);
        DecodeADPCMC(recorded[i] & 15, &state);
        b.push_back(std::uint8_t((recorded[i] << 4) | (recorded[i] >> 4)));
    }
    return b;
}

}  // namespace

TEST(ImaAdpcm, StepUsesTheExactProductAndReportsBadInput) {
    AdpcmState s;
    s.stepIndex = 10;  // step 19
    s.predictor = 100;
    EXPECT_EQ(DecodeADPCMC(8, &s), 98);  // magnitude 0 still moves down by step / 8
    EXPECT_EQ(s.stepIndex, 9);
    s = {88, 32000};
    EXPECT_EQ(DecodeADPCMC(7, &s), 32767);  // clamped; the shift-and-add form would differ here anyway
    s = {20, -50};
    // step 50, magnitude 5: (11 * 50) / 8 = 68
    EXPECT_EQ(DecodeADPCMC(13, &s), -118);
    EXPECT_EQ(s.stepIndex, 24);

    const AdpcmState before = s;
    testing::internal::CaptureStderr();
    EXPECT_EQ(DecodeADPCMC(16, &s), 0);
    EXPECT_EQ(DecodeADPCMC(-1, &s), 0);
    EXPECT_EQ(DecodeADPCMC(3, nullptr), 0);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err,
              "[DecodeADPCMC] Error in ADPCM sample, aborting.\n\n"
              "[DecodeADPCMC] Error in ADPCM sample, aborting.\n\n"
              "[DecodeADPCMC] Error in ADPCMState, aborting.\n\n");
    EXPECT_EQ(s.stepIndex, before.stepIndex);
    EXPECT_EQ(s.predictor, before.predictor);
}

TEST(PacketChunkConverter, CutsAudioIntoBlocksAndCarriesTheRest) {
    auto c = CreatePacketChunkConverter();
    ASSERT_TRUE(c);
    AdpcmState expected;

    // Exactly one block: header from the fresh state, nibbles swapped, first byte 0x12 -> 0x21.
    auto first = Ramp(252, 0x12);
    Converted a = Convert(c.get(), Packet(0xC0, first));
    ASSERT_TRUE(a.ok);
    ASSERT_EQ(a.chunks.size(), 260u);
    EXPECT_EQ(0, std::memcmp(a.chunks.data(), "01wb", 4));
    EXPECT_EQ(a.chunks[4], 0);
    EXPECT_EQ(a.chunks[5], 0);
    EXPECT_EQ(a.chunks[6], 0);
    EXPECT_EQ(a.chunks[7], 0);
    EXPECT_EQ(a.chunks[8], 0x21);
    EXPECT_EQ(std::vector<std::uint8_t>(a.chunks.begin() + 4, a.chunks.end()),
              ExpectedBlock(first.data(), expected));
    EXPECT_EQ(c->carry, 0u);

    // 300 bytes: one block, 48 carried; then 204 complete the next block.
    auto second = Ramp(300, 0x40);
    Converted b = Convert(c.get(), Packet(0xC3, second));
    ASSERT_TRUE(b.ok);
    ASSERT_EQ(b.chunks.size(), 260u);
    EXPECT_EQ(std::vector<std::uint8_t>(b.chunks.begin() + 4, b.chunks.end()),
              ExpectedBlock(second.data(), expected));
    EXPECT_EQ(c->carry, 48u);
    auto third = Ramp(204, 0x90);
    Converted d = Convert(c.get(), Packet(0xC0, third));
    ASSERT_TRUE(d.ok);
    ASSERT_EQ(d.chunks.size(), 260u);
    std::vector<std::uint8_t> joined(second.end() - 48, second.end());
    joined.insert(joined.end(), third.begin(), third.end());
    EXPECT_EQ(std::vector<std::uint8_t>(d.chunks.begin() + 4, d.chunks.end()),
              ExpectedBlock(joined.data(), expected));
    EXPECT_EQ(c->carry, 0u);

    // Less than a block: no chunk at all, the bytes wait.
    Converted e = Convert(c.get(), Packet(0xC0, Ramp(100, 1)));
    ASSERT_TRUE(e.ok);
    EXPECT_TRUE(e.chunks.empty());
    EXPECT_EQ(c->carry, 100u);

    // Three blocks and a rest in one packet.
    Converted f = Convert(c.get(), Packet(0xC0, Ramp(700, 2)));
    ASSERT_TRUE(f.ok);
    EXPECT_EQ(f.chunks.size(), 3 * 260u);
    EXPECT_EQ(c->carry, (100u + 700u) % 252u);
}

TEST(PacketChunkConverter, VideoBecomesOneChunkWithoutTrailingZeros) {
    auto c = CreatePacketChunkConverter();
    std::vector<std::uint8_t> data = {0x00, 0x00, 0x01, 0xB6, 0x10, 0x00, 0x20, 0x00, 0x00, 0x00};
    Converted v = Convert(c.get(), Packet(0xE0, data));
    ASSERT_TRUE(v.ok);
    std::vector<std::uint8_t> want = {'0', '0', 'd', 'c', 0x00, 0x00, 0x01, 0xB6, 0x10, 0x00, 0x20};
    EXPECT_EQ(v.chunks, want);
    // Only a header: still exactly one (empty) chunk.
    Converted empty = Convert(c.get(), Packet(0xEF, {}));
    ASSERT_TRUE(empty.ok);
    EXPECT_EQ(empty.chunks, std::vector<std::uint8_t>({'0', '0', 'd', 'c'}));
}

TEST(PacketChunkConverter, RefusesWhatItCannotConvertAndKeepsItsState) {
    auto c = CreatePacketChunkConverter();
    ASSERT_TRUE(Convert(c.get(), Packet(0xC0, Ramp(100, 0))).ok);
    const std::size_t carry = c->carry;
    EXPECT_FALSE(Convert(nullptr, Packet(0xC0, Ramp(10, 0))).ok);
    EXPECT_FALSE(Convert(c.get(), {}).ok);
    EXPECT_FALSE(Convert(c.get(), Packet(0xBD, Ramp(300, 0))).ok);  // private stream
    auto noPrefix = Packet(0xC0, Ramp(300, 0));
    noPrefix[2] = 0x02;
    EXPECT_FALSE(Convert(c.get(), noPrefix).ok);
    auto longHeader = Packet(0xC0, Ramp(3, 0));
    longHeader[8] = 200;  // header claims more bytes than the packet has
    EXPECT_FALSE(Convert(c.get(), longHeader).ok);
    EXPECT_FALSE(Convert(c.get(), std::vector<std::uint8_t>{0, 0, 1, 0xC0}).ok);
    EXPECT_FALSE(Convert(c.get(), Packet(0xC0, std::vector<std::uint8_t>(kMaxPacketLength, 1))).ok);
    const AdpcmState state = c->adpcmState;
    EXPECT_FALSE(Convert(c.get(), Packet(0xC0, Ramp(600, 0)), 100).ok);  // no room for the blocks
    EXPECT_EQ(c->carry, carry);
    EXPECT_EQ(c->adpcmState.predictor, state.predictor);
    EXPECT_EQ(c->adpcmState.stepIndex, state.stepIndex);
}

TEST(PacketChunkConverter, LargestPacketFitsAndDamagedPacketsAreHarmless) {
    auto c = CreatePacketChunkConverter();
    Converted big = Convert(c.get(), Packet(0xC0, std::vector<std::uint8_t>(kMaxPacketLength - 14, 0x77)));
    ASSERT_TRUE(big.ok);
    EXPECT_EQ(big.chunks.size(), ((kMaxPacketLength - 14) / 252) * 260);

    std::mt19937 rng(99);
    for (int round = 0; round < 400; ++round) {
        auto p = Packet(round % 2 ? 0xC0 : 0xE0, Ramp(rng() % 900, std::uint8_t(round)));
        if (round % 3 == 0) p.resize(rng() % (p.size() + 1));
        for (int f = 0; f < 3 && !p.empty(); ++f) p[rng() % p.size()] ^= std::uint8_t(1u << (rng() % 8));
        Convert(c.get(), p);
        ASSERT_LT(c->carry, 252u);
        ASSERT_GE(c->adpcmState.stepIndex, 0);
        ASSERT_LE(c->adpcmState.stepIndex, 88);
    }
}

namespace {

// A plain IMA ADPCM coder, for realistic test audio.
std::uint8_t EncodeNibble(int sample, AdpcmState& state) {
    const int step = kImaStepTable[state.stepIndex];
    int diff = sample - state.predictor;
    int nibble = 0;
    if (diff < 0) {
        nibble = 8;
        diff = -diff;
    }
    nibble |= std::min(7, diff * 4 / step);
    DecodeADPCMC(nibble, &state);
    return std::uint8_t(nibble);
}

void PutLe(std::string& s, std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) s.push_back(char((v >> (8 * i)) & 0xFF));
}

}  // namespace

TEST(PacketChunkConverter, BlocksDecodeInFfmpegToOurSamples) {
    if (std::system("ffmpeg -version > /dev/null 2>&1") != 0) GTEST_SKIP() << "ffmpeg not installed";
    auto c = CreatePacketChunkConverter();
    // Recorded audio: a tone with noise, then a stretch of random nibbles that drives the clamps.
    std::mt19937 rng(7);
    AdpcmState coder;
    std::vector<std::uint8_t> recorded;
    for (int i = 0; i < 8000; ++i) {
        const int a = int(9000 * std::sin(i * 0.07) + 3000 * std::sin(i * 0.011)) + int(rng() % 600) - 300;
        const int b = int(9000 * std::sin((i + 0.5) * 0.07)) + int(rng() % 600) - 300;
        recorded.push_back(std::uint8_t((EncodeNibble(a, coder) << 4) | EncodeNibble(b, coder)));
    }
    for (int i = 0; i < 1500; ++i) recorded.push_back(std::uint8_t(rng()));

    // Through the conversion in packets of uneven sizes, with video packets between them.
    std::string blocks;
    std::size_t at = 0;
    while (at < recorded.size()) {
        const std::size_t n = std::min<std::size_t>(recorded.size() - at, 50 + rng() % 700);
        Converted a = Convert(c.get(), Packet(0xC0, {recorded.begin() + std::ptrdiff_t(at),
                                                     recorded.begin() + std::ptrdiff_t(at + n)}));
        ASSERT_TRUE(a.ok);
        at += n;
        ASSERT_EQ(a.chunks.size() % 260, 0u);
        for (std::size_t k = 0; k < a.chunks.size(); k += 260) {
            ASSERT_EQ(0, std::memcmp(&a.chunks[k], "01wb", 4));
            blocks.append(reinterpret_cast<const char*>(&a.chunks[k + 4]), 256);
        }
        ASSERT_TRUE(Convert(c.get(), Packet(0xE0, {0, 0, 1, 0xB6, 1})).ok);
    }
    const std::size_t blockCount = blocks.size() / 256;
    ASSERT_GT(blockCount, 30u);

    // Our samples: each block's header sample, then its 504 nibbles through our step.
    std::vector<std::int16_t> ours;
    AdpcmState state;
    for (std::size_t b = 0; b < blockCount; ++b) {
        ours.push_back(std::int16_t(state.predictor));
        for (int i = 0; i < 252; ++i) {
            const std::uint8_t v = recorded[b * 252 + std::size_t(i)];
            ours.push_back(std::int16_t(DecodeADPCMC(v >> 4, &state)));
            ours.push_back(std::int16_t(DecodeADPCMC(v & 15, &state)));
        }
    }

    const auto dir = std::filesystem::temp_directory_path() / ("vistrel_adpcm_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const auto wav = dir / "blocks.wav";
    const auto raw = dir / "decoded.raw";
    {
        std::string h = "RIFF";
        PutLe(h, std::uint32_t(4 + 8 + 20 + 8 + blocks.size()), 4);
        h += "WAVEfmt ";
        PutLe(h, 20, 4);
        PutLe(h, 0x11, 2);  // IMA ADPCM
        PutLe(h, 1, 2);     // mono
        PutLe(h, 8000, 4);
        PutLe(h, 8000 * 256 / 505, 4);
        PutLe(h, 256, 2);  // block align
        PutLe(h, 4, 2);
        PutLe(h, 2, 2);
        PutLe(h, 505, 2);  // samples per block
        h += "data";
        PutLe(h, std::uint32_t(blocks.size()), 4);
        std::ofstream(wav, std::ios::binary) << h << blocks;
    }
    const std::string cmd =
        "ffmpeg -v error -y -i '" + wav.string() + "' -f s16le -acodec pcm_s16le '" + raw.string() + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    std::ifstream in(raw, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::filesystem::remove_all(dir);
    ASSERT_EQ(bytes.size(), ours.size() * 2);
    std::size_t mismatches = 0;
    for (std::size_t i = 0; i < ours.size(); ++i) {
        const std::int16_t theirs =
            std::int16_t(std::uint8_t(bytes[2 * i]) | (std::uint8_t(bytes[2 * i + 1]) << 8));
        if (theirs != ours[i] && ++mismatches < 5)
            ADD_FAILURE() << "sample " << i << ": " << theirs << " vs " << ours[i];
    }
    EXPECT_EQ(mismatches, 0u);
}
