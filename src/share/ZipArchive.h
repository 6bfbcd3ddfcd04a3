#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>
#include <optional>

namespace velloq::ZipArchive {

// What a reader accepts. Sizes are counted as the entries expand, so a small archive that
// claims little and expands to much is stopped as soon as it passes a limit.
struct Limits {
    int maxEntries = 1000;
    qint64 maxEntrySize = qint64(64) << 20;
    qint64 maxTotalSize = qint64(256) << 20;
};

// One entry read from an archive. Folders have no bytes.
struct Entry {
    QString name; // as stored, without a trailing "/" for folders
    QByteArray bytes;
    bool folder = false;
};

// One file to write.
struct FileEntry {
    QString name;
    QByteArray bytes;
    bool compress = true; // false for data that is compressed already (PNG, GIF, JPEG)
};

// Told the share of the source read so far (0 to 1); stops the reading when it gives false.
using Progress = std::function<bool(double)>;

// Reads every entry of a zip archive, refusing (with a one-sentence `error` that names the
// archive as `displayName`) anything that is not a zip archive, more than `maxEntries`
// entries, an entry whose name is empty, absolute or has a ".." part, a link, device or other
// special entry, a name stored twice, and sizes beyond the limits. Reads no further than the
// first fault. Any thread.
std::optional<QList<Entry>> readFile(const QString& path, const QString& displayName,
                                     const Limits& limits, const Progress& progress,
                                     QString* error);
std::optional<QList<Entry>> readMemory(const QByteArray& data, const QString& displayName,
                                       const Limits& limits, QString* error);

// Writes the entries, in order, as a zip archive that replaces `path` only once it is complete.
// False, with `error` set, on failure; `path` is then untouched. Any thread.
bool write(const QString& path, const QList<FileEntry>& entries, QString* error);

// Whether `name` may name an entry: not empty, not absolute (also not "\\…" or "C:…"), no ".."
// part (either slash separating parts), no control character.
bool isSafeName(const QString& name);

} // namespace velloq::ZipArchive
