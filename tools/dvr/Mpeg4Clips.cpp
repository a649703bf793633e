// Loading and framing of the MPEG-4 clips.

#include "tools/dvr/Mpeg4Clips.h"

#include <algorithm>
#include <cstdio>

#include "tools/m4vframe/M4vFrame.h"

namespace vistrel::dvr {

namespace {

// A clip larger than this is not one of ours; refuse it rather than hold it.
constexpr long kMaxClipBytes = 16L * 1024 * 1024;
constexpr std::size_t kInfoBlockBody = 24;

bool readFile(const std::string& path, std::vector<std::uint8_t>& data) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return false;
    std::uint8_t chunk[65536];
    std::size_t n;
    bool ok = true;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) {
        if (data.size() + n > std::size_t(kMaxClipBytes)) {
            ok = false;
            break;
        }
        data.insert(data.end(), chunk, chunk + n);
    }
    std::fclose(f);
    return ok && !data.empty();
}

m4vframe::SizeHint hintFor(const Mpeg4Clip& clip) {
    switch (clip.width) {
        case 320: return m4vframe::SizeHint::W320;
        case 640: return m4vframe::SizeHint::W640;
        case 352: return m4vframe::SizeHint::W352;
        default: return m4vframe::SizeHint::None;
    }
}

}  // namespace

bool Mpeg4ClipLibrary::load(const std::string& dir, std::string* error) {
    clips_.clear();
    for (int i = 0; i < kClipCount; ++i) {
        std::vector<std::uint8_t> data;
        if (!readFile(dir + "/clip" + std::to_string(i) + ".m4v", data)) continue;
        Mpeg4Clip clip;
        bool started = false;
        for (const auto& f : m4vframe::SplitElementaryStream(data.data(), data.size())) {
            if (!started && !(f.intra && f.hasVol)) continue;  // a loop must begin where a decoder can
            started = true;
            Mpeg4Frame frame;
            frame.data.assign(data.begin() + std::ptrdiff_t(f.offset),
                              data.begin() + std::ptrdiff_t(f.offset + f.length));
            frame.intra = f.intra;
            frame.vopOffset = f.vopOffset - f.offset;
            clip.frames.push_back(std::move(frame));
        }
        if (!clip.frames.empty()) clips_.push_back(std::move(clip));
    }
    if (clips_.empty() && error) *error = "no MPEG-4 clip in " + dir;
    return !clips_.empty();
}

const Mpeg4Clip* Mpeg4ClipLibrary::clipFor(int channelIndex) const {
    if (clips_.empty()) return nullptr;
    return &clips_[std::size_t(channelIndex) % clips_.size()];
}

namespace {

void appendWithHeader(std::vector<std::uint8_t>& out, const Mpeg4Clip& clip, const std::uint8_t* data,
                      std::size_t length, std::uint32_t headerWord) {
    std::uint8_t header[m4vframe::kFrameHeaderSize];
    m4vframe::WriteMpeg4FrameHeader(header, std::uint32_t(length), hintFor(clip), headerWord);
    out.insert(out.end(), header, header + sizeof header);
    out.insert(out.end(), data, data + length);
}

}  // namespace

void appendMpeg4WithHeader(std::vector<std::uint8_t>& out, const Mpeg4Clip& clip, const Mpeg4Frame& frame,
                           std::uint32_t headerWord) {
    appendWithHeader(out, clip, frame.data.data(), frame.data.size(), headerWord);
}

void appendMpeg4WithLength(std::vector<std::uint8_t>& out, const Mpeg4Frame& frame) {
    const auto n = std::uint32_t(frame.data.size());
    for (int i = 0; i < 4; ++i) out.push_back(std::uint8_t(n >> (8 * i)));
    out.insert(out.end(), frame.data.begin(), frame.data.end());
}

void appendLiveMpeg4Frame(std::vector<std::uint8_t>& out, const Mpeg4Clip& clip, const Mpeg4Frame& frame,
                          bool infoBlockFirst, std::uint32_t headerWord, bool vopOnly) {
    if (infoBlockFirst) m4vframe::AppendInfoBlock(out, kInfoBlockBody);
    const std::size_t skip = vopOnly ? std::min(frame.vopOffset, frame.data.size()) : 0;
    appendWithHeader(out, clip, frame.data.data() + skip, frame.data.size() - skip, headerWord);
}

}  // namespace vistrel::dvr
