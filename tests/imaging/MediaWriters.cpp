#include "MediaWriters.h"

#include <QFile>

#include <gif_lib.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

#include <cstring>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace velloq::test {
namespace {

int paletteIndex(const QColor& c) {
    auto level = [](int v) { return (v * 5 + 127) / 255; };
    return level(c.red()) * 36 + level(c.green()) * 6 + level(c.blue());
}

} // namespace

namespace {

// One GIF file with the 6x6x6 palette; frames are written row by row through `put`.
class GifWriter {
public:
    // `loopForever`: with the application extension that animated GIFs loop by.
    GifWriter(const QString& path, int width, int height, bool loopForever = false)
        : width_(width)
        , height_(height) {
        int error = 0;
        gif_ = EGifOpenFileName(QFile::encodeName(path).constData(), false, &error);
        if (gif_ == nullptr)
            return;
        GifColorType colors[256] = {};
        for (int i = 0; i < 216; ++i) {
            colors[i].Red = static_cast<GifByteType>((i / 36) * 51);
            colors[i].Green = static_cast<GifByteType>(((i / 6) % 6) * 51);
            colors[i].Blue = static_cast<GifByteType>((i % 6) * 51);
        }
        ColorMapObject* map = GifMakeMapObject(256, colors);
        ok_ = EGifPutScreenDesc(gif_, width, height, 8, 0, map) == GIF_OK;
        GifFreeMapObject(map);
        EGifSetGifVersion(gif_, true);
        if (ok_ && loopForever) {
            static const GifByteType kForever[3] = {1, 0, 0}; // sub-block 1, loop count 0
            ok_ = EGifPutExtensionLeader(gif_, APPLICATION_EXT_FUNC_CODE) == GIF_OK &&
                  EGifPutExtensionBlock(gif_, 11, "NETSCAPE2.0") == GIF_OK &&
                  EGifPutExtensionBlock(gif_, 3, kForever) == GIF_OK &&
                  EGifPutExtensionTrailer(gif_) == GIF_OK;
        }
    }
    GifWriter(const GifWriter&) = delete;
    GifWriter& operator=(const GifWriter&) = delete;
    ~GifWriter() { close(); }

    void putDelay(int centiseconds, int disposal = DISPOSAL_UNSPECIFIED,
                  int transparent = NO_TRANSPARENT_COLOR) {
        if (!ok_)
            return;
        GraphicsControlBlock control{};
        control.DisposalMode = disposal;
        control.DelayTime = centiseconds;
        control.TransparentColor = transparent;
        GifByteType extension[4];
        const size_t length = EGifGCBToExtension(&control, extension);
        ok_ = EGifPutExtension(gif_, GRAPHICS_EXT_FUNC_CODE, static_cast<int>(length), extension) ==
              GIF_OK;
    }

    // `fill(y, row)` sets the palette indexes of row y.
    void putImage(const std::function<void(int, std::vector<GifByteType>&)>& fill) {
        putImage(QRect(0, 0, width_, height_), nullptr, false, fill);
    }

    void putImage(const QRect& rect, const ColorMapObject* local, bool interlaced,
                  const std::function<void(int, std::vector<GifByteType>&)>& fill) {
        ok_ = ok_ && EGifPutImageDesc(gif_, rect.x(), rect.y(), rect.width(), rect.height(),
                                      interlaced, local) == GIF_OK;
        std::vector<GifByteType> row(static_cast<size_t>(rect.width()));
        auto put = [&](int y) {
            fill(y, row);
            ok_ = EGifPutLine(gif_, row.data(), rect.width()) == GIF_OK;
        };
        if (!interlaced) {
            for (int y = 0; ok_ && y < rect.height(); ++y)
                put(y);
            return;
        }
        static constexpr int kStart[] = {0, 4, 2, 1};
        static constexpr int kStep[] = {8, 8, 4, 2};
        for (int pass = 0; pass < 4; ++pass) {
            for (int y = kStart[pass]; ok_ && y < rect.height(); y += kStep[pass])
                put(y);
        }
    }

    bool close() {
        if (gif_ == nullptr)
            return false;
        int error = 0;
        const bool closed = EGifCloseFile(std::exchange(gif_, nullptr), &error) == GIF_OK;
        return closed && ok_;
    }

private:
    GifFileType* gif_ = nullptr;
    int width_;
    int height_;
    bool ok_ = false;
};

} // namespace

