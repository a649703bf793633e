#include "stream/export/MatroskaWriter.h"

#include <cstring>

#include "base/ByteOrder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/error.h>
#include <libavutil/imgutils.h>
#include <libavutil/mem.h>
}

namespace vistrel::exporter {

namespace {

constexpr AVRational kMs = {1, 1000};

std::string AvError(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

}  // namespace

// Everything libav hands out, released in one place.
struct MatroskaWriter::Av {
    AVFormatContext* format = nullptr;
    AVStream* video = nullptr;
    AVStream* audio = nullptr;
    AVCodecContext* encoder = nullptr;  // FFV1 only
    AVFrame* frame = nullptr;
    AVPacket* held = nullptr;  // the last video packet, waiting for its duration
    std::int64_t heldMs = 0;

    ~Av() {
        av_packet_free(&held);
        av_frame_free(&frame);
        avcodec_free_context(&encoder);
        if (format) {
            if (format->pb) avio_closep(&format->pb);
            avformat_free_context(format);
        }
    }
};

MatroskaWriter::MatroskaWriter() = default;

MatroskaWriter::~MatroskaWriter() = default;

bool MatroskaWriter::Fail(const std::string& what, int code) {
    error_ = code != 0 ? what + ": " + AvError(code) : what;
    return false;
}

bool MatroskaWriter::Open(const std::string& path, const TrackSetup& setup) {
    setup_ = setup;
    av_ = std::make_unique<Av>();
    if (setup.width <= 0 || setup.height <= 0) return Fail("no picture size for the video track", 0);
    int rc = avformat_alloc_output_context2(&av_->format, nullptr, "matroska", path.c_str());
    if (rc < 0 || !av_->format) return Fail("cannot set up the Matroska muxer", rc);

    av_->video = avformat_new_stream(av_->format, nullptr);
    if (!av_->video) return Fail("cannot add the video track", 0);
    av_->video->time_base = kMs;
    AVCodecParameters* vp = av_->video->codecpar;
    if (setup.video == VideoTrack::Mpeg4Copy) {
        vp->codec_type = AVMEDIA_TYPE_VIDEO;
        vp->codec_id = AV_CODEC_ID_MPEG4;
        vp->width = setup.width;
        vp->height = setup.height;
        if (!setup.mpeg4Headers.empty()) {
            vp->extradata =
                static_cast<std::uint8_t*>(av_mallocz(setup.mpeg4Headers.size() + AV_INPUT_BUFFER_PADDING_SIZE));
            if (!vp->extradata) return Fail("out of memory", 0);
            std::memcpy(vp->extradata, setup.mpeg4Headers.data(), setup.mpeg4Headers.size());
            vp->extradata_size = int(setup.mpeg4Headers.size());
        }
    } else {
        const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_FFV1);
        if (!codec) return Fail("this libavcodec has no FFV1 encoder", 0);
        av_->encoder = avcodec_alloc_context3(codec);
        if (!av_->encoder) return Fail("out of memory", 0);
        av_->encoder->width = setup.width;
        av_->encoder->height = setup.height;
        av_->encoder->pix_fmt = AV_PIX_FMT_YUV420P;
        av_->encoder->time_base = kMs;
        av_->encoder->thread_count = 1;
        if (av_->format->oformat->flags & AVFMT_GLOBALHEADER) av_->encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        rc = avcodec_open2(av_->encoder, codec, nullptr);
        if (rc < 0) return Fail("cannot open the FFV1 encoder", rc);
        rc = avcodec_parameters_from_context(vp, av_->encoder);
        if (rc < 0) return Fail("cannot describe the FFV1 track", rc);
        av_->frame = av_frame_alloc();
        if (!av_->frame) return Fail("out of memory", 0);
        av_->frame->format = AV_PIX_FMT_YUV420P;
        av_->frame->width = setup.width;
        av_->frame->height = setup.height;
        rc = av_frame_get_buffer(av_->frame, 0);
        if (rc < 0) return Fail("cannot allocate a picture", rc);
    }

    if (setup.audio) {
        av_->audio = avformat_new_stream(av_->format, nullptr);
        if (!av_->audio) return Fail("cannot add the audio track", 0);
        av_->audio->time_base = kMs;
        AVCodecParameters* ap = av_->audio->codecpar;
        ap->codec_type = AVMEDIA_TYPE_AUDIO;
        ap->codec_id = AV_CODEC_ID_PCM_S16LE;
        ap->sample_rate = setup.audioRate;
        av_channel_layout_default(&ap->ch_layout, setup.audioChannels);
        ap->bits_per_coded_sample = 16;
        ap->block_align = 2 * setup.audioChannels;
        ap->bit_rate = std::int64_t(setup.audioRate) * 16 * setup.audioChannels;
    }

