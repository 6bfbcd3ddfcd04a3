#include "share/ZipArchive.h"

#include "share/Sentences.h"
#include "support/UniqueFd.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSet>

#include <archive.h>
#include <archive_entry.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>

namespace velloq::ZipArchive {

namespace {

using Sentences::fail;
using Sentences::quoted;

constexpr size_t kBlockSize = 64 * 1024;

struct ReadDeleter {
    void operator()(archive* a) const { archive_read_free(a); }
};
struct WriteDeleter {
    void operator()(archive* a) const { archive_write_free(a); }
};
struct EntryDeleter {
    void operator()(archive_entry* e) const { archive_entry_free(e); }
};
using ReadArchive = std::unique_ptr<archive, ReadDeleter>;
using WriteArchive = std::unique_ptr<archive, WriteDeleter>;

QString libraryError(archive* a) {
    const char* text = archive_error_string(a);
    QString message = text ? QString::fromLocal8Bit(text).trimmed() : QString();
    while (message.endsWith(u'.'))
        message.chop(1);
    return message.isEmpty() ? QStringLiteral("unknown error") : message;
}

QString entryName(archive_entry* entry) {
    if (const char* utf8 = archive_entry_pathname_utf8(entry))
        return QString::fromUtf8(utf8);
    if (const char* raw = archive_entry_pathname(entry))
        return QString::fromLocal8Bit(raw);
    return QString();
}

// Reads the entries of an opened archive; `sourceSize` scales the progress.
std::optional<QList<Entry>> readOpened(archive* a, qint64 sourceSize, const QString& displayName,
                                       const Limits& limits, const Progress& progress,
                                       QString* error) {
    const QString file = quoted(displayName);
    QList<Entry> entries;
    QSet<QString> names;
    qint64 total = 0;
    double reported = -1;
    const auto report = [&]() {
        if (!progress || sourceSize <= 0)
            return true;
        const double share =
            std::min(1.0, double(archive_filter_bytes(a, -1)) / double(sourceSize));
        if (share - reported < 0.01 && share < 1.0)
            return true;
        reported = share;
        return progress(share);
    };
    const QString stopped = QStringLiteral("Reading %1 was cancelled.").arg(file);

    for (;;) {
        archive_entry* header = nullptr;
        const int status = archive_read_next_header(a, &header);
        if (status == ARCHIVE_EOF)
            break;
        if (status < ARCHIVE_WARN) {
            if (entries.isEmpty())
                return fail(error, QStringLiteral("%1 is not a zip archive.").arg(file));
            return fail(error, QStringLiteral("%1 is damaged: %2.").arg(file, libraryError(a)));
        }
        if (entries.size() >= limits.maxEntries) {
            return fail(
                error,
                QStringLiteral("%1 holds more than %2 entries.").arg(file).arg(limits.maxEntries));
        }
        QString name = entryName(header);
        const mode_t type = archive_entry_filetype(header);
        const bool folder = type == AE_IFDIR;
        if (folder && name.endsWith(u'/'))
            name.chop(1);
        if (!isSafeName(name)) {
            return fail(error, QStringLiteral("%1 holds an entry with an unsafe name (%2).")
                                   .arg(file, quoted(name)));
        }
        if (type != AE_IFREG && !folder) {
            return fail(error, QStringLiteral("%1 holds %2, which is a link or a device.")
                                   .arg(file, quoted(name)));
        }
        if (archive_entry_hardlink(header) || archive_entry_symlink(header)) {
            return fail(error,
                        QStringLiteral("%1 holds %2, which is a link.").arg(file, quoted(name)));
        }
        if (names.contains(name))
            return fail(error, QStringLiteral("%1 holds %2 twice.").arg(file, quoted(name)));
        names.insert(name);

        Entry entry{name, {}, folder};
        const auto tooLarge = [&] {
            return fail(error, QStringLiteral("%1 holds %2, which is larger than %3 MiB.")
                                   .arg(file, quoted(name))
                                   .arg(limits.maxEntrySize >> 20));
        };
        const auto tooMuch = [&] {
            return fail(error, QStringLiteral("%1 expands to more than %2 MiB.")
                                   .arg(file)
                                   .arg(limits.maxTotalSize >> 20));
        };
        if (!folder) {
            // The stated size is only a claim: the count below is what holds.
            if (archive_entry_size_is_set(header) &&
                archive_entry_size(header) > limits.maxEntrySize)
                return tooLarge();
            char block[kBlockSize];
            for (;;) {
                const la_ssize_t n = archive_read_data(a, block, sizeof block);
                if (n == 0)
                    break;
                if (n < 0) {
                    return fail(error,
                                QStringLiteral("%1 is damaged: %2.").arg(file, libraryError(a)));
                }
                if (entry.bytes.size() + n > limits.maxEntrySize)
                    return tooLarge();
                if (total + n > limits.maxTotalSize)
                    return tooMuch();
                total += n;
                entry.bytes.append(block, qsizetype(n));
                if (!report())
                    return fail(error, stopped);
            }
        }
        entries.append(std::move(entry));
        if (!report())
            return fail(error, stopped);
    }
    return entries;
}

ReadArchive newReader() {
    ReadArchive a(archive_read_new());
    archive_read_support_format_zip(a.get());
    return a;
}

} // namespace

bool isSafeName(const QString& name) {
    if (name.isEmpty() || name.startsWith(u'/') || name.startsWith(u'\\'))
        return false;
    if (name.size() >= 2 && name.at(1) == u':' && name.at(0).isLetter())
        return false;
    for (const QChar c : name) {
        if (c.category() == QChar::Other_Control)
            return false;
    }
    for (const QStringView part : QStringView(name).tokenize(u'/')) {
        for (const QStringView piece : part.tokenize(u'\\')) {
            if (piece == u"..")
                return false;
        }
    }
    return true;
}

std::optional<QList<Entry>> readFile(const QString& path, const QString& displayName,
                                     const Limits& limits, const Progress& progress,
                                     QString* error) {
    const QString file = quoted(displayName);
    // Never open a pipe or a device: reading one could block for good.
    const QByteArray name = QFile::encodeName(path);
    UniqueFd fd(::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!fd) {
        return fail(error, QStringLiteral("%1 could not be opened: %2.")
                               .arg(file, QString::fromLocal8Bit(std::strerror(errno))));
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode))
        return fail(error, QStringLiteral("%1 is not a file.").arg(file));
    ReadArchive a = newReader();
    if (archive_read_open_fd(a.get(), fd.get(), kBlockSize) != ARCHIVE_OK)
        return fail(error, QStringLiteral("%1 is not a zip archive.").arg(file));
    return readOpened(a.get(), qint64(info.st_size), displayName, limits, progress, error);
}

