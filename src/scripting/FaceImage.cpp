#include "scripting/FaceImage.h"

#include "support/UniqueFd.h"

#include <QFile>
#include <QImageReader>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>

namespace velloq {

namespace {
QString cannotRead(const QString& path, int error) {
    return QStringLiteral("Cannot read %1: %2")
        .arg(path, QString::fromLocal8Bit(std::strerror(error)));
}
} // namespace

std::variant<FaceImage, QString> FaceImage::read(const QString& path, bool decode) {
    // Only a regular file is opened at all: opening a device can have effects of its own.
    // Non-blocking, so that a pipe put in its place meanwhile cannot hold the worker; the
    // checks are then made again on what was opened.
    const QByteArray name = QFile::encodeName(path);
    struct stat info = {};
    if (::stat(name.constData(), &info) != 0)
        return cannotRead(path, errno);
    if (!S_ISREG(info.st_mode))
        return QStringLiteral("%1 is not a file").arg(path);
    const UniqueFd fd(::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (!fd.valid())
        return cannotRead(path, errno);
    if (::fstat(fd.get(), &info) != 0)
        return cannotRead(path, errno);
    if (!S_ISREG(info.st_mode))
        return QStringLiteral("%1 is not a file").arg(path);
    if (info.st_size > kMaxBytes)
        return QStringLiteral("%1 is larger than %2 MB").arg(path).arg(kMaxBytes / (1024 * 1024));

    QFile file;
    if (!file.open(fd.get(), QIODevice::ReadOnly, QFileDevice::DontCloseHandle))
        return QStringLiteral("Cannot read %1: %2").arg(path, file.errorString());
    QImageReader reader(&file);
    reader.setAutoTransform(true);
    if (!reader.canRead())
        return QStringLiteral("%1 is not an image Velloq can read").arg(path);
    FaceImage result;
    result.animated = reader.imageCount() > 1;
    if (!decode)
        return result;
    const QSize full = reader.size();
    if (full.isValid() && std::max(full.width(), full.height()) > kMaxEdge)
        reader.setScaledSize(full.scaled(kMaxEdge, kMaxEdge, Qt::KeepAspectRatio));
    result.image = reader.read();
    if (result.image.isNull())
        return QStringLiteral("%1 could not be decoded: %2").arg(path, reader.errorString());
    return result;
}

} // namespace velloq