namespace {

bool writeSolidGif(const QString& path, int width, int height, const QList<GifFrame>& frames,
                   bool loopForever) {
    GifWriter gif(path, width, height, loopForever);
    for (const GifFrame& frame : frames) {
        if (frame.withControlBlock)
            gif.putDelay(frame.delayCentiseconds);
        const auto index = static_cast<GifByteType>(paletteIndex(frame.color));
        gif.putImage(
            [&](int, std::vector<GifByteType>& row) { std::fill(row.begin(), row.end(), index); });
    }
    return gif.close();
}

} // namespace

bool writeGif(const QString& path, int width, int height, const QList<GifFrame>& frames) {
    return writeSolidGif(path, width, height, frames, false);
}

QStringList writeBlinkingKeyGifs(const QString& folder, int edge, int frames) {
    const QList<QColor> colours{Qt::red, Qt::green, Qt::blue, Qt::yellow, Qt::cyan, Qt::magenta};
    QStringList paths;
    for (int key = 0; key < colours.size(); ++key) {
        const QString path = folder + QStringLiteral("/spin%1.gif").arg(key);
        QList<GifFrame> blinks;
        for (int frame = 0; frame < frames; ++frame)
            blinks << GifFrame{frame % 2 ? colours[key] : QColor(Qt::white), 8};
        if (!writeSolidGif(path, edge, edge, blinks, true))
            return {};
        paths << path;
    }
    return paths;
}

bool writeGifParts(const QString& path, int width, int height, const QList<GifPart>& parts) {
    GifWriter gif(path, width, height);
    for (const GifPart& part : parts) {
        std::unique_ptr<ColorMapObject, void (*)(ColorMapObject*)> local(nullptr, GifFreeMapObject);
        auto indexOf = [&](const QColor& c) {
            if (part.localColors.isEmpty())
                return paletteIndex(c);
            return std::max(0, static_cast<int>(part.localColors.indexOf(c)));
        };
        if (!part.localColors.isEmpty()) {
            std::vector<GifColorType> colors(256);
            for (qsizetype i = 0; i < part.localColors.size(); ++i) {
                const QColor& c = part.localColors[i];
                colors[static_cast<size_t>(i)] = {static_cast<GifByteType>(c.red()),
                                                  static_cast<GifByteType>(c.green()),
                                                  static_cast<GifByteType>(c.blue())};
            }
            local.reset(GifMakeMapObject(256, colors.data()));
        }
        gif.putDelay(part.delayCentiseconds, part.disposal,
                     part.transparent.isValid() ? indexOf(part.transparent) : NO_TRANSPARENT_COLOR);
        gif.putImage(
            part.rect, local.get(), part.interlaced, [&](int y, std::vector<GifByteType>& row) {
                for (size_t x = 0; x < row.size(); ++x)
                    row[x] = static_cast<GifByteType>(indexOf(part.color(static_cast<int>(x), y)));
            });
    }
    return gif.close();
}

bool writeGifImages(const QString& path, const QList<QImage>& frames, int delayCentiseconds) {
    if (frames.isEmpty())
        return false;
    GifWriter gif(path, frames.first().width(), frames.first().height());
    for (const QImage& source : frames) {
        const QImage frame = source.convertToFormat(QImage::Format_RGB32);
        gif.putDelay(delayCentiseconds);
        gif.putImage([&](int y, std::vector<GifByteType>& row) {
            const auto* line = reinterpret_cast<const QRgb*>(frame.constScanLine(y));
            for (size_t x = 0; x < row.size(); ++x)
                row[x] = static_cast<GifByteType>(paletteIndex(QColor(line[x])));
        });
    }
    return gif.close();
}

