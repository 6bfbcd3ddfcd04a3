// Exports and imports through the operations the window uses, on a real controller and real
// files: round trips of a whole setup and of a page, apps matched by desktop-file ID, and
// what an export leaves out.

#include "share/ShareFixture.h"
#include "share/ZipArchive.h"

#include "config/ConfigJson.h"

#include <QDirIterator>

using namespace velloq;
using namespace velloq::test;

namespace {

void writeDesktopEntry(const QString& path, const QString& name) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[Desktop Entry]\nType=Application\nName=" + name.toUtf8() + "\nExec=true\n");
}

// The entries of a .velloq file.
QList<ZipArchive::Entry> entriesOf(const QString& path) {
    QString error;
    auto entries = ZipArchive::readFile(path, QStringLiteral("test"), {}, {}, &error);
    EXPECT_TRUE(entries) << error.toStdString();
    return entries.value_or(QList<ZipArchive::Entry>());
}

} // namespace

TEST_F(ShareTest, WholeSetupRoundTripIntoAnEmptyProfileKeepsEverything) {
    const QString source = workDir() + QStringLiteral("/source");
    QDir().mkpath(source);
    DockConfig config;
    const Snippet greeting = Snippet::make(QStringLiteral("Greeting"), QStringLiteral("Hello!"));
    config.snippets << greeting;
    config.keys[0] = ButtonAction::function(ButtonFunction::toggleMicMute);
    config.keys[1] = ButtonAction::snippet(greeting.id);
    config.keys[2] = ButtonAction::keys(KeyCombo{40, KeyCombo::kCommand, QStringLiteral("⌘K")});
    config.keys[3] = ButtonAction::url(QStringLiteral("https://example.com"));
    config.keys[4] = ButtonAction::shortcut(QStringLiteral("Backup"));
    config.keys[7] = ButtonAction::app(QStringLiteral("/usr/share/applications/none.desktop"));
    config.customIcons[0] = makeImage(source + QStringLiteral("/a.png"), Qt::red);
    config.customIcons[3] = makeImage(source + QStringLiteral("/b.jpg"), Qt::blue, "jpg");
    Page media = Page::make(QStringLiteral("Media"));
    media.keys[0] = ButtonAction::page(QUuid());
    media.customIcons[1] = makeImage(source + QStringLiteral("/c.gif"), Qt::green, "gif");
    media.customIcons[2] = config.customIcons[0]; // one file on two keys
    config.pages << media;
    config.keys[5] = ButtonAction::page(media.id);
    config.knobs = {KnobRole::brightness, KnobRole::nothing, KnobRole::volume};
    config.dockBrightness = 35;
    config.knobStep = 7;
    config.extraRotation = 90;
    config.showHUD = false;
    config.screensaverEnabled = true;
    config.screensaverDelay = 2.5;
    config.screensaverAnimation = makeImage(source + QStringLiteral("/saver.gif"), Qt::cyan, "gif");
    make(config);
    const QString file = workDir() + QStringLiteral("/Velloq setup.velloq");
    const SetupExport::Result exported = exportTo(file, std::nullopt);
    ASSERT_TRUE(exported.ok) << exported.error.toStdString();
    EXPECT_TRUE(exported.leftOut.isEmpty());

    // An empty profile elsewhere.
    ASSERT_TRUE(emptyProfile());
    make();
    const DockConfig replaced = controller->config();
    ASSERT_EQ(importFile(file), QString());

    EXPECT_EQ(byImageBytes(controller->config()), byImageBytes(config));
    // The images are copies under new names, in the profile's folders.
    const DockConfig& imported = controller->config();
    EXPECT_TRUE(imported.customIcons[0]->startsWith(customIconsDir() + u'/'));
    EXPECT_NE(imported.customIcons[0], config.customIcons[0]);
    EXPECT_TRUE(
        imported.screensaverAnimation.startsWith(dataDir() + QStringLiteral("/Screensavers/")));
    EXPECT_EQ(filesIn(customIconsDir()).size(), 3);
    EXPECT_EQ(DockConfig::decode(savedBytes()), imported);

    // The configuration it replaced is kept beside the file, and one undo brings it back.
    const QStringList kept =
        QDir(dataDir()).entryList({QStringLiteral("config.json.replaced-*")}, QDir::Files);
    ASSERT_EQ(kept.size(), 1);
    QFile keptFile(dataDir() + u'/' + kept.first());
    ASSERT_TRUE(keptFile.open(QIODevice::ReadOnly));
    EXPECT_EQ(DockConfig::decode(keptFile.readAll()), replaced);
    controller->undo();
    EXPECT_EQ(controller->config(), replaced);
    EXPECT_FALSE(controller->canUndo());
}

