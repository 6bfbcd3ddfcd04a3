#include "config/ConfigStore.h"

#include "config/AtomicFile.h"
#include "support/Log.h"
#include "support/UniqueFd.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velloq {

namespace {

QString errnoText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

// The whole file behind `fd`; nothing on a read error.
std::optional<QByteArray> readAll(int fd) {
    QByteArray bytes;
    char buffer[64 * 1024];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) {
            bytes.append(buffer, n);
            continue;
        }
        if (n == 0)
            return bytes;
        if (errno != EINTR)
            return std::nullopt;
    }
}

} // namespace

ConfigLock::ConfigLock(const QString& configPath)
    : file_(configPath + QStringLiteral(".lock")) {
    // Held for Velloq's whole life: only a holder that no longer runs leaves a stale lock.
    file_.setStaleLockTime(0);
}

bool ConfigLock::tryLock(int ms) {
    QDir().mkpath(QFileInfo(file_.fileName()).absolutePath());
    return file_.tryLock(ms);
}

ConfigStore::ConfigStore(QString path)
    : path_(std::move(path)) {
}

ConfigStore::~ConfigStore() {
    {
        std::lock_guard lock(queueMutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (writer_.joinable())
        writer_.join(); // after it wrote what was waiting
}

DockConfig ConfigStore::load() {
    std::lock_guard lock(fileMutex_);
    needsKeeping_ = false;
    loadedBytes_.clear();

    const QByteArray name = QFile::encodeName(path_);
    struct stat info {};
    if (::stat(name.constData(), &info) != 0) {
        // Missing (or a dangling link) is a fresh start; anything else is there but unseen.
        needsKeeping_ = errno != ENOENT;
        return DockConfig();
    }
    // Never open a named pipe or a device: reading one could block the start for good.
    const auto notRegular = [&] {
        logLine(QStringLiteral("Could not open ") + path_ +
                QStringLiteral(": not a regular file; using the default settings"));
        needsKeeping_ = true;
        return DockConfig();
    };
    if (!S_ISREG(info.st_mode))
        return notRegular();
    // Non-blocking as well, in case something else was put there since.
    UniqueFd fd(::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!fd) {
        needsKeeping_ = true; // there, but we cannot see what it holds
        return DockConfig();
    }
    if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode))
        return notRegular();
    const std::optional<QByteArray> bytes = readAll(fd.get());
    if (!bytes) {
        needsKeeping_ = true;
        return DockConfig();
    }
    if (bytes->trimmed().isEmpty())
        return DockConfig(); // nothing in it to lose

    std::optional<DockConfig::Decoded> decoded = DockConfig::decodeReporting(*bytes);
    if (!decoded || !decoded->droppedMembers.isEmpty()) {
        needsKeeping_ = true;
        loadedBytes_ = *bytes;
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
        const QByteArray target = QFile::encodeName(kept);
        // A hard link keeps the exact bytes, even of a file we could not read.
        // Following a symbolic link, so that the copy holds the bytes and not the link.
        if (::linkat(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(),
                     AT_SYMLINK_FOLLOW) == 0) {
            keptCopy_ = kept;
            return true;
        }
        int failure = errno;
        if (failure == EEXIST)
            continue;
        if (failure == ENOENT && !QFileInfo::exists(path_))
            return true; // gone meanwhile: the save replaces nothing
        // No hard link: a file of another user under protected_hardlinks, a folder, or a
        // filesystem without links. Moving it aside needs no access to the file itself. Not
        // for a symbolic link, which would move the link and leave its file to be replaced.
        if (!QFileInfo(path_).isSymLink()) {
            if (::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(),
                            RENAME_NOREPLACE) == 0) {
                keptCopy_ = kept;
                return true;
            }
            failure = errno;
            if (failure == EEXIST)
                continue;
            if (failure == EINVAL && !QFileInfo::exists(kept) &&
                ::rename(source.constData(), target.constData()) == 0) {
                keptCopy_ = kept; // a filesystem without RENAME_NOREPLACE
                return true;
            }
        }
        if (!loadedBytes_.isEmpty() && !QFileInfo::exists(kept) &&
            AtomicFile::write(kept, loadedBytes_, nullptr)) {
            keptCopy_ = kept;
            return true;
        }
        if (error)
            *error = QStringLiteral("Cannot keep a copy of %1 as %2: %3")
                         .arg(path_, kept, errnoText(failure));
        return false;
    }
    if (error)
        *error = QStringLiteral("Cannot find a free name for a copy of ") + path_;
    return false;
}

bool ConfigStore::keepReplaced(const DockConfig& replaced, QString* error) {
    const std::optional<QByteArray> bytes = replaced.encoded(error);
    if (!bytes)
        return false;
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    const QString base = path_ + QStringLiteral(".replaced-") + stamp;
    for (int attempt = 1; attempt < 100; ++attempt) {
        const QString kept =
            attempt == 1 ? base : base + QLatin1Char('-') + QString::number(attempt);
        if (QFileInfo::exists(kept) || QFileInfo(kept).isSymLink())
            continue;
        if (!AtomicFile::write(kept, *bytes, error))
            return false;
        logLine(QStringLiteral("Kept the replaced config as ") + kept);
        return true;
    }
    if (error)
        *error = QStringLiteral("Cannot find a free name for a copy of ") + path_;
    return false;
}

bool ConfigStore::save(const DockConfig& config, const std::optional<DockConfig>& replaced) {
    flush();
    return saveNow(config, replaced ? QList<DockConfig>{*replaced} : QList<DockConfig>());
}

bool ConfigStore::saveNow(const DockConfig& config, QList<DockConfig> replaced) {
    std::lock_guard lock(fileMutex_);
    unkept_.append(std::move(replaced));
    while (!unkept_.isEmpty()) {
        QString error;
        if (!AtomicFile::makePath(QFileInfo(path_).absolutePath(), &error) ||
            !keepReplaced(unkept_.first(), &error)) {
            logLine(QStringLiteral("Could not save config: cannot keep the replaced config: ") +
                    error);
            return false;
        }
        unkept_.removeFirst();
    }
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

void ConfigStore::saveInBackground(const DockConfig& config,
                                   const std::optional<DockConfig>& replaced) {
    {
        std::lock_guard lock(queueMutex_);
        waiting_ = config; // replaces an older one that was not written yet
        if (replaced)
            replacedWaiting_.append(*replaced);
        if (!writer_.joinable())
            writer_ = std::thread([this] { runWriter(); });
    }
    wake_.notify_one();
}

void ConfigStore::flush() {
    std::unique_lock lock(queueMutex_);
    idle_.wait(lock, [this] { return !waiting_ && !writing_; });
}

void ConfigStore::runWriter() {
    pthread_setname_np(pthread_self(), "velloq-config");
    std::unique_lock lock(queueMutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || waiting_; });
        if (!waiting_)
            break; // stopping, and everything is written
        std::optional<DockConfig> config = std::exchange(waiting_, std::nullopt);
        QList<DockConfig> replaced = std::exchange(replacedWaiting_, {});
        writing_ = true;
        lock.unlock();
        saveNow(*config, std::move(replaced));
        config.reset();
        lock.lock();
        writing_ = false;
        idle_.notify_all();
    }
}

bool ConfigStore::needsKeeping() const {
    std::lock_guard lock(fileMutex_);
    return needsKeeping_;
}

std::optional<QString> ConfigStore::keptCopy() const {
    std::lock_guard lock(fileMutex_);
    return keptCopy_;
}

} // namespace velloq
