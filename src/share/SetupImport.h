#pragma once

#include "config/DockConfig.h"
#include "share/SetupFile.h"
#include "share/ZipArchive.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <optional>

namespace velloq::SetupImport {

// A .velloq file read and checked in full: what it holds, and the images it names, each of
// which decodes. Nothing has changed yet.
struct Checked {
    struct Image {
        QString name; // the archive's entry
        QByteArray bytes;
        QString format; // "png", "gif", …
    };
    QString displayName; // the file's name
    SetupFile::Contents contents;
    QList<Image> images;
};

// Reads `path` and checks everything before anything changes: a zip archive within the
// limits, a velloq.json this version reads, and every image it names present and decodable.
// App actions whose path is not there take the path of the installed app with the same
// desktop-file ID from `applicationDirs`. Nothing, with a one-sentence `error`, on the first
// fault. `progress` (0 to 1) may stop it. Any thread.
std::optional<Checked> read(const QString& path, const QStringList& applicationDirs,
                            const ZipArchive::Progress& progress, QString* error);
// The same over the archive's bytes.
std::optional<Checked> readMemory(const QByteArray& data, const QString& displayName,
                                  const QStringList& applicationDirs, QString* error);

// The images copied in, under new names: key images into CustomIcons, the screensaver's into
// Screensavers, in `dataFolder`; `contents` then names the copies.
struct Staged {
    SetupFile::Contents contents;
    QStringList files;
};
// Nothing, with `error` set and no file left behind, when a copy cannot be written. Any thread.
std::optional<Staged> stage(const Checked& checked, const QString& dataFolder, QString* error);
// Removes the copies, for an import that is not made after all.
void discard(const Staged& staged);

// The configuration after the import. A setup replaces `current`. A page is added to it with
// a fresh id and a name made unique (" 2", " 3", …); its snippets are added unless an
// identical one (name and text) is there, and its keys that open pages the file does not bring
// do nothing. `addedPage` gets the new page's id (nil for a setup).
DockConfig merged(const DockConfig& current, const SetupFile::Contents& contents,
                  QUuid* addedPage = nullptr);

} // namespace velloq::SetupImport