TEST_F(ShareTest, PageRoundTripIntoAnotherSetupAddsAPageWithFreshIds) {
    const QString source = workDir() + QStringLiteral("/source");
    QDir().mkpath(source);
    DockConfig config;
    const Snippet sign = Snippet::make(QStringLiteral("Sign-off"), QStringLiteral("Best, A."));
    const Snippet unused = Snippet::make(QStringLiteral("Private"), QStringLiteral("secret"));
    config.snippets = {sign, unused};
    Page other = Page::make(QStringLiteral("Other"));
    Page media = Page::make(QStringLiteral("Media"));
    media.keys[0] = ButtonAction::page(QUuid());  // home
    media.keys[1] = ButtonAction::page(media.id); // itself
    media.keys[2] = ButtonAction::page(other.id); // a page the file does not bring
    media.keys[3] = ButtonAction::snippet(sign.id);
    media.keys[4] = ButtonAction::function(ButtonFunction::playPause);
    media.customIcons[4] = makeImage(source + QStringLiteral("/play.png"), Qt::magenta);
    config.pages = {other, media};
    make(config);
    const QString file = workDir() + QStringLiteral("/Media.velloq");
    ASSERT_TRUE(exportTo(file, media.id).ok);

    // Another setup that has a page of that name and the same snippet already.
    DockConfig target;
    target.snippets << Snippet::make(QStringLiteral("Sign-off"), QStringLiteral("Best, A."));
    target.pages << Page::make(QStringLiteral("Media"));
    ASSERT_TRUE(emptyProfile());
    make(target);
    QUuid added;
    ASSERT_EQ(importFile(file, &added), QString());

    const DockConfig& now = controller->config();
    ASSERT_EQ(now.pages.size(), 2);
    const Page& page = now.pages.last();
    EXPECT_EQ(page.id, added);
    EXPECT_NE(page.id, media.id);
    EXPECT_EQ(page.name, QStringLiteral("Media 2"));
    EXPECT_EQ(page.keys[0], ButtonAction::page(QUuid()));
    EXPECT_EQ(page.keys[1], ButtonAction::page(page.id));
    EXPECT_EQ(page.keys[2], ButtonAction::nothing());
    EXPECT_EQ(page.keys[3], ButtonAction::snippet(target.snippets.last().id)); // the same one
    EXPECT_EQ(page.keys[4], media.keys[4]);
    EXPECT_EQ(now.snippets, target.snippets); // nothing added, the unused one never exported
    EXPECT_EQ(digest(*page.customIcons[4]), digest(*media.customIcons[4]));
    EXPECT_TRUE(page.customIcons[4]->startsWith(customIconsDir() + u'/'));
    EXPECT_EQ(now.keys, target.keys);
    EXPECT_TRUE(QDir(dataDir()).entryList({QStringLiteral("config.json.replaced-*")}).isEmpty());

    // Again: a third name.
    ASSERT_EQ(importFile(file), QString());
    EXPECT_EQ(controller->config().pages.last().name, QStringLiteral("Media 3"));
    // One undo step each.
    controller->undo();
    controller->undo();
    EXPECT_EQ(controller->config(), target);
}

TEST_F(ShareTest, AppsAreMatchedByDesktopIdWhereThePathDiffers) {
    // Exported where the apps live in one folder ...
    const QString there = workDir() + QStringLiteral("/there/applications");
    writeDesktopEntry(there + QStringLiteral("/org.example.Editor.desktop"),
                      QStringLiteral("Editor"));
    writeDesktopEntry(there + QStringLiteral("/vendor/tool.desktop"), QStringLiteral("Tool"));
    DockConfig config;
    config.keys[0] = ButtonAction::app(there + QStringLiteral("/org.example.Editor.desktop"));
    config.keys[1] = ButtonAction::app(there + QStringLiteral("/vendor/tool.desktop"));
    config.keys[2] = ButtonAction::app(there + QStringLiteral("/org.example.Gone.desktop"));
    Page video = Page::make(QStringLiteral("Video"));
    video.apps = {there + QStringLiteral("/vendor/tool.desktop"),
                  there + QStringLiteral("/org.example.Gone.desktop"),
                  workDir() + QStringLiteral("/elsewhere/applications/vendor-tool.desktop")};
    config.pages << video;
    const QString file = workDir() + QStringLiteral("/apps.velloq");
    const SetupExport::Result exported = SetupExport::write(
        config, std::nullopt, file, {workDir() + QStringLiteral("/there/applications")});
    ASSERT_TRUE(exported.ok) << exported.error.toStdString();
    const QList<ZipArchive::Entry> entries = entriesOf(file);
    ASSERT_FALSE(entries.isEmpty());
    EXPECT_TRUE(entries.first().bytes.contains("\"desktopId\" : \"vendor-tool.desktop\""));

    // ... and imported where they live in another; the missing app keeps its path.
    QDir(workDir() + QStringLiteral("/there")).removeRecursively();
    writeDesktopEntry(appsDir() + QStringLiteral("/org.example.Editor.desktop"),
                      QStringLiteral("Editor"));
    writeDesktopEntry(appsDir() + QStringLiteral("/vendor-tool.desktop"), QStringLiteral("Tool"));
    make();
    ASSERT_EQ(importFile(file), QString());
    const DockConfig& now = controller->config();
    EXPECT_EQ(now.keys[0],
              ButtonAction::app(appsDir() + QStringLiteral("/org.example.Editor.desktop")));
    EXPECT_EQ(now.keys[1], ButtonAction::app(appsDir() + QStringLiteral("/vendor-tool.desktop")));
    EXPECT_EQ(now.keys[2], config.keys[2]);
    // A page's apps too; two that became the same app are one.
    ASSERT_EQ(now.pages.size(), 1);
    EXPECT_EQ(now.pages[0].apps,
              QStringList({appsDir() + QStringLiteral("/vendor-tool.desktop"), video.apps[1]}));
    EXPECT_FALSE(DockConfig::decode(savedBytes())->encoded()->contains("desktopId"));
}

