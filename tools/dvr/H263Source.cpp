// The H.263 channels' encoder, over the test-stream encoder.

#include "tools/dvr/H263Source.h"

#include "base/ByteOrder.h"
#include "video/frame/FrameHeader.h"

#include "tools/h263enc/H263Encoder.h"

namespace vistrel::dvr {

namespace {
// Quantiser of the emulated cameras: a clear picture at a few KB per predicted picture.
constexpr int kQuantiser = 8;
// The source decides the intra pictures itself; the encoder's own period is out of the way.
constexpr int kNoOwnGop = 1 << 30;
}  // namespace

struct H263Source::Encoder {
    h263enc::H263Encoder encoder;
    Encoder(int w, int h) : encoder(w, h, kQuantiser, kNoOwnGop) {}
};

H263Source::H263Source(int width, int height)
    : width_(width), height_(height), encoder_(std::make_unique<Encoder>(width, height)) {}

H263Source::~H263Source() = default;

bool H263Source::available() const { return encoder_->encoder.valid(); }

bool H263Source::encode(YuvFrame& picture, bool forceIntra, std::vector<std::uint8_t>& out, bool& intra) {
    intra = false;
    if (!available() || picture.width != width_ || picture.height != height_) return false;
    if (forceIntra || first_) encoder_->encoder.forceIntra();
    first_ = false;
    h263enc::I420View view{picture.y(), picture.u(), picture.v(), width_, width_ / 2};
    if (!encoder_->encoder.encode(view, &out)) return false;
    intra = encoder_->encoder.lastWasIntra();
    return true;
}

void appendH263Frame(std::vector<std::uint8_t>& out, const std::vector<std::uint8_t>& picture, bool withHeader,
                     std::uint32_t headerWord) {
    const auto payload = std::uint32_t(picture.size() + 2);
    if (withHeader) {
        std::uint8_t header[frame::kFrameHeaderSize];
        frame::WriteFrameHeader(header, payload, headerWord);
        out.insert(out.end(), header, header + sizeof header);
    }
    std::uint8_t length[2];
    base::PutLe16(length, payload);
    out.insert(out.end(), length, length + 2);
    out.insert(out.end(), picture.begin(), picture.end());
}

}  // namespace vistrel::dvr
