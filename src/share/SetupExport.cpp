#include "share/SetupExport.h"

#include "share/MediaCheck.h"
#include "share/Sentences.h"
#include "share/SetupFile.h"
#include "share/ZipArchive.h"
#include "support/DesktopEntry.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>

namespace velloq::SetupExport {

namespace {

const QString kHome = QStringLiteral("Home");

// Gathers the images to put in the archive, one entry per source file.
class Images {
public:
    explicit Images(const ZipArchive::Limits& limits)
        : limits_(limits) {}

    // The entry name standing for `path`; nothing (and the path noted) when it cannot be
    // read or decoded.
    std::optional<QString> add(const QString& path) {
        if (const auto known = names_.find(path); known != names_.end())
            return *known;
        QFile file(path);
        if (!QFileInfo(path).isFile()) { // missing, or a pipe that could block the reading
            if (!leftOut.contains(path))
                leftOut << path;
            return std::nullopt;
        }
        if (file.size() > limits_.maxEntrySize) {
            tooLarge_ = path;
            return std::nullopt;
        }
        std::optional<QString> format;
        QByteArray bytes;
        if (file.open(QIODevice::ReadOnly))
            bytes = file.readAll();
        if (file.error() == QFileDevice::NoError)
            format = MediaCheck::formatOf(bytes, path, path);
        if (!format) {
            if (!leftOut.contains(path))
                leftOut << path;
            return std::nullopt;
        }
        const QString name =
            SetupFile::kImageFolder + QString::number(entries.size() + 1) + u'.' + *format;
        // Compressing them again gains nothing.
        static const QStringList packed{QStringLiteral("png"),  QStringLiteral("gif"),
                                        QStringLiteral("jpeg"), QStringLiteral("jpg"),
                                        QStringLiteral("webp"), QStringLiteral("mp4"),
                                        QStringLiteral("mov"),  QStringLiteral("m4v")};
        entries.append({name, bytes, !packed.contains(*format)});
        names_.insert(path, name);
        return name;
    }

    const std::optional<QString>& tooLarge() const { return tooLarge_; }

    QList<ZipArchive::FileEntry> entries;
    QStringList leftOut;

private:
    ZipArchive::Limits limits_;
    QHash<QString, QString> names_;
    std::optional<QString> tooLarge_;
};

void takeIcons(QList<std::optional<QString>>& icons, Images& images) {
    for (std::optional<QString>& icon : icons) {
        if (icon && !icon->isEmpty())
            icon = images.add(*icon);
        else
            icon.reset();
    }
}

Result failure(const QString& sentence) {
    return {false, sentence, {}};
}

} // namespace

Result write(const DockConfig& config, const std::optional<QUuid>& page, const QString& path,
             const QStringList& applicationDirs) {
    const ZipArchive::Limits limits;
    Images images(limits);
    SetupFile::Contents contents;
    if (!page) {
        contents.kind = SetupFile::Contents::Kind::setup;
        contents.setup = config;
        takeIcons(contents.setup.customIcons, images);
        takeIcons(contents.setup.onIcons, images);
        for (Page& p : contents.setup.pages) {
            takeIcons(p.customIcons, images);
            takeIcons(p.onIcons, images);
        }
        QString& animation = contents.setup.screensaverAnimation;
        if (animation.startsWith(u'/')) {
            // A GIF of the user's; a missing one leaves the built-in default.
            animation = images.add(animation).value_or(DockConfig().screensaverAnimation);
        }
    } else {
        contents.kind = SetupFile::Contents::Kind::page;
        if (const Page* found = config.page(*page))
            contents.page = *found;
        else if (page->isNull())
            contents.page =
                Page{QUuid::createUuid(), kHome, config.keys, config.customIcons, config.onIcons};
        else
            return failure(QStringLiteral("That page no longer exists."));
        takeIcons(contents.page.customIcons, images);
        takeIcons(contents.page.onIcons, images);
        // The snippets its buttons paste, in steps and toggle sides too.
        for (const ButtonAction& key : contents.page.keys) {
            DockConfig::forEachActionIn(key, [&](const ButtonAction& action) {
                const std::optional<QUuid> id = action.snippetID();
                if (!id)
                    return;
                for (const Snippet& snippet : config.snippets) {
                    if (snippet.id == *id && !contents.snippets.contains(snippet))
                        contents.snippets << snippet;
                }
            });
        }
    }
    if (images.tooLarge()) {
        return failure(QStringLiteral("The image %1 is larger than %2 MiB.")
                           .arg(Sentences::quoted(*images.tooLarge()))
                           .arg(limits.maxEntrySize >> 20));
    }

    QString error;
    const std::optional<QByteArray> json = SetupFile::encode(
        contents,
        [&applicationDirs](const QString& appPath) {
            return DesktopEntries::idOf(appPath, applicationDirs);
        },
        &error);
    if (!json)
        return failure(QStringLiteral("The settings could not be written: %1.").arg(error));

    QList<ZipArchive::FileEntry> entries{{SetupFile::kManifestName, *json, true}};
    entries << images.entries;
    qint64 total = 0;
    for (const ZipArchive::FileEntry& entry : entries)
        total += entry.bytes.size();
    if (entries.size() > limits.maxEntries) {
        return failure(
            QStringLiteral("It would need more than %1 images.").arg(limits.maxEntries - 1));
    }
    if (total > limits.maxTotalSize) {
        return failure(
            QStringLiteral("Its images come to more than %1 MiB.").arg(limits.maxTotalSize >> 20));
    }
    if (!ZipArchive::write(path, entries, &error))
        return failure(error);
    return {true, QString(), images.leftOut};
}

QString suggestedFileName(const DockConfig& config, const std::optional<QUuid>& page) {
    QString name = QStringLiteral("Velloq setup");
    if (page)
        name = page->isNull() ? kHome : config.page(*page) ? config.page(*page)->name : kHome;
    name.replace(u'/', u'-');
    if (name.trimmed().isEmpty() || name.startsWith(u'.'))
        name = QStringLiteral("Velloq page");
    return name + QStringLiteral(".velloq");
}

} // namespace velloq::SetupExport