bool writeVideo(const QString& path, int width, int height, int count, int fps,
                const std::function<QImage(int)>& frameAt, const char* container,
                const std::array<int32_t, 9>* displayMatrix) {
    const QByteArray file = QFile::encodeName(path);
    AVFormatContext* output = nullptr;
    if (avformat_alloc_output_context2(&output, nullptr, container ? container : "mp4",
                                       file.constData()) < 0) {
        return false;
    }
    std::unique_ptr<AVFormatContext, void (*)(AVFormatContext*)> outputOwner(
        output, [](AVFormatContext* c) {
            if (c->pb != nullptr) {
                avio_closep(&c->pb);
            }
            avformat_free_context(c);
        });
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_MPEG4);
    if (codec == nullptr) {
        return false;
    }
    AVStream* stream = avformat_new_stream(output, nullptr);
    std::unique_ptr<AVCodecContext, void (*)(AVCodecContext*)> encoder(
        avcodec_alloc_context3(codec), [](AVCodecContext* c) { avcodec_free_context(&c); });
    if (stream == nullptr || !encoder) {
        return false;
    }
    encoder->width = width;
    encoder->height = height;
    encoder->pix_fmt = AV_PIX_FMT_YUV420P;
    encoder->time_base = AVRational{1, fps};
    encoder->framerate = AVRational{fps, 1};
    encoder->gop_size = 12;
    encoder->max_b_frames = 0;
    encoder->bit_rate = 2000000;
    if (output->oformat->flags & AVFMT_GLOBALHEADER) {
        encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    }
    if (avcodec_open2(encoder.get(), codec, nullptr) < 0 ||
        avcodec_parameters_from_context(stream->codecpar, encoder.get()) < 0) {
        return false;
    }
    if (displayMatrix != nullptr) {
        constexpr size_t kMatrixSize = sizeof(*displayMatrix);
#if LIBAVCODEC_VERSION_INT >= AV_VERSION_INT(60, 31, 102)
        AVPacketSideData* side = av_packet_side_data_new(&stream->codecpar->coded_side_data,
                                                         &stream->codecpar->nb_coded_side_data,
                                                         AV_PKT_DATA_DISPLAYMATRIX, kMatrixSize, 0);
        uint8_t* matrix = side != nullptr ? side->data : nullptr;
#else
        uint8_t* matrix = av_stream_new_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, kMatrixSize);
#endif
        if (matrix == nullptr) {
            return false;
        }
        std::memcpy(matrix, displayMatrix->data(), kMatrixSize);
    }
    stream->time_base = encoder->time_base;
    stream->avg_frame_rate = encoder->framerate;
    if (avio_open(&output->pb, file.constData(), AVIO_FLAG_WRITE) < 0 ||
        avformat_write_header(output, nullptr) < 0) {
        return false;
    }
    std::unique_ptr<AVFrame, void (*)(AVFrame*)> frame(av_frame_alloc(),
                                                       [](AVFrame* f) { av_frame_free(&f); });
    std::unique_ptr<AVPacket, void (*)(AVPacket*)> packet(av_packet_alloc(),
                                                          [](AVPacket* p) { av_packet_free(&p); });
    frame->format = AV_PIX_FMT_YUV420P;
    frame->width = width;
    frame->height = height;
    if (av_frame_get_buffer(frame.get(), 0) < 0) {
        return false;
    }
    SwsContext* scaler =
        sws_getContext(width, height, AV_PIX_FMT_RGB32, width, height, AV_PIX_FMT_YUV420P,
                       SWS_BILINEAR, nullptr, nullptr, nullptr);
    auto drain = [&]() {
        while (avcodec_receive_packet(encoder.get(), packet.get()) == 0) {
            av_packet_rescale_ts(packet.get(), encoder->time_base, stream->time_base);
            packet->stream_index = stream->index;
            if (av_interleaved_write_frame(output, packet.get()) < 0) {
                return false;
            }
        }
        return true;
    };
    bool ok = scaler != nullptr;
    for (int i = 0; ok && i < count; ++i) {
        const QImage rgb = frameAt(i).convertToFormat(QImage::Format_RGB32);
        ok = av_frame_make_writable(frame.get()) >= 0;
        const uint8_t* source[4] = {rgb.constBits(), nullptr, nullptr, nullptr};
        const int sourceStride[4] = {static_cast<int>(rgb.bytesPerLine()), 0, 0, 0};
        ok = ok && sws_scale(scaler, source, sourceStride, 0, height, frame->data,
                             frame->linesize) == height;
        frame->pts = i;
        ok = ok && avcodec_send_frame(encoder.get(), frame.get()) >= 0 && drain();
    }
    sws_freeContext(scaler);
    ok = ok && avcodec_send_frame(encoder.get(), nullptr) >= 0 && drain();
    return av_write_trailer(output) >= 0 && ok;
}

} // namespace velloq::test
