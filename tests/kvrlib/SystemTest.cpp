// The library's system layer: exception reports, allocators, CPU levels.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "kvr_syst/Kvr_Cpu.h"
#include "kvr_syst/Kvr_Except.h"
#include "kvr_syst/Kvr_Mem.h"

namespace {

TEST(Exceptions, ReportsCarryTheirTexts) {
    try {
        KVR_ASSERT("kvr_bits", 1 + 1 == 3);
        FAIL();
    } catch (const KVR_EXCEPTION& e) {
        testing::internal::CaptureStderr();
        e.Print();
        const std::string out = testing::internal::GetCapturedStderr();
        EXPECT_EQ(out.find("Assertion '1 + 1 == 3' failed\n -> File 'kvr_bits', line "), 0u) << out;
    }
    try {
        Kvr_Mem_Failed("Pic_Base", 1234);
    } catch (const KVR_EXCEPTION& e) {
        testing::internal::CaptureStderr();
        e.Print();
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "Malloc failure [1234 bytes]\nPic_Base");
    }
    try {
        throw KVR_STREAM_EXCEPTION("bad %s at %d", "code", 7);
    } catch (const KVR_MSG_EXCEPTION&) {
        EXPECT_STREQ(KVR_EXCEPTION::Message(), "bad code at 7");
    }
    // Texts longer than the buffers are cut, never overflow them.
    std::string longText(5000, 'x');
    try {
        throw KVR_MSG_EXCEPTION("%s", longText.c_str());
    } catch (const KVR_EXCEPTION&) {
        EXPECT_EQ(std::strlen(KVR_EXCEPTION::Message()), 2047u);
    }
}

TEST(Allocators, TracingAllocatorRecordsRoundsAndGrows) {
    KVR_MEM_TRC_I mem(1);
    auto* p = static_cast<std::uint8_t*>(mem.New(1));
    EXPECT_EQ(mem.Total(), 8);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(p[i], 0xDE);
    std::vector<void*> blocks;
    for (int i = 0; i < 100; ++i) blocks.push_back(mem.New(16));
    EXPECT_EQ(mem.Live(), 101);
    EXPECT_EQ(mem.Capacity(), 200);
    testing::internal::CaptureStdout();
    mem.Delete(blocks[0], 12);  // rounds to 16: no mismatch
    mem.Delete(blocks[1], 20);  // 24 against 16
    int local = 0;
    void* foreign = ::operator new(8);
    (void)local;
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, " Size 24 doesn't match stored one 16!\n");
    ::operator delete(foreign);
    for (std::size_t i = 2; i < blocks.size(); ++i) mem.Delete(blocks[i], 16);
    mem.Delete(p, 1);
    EXPECT_EQ(mem.Live(), 0);
    EXPECT_EQ(mem.Total(), 0);
    EXPECT_EQ(mem.Peak(), 8 + 100 * 16);
    EXPECT_EQ(mem.New(0), nullptr);
}

TEST(Allocators, DefaultAllocatorFillsBlocks) {
    KVR_MEM_I* mem = Kvr_Default_Mem();
    auto* p = static_cast<std::uint8_t*>(mem->New(5));
    for (int i = 0; i < 8; ++i) EXPECT_EQ(p[i], 0xDE);
    mem->Delete(p, 5);
    mem->Delete(nullptr, 3);
}

TEST(Cpu, LevelsFollowTheFeatureMask) {
    EXPECT_EQ(Kvr_CPU_Level(KVR_CPU_SSE2), 4);
    EXPECT_EQ(Kvr_CPU_Level(KVR_CPU_SSE | KVR_CPU_MMX), 3);
    EXPECT_EQ(Kvr_CPU_Level(KVR_CPU_MMX), 2);
    EXPECT_EQ(Kvr_CPU_Level(0), 0);
}

TEST(Cpu, DetectionAndTheCap) {
    ASSERT_TRUE(Kvr_CPU_Set_Cap(nullptr));
    const int all = Kvr_CPU_Query().Mask;
#if defined(__x86_64__)
    EXPECT_EQ(Kvr_CPU_Level(all), 4) << "SSE2 is part of every x86-64";
#endif
    EXPECT_EQ(Kvr_CPU_Query(KVR_CPU_SSE2).Mask & KVR_CPU_SSE2, 0);
    ASSERT_TRUE(Kvr_CPU_Set_Cap("c"));
    EXPECT_EQ(Kvr_CPU_Query().Mask, 0);
    EXPECT_EQ(Kvr_CPU_Level(Kvr_CPU_Query().Mask), 0);
    ASSERT_TRUE(Kvr_CPU_Set_Cap("sse2"));
    EXPECT_EQ(Kvr_CPU_Query().Mask & (KVR_CPU_SSSE3 | KVR_CPU_SSE41 | KVR_CPU_AVX2), 0);
    EXPECT_EQ(Kvr_CPU_Query().Mask, all & Kvr_CPU_Cap_Mask("sse2"));
    ASSERT_TRUE(Kvr_CPU_Set_Cap("sse41"));
    EXPECT_EQ(Kvr_CPU_Query().Mask & KVR_CPU_AVX2, 0);
    EXPECT_FALSE(Kvr_CPU_Set_Cap("sse5"));
    EXPECT_EQ(Kvr_CPU_Query().Mask & KVR_CPU_AVX2, 0) << "an unknown name leaves the cap as it was";
    Kvr_CPU_Set_Cap(std::getenv("VISTREL_CPU"));
}

}  // namespace