TEST_F(ShareTest, ExportHoldsOnlyTheConfigurationAndTheImagesItNames) {
    DockConfig config;
    config.customIcons[0] = makeImage(workDir() + QStringLiteral("/kept.png"), Qt::red);
    config.customIcons[1] = workDir() + QStringLiteral("/missing.png");
    QFile broken(workDir() + QStringLiteral("/broken.png"));
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write("not an image");
    broken.close();
    config.customIcons[2] = broken.fileName();
    config.screensaverAnimation = workDir() + QStringLiteral("/gone.gif");
    make(config);
    // Files that the configuration does not name stay home.
    QDir().mkpath(dataDir() + QStringLiteral("/Shortcuts"));
    QFile script(dataDir() + QStringLiteral("/Shortcuts/Backup"));
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write("#!/bin/sh\necho private\n");
    script.close();
    makeImage(customIconsDir() + QStringLiteral("/unused.png"), Qt::yellow);

    const QString file = workDir() + QStringLiteral("/out.velloq");
    const SetupExport::Result exported = exportTo(file, std::nullopt);
    ASSERT_TRUE(exported.ok) << exported.error.toStdString();
    EXPECT_EQ(exported.leftOut, (QStringList{*config.customIcons[1], *config.customIcons[2],
                                             config.screensaverAnimation}));
    const QList<ZipArchive::Entry> entries = entriesOf(file);
    ASSERT_EQ(entries.size(), 2);
    EXPECT_EQ(entries[0].name, QStringLiteral("velloq.json"));
    EXPECT_EQ(entries[1].name, QStringLiteral("images/1.png"));
    const QByteArray json = entries[0].bytes;
    EXPECT_FALSE(json.contains(workDir().toUtf8()));
    EXPECT_FALSE(json.contains("private"));
    const auto root = ConfigJson::parse(json);
    ASSERT_TRUE(root);
    EXPECT_EQ(root->member(u"format")->integer, 1);
    EXPECT_EQ(root->member(u"kind")->string, QStringLiteral("setup"));
    EXPECT_EQ(root->member(u"setup")->member(u"screensaverAnimation")->string,
              DockConfig().screensaverAnimation);
}

TEST_F(ShareTest, AScreensaverVideoTravelsWithTheSetup) {
    DockConfig config;
    const QString video = workDir() + QStringLiteral("/waves.mp4");
    ASSERT_TRUE(writeVideo(video, 64, 32, 6, 10, [](int i) {
        QImage frame(64, 32, QImage::Format_RGB32);
        frame.fill(QColor::fromHsv(i * 50, 200, 200));
        return frame;
    }));
    config.screensaverAnimation = video;
    make(config);
    const QString file = workDir() + QStringLiteral("/video.velloq");
    ASSERT_TRUE(exportTo(file, std::nullopt).ok);
    const QList<ZipArchive::Entry> entries = entriesOf(file);
    ASSERT_EQ(entries.size(), 2);
    EXPECT_EQ(entries[1].name, QStringLiteral("images/1.mp4"));

    ASSERT_TRUE(emptyProfile());
    make();
    ASSERT_EQ(importFile(file), QString());
    const QString imported = controller->config().screensaverAnimation;
    EXPECT_TRUE(imported.startsWith(dataDir() + QStringLiteral("/Screensavers/")));
    EXPECT_TRUE(imported.endsWith(QStringLiteral(".mp4")));
    EXPECT_EQ(digest(imported), digest(video));
}
