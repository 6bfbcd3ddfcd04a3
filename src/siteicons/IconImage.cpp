#include "siteicons/IconImage.h"

#include <QBuffer>
#include <QImageReader>

#include <algorithm>

namespace velloq {

namespace {
// Enough for a 4096 px square icon; a tiny file declaring a huge canvas is refused.
constexpr int kAllocationLimitMiB = 64;
// Vector icons are drawn at this edge so they stay sharp when scaled down for the keys.
constexpr int kVectorEdge = 256;
// ICO files list their entries up front; more than this is not a real icon.
constexpr int kMaxEntries = 64;

bool isVector(const QByteArray& format) {
    return format == "svg" || format == "svgz";
}
} // namespace

std::optional<IconImage> decodeIconImage(const QByteArray& data) {
    if (data.isEmpty())
        return std::nullopt;
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setAllocationLimit(kAllocationLimitMiB);
    const QByteArray format = reader.format();
    if (format.isEmpty())
        return std::nullopt;

    if (isVector(format)) {
        const QSize declared = reader.size();
        if (declared.isValid() && !declared.isEmpty())
            reader.setScaledSize(declared.scaled(kVectorEdge, kVectorEdge, Qt::KeepAspectRatio));
        QImage image = reader.read();
        if (image.isNull())
            return std::nullopt;
        const int width =
            declared.isValid() && !declared.isEmpty() ? declared.width() : image.width();
        return IconImage{std::move(image), width};
    }

    // Frames of an animation share one canvas; only multi-entry containers (ICO, ICNS)
    // hold representations of different sizes.
    const int entries =
        reader.supportsAnimation() ? 1 : std::clamp(reader.imageCount(), 1, kMaxEntries);
    std::optional<IconImage> widest;
    for (int i = 0; i < entries; ++i) {
        if (i > 0 && !reader.jumpToImage(i))
            break;
        QImage image = reader.read();
        if (image.isNull())
            continue;
        if (!widest || image.width() > widest->width) {
            const int width = image.width();
            widest = IconImage{std::move(image), width};
        }
    }
    return widest;
}

} // namespace velloq
