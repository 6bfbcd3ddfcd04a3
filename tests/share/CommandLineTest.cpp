// velloq export and velloq import, run as the real program: through the running Velloq on the
// session bus (served as the app serves it), and on their own when none runs.

#include "scripting/ScriptingFixture.h"
#include "share/ShareFixture.h"

#include "config/ConfigStore.h"

#include <QDirIterator>

using namespace velloq;
using namespace velloq::test;

namespace {

class ShareCommandTest : public ScriptingTest, protected ShareFiles {
protected:
    // A setup with a page "Media" whose first key has an image.
    static DockConfig withMedia() {
        DockConfig config;
        config.dockBrightness = 40;
        Page media = Page::make(QStringLiteral("Media"));
        media.keys[0] = ButtonAction::url(QStringLiteral("https://example.org"));
        media.customIcons[0] = makeImage(workDir() + QStringLiteral("/play.png"), Qt::magenta);
        config.pages << media;
        return config;
    }

    static std::optional<SetupImport::Checked> readBack(const QString& path) {
        QString error;
        auto checked = SetupImport::read(path, {}, {}, &error);
        EXPECT_TRUE(checked) << error.toStdString();
        return checked;
    }

    // The copies kept beside `configPath` of the configurations imports replaced.
    static QStringList replacedCopies(const QString& configPath) {
        const QFileInfo config(configPath);
        return QDir(config.absolutePath())
            .entryList({config.fileName() + QStringLiteral(".replaced-*")}, QDir::Files);
    }

    static QString write(const QString& path, const QByteArray& bytes) {
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return path;
    }

    static bool isOneLineOfVelloq(const QString& err) {
        return err.startsWith(QStringLiteral("velloq: ")) && err.endsWith(u'\n') &&
               err.count(u'\n') == 1;
    }
};

} // namespace

TEST_F(ShareCommandTest, ExportAndImportGoThroughTheRunningVelloq) {
    const DockConfig config = withMedia();
    serve(config, false);
    const DockConfig before = controller->config();
    const Page media = before.pages[0];
    const QString work = workDir();

    // Relative files are written where the command runs.
    CommandResult r = velloq({QStringLiteral("export"), QStringLiteral("--page"),
                              QStringLiteral("media"), QStringLiteral("page.velloq")},
                             work);
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.out + r.err, QString());
    const auto page = readBack(work + QStringLiteral("/page.velloq"));
    ASSERT_TRUE(page);
    EXPECT_EQ(page->contents.kind, SetupFile::Contents::Kind::page);
    EXPECT_EQ(page->contents.page.keys, media.keys);
    ASSERT_EQ(page->images.size(), 1);
    EXPECT_EQ(QCryptographicHash::hash(page->images[0].bytes, QCryptographicHash::Sha256).toHex(),
              digest(*media.customIcons[0]));
    r = velloq({QStringLiteral("export"), QStringLiteral("all.velloq")}, work);
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    const auto all = readBack(work + QStringLiteral("/all.velloq"));
    ASSERT_TRUE(all);
    EXPECT_EQ(all->contents.kind, SetupFile::Contents::Kind::setup);
    EXPECT_EQ(all->contents.setup.dockBrightness, 40);

    r = velloq({QStringLiteral("export"), QStringLiteral("--page"), QStringLiteral("Garden"),
                QStringLiteral("garden.velloq")},
               work);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, QStringLiteral("velloq: There is no page \"Garden\"\n"));
    EXPECT_FALSE(QFileInfo::exists(work + QStringLiteral("/garden.velloq")));

    // A page is added beside the others under a name of its own, as one undo step.
    r = velloq({QStringLiteral("import"), QStringLiteral("page.velloq")}, work);
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    ASSERT_EQ(controller->config().pages.size(), 2);
    const Page added = controller->config().pages[1];
    EXPECT_EQ(added.name, QStringLiteral("Media 2"));
    EXPECT_NE(added.id, media.id);
    EXPECT_EQ(added.keys, media.keys);
    ASSERT_TRUE(added.customIcons[0]);
    EXPECT_TRUE(added.customIcons[0]->startsWith(dataDir() + QStringLiteral("/CustomIcons/")));
    EXPECT_EQ(digest(*added.customIcons[0]), digest(*media.customIcons[0]));
    controller->undo();
    EXPECT_EQ(controller->config(), before);

    // A whole setup replaces the current one only when asked to.
    DockConfig changed = before;
    changed.dockBrightness = 90;
    controller->setConfig(changed);
    r = velloq({QStringLiteral("import"), QStringLiteral("all.velloq")}, work);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(isOneLineOfVelloq(r.err)) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("--replace"))) << r.err.toStdString();
    EXPECT_EQ(controller->config(), changed);
    const QString configPath = dataDir() + QStringLiteral("/config.json");
    EXPECT_TRUE(replacedCopies(configPath).isEmpty());
    r = velloq(
        {QStringLiteral("import"), QStringLiteral("--replace"), QStringLiteral("all.velloq")},
        work);
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(byImageBytes(controller->config()), byImageBytes(before));
    controller->flushSave();
    EXPECT_EQ(replacedCopies(configPath).size(), 1);

    // A bad file: why, in one line, and nothing changed.
    const DockConfig now = controller->config();
    const auto icons = filesIn(dataDir() + QStringLiteral("/CustomIcons"));
    write(work + QStringLiteral("/bad.velloq"), "not a zip archive");
    r = velloq({QStringLiteral("import"), QStringLiteral("bad.velloq")}, work);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(isOneLineOfVelloq(r.err)) << r.err.toStdString();
    EXPECT_EQ(controller->config(), now);
    EXPECT_EQ(filesIn(dataDir() + QStringLiteral("/CustomIcons")), icons);
}

