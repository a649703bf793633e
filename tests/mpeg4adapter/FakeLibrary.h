#pragma once
// A stand-in for the library decoder that records what the adapter feeds it, makes a picture
// for every plane start code it is given, and fails on request.

#include <cstdint>
#include <stdexcept>
#include <vector>

#include "kvr_syst/Kvr_MP4_Dec.h"
#include "video/mpeg4/LibraryDecoder.h"

namespace vistrel::mpeg4::test {

// A plane whose first data byte is this makes the fake raise an error.
constexpr std::uint8_t kFailByte = 0xEE;

class FakeLibrary : public KVR_MP4_DEC {
public:
    std::vector<std::vector<std::uint8_t>> fed;  // one entry per Decode call
    int pictureWidth = 320;
    int pictureHeight = 240;
    int bytesPerLine = 0;  // 0: width + 32
    int flushes = 0;

    int Decode(const uint8_t* buf, int len) override {
        if (len == 0) {
            ++flushes;
            return 0;
        }
        fed.emplace_back(buf, buf + len);
        if (len >= 5 && buf[0] == 0 && buf[1] == 0 && buf[2] == 1 && buf[3] == 0xB6) {
            if (buf[4] == kFailByte) throw std::runtime_error("damaged plane");
            makePicture(buf[4]);
        }
        return len;
    }
    int Decode_MPEG12(const uint8_t*, int len) override { return len; }
    int Get_Frame_Number() const override { return int(fed.size()); }
    int Is_Frame_Ready() const override { return ready_; }
    void Consume_Frame(KVR_MP4_FRAME* pic) override {
        if (!ready_ || pic == nullptr) throw std::logic_error("no picture");
        *pic = frame_;
        ready_ = 0;
    }
    KVR_MEM_I* Set_Memory_Manager(KVR_MEM_I*) override { return nullptr; }
    void Set_CPU(int) override {}
    void Set_Slicer(KVR_SLICER, uint32_t) override {}
    void Set_Debug_Level(int) override {}
    void Get_All_Frames(KVR_MP4_FRAME*) const override {}
    int Set_Param(const char*) override { return 0; }

    // Payloads that were planes (priming headers and other headers left out).
    std::vector<std::vector<std::uint8_t>> planes() const {
        std::vector<std::vector<std::uint8_t>> out;
        for (const auto& f : fed)
            if (f.size() >= 4 && f[3] == 0xB6) out.push_back(f);
        return out;
    }

private:
    void makePicture(std::uint8_t value) {
        const int bps = bytesPerLine > 0 ? bytesPerLine : pictureWidth + 32;
        store_.assign(std::size_t(bps) * (pictureHeight * 2), 0x5A);  // padding shows up if copied
        for (int r = 0; r < pictureHeight; ++r)
            for (int c = 0; c < pictureWidth; ++c) store_[std::size_t(r) * bps + c] = value;
        const std::size_t chroma = std::size_t(bps) * pictureHeight;
        for (int r = 0; r < pictureHeight / 2; ++r)
            for (int c = 0; c < pictureWidth / 2; ++c) {
                store_[chroma + std::size_t(r) * bps + c] = 100;
                store_[chroma + std::size_t(r) * bps + bps / 2 + c] = 150;
            }
        frame_ = KVR_MP4_FRAME{};
        frame_.Y = store_.data();
        frame_.U = store_.data() + chroma;
        frame_.V = store_.data() + chroma + bps / 2;
        frame_.Width = pictureWidth;
        frame_.Height = pictureHeight;
        frame_.BpS = bps;
        ready_ = 1;
    }

    std::vector<std::uint8_t> store_;
    KVR_MP4_FRAME frame_{};
    int ready_ = 0;
};

// A factory for Mpeg4Adapter::Create that remembers the fake it made.
inline LibraryFactory FakeFactory(FakeLibrary** made) {
    return [made] {
        auto* fake = new FakeLibrary;
        *made = fake;
        return LibraryDecoder(fake, [](KVR_MP4_DEC* d) { delete d; });
    };
}

}  // namespace vistrel::mpeg4::test
