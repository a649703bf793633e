// Hostile input for the part-2 paths: bit flips, truncations and splices of B/GMC/interlaced streams, and
// B-VOPs without two reference pictures. Nothing may crash or leave the picture store.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "kvr_syst/Kvr_Except.h"
#include "kvr_syst/Kvr_MP4_Dec.h"
#include "tests/support/Command.h"
#include "tests/support/Files.h"
#include "tests/support/StartCodes.h"

using namespace vistrel::testsupport;

namespace {

const std::string kStreamDir = std::string(VISTREL_BINARY_DIR) + "/kvrlib-asp-streams";
constexpr int kFlipRounds = 12;     // damaged copies per stream
constexpr int kFlipsPerRound = 24;  // bits flipped in each copy

using Bytes = std::vector<unsigned char>;

Bytes stream(const std::string& name) {
    Bytes d = ReadFile(kStreamDir + "/" + name + ".m4v");
    if (d.empty()) {
        const std::string cmd = std::string("sh ") + VISTREL_SOURCE_DIR + "/tests/kvrlib-asp/make_streams.sh " +
                                kStreamDir + " 20 >/dev/null 2>&1";
        if (RunCommand(cmd) == 0) d = ReadFile(kStreamDir + "/" + name + ".m4v");
    }
    return d;
}

struct Outcome {
    int pictures = 0;
    int errors = 0;
    std::vector<int> codings;
};

// Feeds one start-code unit per call, as the command-line decoder does, and drains every picture,
// touching all of its samples so that a descriptor pointing outside the store trips the sanitizer.
Outcome decode(const Bytes& d) {
    Outcome o;
    KVR_MP4_DEC* dec = Kvr_MP4_New_Decoder();
    auto drain = [&] {
        if (!dec->Is_Frame_Ready()) return;
        KVR_MP4_FRAME f{};
        dec->Consume_Frame(&f);
        unsigned sum = 0;
        for (int y = 0; y < f.Height; ++y)
            for (int x = 0; x < f.Width; ++x) sum += f.Y[y * f.BpS + x];
        for (int y = 0; y < f.Height / 2; ++y)
            for (int x = 0; x < f.Width / 2; ++x) sum += f.U[y * f.BpS + x] + f.V[y * f.BpS + x];
        EXPECT_GE(sum, 0u);
        ++o.pictures;
        o.codings.push_back(f.Coding);
    };
    const auto at = StartCodeOffsets(d);
    for (size_t k = 0; k < at.size(); ++k) {
        const size_t end = k + 1 < at.size() ? at[k + 1] : d.size();
        try {
            dec->Decode(d.data() + at[k], int(end - at[k]));
        } catch (const KVR_EXCEPTION&) {
            ++o.errors;
        }
        drain();
    }
    try {
        dec->Decode(d.data(), 0);
    } catch (const KVR_EXCEPTION&) {
        ++o.errors;
    }
    drain();
    Kvr_MP4_Delete_Decoder(dec);
    return o;
}

const char* const kStreams[] = {"mpeg4_bf2", "mpeg4_qpel_bf2", "xvid_gmc_qpel_bf2", "xvid_mpegquant_bf2",
                                "mpeg4_interlaced"};

TEST(AspRobustness, RandomBitFlipsNeverCrash) {
    std::mt19937 rng(20261208);
    for (const char* name : kStreams) {
        const Bytes clean = stream(name);
        if (clean.empty()) GTEST_SKIP() << "streams need ffmpeg with libxvid";
        const Outcome good = decode(clean);
        EXPECT_EQ(good.errors, 0) << name;
        const int rounds = std::string(name) == "mpeg4_interlaced" ? kFlipRounds / 4 : kFlipRounds;
        for (int r = 0; r < rounds; ++r) {
            Bytes bad = clean;
            for (int i = 0; i < kFlipsPerRound; ++i) {
                const size_t pos = rng() % bad.size();
                bad[pos] ^= static_cast<unsigned char>(1u << (rng() % 8));
            }
            const Outcome o = decode(bad);
            EXPECT_LE(o.pictures, good.pictures + 8) << name;
        }
    }
}

TEST(AspRobustness, TruncatedPicturesAreDroppedAndTheStreamGoesOn) {
    std::mt19937 rng(77);
    for (const char* name : kStreams) {
        const Bytes clean = stream(name);
        if (clean.empty()) GTEST_SKIP() << "streams need ffmpeg with libxvid";
        // Cut every VOP to a random fraction of itself, keeping the start codes.
        const auto at = StartCodeOffsets(clean);
        Bytes cut;
        for (size_t k = 0; k < at.size(); ++k) {
            const size_t end = k + 1 < at.size() ? at[k + 1] : clean.size();
            size_t len = end - at[k];
            if (clean[at[k] + 3] == 0xB6 && len > 8) len = 5 + rng() % (len - 5);
            cut.insert(cut.end(), clean.begin() + long(at[k]), clean.begin() + long(at[k] + len));
        }
        const Outcome o = decode(cut);
        EXPECT_GT(o.errors, 0) << name;
        // The whole stream truncated at random points.
        for (int r = 0; r < 4; ++r) decode(Bytes(clean.begin(), clean.begin() + long(rng() % clean.size())));
    }
}

TEST(AspRobustness, SplicedStreamsOfOtherFeatures) {
    const Bytes a = stream("xvid_gmc_qpel_bf2"), b = stream("mpeg4_bf2"), c = stream("mpeg4_interlaced");
    if (a.empty() || b.empty() || c.empty()) GTEST_SKIP() << "streams need ffmpeg with libxvid";
    Bytes s(a.begin(), a.begin() + long(a.size() / 2));
    s.insert(s.end(), b.begin() + long(b.size() / 3), b.end());
    s.insert(s.end(), c.begin() + long(c.size() / 2), c.end());
    s.insert(s.end(), a.begin() + long(a.size() / 3), a.end());
    decode(s);
}

TEST(AspRobustness, BVopWithoutTwoReferencesIsRefused) {
    const Bytes clean = stream("mpeg4_bf2");
    if (clean.empty()) GTEST_SKIP() << "streams need ffmpeg with libxvid";
    // Drop the first P-VOP: the two B-VOPs after it then follow a single anchor.
    const auto at = StartCodeOffsets(clean);
    Bytes cut;
    bool dropped = false;
    for (size_t k = 0; k < at.size(); ++k) {
        const size_t end = k + 1 < at.size() ? at[k + 1] : clean.size();
        if (!dropped && clean[at[k] + 3] == 0xB6 && (clean[at[k] + 4] >> 6) == 1) {
            dropped = true;
            continue;
        }
        cut.insert(cut.end(), clean.begin() + long(at[k]), clean.begin() + long(end));
    }
    ASSERT_TRUE(dropped);
    const Outcome full = decode(clean);
    const Outcome o = decode(cut);
    EXPECT_EQ(o.errors, 2) << "both orphan B-VOPs are refused";
    EXPECT_EQ(o.pictures, full.pictures - 3) << "the dropped P-VOP and its two B-VOPs are missing";
    ASSERT_GE(o.codings.size(), 2u);
    EXPECT_EQ(o.codings[0], I_VOP);
    // The B-VOPs of the next anchor predict between the intra picture and that anchor again.
    EXPECT_EQ(o.codings[1], B_VOP);
}

}  // namespace
