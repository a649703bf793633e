// Hostile input: bit flips, truncations and spliced streams never crash the decoder, and the
// first intra picture after the damage decodes exactly as in the clean stream.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "kvr_syst/Kvr_MP4_Dec.h"
#include "tests/support/Command.h"
#include "tests/support/Ffmpeg.h"
#include "tests/support/Files.h"

using namespace vistrel::testsupport;

namespace {

using Bytes = std::vector<std::uint8_t>;

struct Decoded {
    std::vector<Bytes> frames;  // visible I420 pictures
    int errors = 0;
};

void take(KVR_MP4_DEC* dec, Decoded& out) {
    if (!dec->Is_Frame_Ready()) return;
    KVR_MP4_FRAME f{};
    dec->Consume_Frame(&f);
    ASSERT_GT(f.Width, 0);
    Bytes pic;
    for (int y = 0; y < f.Height; ++y) pic.insert(pic.end(), f.Y + y * f.BpS, f.Y + y * f.BpS + f.Width);
    for (const std::uint8_t* plane : {f.U, f.V})
        for (int y = 0; y < (f.Height + 1) / 2; ++y)
            pic.insert(pic.end(), plane + y * f.BpS, plane + y * f.BpS + (f.Width + 1) / 2);
    out.frames.push_back(std::move(pic));
}

// Each piece goes into its own heap block of exactly its size, so that ASan sees any read past it.
Decoded decodeUnits(const Bytes& s) {
    Decoded out;
    KVR_MP4_DEC* dec = Kvr_MP4_New_Decoder();
    std::size_t pos = 0;
    while (pos < s.size()) {
        std::size_t next = pos + 3;
        while (next + 2 < s.size() && !(s[next] == 0 && s[next + 1] == 0 && s[next + 2] == 1)) ++next;
        if (next + 2 >= s.size()) next = s.size();
        std::vector<std::uint8_t> piece(s.begin() + long(pos), s.begin() + long(next));
        try {
            dec->Decode(piece.data(), int(piece.size()));
        } catch (const KVR_EXCEPTION&) {
            ++out.errors;
        }
        take(dec, out);
        pos = next;
    }
    try {
        dec->Decode(nullptr, 0);
    } catch (const KVR_EXCEPTION&) {
        ++out.errors;
    }
    take(dec, out);
    Kvr_MP4_Delete_Decoder(dec);
    return out;
}

// The adapter's way: one buffer, Decode called again on whatever was not consumed.
Decoded decodeWhole(const Bytes& s) {
    Decoded out;
    KVR_MP4_DEC* dec = Kvr_MP4_New_Decoder();
    std::size_t pos = 0;
    int guard = 0;
    while (pos < s.size() && guard++ < 100000) {
        int used = 0;
        try {
            used = dec->Decode(s.data() + pos, int(s.size() - pos));
        } catch (const KVR_EXCEPTION&) {
            ++out.errors;
            used = 4;  // skip the start code that led into the damage
        }
        take(dec, out);
        if (used <= 0) break;
        pos += std::size_t(used);
    }
    Kvr_MP4_Delete_Decoder(dec);
    return out;
}

class BadInput : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!HaveFfmpeg()) return;
        // ctest runs each case as its own process, possibly side by side: one folder per process.
        const std::string dir = ScratchDir("tests/kvrlib/scratch/badinput/" + std::to_string(::getpid()));
        // Intra pictures every 5, video packets, four vectors: every parser path gets hit.
        if (EncodeMovingClip(dir + "/a.m4v", 176, 144, 20, "-c:v mpeg4 -flags +mv4 -ps 150 -g 5"))
            clipA = ReadFile(dir + "/a.m4v");
        if (EncodeMovingClip(dir + "/b.m4v", 320, 240, 10, "-c:v libxvid -bf 0 -g 5"))
            clipB = ReadFile(dir + "/b.m4v");
        std::filesystem::remove_all(dir);
    }
    void SetUp() override {
        if (clipA.empty() || clipB.empty()) GTEST_SKIP() << "ffmpeg could not make the clips";
    }
    static Bytes clipA, clipB;
};
Bytes BadInput::clipA, BadInput::clipB;

// Offset of the n-th VOP start code.
std::size_t vopOffset(const Bytes& s, int n) {
    for (std::size_t i = 0; i + 3 < s.size(); ++i)
        if (s[i] == 0 && s[i + 1] == 0 && s[i + 2] == 1 && s[i + 3] == 0xB6 && n-- == 0) return i;
    return s.size();
}

