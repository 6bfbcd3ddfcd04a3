#include "share/MediaCheck.h"

#include "imaging/FrameDecoder.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QTemporaryFile>
#include <QUrl>

#include <algorithm>

namespace velloq::MediaCheck {

namespace {

// As the key faces read custom images: at most 512 pixels on the longer edge.
constexpr int kMaxEdge = 512;
// Small frames: only whether one decodes matters.
constexpr int kVideoCheckEdge = 64;

std::optional<QString> imageFormat(const QByteArray& bytes) {
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    const QSize full = reader.size();
    if (full.isValid() && std::max(full.width(), full.height()) > kMaxEdge)
        reader.setScaledSize(full.scaled(kMaxEdge, kMaxEdge, Qt::KeepAspectRatio));
    const QByteArray format = reader.format();
    if (format.isEmpty() || reader.read().isNull())
        return std::nullopt;
    return QString::fromLatin1(format).toLower();
}

bool videoDecodes(const QString& path) {
    bool frame = false;
    FrameDecoder::decodeVideo(
        QUrl::fromLocalFile(path),
        [&frame](const QImage& image, double) { frame |= !image.isNull(); }, kVideoCheckEdge, 1);
    return frame;
}

} // namespace

std::optional<QString> formatOf(const QByteArray& bytes, const QString& name, const QString& file) {
    if (!FrameDecoder::isVideoPath(name))
        return imageFormat(bytes);
    const QString suffix = QFileInfo(name).suffix().toLower();
    if (!file.isEmpty())
        return videoDecodes(file) ? std::optional(suffix) : std::nullopt;
    // FFmpeg reads files: the bytes go to one of our own for the check.
    QTemporaryFile copy(QDir::tempPath() + QStringLiteral("/velloq-check-XXXXXX.") + suffix);
    if (!copy.open() || copy.write(bytes) != bytes.size() || !copy.flush())
        return std::nullopt;
    return videoDecodes(copy.fileName()) ? std::optional(suffix) : std::nullopt;
}

} // namespace velloq::MediaCheck