std::optional<QList<Entry>> readMemory(const QByteArray& data, const QString& displayName,
                                       const Limits& limits, QString* error) {
    ReadArchive a = newReader();
    if (archive_read_open_memory(a.get(), data.constData(), size_t(data.size())) != ARCHIVE_OK)
        return fail(error, QStringLiteral("%1 is not a zip archive.").arg(quoted(displayName)));
    return readOpened(a.get(), data.size(), displayName, limits, {}, error);
}

bool write(const QString& path, const QList<FileEntry>& entries, QString* error) {
    const auto failed = [error](const QString& sentence) {
        if (error)
            *error = sentence;
        return false;
    };
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly))
        return failed(QStringLiteral("%1 could not be written: %2.")
                          .arg(quoted(QFileInfo(path).fileName()), out.errorString()));
    WriteArchive a(archive_write_new());
    archive_write_set_format_zip(a.get());
    if (archive_write_open_fd(a.get(), out.handle()) != ARCHIVE_OK)
        return failed(QStringLiteral("%1 could not be written: %2.")
                          .arg(quoted(QFileInfo(path).fileName()), libraryError(a.get())));
    const time_t now = ::time(nullptr);
    for (const FileEntry& file : entries) {
        if (file.compress)
            archive_write_zip_set_compression_deflate(a.get());
        else
            archive_write_zip_set_compression_store(a.get());
        std::unique_ptr<archive_entry, EntryDeleter> entry(archive_entry_new());
        archive_entry_set_pathname_utf8(entry.get(), file.name.toUtf8().constData());
        archive_entry_set_filetype(entry.get(), AE_IFREG);
        archive_entry_set_perm(entry.get(), 0644);
        archive_entry_set_size(entry.get(), file.bytes.size());
        archive_entry_set_mtime(entry.get(), now, 0);
        if (archive_write_header(a.get(), entry.get()) != ARCHIVE_OK ||
            archive_write_data(a.get(), file.bytes.constData(), size_t(file.bytes.size())) !=
                la_ssize_t(file.bytes.size())) {
            return failed(QStringLiteral("%1 could not be written: %2.")
                              .arg(quoted(QFileInfo(path).fileName()), libraryError(a.get())));
        }
    }
    if (archive_write_close(a.get()) != ARCHIVE_OK)
        return failed(QStringLiteral("%1 could not be written: %2.")
                          .arg(quoted(QFileInfo(path).fileName()), libraryError(a.get())));
    if (!out.commit())
        return failed(QStringLiteral("%1 could not be written: %2.")
                          .arg(quoted(QFileInfo(path).fileName()), out.errorString()));
    return true;
}

} // namespace velloq::ZipArchive