TEST_F(BadInput, CleanStreamDecodesEveryPicture) {
    const Decoded d = decodeUnits(clipA);
    EXPECT_EQ(d.errors, 0);
    EXPECT_EQ(d.frames.size(), 20u);
    const Decoded w = decodeWhole(clipA);
    EXPECT_EQ(w.frames.size(), 19u);  // no flush in this path: the last picture stays held
}

TEST_F(BadInput, BitFlipsAreSurvivedAndTheNextIntraPictureRecovers) {
    const Decoded clean = decodeUnits(clipA);
    ASSERT_EQ(clean.frames.size(), 20u);
    // Damage only VOPs 5..9 (one intra period); from VOP 10 on, the pictures must be exact again.
    const std::size_t from = vopOffset(clipA, 5) + 4, to = vopOffset(clipA, 10);
    std::mt19937 rng(1234);
    int damagedRuns = 0;
    for (int round = 0; round < 25; ++round) {
        Bytes s = clipA;
        const int flips = 1 + int(rng() % 12);
        for (int i = 0; i < flips; ++i) {
            const std::size_t at = from + rng() % (to - from);
            s[at] ^= std::uint8_t(1u << (rng() % 8));
        }
        const Decoded d = decodeUnits(s);
        if (d.errors) ++damagedRuns;
        ASSERT_GE(d.frames.size(), 10u) << "round " << round;
        // The last ten pictures (intra at 10, then its P-VOPs) match the clean decoding.
        for (std::size_t k = 1; k <= 9; ++k)
            EXPECT_EQ(d.frames[d.frames.size() - k], clean.frames[clean.frames.size() - k])
                << "round " << round << " picture -" << k;
    }
    EXPECT_GT(damagedRuns, 0) << "the flips never produced a detectable error";
}

TEST_F(BadInput, RandomFlipsAnywhereNeverCrash) {
    std::mt19937 rng(99);
    for (int round = 0; round < 16; ++round) {
        Bytes s = (round & 1) ? clipA : clipB;
        const int flips = 1 + int(rng() % 40);
        for (int i = 0; i < flips; ++i) s[rng() % s.size()] ^= std::uint8_t(1u << (rng() % 8));
        if (round & 2) decodeWhole(s);
        else decodeUnits(s);
    }
}

TEST_F(BadInput, TruncationsEndCleanly) {
    std::mt19937 rng(7);
    for (int round = 0; round < 40; ++round) {
        const Bytes& src = (round & 1) ? clipA : clipB;
        Bytes s(src.begin(), src.begin() + long(rng() % src.size()));
        decodeUnits(s);
        decodeWhole(s);
    }
    // A VOP cut in half is reported, the picture is dropped, and the decoder goes on.
    const std::size_t v3 = vopOffset(clipA, 3), v4 = vopOffset(clipA, 4);
    Bytes s(clipA.begin(), clipA.begin() + long(v3 + (v4 - v3) / 2));
    s.insert(s.end(), clipA.begin() + long(v4), clipA.end());
    const Decoded d = decodeUnits(s);
    EXPECT_GE(d.errors, 1);
    EXPECT_GE(d.frames.size(), 18u);
}

TEST_F(BadInput, SplicedStreamsNeverCrash) {
    std::mt19937 rng(42);
    for (int round = 0; round < 20; ++round) {
        Bytes s;
        for (int piece = 0; piece < 4; ++piece) {
            const Bytes& src = (rng() & 1) ? clipA : clipB;
            const std::size_t a = rng() % src.size();
            const std::size_t len = std::min<std::size_t>(src.size() - a, 1 + rng() % 3000);
            s.insert(s.end(), src.begin() + long(a), src.begin() + long(a + len));
        }
        decodeUnits(s);
        decodeWhole(s);
    }
    // Header of one size, pictures of the other: the second layer header rebuilds the store.
    Bytes s(clipA.begin(), clipA.begin() + long(vopOffset(clipA, 7)));
    s.insert(s.end(), clipB.begin(), clipB.end());
    const Decoded d = decodeUnits(s);
    ASSERT_FALSE(d.frames.empty());
    EXPECT_EQ(d.frames.back().size(), 320u * 240u * 3u / 2u);
}

TEST_F(BadInput, RandomGarbageNeverCrashes) {
    std::mt19937 rng(5);
    const std::size_t header = vopOffset(clipA, 0);
    for (int round = 0; round < 40; ++round) {
        Bytes s(clipA.begin(), clipA.begin() + long(header));
        const std::size_t n = 20 + rng() % 2000;
        s.push_back(0);
        s.push_back(0);
        s.push_back(1);
        s.push_back(0xB6);
        for (std::size_t i = 0; i < n; ++i) s.push_back(std::uint8_t(rng()));
        decodeUnits(s);
    }
}

}  // namespace
