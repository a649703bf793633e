// Decoder object: output order and delay, flush, refused layers, damaged pictures, store reuse.
#include <gtest/gtest.h>

#include <vector>

#include "StreamWriter.h"
#include "kvr_syst/Kvr_MP4_Dec.h"
#include "mpg_src/Kvr_MP4_Dec_I.h"

namespace {

using kvrtest::BitWriter;
using kvrtest::VolOptions;
using Bytes = std::vector<std::uint8_t>;

struct Dec {
    KVR_MP4_DEC* d = Kvr_MP4_New_Decoder();
    ~Dec() { Kvr_MP4_Delete_Decoder(d); }
    int feed(const Bytes& b) { return d->Decode(b.data(), int(b.size())); }
};

Bytes volBytes(const VolOptions& o) {
    BitWriter w;
    kvrtest::writeVol(w, o);
    return w.bytes();
}
Bytes greyI(const VolOptions& o, int q = 4, int truncateAfter = -1) {
    BitWriter w;
    kvrtest::writeGreyIVop(w, o, q, truncateAfter);
    return w.bytes();
}
Bytes skippedP(const VolOptions& o, int time) {
    BitWriter w;
    kvrtest::writeSkippedPVop(w, o, time);
    return w.bytes();
}

bool allEqual(const KVR_MP4_FRAME& f, int luma, int chroma) {
    for (int y = 0; y < f.Height; ++y)
        for (int x = 0; x < f.Width; ++x)
            if (f.Y[y * f.BpS + x] != luma) return false;
    for (int y = 0; y < f.Height / 2; ++y)
        for (int x = 0; x < f.Width / 2; ++x)
            if (f.U[y * f.BpS + x] != chroma || f.V[y * f.BpS + x] != chroma) return false;
    return true;
}

TEST(Decoder, LayerHeaderAloneMakesNoPicture) {
    Dec dec;
    const Bytes vol = volBytes({});
    EXPECT_EQ(dec.feed(vol), int(vol.size()));
    EXPECT_EQ(dec.d->Is_Frame_Ready(), 0);
}

TEST(Decoder, OnePictureDelayAndFlush) {
    Dec dec;
    VolOptions o;
    dec.feed(volBytes(o));
    const Bytes i0 = greyI(o);
    EXPECT_EQ(dec.feed(i0), int(i0.size()));
    EXPECT_EQ(dec.d->Is_Frame_Ready(), 0) << "the first picture is held back";
    dec.feed(skippedP(o, 1));
    ASSERT_EQ(dec.d->Is_Frame_Ready(), 1);
    KVR_MP4_FRAME f{};
    dec.d->Consume_Frame(&f);
    EXPECT_EQ(f.Coding, I_VOP);
    EXPECT_EQ(f.Width, 32);
    EXPECT_EQ(f.Height, 32);
    EXPECT_EQ(f.MB_Map, nullptr);
    EXPECT_EQ(f.MV_Map, nullptr);
    EXPECT_TRUE(allEqual(f, 128, 128));
    EXPECT_EQ(dec.d->Is_Frame_Ready(), 0);
    EXPECT_EQ(dec.d->Decode(nullptr, 0), 0);
    ASSERT_EQ(dec.d->Is_Frame_Ready(), 1);
    dec.d->Consume_Frame(&f);
    EXPECT_EQ(f.Coding, P_VOP);
    EXPECT_EQ(f.Time_Ticks, 1);
    EXPECT_DOUBLE_EQ(f.Time, 1.0 / 25);
    EXPECT_TRUE(allEqual(f, 128, 128)) << "an all-skipped P-VOP copies its reference";
    dec.d->Decode(nullptr, 0);
    EXPECT_EQ(dec.d->Is_Frame_Ready(), 0) << "a second flush yields nothing";
    EXPECT_EQ(dec.d->Get_Frame_Number(), 4);
}

TEST(Decoder, ConsumeWithoutPictureOrDestinationRaisesAssertion) {
    Dec dec;
    KVR_MP4_FRAME f{};
    EXPECT_THROW(dec.d->Consume_Frame(&f), KVR_ASSERT_EXCEPTION);
    EXPECT_STREQ(KVR_ASSERT_EXCEPTION::Condition(), "Is_Frame_Ready() && Pic!=0");
    EXPECT_THROW(dec.d->Get_All_Frames(nullptr), KVR_ASSERT_EXCEPTION);
}

TEST(Decoder, PictureBeforeAnyLayerHeaderIsSkipped) {
    Dec dec;
    const Bytes i0 = greyI({});
    EXPECT_EQ(dec.feed(i0), int(i0.size()));
    dec.d->Decode(nullptr, 0);
    EXPECT_EQ(dec.d->Is_Frame_Ready(), 0);
}

TEST(Decoder, PicturesAfterARefusedLayerAreSkipped) {
    for (int variant = 0; variant < 2; ++variant) {
        Dec dec;
        VolOptions o;
        if (variant == 0) o.shape = 1;
        else o.obmcDisable = 0;
        testing::internal::CaptureStderr();
        dec.feed(volBytes(o));
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_NE(err.find(variant == 0 ? "Warning: Shape (1) is not RECTANGULAR" : "overlapped motion comp"),
                  std::string::npos);
        VolOptions good;
        const Bytes i0 = greyI(good);
        for (int k = 0; k < 3; ++k) EXPECT_EQ(dec.feed(i0), int(i0.size()));
        dec.d->Decode(nullptr, 0);
        EXPECT_EQ(dec.d->Is_Frame_Ready(), 0);
        // A good layer header afterwards makes the decoder work again.
        dec.feed(volBytes(good));
        dec.feed(i0);
        dec.feed(i0);
        EXPECT_EQ(dec.d->Is_Frame_Ready(), 1);
    }
}

TEST(Decoder, TruncatedPictureIsConcealedShownAndReported) {
    Dec dec;
    VolOptions o;
    o.width = 64;
    o.height = 48;
    dec.feed(volBytes(o));
    dec.feed(greyI(o));
    EXPECT_THROW(dec.feed(greyI(o, 4, 5)), KVR_STREAM_EXCEPTION);
    // The picture before the damaged one is still delivered, and so is the damaged one: its missing
    // macroblocks come from the grey picture before it.
    ASSERT_EQ(dec.d->Is_Frame_Ready(), 1);
    KVR_MP4_FRAME f{};
    dec.d->Consume_Frame(&f);
    dec.feed(greyI(o, 6));
    ASSERT_EQ(dec.d->Is_Frame_Ready(), 1) << "the concealed picture is shown";
    dec.d->Consume_Frame(&f);
    EXPECT_TRUE(allEqual(f, 128, 128));
    dec.d->Decode(nullptr, 0);
    ASSERT_EQ(dec.d->Is_Frame_Ready(), 1);
    dec.d->Consume_Frame(&f);
    EXPECT_TRUE(allEqual(f, 128, 128));
}

TEST(Decoder, SecondLayerHeaderRebuildsOnlyForOtherMacroblockCounts) {
    Dec dec;
    VolOptions o;
    dec.feed(volBytes(o));
    dec.feed(greyI(o));
    dec.feed(greyI(o));
    ASSERT_EQ(dec.d->Is_Frame_Ready(), 1);
    VolOptions same = o;
    same.width = 30;  // same macroblock count: store and reported size stay
    dec.feed(volBytes(same));
    KVR_MP4_FRAME f{};
    dec.d->Consume_Frame(&f);
    EXPECT_EQ(f.Width, 32);
    dec.feed(greyI(o));
    EXPECT_EQ(dec.d->Is_Frame_Ready(), 1);
    VolOptions bigger = o;
    bigger.width = 64;
    dec.feed(volBytes(bigger));
    // The picture held back for output is handed out at its own size before the store is rebuilt.
    ASSERT_EQ(dec.d->Is_Frame_Ready(), 1);
    dec.d->Consume_Frame(&f);
    EXPECT_EQ(f.Width, 32);
    dec.feed(greyI(bigger));
    dec.feed(greyI(bigger));
    ASSERT_EQ(dec.d->Is_Frame_Ready(), 1);
    dec.d->Consume_Frame(&f);
    EXPECT_EQ(f.Width, 64);
}

TEST(Decoder, SlicerSeesEveryRow) {
    Dec dec;
    VolOptions o;
    o.height = 48;
    static std::vector<int> rows;
    rows.clear();
    dec.d->Set_Slicer(
        [](const KVR_MP4_FRAME*, int y, int lines, std::uint32_t data) {
            EXPECT_EQ(lines, 16);
            EXPECT_EQ(data, 77u);
            rows.push_back(y);
        },
        77);
    dec.feed(volBytes(o));
    dec.feed(greyI(o));
    EXPECT_EQ(rows, (std::vector<int>{0, 16, 32}));
}

TEST(Decoder, StoreComesFromTheInstalledMemoryManager) {
    KVR_MEM_TRC_I mem(0);
    {
        Dec dec;
        EXPECT_EQ(dec.d->Set_Memory_Manager(&mem), nullptr);
        VolOptions o;
        dec.feed(volBytes(o));
        EXPECT_EQ(mem.Live(), 2);  // the picture store and the predictor rows
        dec.feed(greyI(o));
        KVR_MP4_FRAME all{};
        dec.d->Get_All_Frames(&all);
        EXPECT_EQ(all.BpS, 64);
        EXPECT_EQ(all.Height, (32 * 3 / 2 + 48) * 3);
        EXPECT_EQ(dec.d->Set_Param("anything"), 0);
        dec.d->Set_CPU(7);
    }
    EXPECT_EQ(mem.Live(), 0);
    EXPECT_EQ(mem.Total(), 0);
}

// A program-wide allocator reaches decoders made after it is set, and only those.
TEST(Decoder, NewDecodersTakeTheProgramAllocator) {
    KVR_MEM_TRC_I mem(0);
    Dec before;
    Kvr_Set_Decoder_Mem(&mem);
    {
        Dec after;
        Kvr_Set_Decoder_Mem(nullptr);
        VolOptions o;
        before.feed(volBytes(o));
        EXPECT_EQ(mem.Live(), 0);
        after.feed(volBytes(o));
        EXPECT_EQ(mem.Live(), 2);
        EXPECT_EQ(after.d->Set_Memory_Manager(nullptr), &mem);  // the store goes back to it
        EXPECT_EQ(mem.Live(), 0);
    }
    EXPECT_EQ(Kvr_Decoder_Mem(), nullptr);
}

TEST(Decoder, VisualObjectSequenceWarnsAboutProfiles) {
    Dec dec;
    const Bytes vos = {0, 0, 1, 0xB0, 0x11, 0, 0, 1, 0xB1};
    testing::internal::CaptureStdout();
    dec.feed(vos);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Warning: Only Simple Profile is supported. Stream Profile is: 0x11\n");
}

class Packets : public ::testing::TestWithParam<int> {};

// Two video packets, the second starting at macroblock 2 with another quantiser; also when the
// layer header claims that there are no markers (a stored header in front of a camera's pictures).
TEST_P(Packets, ResyncMarkersBetweenMacroblocksAreFollowed) {
    VolOptions o;
    o.width = 48;
    o.height = 16;
    o.resync = GetParam();
    BitWriter w;
    kvrtest::writeVol(w, o);
    w.startCode(0x1B6);
    w.put(
        "00"
        "0"
        "1"
        "00000"
        "1"
        "1"
        "000"
        "00100");
    for (int mb = 0; mb < 3; ++mb) {
        if (mb == 2) {
            w.stuff();
            w.put(1, 17);  // marker of an I-VOP
            w.put(2, 2);   // macroblock_number (2 bits for 3 macroblocks)
            w.put(9, 5);   // quant_scale
            w.put(0, 1);   // no header extension
        }
        w.put(
            "1"
            "0"
            "0011"
            "011011011011"
            "1111");
    }
    w.stuff();
    Dec dec;
    dec.feed(w.bytes());
    dec.d->Decode(nullptr, 0);
    ASSERT_EQ(dec.d->Is_Frame_Ready(), 1);
    KVR_MP4_FRAME f{};
    dec.d->Consume_Frame(&f);
    EXPECT_TRUE(allEqual(f, 128, 128));
}
INSTANTIATE_TEST_SUITE_P(LayerFlag, Packets, ::testing::Values(0, 1));

}  // namespace
