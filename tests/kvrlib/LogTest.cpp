// The library's messages: a decoder's own hook, the process-wide hook, and the console they default to.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "StreamWriter.h"
#include "kvr_syst/Kvr_Except.h"
#include "kvr_syst/Kvr_Log.h"
#include "kvr_syst/Kvr_MP4_Dec.h"

namespace {

using kvrtest::BitWriter;
using kvrtest::VolOptions;
using Bytes = std::vector<std::uint8_t>;

struct Message {
    int level;
    std::string text;
};

struct Recorder {
    std::vector<Message> messages;
    static void hook(void* user, int level, const char* text) {
        static_cast<Recorder*>(user)->messages.push_back({level, text});
    }
    std::string all() const {
        std::string out;
        for (const Message& m : messages) out += m.text;
        return out;
    }
    bool has(int level, const std::string& text) const {
        for (const Message& m : messages)
            if (m.level == level && m.text == text) return true;
        return false;
    }
};

struct Dec {
    KVR_MP4_DEC* d = Kvr_MP4_New_Decoder();
    ~Dec() { Kvr_MP4_Delete_Decoder(d); }
    // Decode returns after each picture: feed until every byte is taken.
    void feed(const Bytes& b) {
        for (std::size_t at = 0; at < b.size();) {
            const int used = d->Decode(b.data() + at, int(b.size() - at));
            if (used <= 0) break;
            at += std::size_t(used);
        }
    }
};

Bytes volBytes(const VolOptions& o) {
    BitWriter w;
    kvrtest::writeVol(w, o);
    return w.bytes();
}

// A layer, two pictures and a flush: the messages at a debug level come from every stage.
void decodeTwoPictures(Dec& dec) {
    VolOptions o;
    dec.feed(volBytes(o));
    BitWriter w;
    kvrtest::writeGreyIVop(w, o, 4);
    kvrtest::writeSkippedPVop(w, o, 1);
    dec.feed(w.bytes());
    dec.d->Decode(nullptr, 0);
}

const Bytes kProfileWarning = {0, 0, 1, 0xB0, 0x11};
const Bytes kMpeg2Code = {0, 0, 1, 0xB7, 0};

TEST(Log, DecoderHookReceivesEveryMessageAndNothingReachesTheConsole) {
    Recorder rec;
    Dec dec;
    Kvr_Set_Log(dec.d, &Recorder::hook, &rec);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    dec.feed(kProfileWarning);
    VolOptions notRectangular;
    notRectangular.shape = 1;
    dec.feed(volBytes(notRectangular));
    dec.feed(volBytes({}));
    dec.feed(kMpeg2Code);
    dec.d->Set_Debug_Level(5);
    decodeTwoPictures(dec);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");

    EXPECT_TRUE(rec.has(KVR_LOG_INFO, "Warning: Only Simple Profile is supported. Stream Profile is: 0x11\n"));
    EXPECT_TRUE(rec.has(KVR_LOG_WARNING, "Warning: Shape (1) is not RECTANGULAR\n"));
    EXPECT_TRUE(rec.has(KVR_LOG_WARNING, "Unexpected MPEG2 code 0x1b7.\n"));
    // The debug dumps come in pieces that make whole lines again: layer, picture headers and the
    // macroblock map of the I-VOP (one mark per macroblock, four of them at 32x32).
    const std::string dump = rec.all();
    EXPECT_NE(dump.find(" Size: 32 x 32 interlace:0 reduced:0 Quant prec 5 bpp:8 QType:0 Quarter:0\n"),
              std::string::npos)
        << dump;
    EXPECT_NE(dump.find("  Coding=[I] Time:0 Rnd=0 Reduced:-1 NewPred:0  FCode: "), std::string::npos) << dump;
    EXPECT_NE(dump.find("  Coding=[P] Time:1 Rnd=0"), std::string::npos) << dump;
    EXPECT_NE(dump.find("**\n[top]"), std::string::npos) << dump;
    EXPECT_NE(dump.find("ss\n"), std::string::npos) << dump;
}

TEST(Log, DefaultsGoToTheConsoleOrTheProcessWideHook) {
    {
        // No hook anywhere: warnings on standard error, notes and dumps on standard output.
        Dec dec;
        testing::internal::CaptureStderr();
        dec.feed(volBytes({}));
        dec.feed(kMpeg2Code);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "Unexpected MPEG2 code 0x1b7.\n");
        testing::internal::CaptureStdout();
        dec.feed(kProfileWarning);
        EXPECT_EQ(testing::internal::GetCapturedStdout(),
                  "Warning: Only Simple Profile is supported. Stream Profile is: 0x11\n");
    }
    Recorder processWide;
    Kvr_Set_Default_Log(&Recorder::hook, &processWide);
    {
        Dec dec;
        Recorder own;
        Kvr_Set_Log(dec.d, &Recorder::hook, &own);
        Kvr_Set_Log(dec.d, nullptr, nullptr);  // back to the process-wide hook
        dec.feed(kProfileWarning);
        EXPECT_TRUE(own.messages.empty());
    }
    // Reports not tied to a decoder take the process-wide hook too.
    try {
        Kvr_Mem_Failed("Pic_Base", 64);
    } catch (const KVR_EXCEPTION& e) {
        e.Print();
    }
    Kvr_Set_Default_Log(nullptr, nullptr);
    ASSERT_EQ(processWide.messages.size(), 2u);
    EXPECT_EQ(processWide.messages[0].text,
              "Warning: Only Simple Profile is supported. Stream Profile is: 0x11\n");
    EXPECT_EQ(processWide.messages[1].level, KVR_LOG_ERROR);
    EXPECT_EQ(processWide.messages[1].text, "Malloc failure [64 bytes]\nPic_Base");

    // Restored: the console again. A text longer than the message buffer is cut, not overrun.
    testing::internal::CaptureStderr();
    Kvr_Log(nullptr, KVR_LOG_ERROR, "%s", std::string(10000, 'x').c_str());
    const std::string cut = testing::internal::GetCapturedStderr();
    EXPECT_EQ(cut.size(), 8191u);
    EXPECT_EQ(cut.find_first_not_of('x'), std::string::npos);
}

}  // namespace
