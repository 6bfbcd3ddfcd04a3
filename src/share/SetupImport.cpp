#include "share/SetupImport.h"

#include "share/MediaCheck.h"
#include "share/Sentences.h"
#include "support/DesktopEntry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>

namespace velloq::SetupImport {

namespace {

// Reading the archive is most of the work; checking the images the rest.
constexpr double kReadShare = 0.7;

const QString kCustomIcons = QStringLiteral("CustomIcons");
const QString kScreensavers = QStringLiteral("Screensavers");

using Sentences::fail;
using Sentences::quoted;

std::optional<Checked> check(const QList<ZipArchive::Entry>& entries, const QString& displayName,
                             const QStringList& applicationDirs,
                             const ZipArchive::Progress& progress, QString* error) {
    const QString file = quoted(displayName);
    QHash<QString, const ZipArchive::Entry*> byName;
    for (const ZipArchive::Entry& entry : entries)
        byName.insert(entry.name, &entry);
    const auto fileEntry = [&](const QString& name,
                               const QString& what) -> const ZipArchive::Entry* {
        const ZipArchive::Entry* entry = byName.value(name);
        if (entry && entry->folder) {
            fail(error, QStringLiteral("%1 holds %2 as a folder where %3 is expected.")
                            .arg(file, quoted(name), what));
        }
        return entry;
    };

    const ZipArchive::Entry* manifest =
        fileEntry(SetupFile::kManifestName, QStringLiteral("a file"));
    if (!manifest) {
        return fail(error, QStringLiteral("%1 is not a Velloq file (it holds no %2).")
                               .arg(file, SetupFile::kManifestName));
    }
    if (manifest->folder)
        return std::nullopt;

    // Apps are matched by desktop-file ID only when their path is not there.
    std::optional<QHash<QString, QString>> installed;
    const auto appPathFor = [&](const QString& path, const QString& id) {
        if (id.isEmpty() || QFileInfo::exists(path))
            return path;
        if (!installed) {
            installed.emplace();
            for (const DesktopEntry& entry : DesktopEntries::installedApplications(applicationDirs))
                installed->insert(entry.id, entry.path);
        }
        return installed->value(id, path);
    };
    std::optional<SetupFile::Contents> contents =
        SetupFile::decode(manifest->bytes, displayName, appPathFor, error);
    if (!contents)
        return std::nullopt;

    Checked checked{displayName, std::move(*contents), {}};
    const QStringList names = SetupFile::imageNames(checked.contents);
    for (qsizetype i = 0; i < names.size(); ++i) {
        const QString& name = names.at(i);
        const ZipArchive::Entry* entry = fileEntry(name, QStringLiteral("an image"));
        if (!entry) {
            return fail(error, QStringLiteral("%1 names an image that is not in it (%2).")
                                   .arg(file, quoted(name)));
        }
        if (entry->folder)
            return std::nullopt;
        const std::optional<QString> format = MediaCheck::formatOf(entry->bytes, name);
        if (!format) {
            return fail(
                error,
                QStringLiteral("The image %1 in %2 does not decode.").arg(quoted(name), file));
        }
        checked.images.append({name, entry->bytes, *format});
        if (progress &&
            !progress(kReadShare + (1 - kReadShare) * double(i + 1) / double(names.size())))
            return fail(error, QStringLiteral("Reading %1 was cancelled.").arg(file));
    }
    return checked;
}

} // namespace

std::optional<Checked> read(const QString& path, const QStringList& applicationDirs,
                            const ZipArchive::Progress& progress, QString* error) {
    const QString displayName = QFileInfo(path).fileName();
    const auto reading = [&progress](double share) {
        return !progress || progress(share * kReadShare);
    };
    const std::optional<QList<ZipArchive::Entry>> entries =
        ZipArchive::readFile(path, displayName, ZipArchive::Limits(), reading, error);
    if (!entries)
        return std::nullopt;
    return check(*entries, displayName, applicationDirs, progress, error);
}

std::optional<Checked> readMemory(const QByteArray& data, const QString& displayName,
                                  const QStringList& applicationDirs, QString* error) {
    const std::optional<QList<ZipArchive::Entry>> entries =
        ZipArchive::readMemory(data, displayName, ZipArchive::Limits(), error);
    if (!entries)
        return std::nullopt;
    return check(*entries, displayName, applicationDirs, {}, error);
}

std::optional<Staged> stage(const Checked& checked, const QString& dataFolder, QString* error) {
    Staged staged{checked.contents, {}};
    QHash<QString, const Checked::Image*> images;
    for (const Checked::Image& image : checked.images)
        images.insert(image.name, &image);
    QHash<QString, QString> copies; // by folder and entry
    QString failure;

    const auto copy = [&](const QString& name, const QString& folderName) -> QString {
        const QString key = folderName + u'/' + name;
        if (const auto known = copies.find(key); known != copies.end())
            return *known;
        const Checked::Image* image = images.value(name);
        const QString folder = dataFolder + u'/' + folderName;
        if (!image || !QDir().mkpath(folder)) {
            failure = QStringLiteral("The folder %1 could not be made.").arg(quoted(folder));
            return QString();
        }
        const QString path = folder + u'/' +
                             QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper() + u'.' +
                             image->format;
        QFile out(path);
        if (!out.open(QIODevice::WriteOnly | QIODevice::NewOnly) ||
            out.write(image->bytes) != image->bytes.size() || !out.flush()) {
            failure = QStringLiteral("An image could not be copied into %1: %2.")
                          .arg(folderName, out.errorString());
            out.remove();
            return QString();
        }
        staged.files << path;
        copies.insert(key, path);
        return path;
    };
    const auto copyIcons = [&](QList<std::optional<QString>>& icons) {
        for (std::optional<QString>& icon : icons) {
            if (icon && failure.isEmpty())
                icon = copy(*icon, kCustomIcons);
        }
    };

    SetupFile::Contents& contents = staged.contents;
    if (contents.kind == SetupFile::Contents::Kind::page) {
        copyIcons(contents.page.customIcons);
        copyIcons(contents.page.onIcons);
    } else {
        copyIcons(contents.setup.customIcons);
        copyIcons(contents.setup.onIcons);
        for (Page& page : contents.setup.pages) {
            copyIcons(page.customIcons);
            copyIcons(page.onIcons);
        }
        QString& animation = contents.setup.screensaverAnimation;
        if (animation.startsWith(SetupFile::kImageFolder) && failure.isEmpty())
            animation = copy(animation, kScreensavers);
    }
    if (!failure.isEmpty()) {
        discard(staged);
        return fail(error, failure);
    }
    return staged;
}

void discard(const Staged& staged) {
    for (const QString& file : staged.files)
        QFile::remove(file);
}

DockConfig merged(const DockConfig& current, const SetupFile::Contents& contents,
                  QUuid* addedPage) {
    if (addedPage)
        *addedPage = QUuid();
    if (contents.kind == SetupFile::Contents::Kind::setup)
        return contents.setup;

    DockConfig next = current;
    Page page = contents.page;
    const QUuid fileId = page.id;
    page.id = QUuid::createUuid();

    const QString base =
        page.name.trimmed().isEmpty() ? QStringLiteral("Page") : page.name.trimmed();
    const auto taken = [&next](const QString& name) {
        return name == u"Home" || std::any_of(next.pages.begin(), next.pages.end(),
                                              [&name](const Page& p) { return p.name == name; });
    };
    page.name = base;
    for (int n = 2; taken(page.name); ++n)
        page.name = base + u' ' + QString::number(n);

    QHash<QUuid, QUuid> snippetIds;
    for (const Snippet& snippet : contents.snippets) {
        const auto same =
            std::find_if(next.snippets.begin(), next.snippets.end(), [&snippet](const Snippet& s) {
                return s.name == snippet.name && s.text == snippet.text;
            });
        if (same != next.snippets.end()) {
            snippetIds.insert(snippet.id, same->id);
        } else {
            const Snippet added = Snippet::make(snippet.name, snippet.text);
            next.snippets.append(added);
            snippetIds.insert(snippet.id, added.id);
        }
    }
    // Steps and toggle sides too.
    const auto remap = [&](ButtonAction& action) {
        if (const std::optional<QUuid> id = action.snippetID()) {
            action = snippetIds.contains(*id) ? ButtonAction::snippet(snippetIds.value(*id))
                                              : ButtonAction::nothing();
        } else if (const std::optional<QUuid> target = action.pageID()) {
            if (*target == fileId)
                action = ButtonAction::page(page.id);
            else if (!target->isNull())
                action = ButtonAction::nothing(); // a page the file does not bring
        }
    };
    for (ButtonAction& key : page.keys)
        DockConfig::forEachActionIn(key, remap);
    if (addedPage)
        *addedPage = page.id;
    next.pages.append(std::move(page));
    return next;
}

} // namespace velloq::SetupImport
