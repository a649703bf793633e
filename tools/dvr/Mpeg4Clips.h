#pragma once
// The short MPEG-4 clips the MPEG-4 channels loop, cut into frames (each a video object plane
// with the headers in front of it), and their wrapping into the DVR's live framing.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vistrel::dvr {

constexpr int kClipCount = 4;

struct Mpeg4Frame {
    std::vector<std::uint8_t> data;  // begins with a start code
    std::size_t vopOffset = 0;       // where the plane's own start code is in data
    bool intra = false;
};

struct Mpeg4Clip {
    std::vector<Mpeg4Frame> frames;  // the first one is intra and carries the layer header
    int width = 320;
    int height = 240;
};

class Mpeg4ClipLibrary {
public:
    // Loads clip0.m4v .. clip3.m4v from `dir`. False (with the reason) when none is usable.
    bool load(const std::string& dir, std::string* error);
    bool empty() const { return clips_.empty(); }
    // The clip a channel loops; null when no clip was loaded.
    const Mpeg4Clip* clipFor(int channelIndex) const;

private:
    std::vector<Mpeg4Clip> clips_;  // written by load() before serving, read-only afterwards
};

// Appends one frame in live framing: 18-byte frame header (with the size hint for the clip's
// width) and the data; `infoBlockFirst` puts an information block in front of it.
void appendLiveMpeg4Frame(std::vector<std::uint8_t>& out, const Mpeg4Clip& clip, const Mpeg4Frame& frame,
                          bool infoBlockFirst, std::uint32_t headerWord, bool vopOnly = false);

// The two frame forms without information blocks: with the 18-byte header, or as a 32-bit
// little-endian length and the data.
void appendMpeg4WithHeader(std::vector<std::uint8_t>& out, const Mpeg4Clip& clip, const Mpeg4Frame& frame,
                           std::uint32_t headerWord);
void appendMpeg4WithLength(std::vector<std::uint8_t>& out, const Mpeg4Frame& frame);

}  // namespace vistrel::dvr
