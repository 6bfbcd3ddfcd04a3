#pragma once

// The controller of the editors' tests, with helpers to make images and .velloq files, to
// export and import through SetupSharing as the window does, and to see what changed.

#include "imaging/MediaWriters.h"
#include "share/SetupSharing.h"
#include "ui/EditorsFixture.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QMap>
#include <QThreadPool>

namespace velloq {
// Failures show the configuration as its file holds it.
inline void PrintTo(const DockConfig& config, std::ostream* out) {
    *out << config.encoded().value_or("(not encodable)").toStdString();
}
} // namespace velloq

namespace velloq::test {

// Images, file listings and digests for tests of .velloq files.
struct ShareFiles {
    // A folder for files the test makes, outside the profile.
    static QString workDir() {
        const QString dir = scratchDir() + QStringLiteral("/work");
        QDir().mkpath(dir);
        return dir;
    }

    // Writes a `size` square image of `color` in `format` ("png", "gif": two frames, "jpg").
    static QString makeImage(const QString& path, const QColor& color, const char* format = "png",
                             int size = 96) {
        QDir().mkpath(QFileInfo(path).absolutePath());
        if (qstrcmp(format, "gif") == 0) {
            EXPECT_TRUE(writeGif(path, size, size, {{color}, {Qt::black}}));
            return path;
        }
        QImage image(size, size, QImage::Format_RGB32);
        image.fill(color);
        for (int i = 0; i < size; ++i)
            image.setPixelColor(i, i, Qt::white); // not one colour only
        EXPECT_TRUE(image.save(path, format));
        return path;
    }

    // Every file under `dir` by name, with its bytes.
    static QMap<QString, QByteArray> filesIn(const QString& dir) {
        QMap<QString, QByteArray> files;
        for (const QFileInfo& info : QDir(dir).entryInfoList(QDir::Files | QDir::System)) {
            QFile file(info.filePath());
            files.insert(info.fileName(), file.open(QIODevice::ReadOnly) ? file.readAll() : "?");
        }
        return files;
    }

    static QByteArray digest(const QString& path) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return "missing " + path.toUtf8();
        return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256).toHex();
    }

    // `config` with each image path replaced by a digest of the file's bytes, so that two
    // configurations naming equal images in different places compare equal.
    static DockConfig byImageBytes(DockConfig config) {
        const auto icons = [](QList<std::optional<QString>>& list) {
            for (std::optional<QString>& icon : list) {
                if (icon)
                    icon = QString::fromLatin1(digest(*icon));
            }
        };
        icons(config.customIcons);
        for (Page& page : config.pages)
            icons(page.customIcons);
        if (config.screensaverAnimation.startsWith(u'/'))
            config.screensaverAnimation = QString::fromLatin1(digest(config.screensaverAnimation));
        return config;
    }
};

class ShareTest : public EditorsTest, protected ShareFiles {
protected:
    QString customIconsDir() const { return dataDir() + QStringLiteral("/CustomIcons"); }
    QString configPath() const { return dataDir() + QStringLiteral("/config.json"); }

    // Ends the controller and empties the profile, once work left in the background (which may
    // still write into it: the controller's, the site icons') is done.
    bool emptyProfile() {
        controller.reset();
        siteIcons.reset();
        QThreadPool::globalInstance()->waitForDone();
        return QDir(dataDir()).removeRecursively();
    }

    SetupExport::Result exportTo(const QString& path, const std::optional<QUuid>& page) {
        std::optional<SetupExport::Result> result;
        SetupSharing::exportTo(*controller, controller.get(), path, page,
                               [&](SetupExport::Result r) { result = std::move(r); });
        EXPECT_TRUE(waitUntil([&] { return result.has_value(); }, 20000));
        return result.value_or(SetupExport::Result{});
    }

    // Reads and applies `path` as the window does; the error, empty on success.
    QString importFile(const QString& path, QUuid* page = nullptr) {
        std::optional<SetupSharing::ReadResult> read;
        SetupSharing::read(*controller, controller.get(), path, {},
                           [&](SetupSharing::ReadResult r) { read = std::move(r); });
        if (!waitUntil([&] { return read.has_value(); }, 30000))
            return QStringLiteral("the reading did not finish");
        if (!read->checked)
            return read->error;
        std::optional<SetupSharing::Applied> applied;
        SetupSharing::apply(*controller, controller.get(), std::move(*read->checked),
                            [&](SetupSharing::Applied a) { applied = std::move(a); });
        if (!waitUntil([&] { return applied.has_value(); }, 20000))
            return QStringLiteral("the import did not finish");
        if (page)
            *page = applied->page;
        return applied->error;
    }

    QByteArray savedBytes() {
        controller->flushSave();
        QFile file(configPath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
};

} // namespace velloq::test
