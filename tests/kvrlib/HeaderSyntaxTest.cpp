// Header fields the decoder reads past: every optional part of the visual-object, layer, group and
// picture headers at once, so that one field skipped at a wrong length shows as a lost picture.
#include <gtest/gtest.h>

#include <vector>

#include "StreamWriter.h"
#include "kvr_syst/Kvr_MP4_Dec.h"

namespace {

using kvrtest::BitWriter;
using Bytes = std::vector<std::uint8_t>;

// The layer switches on complexity estimation with these flags; the I-VOP header then carries one
// estimate for each flag an I-VOP sends: 8 bits each, 4 for the VLC bit count.
struct Flags {
    bool shape[6] = {true, false, true, false, false, true};  // opaque .. upsampling
    bool tex1[4] = {true, true, false, true};                 // intra, inter, inter4v, not coded
    bool tex2[4] = {true, false, true, true};                 // DCT coefs, DCT lines, VLC symbols, VLC bits
    bool mc[6] = {true, false, false, true, true, false};     // P-VOP only
};

void writeVisualObject(BitWriter& w) {
    w.startCode(0x1B5);
    w.put(1, 1);  // is_visual_object_identifier
    w.put(2, 4);  // verid
    w.put(7, 3);  // priority
    w.put(1, 4);  // video ID
    w.put(1, 1);  // video_signal_type
    w.put(5, 3);  // video_format
    w.put(1, 1);  // video_range
    w.put(1, 1);  // colour_description
    w.put(0xFFFFFF, 24);
    w.stuff();
}

void writeLayer(BitWriter& w, const Flags& f) {
    w.startCode(0x100);
    w.startCode(0x120);
    w.put(1, 1);   // random_accessible_vol
    w.put(1, 8);   // simple object
    w.put(1, 1);   // is_object_layer_identifier
    w.put(2, 4);   // verid 2
    w.put(7, 3);   // priority
    w.put(15, 4);  // extended pixel aspect ratio
    w.put(0xFF, 8);
    w.put(0xFF, 8);
    w.put(1, 1);  // vol_control_parameters
    w.put(1, 2);  // 4:2:0
    w.put(1, 1);  // low_delay
    w.put(1, 1);  // vbv_parameters: all ones, so a short skip reads a shape that is refused
    for (int i = 0; i < 79; ++i) w.put(1, 1);
    w.put(0, 2);  // rectangular
    w.put(1, 1);
    w.put(25, 16);  // time resolution: 5-bit increments
    w.put(1, 1);
    w.put(1, 1);  // fixed_vop_rate
    w.put(1, 5);
    w.put(1, 1);
    w.put(32, 13);
    w.put(1, 1);
    w.put(32, 13);
    w.put(1, 1);
    w.put(0, 1);  // progressive
    w.put(1, 1);  // no overlapped motion compensation
    w.put(0, 2);  // no sprites
    w.put(0, 1);  // 8 bit
    w.put(0, 1);  // H.263 quantiser
    w.put(0, 1);  // no quarter sample
    w.put(0, 1);  // complexity estimation enabled
    w.put(0, 2);  // method 0
    w.put(0, 1);
    for (bool b : f.shape) w.put(b, 1);
    w.put(0, 1);
    for (bool b : f.tex1) w.put(b, 1);
    w.put(1, 1);  // marker
    w.put(0, 1);
    for (bool b : f.tex2) w.put(b, 1);
    w.put(0, 1);
    for (bool b : f.mc) w.put(b, 1);
    w.put(1, 1);  // marker
    w.put(1, 1);  // no resync markers
    w.put(0, 1);  // not partitioned
    w.put(0, 1);  // no newpred
    w.put(0, 1);  // no reduced resolution
    w.put(0, 1);  // no scalability
    w.stuff();
}

void writeGroup(BitWriter& w) {
    w.startCode(0x1B3);
    w.put(0x3FFFF, 18);  // time code
    w.put(1, 1);         // closed
    w.put(0, 1);         // broken link
    w.stuff();
}

// A flat grey I-VOP of the 32x32 layer whose header carries the complexity estimates.
void writeGreyIVop(BitWriter& w, const Flags& f) {
    w.startCode(0x1B6);
    w.put(0, 2);
    w.put(0, 1);
    w.put(1, 1);
    w.put(0, 5);
    w.put(1, 1);
    w.put(1, 1);  // coded
    const bool iFlags[] = {f.shape[0], f.shape[1], f.shape[2], f.shape[3], f.shape[4], f.shape[5],
                           f.tex1[0],  f.tex1[3],  f.tex2[0],  f.tex2[1],  f.tex2[2]};
    for (bool b : iFlags)
        if (b) w.put(0xA5, 8);
    if (f.tex2[3]) w.put(0xA, 4);
    w.put(0, 3);  // intra DC through the DC VLC
    w.put(4, 5);  // quantiser
    for (int mb = 0; mb < 4; ++mb) {
        w.put("1");
        w.put("0");
        w.put("0011");
        for (int b = 0; b < 4; ++b) w.put("011");
        w.put("1111");
    }
    w.stuff();
}

TEST(HeaderSyntax, EveryOptionalFieldIsReadPastAtItsLength) {
    const Flags f;
    BitWriter w;
    writeVisualObject(w);
    writeLayer(w, f);
    writeGroup(w);
    writeGreyIVop(w, f);
    const Bytes stream = w.bytes();
    KVR_MP4_DEC* d = Kvr_MP4_New_Decoder();
    for (std::size_t at = 0; at < stream.size();) {
        const int used = d->Decode(stream.data() + at, int(stream.size() - at));
        if (used <= 0) break;
        at += std::size_t(used);
    }
    d->Decode(nullptr, 0);
    ASSERT_EQ(d->Is_Frame_Ready(), 1);
    KVR_MP4_FRAME pic{};
    d->Consume_Frame(&pic);
    ASSERT_EQ(pic.Width, 32);
    ASSERT_EQ(pic.Height, 32);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) ASSERT_EQ(pic.Y[y * pic.BpS + x], 128) << x << "," << y;
    Kvr_MP4_Delete_Decoder(d);
}

}  // namespace
