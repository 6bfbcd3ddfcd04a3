#include "config/ConfigStore.h"

#include "config/AtomicFile.h"
#include "support/Log.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace velloq {

ConfigStore::ConfigStore(QString path)
    : path_(std::move(path)) {
}

DockConfig ConfigStore::load() {
    needsKeeping_ = false;
    loadedBytes_.clear();

    QFile file(path_);
    if (!file.exists())
        return DockConfig();
    if (!file.open(QIODevice::ReadOnly)) {
        needsKeeping_ = true; // there, but we cannot see what it holds
        return DockConfig();
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        needsKeeping_ = true;
        return DockConfig();
    }
    if (bytes.trimmed().isEmpty())
        return DockConfig(); // nothing in it to lose

    std::optional<DockConfig::Decoded> decoded = DockConfig::decodeReporting(bytes);
    if (!decoded || !decoded->droppedMembers.isEmpty()) {
        needsKeeping_ = true;
        loadedBytes_ = bytes;
    }
    if (!decoded)
        return DockConfig();
    return std::move(decoded->config);
}

bool ConfigStore::keepOriginal(QString* error) {
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    const QString base = path_ + QStringLiteral(".unreadable-") + stamp;
    const QByteArray source = QFile::encodeName(path_);
    for (int attempt = 1; attempt < 100; ++attempt) {
        const QString kept =
            attempt == 1 ? base : base + QLatin1Char('-') + QString::number(attempt);
        // A hard link keeps the exact bytes, even of a file we could not read.
        // Following a symbolic link, so that the copy holds the bytes and not the link.
        if (::linkat(AT_FDCWD, source.constData(), AT_FDCWD, QFile::encodeName(kept).constData(),
                     AT_SYMLINK_FOLLOW) == 0) {
            keptCopy_ = kept;
            return true;
        }
        const int linkError = errno;
        if (linkError == EEXIST)
            continue;
        if (linkError == ENOENT && !QFileInfo::exists(path_))
            return true; // gone meanwhile: the save replaces nothing
        if (loadedBytes_.isEmpty()) {
            if (error)
                *error = QStringLiteral("Cannot keep a copy of %1 as %2: %3")
                             .arg(path_, kept, QString::fromLocal8Bit(strerror(linkError)));
            return false;
        }
        if (QFileInfo::exists(kept))
            continue;
        if (!AtomicFile::write(kept, loadedBytes_, error))
            return false;
        keptCopy_ = kept;
        return true;
    }
    if (error)
        *error = QStringLiteral("Cannot find a free name for a copy of ") + path_;
    return false;
}

bool ConfigStore::save(const DockConfig& config) {
    if (needsKeeping_) {
        keptCopy_.reset();
        QString error;
        if (!keepOriginal(&error)) {
            logLine(QStringLiteral("Could not save config: ") + error);
            return false;
        }
        needsKeeping_ = false;
        loadedBytes_.clear();
        if (keptCopy_)
            logLine(QStringLiteral("Kept the config file that could not be read as ") + *keptCopy_);
    }
    return config.save(path_);
}

} // namespace velloq