    rc = avio_open(&av_->format->pb, path.c_str(), AVIO_FLAG_WRITE);
    if (rc < 0) return Fail("cannot create '" + path + "'", rc);
    rc = avformat_write_header(av_->format, nullptr);
    if (rc < 0) return Fail("cannot write the file header", rc);
    headerWritten_ = true;
    av_->held = av_packet_alloc();
    if (!av_->held) return Fail("out of memory", 0);
    return true;
}

bool MatroskaWriter::FlushHeldVideo(std::int64_t durationMs) {
    AVPacket* p = av_->held;
    if (!p || p->size == 0) return true;
    p->stream_index = av_->video->index;
    p->pts = p->dts = av_rescale_q(av_->heldMs, kMs, av_->video->time_base);
    p->duration = av_rescale_q(durationMs > 0 ? durationMs : 1, kMs, av_->video->time_base);
    const int rc = av_interleaved_write_frame(av_->format, p);  // takes the packet's data
    av_packet_unref(p);
    if (rc < 0) return Fail("cannot write a picture", rc);
    ++videoFrames_;
    return true;
}

bool MatroskaWriter::WriteVideoPacket(void* packet) {
    AVPacket* p = static_cast<AVPacket*>(packet);
    const std::int64_t ms = p->pts;
    if (av_->held->size > 0 && !FlushHeldVideo(ms - av_->heldMs)) return false;
    av_packet_move_ref(av_->held, p);
    av_->heldMs = ms;
    return true;
}

bool MatroskaWriter::WriteMpeg4(const std::uint8_t* data, std::size_t size, std::int64_t timeMs, bool key) {
    if (!headerWritten_ || finished_ || setup_.video != VideoTrack::Mpeg4Copy)
        return Fail("no MPEG-4 track open", 0);
    AVPacket* p = av_packet_alloc();
    if (!p) return Fail("out of memory", 0);
    int rc = av_new_packet(p, int(size));
    if (rc < 0) {
        av_packet_free(&p);
        return Fail("out of memory", rc);
    }
    std::memcpy(p->data, data, size);
    p->pts = timeMs;
    if (key) p->flags |= AV_PKT_FLAG_KEY;
    const bool ok = WriteVideoPacket(p);
    av_packet_free(&p);
    return ok;
}

bool MatroskaWriter::WritePicture(const YuvPicture& picture, std::int64_t timeMs) {
    if (!headerWritten_ || finished_ || !av_->encoder) return Fail("no FFV1 track open", 0);
    if (picture.width() != setup_.width || picture.height() != setup_.height)
        return Fail("the picture size changed within the export", 0);
    int rc = av_frame_make_writable(av_->frame);
    if (rc < 0) return Fail("cannot reuse the picture buffer", rc);
    const YuvPlane* planes[3] = {&picture.luma(), &picture.cb(), &picture.cr()};
    for (int i = 0; i < 3; ++i) {
        const YuvPlane& plane = *planes[i];
        for (int y = 0; y < plane.height; ++y)
            std::memcpy(av_->frame->data[i] + std::ptrdiff_t(y) * av_->frame->linesize[i], plane.rows[y],
                        std::size_t(plane.width));
    }
    av_->frame->pts = timeMs;
    rc = avcodec_send_frame(av_->encoder, av_->frame);
    if (rc < 0) return Fail("the FFV1 encoder refused a picture", rc);
    AVPacket* p = av_packet_alloc();
    if (!p) return Fail("out of memory", 0);
    bool ok = true;
    while (ok && (rc = avcodec_receive_packet(av_->encoder, p)) == 0) ok = WriteVideoPacket(p);
    av_packet_free(&p);
    if (ok && rc != AVERROR(EAGAIN) && rc != AVERROR_EOF) return Fail("the FFV1 encoder failed", rc);
    return ok;
}

bool MatroskaWriter::WriteAudio(const std::int16_t* samples, std::size_t frames, std::int64_t timeMs) {
    if (!headerWritten_ || finished_ || !av_->audio) return Fail("no audio track open", 0);
    if (frames == 0) return true;
    const std::size_t bytes = frames * std::size_t(setup_.audioChannels) * sizeof(std::int16_t);
    AVPacket* p = av_packet_alloc();
    if (!p) return Fail("out of memory", 0);
    int rc = av_new_packet(p, int(bytes));
    if (rc < 0) {
        av_packet_free(&p);
        return Fail("out of memory", rc);
    }
    // 16-bit little-endian whatever the machine's order.
    for (std::size_t i = 0; i < frames * std::size_t(setup_.audioChannels); ++i)
        base::PutLe16(p->data + 2 * i, std::uint16_t(samples[i]));
    p->stream_index = av_->audio->index;
    p->pts = p->dts = av_rescale_q(timeMs, kMs, av_->audio->time_base);
    p->duration = av_rescale_q(std::int64_t(frames), AVRational{1, setup_.audioRate}, av_->audio->time_base);
    p->flags |= AV_PKT_FLAG_KEY;
    rc = av_interleaved_write_frame(av_->format, p);
    av_packet_free(&p);
    if (rc < 0) return Fail("cannot write sound", rc);
    return true;
}

bool MatroskaWriter::Finish(std::int64_t lastFrameMs) {
    if (!headerWritten_ || finished_) return Fail("nothing to finish", 0);
    finished_ = true;
    bool ok = true;
    if (av_->encoder) {
        int rc = avcodec_send_frame(av_->encoder, nullptr);
        AVPacket* p = av_packet_alloc();
        while (ok && rc >= 0 && p && (rc = avcodec_receive_packet(av_->encoder, p)) == 0) ok = WriteVideoPacket(p);
        av_packet_free(&p);
    }
    if (ok) ok = FlushHeldVideo(lastFrameMs);
    const int rc = av_write_trailer(av_->format);
    if (ok && rc < 0) ok = Fail("cannot finish the file", rc);
    if (av_->format->pb) {
        const int err = av_->format->pb->error;
        avio_closep(&av_->format->pb);
        if (ok && err < 0) ok = Fail("cannot write the file", err);
    }
    return ok;
}

}  // namespace vistrel::exporter