TEST_F(ShareCommandTest, ExportAndImportWorkOnTheirOwnWhenVelloqIsNotRunning) {
    ASSERT_FALSE(client.interface()->isServiceRegistered(Velloq1::service()).value());
    // A profile of its own, so the program's config.json is this one.
    const QString home = scratchDir() + QStringLiteral("/alone");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_DATA_HOME"), home);
    const QString configPath = home + QStringLiteral("/Velloq/config.json");
    const QString icons = home + QStringLiteral("/Velloq/CustomIcons");
    const DockConfig config = withMedia();
    ASSERT_TRUE(ConfigStore(configPath).save(config));
    const QString work = workDir();
    const auto saved = [&] { return filesIn(QFileInfo(configPath).absolutePath()); };

    CommandResult r = velloq({QStringLiteral("export"), QStringLiteral("all.velloq")}, work, env);
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.out + r.err, QString());
    const auto all = readBack(work + QStringLiteral("/all.velloq"));
    ASSERT_TRUE(all);
    EXPECT_EQ(all->contents.kind, SetupFile::Contents::Kind::setup);
    EXPECT_EQ(all->contents.setup.pages.size(), 1);
    r = velloq({QStringLiteral("export"), QStringLiteral("--page"), QStringLiteral("Media"),
                QStringLiteral("media.velloq")},
               work, env);
    EXPECT_EQ(r.status, 0) << r.err.toStdString();

    r = velloq({QStringLiteral("import"), QStringLiteral("media.velloq")}, work, env);
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    DockConfig now = ConfigStore(configPath).load();
    ASSERT_EQ(now.pages.size(), 2);
    EXPECT_EQ(now.pages[1].name, QStringLiteral("Media 2"));
    ASSERT_TRUE(now.pages[1].customIcons[0]);
    EXPECT_TRUE(now.pages[1].customIcons[0]->startsWith(icons + u'/'));
    EXPECT_EQ(digest(*now.pages[1].customIcons[0]), digest(*config.pages[0].customIcons[0]));

    // Refused: a setup without --replace, a bad file, and any import while a Velloq that is
    // starting holds the settings. Nothing changes.
    const auto before = saved();
    const auto iconsBefore = filesIn(icons);
    {
        ConfigLock starting(configPath);
        ASSERT_TRUE(starting.tryLock(0));
        r = velloq({QStringLiteral("import"), QStringLiteral("media.velloq")}, work, env);
        EXPECT_EQ(r.status, 1);
        EXPECT_TRUE(r.err.contains(QStringLiteral("Velloq is starting"))) << r.err.toStdString();
        EXPECT_EQ(ConfigStore(configPath).load().pages.size(), 2);
    }
    EXPECT_EQ(saved(), before);
    write(work + QStringLiteral("/bad.velloq"), "not a zip archive");
    for (const QString& file : {QStringLiteral("all.velloq"), QStringLiteral("bad.velloq")}) {
        r = velloq({QStringLiteral("import"), file}, work, env);
        EXPECT_EQ(r.status, 1) << file.toStdString();
        EXPECT_TRUE(isOneLineOfVelloq(r.err)) << r.err.toStdString();
        EXPECT_EQ(saved(), before);
        EXPECT_EQ(filesIn(icons), iconsBefore);
    }

    r = velloq(
        {QStringLiteral("import"), QStringLiteral("all.velloq"), QStringLiteral("--replace")}, work,
        env);
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    now = ConfigStore(configPath).load();
    EXPECT_EQ(now.pages.size(), 1);
    EXPECT_EQ(byImageBytes(now), byImageBytes(config));
    const QStringList kept = replacedCopies(configPath);
    ASSERT_EQ(kept.size(), 1);
    EXPECT_EQ(
        ConfigStore(QFileInfo(configPath).absolutePath() + u'/' + kept[0]).load().pages.size(), 2);

    // Usage errors name the fault.
    for (const QStringList& arguments :
         {QStringList{QStringLiteral("export")},
          QStringList{QStringLiteral("import"), QStringLiteral("a.velloq"), QStringLiteral("b")},
          QStringList{QStringLiteral("export"), QStringLiteral("--replace"),
                      QStringLiteral("x")}}) {
        r = velloq(arguments, work, env);
        EXPECT_EQ(r.status, 2) << arguments.join(u' ').toStdString();
        EXPECT_TRUE(r.err.contains(QStringLiteral("Usage: velloq ") + arguments.first()));
    }
}
