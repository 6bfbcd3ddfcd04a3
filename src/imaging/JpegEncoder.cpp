#include "imaging/JpegEncoder.h"

#include <QBuffer>
#include <QImageWriter>

#include <turbojpeg.h>

#include <algorithm>
#include <cmath>
#include <memory>

namespace velloq::JpegEncoder {
namespace {

struct TjHandleDeleter {
    void operator()(void* handle) const { tjDestroy(handle); }
};
using TjHandle = std::unique_ptr<void, TjHandleDeleter>;

struct TjBufferDeleter {
    void operator()(unsigned char* buffer) const { tjFree(buffer); }
};
using TjBuffer = std::unique_ptr<unsigned char, TjBufferDeleter>;

// One compressor per thread: creating one costs more than encoding a key face.
tjhandle threadCompressor() {
    thread_local TjHandle handle(tjInitCompress());
    return handle.get();
}

constexpr int kRgb32PixelFormat = Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? TJPF_BGRX : TJPF_XRGB;

} // namespace

int qualityPercent(double quality) {
    return std::clamp(static_cast<int>(std::lround(quality * 100.0)), 1, 100);
}

std::optional<QByteArray> encode(const QImage& image, double quality) {
    if (image.isNull()) {
        return std::nullopt;
    }
    const QImage rgb =
        image.format() == QImage::Format_RGB32 || image.format() == QImage::Format_ARGB32
            ? image
            : image.convertToFormat(QImage::Format_RGB32);
    tjhandle compressor = threadCompressor();
    if (compressor == nullptr) {
        return std::nullopt;
    }
    unsigned char* out = nullptr;
    unsigned long outSize = 0;
    const int rc = tjCompress2(
        compressor, rgb.constBits(), rgb.width(), static_cast<int>(rgb.bytesPerLine()),
        rgb.height(), kRgb32PixelFormat, &out, &outSize, TJSAMP_420, qualityPercent(quality), 0);
    TjBuffer owned(out);
    if (rc != 0 || out == nullptr || outSize == 0) {
        return std::nullopt;
    }
    return QByteArray(reinterpret_cast<const char*>(out), static_cast<qsizetype>(outSize));
}

std::optional<QByteArray> encodeWithQt(const QImage& image, double quality) {
    if (image.isNull()) {
        return std::nullopt;
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    if (!buffer.open(QIODevice::WriteOnly)) {
        return std::nullopt;
    }
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(qualityPercent(quality));
    if (!writer.write(image) || bytes.isEmpty()) {
        return std::nullopt;
    }
    return bytes;
}

} // namespace velloq::JpegEncoder
