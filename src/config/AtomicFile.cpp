#include "config/AtomicFile.h"

#include "support/UniqueFd.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velloq::AtomicFile {

namespace {

QString reason(const QString& what, const QString& path, int error) {
    return QStringLiteral("%1 %2: %3").arg(what, path, QString::fromLocal8Bit(strerror(error)));
}

QString parentOf(const QString& path) {
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    if (slash < 0)
        return QStringLiteral(".");
    if (slash == 0)
        return QStringLiteral("/");
    return path.left(slash);
}

bool writeAll(int fd, const QByteArray& bytes) {
    const char* data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, data, static_cast<size_t>(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        left -= n;
    }
    return true;
}

} // namespace

bool makePath(const QString& dir, QString* error) {
    const QByteArray path = QFile::encodeName(dir);
    // Create each component in turn so that the failing one is the one we report.
    for (qsizetype i = 1; i <= path.size(); ++i) {
        if (i < path.size() && path.at(i) != '/')
            continue;
        const QByteArray prefix = path.left(i);
        if (::mkdir(prefix.constData(), 0755) == 0)
            continue;
        const int mkdirError = errno;
        struct stat info {};
        if (::stat(prefix.constData(), &info) == 0 && S_ISDIR(info.st_mode))
            continue;
        if (error) {
            const int cause = mkdirError == EEXIST ? ENOTDIR : mkdirError;
            *error =
                reason(QStringLiteral("Cannot create folder"), QFile::decodeName(prefix), cause);
        }
        return false;
    }
    return true;
}

bool write(const QString& requestedPath, const QByteArray& bytes, QString* error) {
    // Write through a symbolic link (a file kept in a dotfiles folder) rather than replace it.
    const QFileInfo requested(requestedPath);
    const QString resolved = requested.isSymLink() ? requested.canonicalFilePath() : QString();
    const QString path = resolved.isEmpty() ? requestedPath : resolved;
    const QString dir = parentOf(path);
    const QString name = QFileInfo(path).fileName();
    QByteArray temp =
        QFile::encodeName(dir + QStringLiteral("/.") + name + QStringLiteral(".XXXXXX"));
    const auto failed = [&](const QString& what, const QString& where, int cause) {
        if (error)
            *error = reason(what, where, cause);
        return false;
    };

    UniqueFd fd(::mkostemp(temp.data(), O_CLOEXEC));
    if (!fd.valid())
        return failed(QStringLiteral("Cannot create a temporary file in"), dir, errno);
    const QString tempName = QFile::decodeName(temp);
    struct TempGuard {
        QByteArray name;
        bool keep = false;
        ~TempGuard() {
            if (!keep)
                ::unlink(name.constData());
        }
    } guard{temp};

    const QByteArray target = QFile::encodeName(path);
    struct stat old {};
    const mode_t mode = ::stat(target.constData(), &old) == 0 ? (old.st_mode & 07777) : 0644;
    if (::fchmod(fd.get(), mode) != 0)
        return failed(QStringLiteral("Cannot set the mode of"), tempName, errno);
    if (!writeAll(fd.get(), bytes))
        return failed(QStringLiteral("Cannot write"), tempName, errno);
    if (::fsync(fd.get()) != 0)
        return failed(QStringLiteral("Cannot flush"), tempName, errno);
    if (::close(fd.release()) != 0)
        return failed(QStringLiteral("Cannot close"), tempName, errno);
    if (::rename(temp.constData(), target.constData()) != 0)
        return failed(QStringLiteral("Cannot replace"), path, errno);
    guard.keep = true;

    // The rename is durable only once the folder's entry is on disk.
    UniqueFd folder(::open(QFile::encodeName(dir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder.valid())
        return failed(QStringLiteral("Cannot open folder"), dir, errno);
    if (::fsync(folder.get()) != 0)
        return failed(QStringLiteral("Cannot flush folder"), dir, errno);
    return true;
}

} // namespace velloq::AtomicFile
