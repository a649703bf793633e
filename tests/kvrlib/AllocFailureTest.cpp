// Allocation failure: a memory driver that refuses its Nth allocation, for every N a decoding
// makes, over each kind of stream. The failure must surface as the library's memory exception and
// nothing else, nothing may leak, and the decoder must stay fit to be deleted or used again.

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "kvr_syst/Kvr_MP4_Dec.h"
#include "tests/support/Command.h"
#include "tests/support/Ffmpeg.h"
#include "tests/support/Files.h"

using namespace vistrel::testsupport;

namespace {

using Bytes = std::vector<std::uint8_t>;

// Counts allocations and refuses the one numbered failAt (1-based; 0 never), the way the
// library's own allocators report it. Keeps every live block to find leaks and wrong sizes.
class FailingMemory : public KVR_MEM_I {
public:
    explicit FailingMemory(int failAt) : failAt_(failAt) {}
    void* New(size_t size) override {
        if (++count_ == failAt_) Kvr_Mem_Failed("FailingMemory", long(size));
        void* p = std::malloc(size ? size : 1);
        if (p == nullptr) Kvr_Mem_Failed("FailingMemory", long(size));
        live_[p] = size;
        return p;
    }
    void Delete(void* p, size_t size) override {
        if (p == nullptr) return;
        auto it = live_.find(p);
        if (it == live_.end()) {
            ++foreign_;
        } else {
            if (it->second != size) ++wrongSize_;
            live_.erase(it);
        }
        std::free(p);
    }
    int count() const { return count_; }
    std::size_t live() const { return live_.size(); }
    int foreign() const { return foreign_; }
    int wrongSize() const { return wrongSize_; }

private:
    int failAt_;
    int count_ = 0;
    std::map<void*, size_t> live_;
    int foreign_ = 0;
    int wrongSize_ = 0;
};

struct Outcome {
    int pictures = 0;
    std::vector<std::uint32_t> sums;  // one per picture, over every sample of all three planes
    int memoryErrors = 0;
    int otherErrors = 0;
};

// Feeds unit by unit (start code to start code) and flushes; every picture is read in full.
Outcome decode(KVR_MP4_DEC& dec, const Bytes& s) {
    Outcome out;
    auto take = [&] {
        if (!dec.Is_Frame_Ready()) return;
        KVR_MP4_FRAME f{};
        dec.Consume_Frame(&f);
        std::uint32_t sum = 0;
        for (int y = 0; y < f.Height; ++y)
            for (int x = 0; x < f.Width; ++x) sum = sum * 31 + f.Y[y * f.BpS + x];
        for (const std::uint8_t* plane : {f.U, f.V})
            for (int y = 0; y < f.Height / 2; ++y)
                for (int x = 0; x < f.Width / 2; ++x) sum = sum * 31 + plane[y * f.BpS + x];
        out.sums.push_back(sum);
        ++out.pictures;
    };
    auto guarded = [&](const std::uint8_t* data, int length) {
        try {
            dec.Decode(data, length);
        } catch (const KVR_MEM_EXCEPTION&) {
            ++out.memoryErrors;
        } catch (const KVR_EXCEPTION&) {
            ++out.otherErrors;
        }
        take();
    };
    std::size_t pos = 0;
    while (pos < s.size()) {
        std::size_t next = pos + 3;
        while (next + 2 < s.size() && !(s[next] == 0 && s[next + 1] == 0 && s[next + 2] == 1)) ++next;
        if (next + 2 >= s.size()) next = s.size();
        const Bytes unit(s.begin() + long(pos), s.begin() + long(next));
        guarded(unit.data(), int(unit.size()));
        pos = next;
    }
    guarded(nullptr, 0);
    return out;
}

struct Kind {
    const char* name;
    int width;
    int height;
    const char* options;
};

const Kind kKinds[] = {
    {"intra_predicted", 176, 144, "-c:v mpeg4 -q:v 6 -g 4"},
    {"bidirectional", 176, 144, "-c:v mpeg4 -q:v 6 -bf 2"},
    {"quarter_sample", 176, 144, "-c:v mpeg4 -q:v 6 -flags +qpel+mv4 -bf 1"},
    {"interlaced", 176, 144, "-c:v mpeg4 -q:v 6 -flags +ildct+ilme -top 1 -bf 1"},
    {"video_packets", 176, 144, "-c:v mpeg4 -q:v 6 -ps 200 -mpeg_quant 1"},
};

Bytes makeStream(const Kind& kind) {
    const std::string path = ScratchDir("tests/kvrlib/scratch/alloc_failure") + "/" + kind.name + "_" +
                             std::to_string(getpid()) + ".m4v";
    if (!EncodeMovingClip(path, kind.width, kind.height, 6, kind.options)) return {};
    Bytes bytes = ReadFile(path);
    std::remove(path.c_str());
    return bytes;
}

void checkEveryFailure(const std::string& name, const Bytes& stream) {
    SCOPED_TRACE(name);
    FailingMemory counting(0);
    KVR_MP4_DEC* dec = Kvr_MP4_New_Decoder();
    ASSERT_NE(dec, nullptr);
    dec->Set_Memory_Manager(&counting);
    const Outcome clean = decode(*dec, stream);
    Kvr_MP4_Delete_Decoder(dec);
    ASSERT_GT(clean.pictures, 0);
    ASSERT_EQ(clean.otherErrors, 0);
    ASSERT_GT(counting.count(), 0);
    EXPECT_EQ(counting.live(), 0u);

    for (int n = 1; n <= counting.count(); ++n) {
        SCOPED_TRACE("allocation " + std::to_string(n) + " of " + std::to_string(counting.count()));
        FailingMemory memory(n);
        dec = Kvr_MP4_New_Decoder();
        ASSERT_NE(dec, nullptr);
        dec->Set_Memory_Manager(&memory);
        const Outcome failed = decode(*dec, stream);
        EXPECT_EQ(failed.memoryErrors, 1);
        EXPECT_EQ(failed.otherErrors, 0);
        EXPECT_LT(failed.pictures, clean.pictures + 1);
        // Used again: the whole stream decodes to the same pictures as without a failure. (The
        // first one may be preceded by the picture the flush ended the last pass with: a decoder
        // that goes on after a flush shows its last anchor once more.)
        const Outcome again = decode(*dec, stream);
        EXPECT_EQ(again.memoryErrors, 0);
        EXPECT_EQ(again.otherErrors, 0);
        ASSERT_GE(again.sums.size(), clean.sums.size());
        EXPECT_LE(again.sums.size(), clean.sums.size() + 1);
        EXPECT_TRUE(std::equal(clean.sums.begin(), clean.sums.end(), again.sums.end() - long(clean.sums.size())));
        Kvr_MP4_Delete_Decoder(dec);
        EXPECT_EQ(memory.live(), 0u);
        EXPECT_EQ(memory.foreign(), 0);
        EXPECT_EQ(memory.wrongSize(), 0);
    }
}

TEST(AllocFailure, EveryAllocationOfEachStreamKindFailsCleanly) {
    if (!HaveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
    for (const Kind& kind : kKinds) {
        const Bytes stream = makeStream(kind);
        ASSERT_FALSE(stream.empty()) << kind.name;
        checkEveryFailure(kind.name, stream);
    }
}

// A size change rebuilds the store while the previous one still holds the picture waiting for
// output; a failure in the middle of that must neither leak the old store nor lose track of it.
TEST(AllocFailure, FailuresDuringASizeChangeLeakNothing) {
    if (!HaveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
    const Bytes small = makeStream({"size_small", 176, 144, "-c:v mpeg4 -q:v 6"});
    const Bytes large = makeStream({"size_large", 352, 288, "-c:v mpeg4 -q:v 6 -bf 1"});
    ASSERT_FALSE(small.empty());
    ASSERT_FALSE(large.empty());
    Bytes stream = small;
    stream.insert(stream.end(), large.begin(), large.end());
    stream.insert(stream.end(), small.begin(), small.end());
    checkEveryFailure("size change", stream);
}

}  // namespace
