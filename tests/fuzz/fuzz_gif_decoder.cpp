// GIF decoding reads untrusted files: whatever they hold, it must stay inside its buffers,
// stop at the image limit and hand out frames no larger than the decode limit.
#include "imaging/GifDecoder.h"

#include <QBuffer>
#include <QByteArray>

#include <cstddef>
#include <cstdint>

namespace {

// Small, so that a screen of any size gets reduced and runs stay fast.
constexpr int kLimit = 48;
constexpr int kMaxImages = 300;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    QBuffer buffer;
    buffer.setData(bytes);
    if (!buffer.open(QIODevice::ReadOnly))
        return 0;
    int frames = 0;
    int lastIndex = -1;
    velloq::GifDecoder::decode(
        buffer, kLimit, kMaxImages, [&](const QImage& frame, int index, int delayMs) {
            ++frames;
            if (frame.isNull() || frame.width() > kLimit || frame.height() > kLimit ||
                frame.format() != QImage::Format_ARGB32_Premultiplied || index <= lastIndex ||
                index >= kMaxImages || delayMs < -1)
                __builtin_trap();
            lastIndex = index;
            // Every pixel is read, so a canvas left unwritten shows.
            volatile uint32_t sum = 0;
            for (int y = 0; y < frame.height(); ++y) {
                const auto* line = reinterpret_cast<const uint32_t*>(frame.constScanLine(y));
                for (int x = 0; x < frame.width(); ++x)
                    sum = sum + line[x];
            }
        });
    if (frames > kMaxImages)
        __builtin_trap();
    return 0;
}
