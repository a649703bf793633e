#include "stream/export/LiveRecordingSource.h"

#include <cerrno>
#include <cstring>

#include "base/StartCode.h"
#include "video/frame/FrameHeader.h"
#include "video/h263/H263Framing.h"
#include "video/mpeg4/Mpeg4Framing.h"
#include "video/mpeg4/SizeTable.h"

namespace vistrel::exporter {

namespace {

// Frame header words further apart than this are no millisecond clock (or a clock that restarted).
constexpr std::uint32_t kLongestWordStepMs = 5000;
constexpr std::size_t kVopStartCode = 0xB6;

// The caller guarantees the frame header's bytes at data[at].
bool IsMpeg4HeaderFrame(const std::uint8_t* data, std::size_t size, std::size_t at) {
    return frame::HasFrameHeaderAt(data + at) && base::IsStartCodeAt(data, size, at + mpeg4::kFrameHeaderSize);
}

bool IsH263HeaderFrame(const std::uint8_t* p) {
    return frame::HasFrameHeaderAt(p) && p[16] == 0 && p[17] == 0 && (p[18] & 0x80) != 0;
}

bool IsMpeg4Intra(const std::uint8_t* data, std::size_t size) {
    const std::size_t at = Mpeg4HeadersLength(data, size);
    return at + 4 < size && data[at + 3] == kVopStartCode && (data[at + 4] >> 6) == 0;
}

}  // namespace

LiveRecordingSource::~LiveRecordingSource() {
    if (file_) std::fclose(file_);
}

bool LiveRecordingSource::Open(const std::string& path) {
    file_ = std::fopen(path.c_str(), "rb");
    if (!file_) {
        error_ = "cannot open '" + path + "': " + std::strerror(errno);
        return false;
    }
    if (std::fseek(file_, 0, SEEK_END) == 0) {
        const long end = std::ftell(file_);
        fileSize_ = end > 0 ? std::uint64_t(end) : 0;
    }
    std::fseek(file_, 0, SEEK_SET);
    return true;
}

double LiveRecordingSource::Fraction() const {
    if (fileSize_ == 0) return 0.0;
    const double f = double(consumed_ + pos_) / double(fileSize_);
    return f > 1.0 ? 1.0 : f;
}

bool LiveRecordingSource::Fill() {
    if (eof_ || !file_) return false;
    if (pos_ > 0) {
        buf_.erase(buf_.begin(), buf_.begin() + std::ptrdiff_t(pos_));
        consumed_ += pos_;
        pos_ = 0;
    }
    const std::size_t old = buf_.size();
    buf_.resize(old + kReadChunk);
    const std::size_t n = std::fread(buf_.data() + old, 1, kReadChunk, file_);
    buf_.resize(old + n);
    if (n == 0) {
        if (std::ferror(file_)) error_ = "cannot read the recording";
        eof_ = true;
        return false;
    }
    return true;
}

void LiveRecordingSource::Consume(std::size_t bytes) { pos_ += bytes; }

std::int64_t LiveRecordingSource::NextTime(UnitKind kind, const MediaUnit& unit, const std::uint8_t* frameStart,
                                           bool hasHeader) {
    std::int64_t step = -1;
    if (hasHeader) {
        const std::uint32_t word = frame::FrameHeaderWord(frameStart);
        if (haveWord_ && word > lastWord_ && word - lastWord_ <= kLongestWordStepMs) step = word - lastWord_;
        haveWord_ = true;
        lastWord_ = word;
    } else {
        haveWord_ = false;
    }
    if (kind == UnitKind::Mpeg4Video) {
        if (auto layer = FindMpeg4Layer(unit.data.data(), unit.data.size())) {
            if (!layer_ || layer->timeResolution != layer_->timeResolution) {
                layer_ = layer;
                clock_.emplace(*layer);
                clockValid_ = false;
            }
        }
        if (clock_) {
            if (auto plane = FindMpeg4Plane(unit.data.data(), unit.data.size(), *layer_)) {
                const std::int64_t ms = clock_->Milliseconds(*plane);
                if (step < 0 && clockValid_ && ms > lastClockMs_ && ms - lastClockMs_ <= kLongestWordStepMs)
                    step = ms - lastClockMs_;
                lastClockMs_ = ms;
                clockValid_ = true;
            }
        }
    } else if (kind == UnitKind::H263Video) {
        const std::size_t skip = (hasHeader ? frame::kFrameHeaderSize : 0) + h263::kLengthWordSize;
        if (unit.data.size() > skip) {
            if (auto tr = H263TemporalReference(unit.data.data() + skip, unit.data.size() - skip)) {
                const int delta = lastTr_ >= 0 ? (*tr - lastTr_ + 256) % 256 : 0;
                if (step < 0 && delta > 0) step = std::int64_t(delta) * kH263TickNumerator / kH263TickDenominator;
                lastTr_ = *tr;
            }
        }
    }
    if (!haveTime_) {
        haveTime_ = true;
        lastMs_ = 0;
        return 0;
    }
    if (step <= 0) step = lastStepMs_;
    lastStepMs_ = step;
    lastMs_ += step;
    return lastMs_;
}

SourceStatus LiveRecordingSource::Next(MediaUnit& unit) {
    for (;;) {
        if (buf_.size() - pos_ < kReadChunk / 2 && !eof_) Fill();
        const std::uint8_t* data = buf_.data() + pos_;
        const std::size_t size = buf_.size() - pos_;
        if (size < mpeg4::kFrameHeaderSize + 3) {
            if (eof_) return error_.empty() ? SourceStatus::End : SourceStatus::Failed;
            continue;
        }
        // The earliest frame with a frame header; an H.263 stream may also carry frames without.
        std::size_t at = size;
        UnitKind kind = UnitKind::Mpeg4Video;
        bool hasHeader = true;
        for (std::size_t i = 0; i + mpeg4::kFrameHeaderSize + 3 <= size; ++i) {
            if (IsMpeg4HeaderFrame(data, size, i)) {
                at = i;
                kind = UnitKind::Mpeg4Video;
                break;
            }
            if (IsH263HeaderFrame(data + i)) {
                at = i;
                kind = UnitKind::H263Video;
                break;
            }
        }
        // Frames without header only where the stream has shown it sends them: searched for
        // everywhere, length words and start codes turn up inside MPEG-4 data after a channel change.
        if (!haveKind_ || (lastKind_ == UnitKind::H263Video && !lastHadHeader_)) {
            h263::H263FrameStart start;
            if (h263::FindH263FrameStart(data, size, 0, &start) && start.offset < at) {
                at = start.offset;
                kind = UnitKind::H263Video;
                hasHeader = start.hasHeader;
            }
        }
        if (at == size) {
            // Nothing here: keep the tail, where a frame may begin, and read on.
            if (eof_) return error_.empty() ? SourceStatus::End : SourceStatus::Failed;
            Consume(size - (mpeg4::kFrameHeaderSize + 2));
            continue;
        }
        const std::uint8_t* f = data + at;
        const std::size_t held = size - at;
        std::size_t total = 0, payloadOffset = 0, payloadLength = 0;
        if (kind == UnitKind::Mpeg4Video) {
            mpeg4::FrameSpan span;
            if (mpeg4::FindFrame(f, held, &span) != mpeg4::FrameSearch::Found || span.start != 0) {
                Consume(at + 1);  // a damaged length: look behind this header
                continue;
            }
            total = span.total;
            payloadOffset = span.payloadOffset;
            payloadLength = span.payloadLength;
        } else {
            h263::H263FrameStart start;
            start.offset = 0;
            start.hasHeader = hasHeader;
            start.lengthWord = hasHeader ? frame::kFrameHeaderSize : 0;
            const std::uint64_t length = h263::H263FrameTotalLength(f, start);
            if (length <= start.lengthWord + h263::kLengthWordSize || length > h263::kMaxFrameLength) {
                Consume(at + 1);
                continue;
            }
            total = std::size_t(length);
        }
        if (total > held) {
            if (eof_) return error_.empty() ? SourceStatus::End : SourceStatus::Failed;  // cut off at the end
            if (at > 0) Consume(at);
            if (!Fill() && !eof_) return SourceStatus::Failed;
            continue;
        }
        unit = MediaUnit{};
        unit.kind = kind;
        if (kind == UnitKind::Mpeg4Video) {
            unit.data.assign(f + payloadOffset, f + payloadOffset + payloadLength);
            unit.key = IsMpeg4Intra(unit.data.data(), unit.data.size());
            int w = 0, h = 0;
            if (mpeg4::SizeOfCode(mpeg4::SizeCodeForHint(f[13] & 3), &w, &h)) unit.widthHint = w;
        } else {
            unit.data.assign(f, f + total);
            std::size_t offset = 0;
            unit.key = h263::H263IsIntraFrame(unit.data.data(), unit.data.size(), &offset);
        }
        unit.timeMs = NextTime(kind, unit, f, kind == UnitKind::Mpeg4Video || hasHeader);
        haveKind_ = true;
        lastKind_ = kind;
        lastHadHeader_ = kind == UnitKind::Mpeg4Video || hasHeader;
        Consume(at + total);
        return SourceStatus::Unit;
    }
}

}  // namespace vistrel::exporter
