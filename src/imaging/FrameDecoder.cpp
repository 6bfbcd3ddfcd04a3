#include "imaging/FrameDecoder.h"

#include "imaging/GifDecoder.h"
#include "imaging/GifDelays.h"

#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QTransform>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/display.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cmath>
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

// Converts and reduces in one step, so a full-size RGB copy of a large frame never exists;
// then turns the small result upright by `rotation` (clockwise, a multiple of 90).
QImage toImage(const AVFrame& frame, Scaler& scaler, int maxPixelSize, int rotation) {
    if (frame.width <= 0 || frame.height <= 0) {
        return {};
    }
    const QSize size = limitedSize(QSize(frame.width, frame.height), maxPixelSize);
    SwsContext* cached = sws_getCachedContext(
        scaler.release(), frame.width, frame.height, static_cast<AVPixelFormat>(frame.format),
        size.width(), size.height(), kQtPixelFormat, SWS_BILINEAR, nullptr, nullptr, nullptr);
    scaler.reset(cached);
    if (cached == nullptr) {
        return {};
    }
    QImage image(size, QImage::Format_RGB32);
    if (image.isNull()) {
        return {};
    }
    uint8_t* destination[4] = {image.bits(), nullptr, nullptr, nullptr};
    const int destinationStride[4] = {static_cast<int>(image.bytesPerLine()), 0, 0, 0};
    const int rows = sws_scale(cached, frame.data, frame.linesize, 0, frame.height, destination,
                               destinationStride);
    if (rows != size.height()) {
        return {};
    }
    if (rotation != 0) {
        image = image.transformed(QTransform().rotate(rotation));
    }
    return image;
}

// How far the stream's display matrix turns the stored picture, as a clockwise multiple of
// 90 degrees: a phone filming upright stores the picture on its side and says so here.
int displayRotation(const AVStream& stream) {
    const int32_t* matrix = nullptr;
#if LIBAVCODEC_VERSION_INT >= AV_VERSION_INT(60, 31, 102)
    const AVPacketSideData* side =
        av_packet_side_data_get(stream.codecpar->coded_side_data,
                                stream.codecpar->nb_coded_side_data, AV_PKT_DATA_DISPLAYMATRIX);
    if (side != nullptr && side->size >= 9 * sizeof(int32_t)) {
        matrix = reinterpret_cast<const int32_t*>(side->data);
    }
#else
    size_t size = 0;
    const uint8_t* data = av_stream_get_side_data(&stream, AV_PKT_DATA_DISPLAYMATRIX, &size);
    if (data != nullptr && size >= 9 * sizeof(int32_t)) {
        matrix = reinterpret_cast<const int32_t*>(data);
    }
#endif
    if (matrix == nullptr) {
        return 0;
    }
    const double counterClockwise = av_display_rotation_get(matrix);
    if (!std::isfinite(counterClockwise)) {
        return 0;
    }
    const long quarters = std::lround(-counterClockwise / 90.0) % 4;
    return static_cast<int>((quarters + 4) % 4) * 90;
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

QSize limitedSize(QSize size, int maxPixelSize) {
    if (maxPixelSize <= 0 || std::max(size.width(), size.height()) <= maxPixelSize) {
        return size;
    }
    return size.scaled(maxPixelSize, maxPixelSize, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
}

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
        return decodeVideo(url, each, maxPixelSize);
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
    if (full.isValid() && limitedSize(full, maxPixelSize) != full) {
        reader.setScaledSize(limitedSize(full, maxPixelSize));
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

bool decodeVideo(const QUrl& url, const FrameCallback& each, int maxPixelSize, int maxFrames) {
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

    const int rotation = displayRotation(*stream);
    Scaler scaler;
    std::optional<QImage> pending;
    double pendingTime = 0;
    int handedOut = 0;
    bool inputDone = false;
    while (handedOut < maxFrames) {
        const int received = avcodec_receive_frame(decoder.get(), frame.get());
        if (received == 0) {
            int64_t stamp = frame->best_effort_timestamp;
            if (stamp == AV_NOPTS_VALUE) {
                stamp = frame->pts;
            }
            const double t = stamp != AV_NOPTS_VALUE ? static_cast<double>(stamp) * timeBase
                                                     : pendingTime + lastDelay;
            QImage image = toImage(*frame, scaler, maxPixelSize, rotation);
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
