// The H.263 channels' encoder, over the test-stream encoder when the build has it.

#include "tools/dvr/H263Source.h"

#include "video/frame/FrameHeader.h"

namespace vistrel::dvr {

struct H263Source::Encoder {};

H263Source::H263Source(int width, int height) : width_(width), height_(height) {}
H263Source::~H263Source() = default;

bool H263Source::available() const { return false; }

bool H263Source::encode(YuvFrame&, bool, std::vector<std::uint8_t>&, bool& intra) {
    intra = false;
    return false;
}

void appendH263Frame(std::vector<std::uint8_t>& out, const std::vector<std::uint8_t>& picture,
                     bool withHeader, std::uint32_t headerWord) {
    const auto payload = std::uint32_t(picture.size() + 2);
    if (withHeader) {
        std::uint8_t header[frame::kFrameHeaderSize];
        frame::WriteFrameHeader(header, payload, headerWord);
        out.insert(out.end(), header, header + sizeof header);
    }
    out.push_back(std::uint8_t(payload));
    out.push_back(std::uint8_t(payload >> 8));
    out.insert(out.end(), picture.begin(), picture.end());
}

}  // namespace vistrel::dvr
