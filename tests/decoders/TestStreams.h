#pragma once
// Test input made at test time: MPEG-4 by ffmpeg's encoder, H.263 by our test-stream encoder,
// ffmpeg's own decoding as the reference.

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/Command.h"
#include "tests/support/Files.h"
#include "tools/h263enc/H263Encoder.h"
#include "tools/m4vframe/M4vFrame.h"

namespace vistrel::testing_streams {

using Bytes = std::vector<std::uint8_t>;

inline std::string DataDir() { return testsupport::ScratchDir("testdata-adp"); }

// Runs an ffmpeg command writing `path`, unless the file is there already. Parallel test
// processes each write their own temporary file and rename it into place.
inline bool MakeWithFfmpeg(const std::string& path, const std::string& arguments) {
    if (testsupport::FileExists(path)) return true;
    const std::string tmp = path + "." + std::to_string(getpid()) + ".tmp";
    const std::string command = "ffmpeg -nostdin -v error -y " + arguments + " -f " +
                                (path.size() > 4 && path.substr(path.size() - 4) == ".yuv" ? "rawvideo" : "m4v") +
                                " '" + tmp + "'";
    if (testsupport::RunCommand(command) != 0) return false;
    return std::rename(tmp.c_str(), path.c_str()) == 0;
}

// An MPEG-4 simple-profile elementary stream of a moving test pattern, time base 1/30 and MPEG
// quantisation, so that bare planes decode after priming for 320 or 640 wide pictures. One
// encoding thread: more would cut pictures into packets, which the priming layer rules out.
inline std::string Mpeg4File(int width, int height, int frames, int gop = 12) {
    const std::string path = DataDir() + "/mpeg4_" + std::to_string(width) + "x" + std::to_string(height) + "_" +
                             std::to_string(frames) + "_g" + std::to_string(gop) + "_st.m4v";
    const std::string args = "-f lavfi -i testsrc2=size=" + std::to_string(width) + "x" + std::to_string(height) +
                             ":rate=30 -frames:v " + std::to_string(frames) +
                             " -c:v mpeg4 -threads 1 -mpeg_quant 1 -bf 0 -q:v 4 -g " + std::to_string(gop);
    return MakeWithFfmpeg(path, args) ? path : std::string();
}

// ffmpeg's decoding of a file as planar 4:2:0 pictures.
inline std::vector<Bytes> ReferenceDecode(const std::string& file, int width, int height) {
    const std::string yuv = file + ".ref.yuv";
    std::vector<Bytes> pictures;
    if (!MakeWithFfmpeg(yuv, "-i '" + file + "' -pix_fmt yuv420p")) return pictures;
    const Bytes all = testsupport::ReadFile(yuv);
    const std::size_t frameBytes = std::size_t(width) * height * 3 / 2;
    for (std::size_t at = 0; at + frameBytes <= all.size(); at += frameBytes)
        pictures.emplace_back(all.begin() + at, all.begin() + at + frameBytes);
    return pictures;
}

// A VOP as the frame rules and the adapter see it: its start code, the byte that opens its header
// (the coding type in the top two bits), then `filler` up to `length` bytes.
inline Bytes Vop(std::uint8_t headerByte, std::size_t length, std::uint8_t filler) {
    Bytes v(length, filler);
    v[0] = 0;
    v[1] = 0;
    v[2] = 1;
    v[3] = 0xB6;
    v[4] = headerByte;
    return v;
}

// One MPEG-4 payload in the DVR's live frame form.
inline Bytes LiveMpeg4Frame(const Bytes& payload, m4vframe::WrapOptions options = {}) {
    Bytes out;
    m4vframe::AppendFramed(out, payload.data(), payload.size(), options);
    return out;
}

// A moving pattern for the H.263 encoder.
inline Bytes PatternFrame(int width, int height, int index) {
    Bytes f(std::size_t(width) * height * 3 / 2);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            f[std::size_t(y) * width + x] = std::uint8_t((x * 2 + y + index * 3) & 0xFF);
    const std::size_t chroma = std::size_t(width / 2) * (height / 2);
    for (std::size_t i = 0; i < chroma; ++i) {
        f[std::size_t(width) * height + i] = std::uint8_t(100 + (i % 40));
        f[std::size_t(width) * height + chroma + i] = std::uint8_t(150 - (i % 30));
    }
    return f;
}

// H.263 pictures of our encoder, each in live frame form, with their reconstructions.
struct H263Stream {
    std::vector<Bytes> frames;           // live frames
    std::vector<Bytes> reconstructions;  // what a decoder must produce for each
};

// A header word of zero leaves 00 00 C5 at header bytes 10..12, which the frame search takes for
// a picture start code; DVRs put a time stamp there.
constexpr std::uint32_t kHeaderWord = 0x01020304;

inline H263Stream MakeH263Stream(int width, int height, int count, bool withHeader, int gop = 12) {
    H263Stream s;
    h263enc::H263Encoder encoder(width, height, 6, gop);
    for (int i = 0; i < count; ++i) {
        const Bytes input = PatternFrame(width, height, i);
        h263enc::I420View view;
        view.y = input.data();
        view.cb = input.data() + std::size_t(width) * height;
        view.cr = view.cb + std::size_t(width / 2) * (height / 2);
        view.yStride = width;
        view.cStride = width / 2;
        const Bytes picture = encoder.encode(view);
        Bytes frame;
        h263enc::AppendLiveFrame(&frame, picture.data(), picture.size(), withHeader, kHeaderWord);
        s.frames.push_back(frame);
        s.reconstructions.emplace_back(encoder.reconstruction(), encoder.reconstruction() + encoder.frameBytes());
    }
    return s;
}

}  // namespace vistrel::testing_streams
