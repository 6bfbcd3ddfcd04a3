#include "VideoEncoder.h"

#include <algorithm>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/error.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

namespace velloq::screensavers {

namespace {

struct FormatContextDeleter {
    void operator()(AVFormatContext* context) const {
        if (context->pb)
            avio_closep(&context->pb);
        avformat_free_context(context);
    }
};
struct CodecContextDeleter {
    void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
struct FrameDeleter {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct PacketDeleter {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
struct ScaleDeleter {
    void operator()(SwsContext* context) const { sws_freeContext(context); }
};

QString describe(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return QString::fromLocal8Bit(text);
}

} // namespace

struct VideoEncoder::State {
    std::unique_ptr<AVFormatContext, FormatContextDeleter> format;
    std::unique_ptr<AVCodecContext, CodecContextDeleter> codec;
    std::unique_ptr<AVFrame, FrameDeleter> frame;
    std::unique_ptr<AVPacket, PacketDeleter> packet;
    std::unique_ptr<SwsContext, ScaleDeleter> scale;
    AVStream* stream = nullptr;
    int64_t nextPts = 0;
    bool headerWritten = false;

    // Sends `input` (null to flush) and writes every packet the encoder hands back.
    bool drain(const AVFrame* input, QString* error) {
        int code = avcodec_send_frame(codec.get(), input);
        if (code < 0) {
            *error = QStringLiteral("encoding failed: ") + describe(code);
            return false;
        }
        for (;;) {
            code = avcodec_receive_packet(codec.get(), packet.get());
            if (code == AVERROR(EAGAIN) || code == AVERROR_EOF)
                return true;
            if (code < 0) {
                *error = QStringLiteral("encoding failed: ") + describe(code);
                return false;
            }
            av_packet_rescale_ts(packet.get(), codec->time_base, stream->time_base);
            packet->stream_index = stream->index;
            code = av_interleaved_write_frame(format.get(), packet.get());
            if (code < 0) {
                *error = QStringLiteral("writing failed: ") + describe(code);
                return false;
            }
        }
    }
};

VideoEncoder::VideoEncoder() = default;
VideoEncoder::~VideoEncoder() = default;

bool VideoEncoder::open(const QString& path, const Settings& settings, QString* error) {
    auto state = std::make_unique<State>();
    const QByteArray file = path.toLocal8Bit();

    AVFormatContext* rawFormat = nullptr;
    int code = avformat_alloc_output_context2(&rawFormat, nullptr, "mp4", file.constData());
    if (code < 0 || !rawFormat) {
        *error = QStringLiteral("no MP4 muxer: ") + describe(code);
        return false;
    }
    state->format.reset(rawFormat);

    // H.264 where Debian's libavcodec has it, else MPEG-4 part 2, which every build has.
    const AVCodec* encoder = avcodec_find_encoder_by_name("libx264");
    const bool x264 = encoder != nullptr;
    if (!encoder)
        encoder = avcodec_find_encoder(AV_CODEC_ID_MPEG4);
    if (!encoder) {
        *error = QStringLiteral("no H.264 or MPEG-4 encoder in libavcodec");
        return false;
    }

    state->stream = avformat_new_stream(state->format.get(), nullptr);
    state->codec.reset(avcodec_alloc_context3(encoder));
    if (!state->stream || !state->codec) {
        *error = QStringLiteral("out of memory");
        return false;
    }
    AVCodecContext* codec = state->codec.get();
    codec->width = settings.width;
    codec->height = settings.height;
    codec->time_base = AVRational{1, settings.fps};
    codec->framerate = AVRational{settings.fps, 1};
    codec->pix_fmt = AV_PIX_FMT_YUV420P;
    codec->gop_size = settings.fps * 2;
    // No reordering: presentation order equals decoding order, which keeps every reader simple.
    codec->max_b_frames = 0;
    if (state->format->oformat->flags & AVFMT_GLOBALHEADER)
        codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (x264) {
        av_opt_set(codec->priv_data, "preset", "slow", 0);
        av_opt_set(codec->priv_data, "tune", "animation", 0);
        av_opt_set(codec->priv_data, "crf", QByteArray::number(settings.crf).constData(), 0);
    } else {
        codec->flags |= AV_CODEC_FLAG_QSCALE;
        codec->global_quality = FF_QP2LAMBDA * std::max(2, settings.crf / 4);
    }
    code = avcodec_open2(codec, encoder, nullptr);
    if (code < 0) {
        *error = QStringLiteral("cannot open encoder: ") + describe(code);
        return false;
    }
    code = avcodec_parameters_from_context(state->stream->codecpar, codec);
    if (code < 0) {
        *error = describe(code);
        return false;
    }
    state->stream->time_base = codec->time_base;
    state->stream->avg_frame_rate = codec->framerate;

    state->frame.reset(av_frame_alloc());
    state->packet.reset(av_packet_alloc());
    if (!state->frame || !state->packet) {
        *error = QStringLiteral("out of memory");
        return false;
    }
    state->frame->format = codec->pix_fmt;
    state->frame->width = codec->width;
    state->frame->height = codec->height;
    code = av_frame_get_buffer(state->frame.get(), 0);
    if (code < 0) {
        *error = describe(code);
        return false;
    }

    // QImage::Format_RGB32 is 0xffRRGGBB in native order, which is FFmpeg's RGB32.
    state->scale.reset(sws_getContext(settings.width, settings.height, AV_PIX_FMT_RGB32,
                                      settings.width, settings.height, codec->pix_fmt,
                                      SWS_BICUBIC | SWS_ACCURATE_RND, nullptr, nullptr, nullptr));
    if (!state->scale) {
        *error = QStringLiteral("no pixel converter");
        return false;
    }

    code = avio_open(&state->format->pb, file.constData(), AVIO_FLAG_WRITE);
    if (code < 0) {
        *error = QStringLiteral("cannot create file: ") + describe(code);
        return false;
    }
    AVDictionary* options = nullptr;
    av_dict_set(&options, "movflags", "+faststart", 0);
    code = avformat_write_header(state->format.get(), &options);
    av_dict_free(&options);
    if (code < 0) {
        *error = QStringLiteral("cannot write header: ") + describe(code);
        return false;
    }
    state->headerWritten = true;
    state_ = std::move(state);
    return true;
}

bool VideoEncoder::write(const QImage& frame, QString* error) {
    if (!state_) {
        *error = QStringLiteral("not open");
        return false;
    }
    const QImage image = frame.convertToFormat(QImage::Format_RGB32);
    if (image.width() != state_->codec->width || image.height() != state_->codec->height) {
        *error = QStringLiteral("frame size differs from the video size");
        return false;
    }
    int code = av_frame_make_writable(state_->frame.get());
    if (code < 0) {
        *error = describe(code);
        return false;
    }
    const uint8_t* planes[1] = {image.constBits()};
    const int strides[1] = {int(image.bytesPerLine())};
    sws_scale(state_->scale.get(), planes, strides, 0, image.height(), state_->frame->data,
              state_->frame->linesize);
    state_->frame->pts = state_->nextPts++;
    return state_->drain(state_->frame.get(), error);
}

bool VideoEncoder::finish(QString* error) {
    if (!state_) {
        *error = QStringLiteral("not open");
        return false;
    }
    if (!state_->drain(nullptr, error))
        return false;
    const int code = av_write_trailer(state_->format.get());
    state_.reset();
    if (code < 0) {
        *error = QStringLiteral("cannot write trailer: ") + describe(code);
        return false;
    }
    return true;
}

QString VideoEncoder::codecName() const {
    return state_ ? QString::fromLatin1(state_->codec->codec->name) : QString();
}

} // namespace velloq::screensavers
