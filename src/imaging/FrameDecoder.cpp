#include "imaging/FrameDecoder.h"

#include "imaging/GifDecoder.h"
#include "imaging/GifDelays.h"

#include <QFile>
#include <QFileInfo>
#include <QImageReader>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>

namespace velloq::FrameDecoder {
namespace {

struct FormatContext {
    AVFormatContext* context = nullptr;
    FormatContext() = default;
    FormatContext(const FormatContext&) = delete;
    FormatContext& operator=(const FormatContext&) = delete;
    ~FormatContext() { avformat_close_input(&context); }
};

struct CodecContextDeleter {
    void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
struct PacketDeleter {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
struct FrameDeleter {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct ScalerDeleter {
    void operator()(SwsContext* scaler) const { sws_freeContext(scaler); }
};
using CodecContext = std::unique_ptr<AVCodecContext, CodecContextDeleter>;
using Packet = std::unique_ptr<AVPacket, PacketDeleter>;
using Frame = std::unique_ptr<AVFrame, FrameDeleter>;
using Scaler = std::unique_ptr<SwsContext, ScalerDeleter>;

// Native-endian 0xAARRGGBB words: the layout of QImage::Format_RGB32 (BGRA bytes here).
constexpr AVPixelFormat kQtPixelFormat = AV_PIX_FMT_RGB32;

QImage toImage(const AVFrame& frame, Scaler& scaler) {
    if (frame.width <= 0 || frame.height <= 0) {
        return {};
    }
    SwsContext* cached = sws_getCachedContext(
        scaler.release(), frame.width, frame.height, static_cast<AVPixelFormat>(frame.format),
        frame.width, frame.height, kQtPixelFormat, SWS_BILINEAR, nullptr, nullptr, nullptr);
    scaler.reset(cached);
    if (cached == nullptr) {
        return {};
    }
    QImage image(frame.width, frame.height, QImage::Format_RGB32);
    if (image.isNull()) {
        return {};
    }
    uint8_t* destination[4] = {image.bits(), nullptr, nullptr, nullptr};
    const int destinationStride[4] = {static_cast<int>(image.bytesPerLine()), 0, 0, 0};
    const int rows = sws_scale(cached, frame.data, frame.linesize, 0, frame.height, destination,
                               destinationStride);
    if (rows != frame.height) {
        return {};
    }
    return image;
}

// Delays as the file states them: Qt's reader lends a frame without a control block the
// delay of the frame before it, and giflib's own reading stops at the first broken block.
std::vector<int> statedGifDelays(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    if (const uchar* mapped = file.map(0, file.size())) {
        return GifDelays::statedDelays(mapped, static_cast<size_t>(file.size()));
    }
    const QByteArray bytes = file.readAll();
    return GifDelays::statedDelays(reinterpret_cast<const uchar*>(bytes.constData()),
                                   static_cast<size_t>(bytes.size()));
}

bool decodeGif(const QString& path, int maxPixelSize, const FrameCallback& each) {
    const std::vector<int> stated = statedGifDelays(path);
    return GifDecoder::decode(
        path, maxPixelSize, kMaxImageFrames, [&](const QImage& frame, int index, int delayMs) {
            const auto at = static_cast<size_t>(index);
            each(frame, gifFrameDelay(at < stated.size() ? stated[at] : delayMs));
        });
}

} // namespace

bool isVideoPath(const QString& path) {
    const QString extension = QFileInfo(path).suffix().toLower();
    return extension == QLatin1String("mp4") || extension == QLatin1String("mov") ||
           extension == QLatin1String("m4v");
}

double gifFrameDelay(int milliseconds) {
    if (milliseconds < 0) {
        return kDefaultImageDelay;
    }
    const double seconds = milliseconds / 1000.0;
    return seconds < 0.02 ? kDefaultImageDelay : seconds;
}

bool decode(const QUrl& url, int maxPixelSize, const FrameCallback& each) {
    if (isVideoPath(url.path())) {
        return decodeVideo(url, each);
    }
    return decodeImage(url, maxPixelSize, each);
}

bool decodeImage(const QUrl& url, int maxPixelSize, const FrameCallback& each) {
    const QString path = url.toLocalFile();
    if (GifDecoder::isGif(path)) {
        return decodeGif(path, maxPixelSize, each);
    }
    QImageReader reader(path);
    reader.setAutoTransform(true);
    if (!reader.canRead()) {
        return false;
    }
    const QSize full = reader.size();
    if (maxPixelSize > 0 && full.isValid() &&
        std::max(full.width(), full.height()) > maxPixelSize) {
        reader.setScaledSize(full.scaled(maxPixelSize, maxPixelSize, Qt::KeepAspectRatio));
    }
    const int count = reader.imageCount();
    const int limit = count > 0 ? std::min(count, kMaxImageFrames) : kMaxImageFrames;
    for (int i = 0; i < limit; ++i) {
        QImage image;
        if (!reader.read(&image)) {
            // A frame that fails is skipped, as long as the reader can step past it.
            if (count <= 0 || i + 1 >= limit || !reader.jumpToImage(i + 1)) {
                break;
            }
            continue;
        }
        each(image, kDefaultImageDelay);
    }
    return true;
}

bool decodeVideo(const QUrl& url, const FrameCallback& each) {
    const QByteArray path = QFile::encodeName(url.toLocalFile());
    FormatContext format;
    if (avformat_open_input(&format.context, path.constData(), nullptr, nullptr) < 0) {
        return false;
    }
    if (avformat_find_stream_info(format.context, nullptr) < 0) {
        return false;
    }
    const AVCodec* codec = nullptr;
    const int streamIndex =
        av_find_best_stream(format.context, AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
    if (streamIndex < 0 || codec == nullptr) {
        return false;
    }
    const AVStream* stream = format.context->streams[streamIndex];
    CodecContext decoder(avcodec_alloc_context3(codec));
    if (!decoder || avcodec_parameters_to_context(decoder.get(), stream->codecpar) < 0) {
        return false;
    }
    decoder->pkt_timebase = stream->time_base;
    if (avcodec_open2(decoder.get(), codec, nullptr) < 0) {
        return false;
    }
    Packet packet(av_packet_alloc());
    Frame frame(av_frame_alloc());
    if (!packet || !frame) {
        return false;
    }

    const AVRational averageRate = stream->avg_frame_rate;
    const double rate = averageRate.num > 0 && averageRate.den > 0 ? av_q2d(averageRate) : 0.0;
    const double lastDelay = rate > 0 ? 1.0 / rate : kDefaultLastVideoDelay;
    const double timeBase = av_q2d(stream->time_base);

    Scaler scaler;
    std::optional<QImage> pending;
    double pendingTime = 0;
    int handedOut = 0;
    bool inputDone = false;
    while (handedOut < kMaxVideoFrames) {
        const int received = avcodec_receive_frame(decoder.get(), frame.get());
        if (received == 0) {
            int64_t stamp = frame->best_effort_timestamp;
            if (stamp == AV_NOPTS_VALUE) {
                stamp = frame->pts;
            }
            const double t = stamp != AV_NOPTS_VALUE ? static_cast<double>(stamp) * timeBase
                                                     : pendingTime + lastDelay;
            QImage image = toImage(*frame, scaler);
            av_frame_unref(frame.get());
            if (image.isNull()) {
                continue; // an unconvertible frame is skipped; the pending one stays
            }
            if (pending) {
                each(*pending, std::max(t - pendingTime, kMinVideoDelay));
                ++handedOut;
            }
            pending = std::move(image);
            pendingTime = t;
            continue;
        }
        if (received != AVERROR(EAGAIN) || inputDone) {
            break; // end of stream or a decoder failure
        }
        const int read = av_read_frame(format.context, packet.get());
        if (read < 0) {
            inputDone = true;
            avcodec_send_packet(decoder.get(), nullptr); // drain what the decoder holds
            continue;
        }
        if (packet->stream_index == streamIndex) {
            avcodec_send_packet(decoder.get(), packet.get()); // a bad packet is just skipped
        }
        av_packet_unref(packet.get());
    }
    if (pending) {
        each(*pending, lastDelay);
    }
    return true;
}

} // namespace velloq::FrameDecoder
