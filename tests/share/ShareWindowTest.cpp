// The window's exports and imports with real widgets: "Export Page…" on the page bar,
// "Import…" in the settings with its question and one undo step, cancelling a reading, and a
// .velloq file opened from the file manager through a second, real velloq process.

#include "share/ShareFixture.h"

#include "ui/MenuView.h"
#include "ui/PageBar.h"
#include "ui/SettingsView.h"
#include "ui/ShareActions.h"
#include "ui/SingleInstance.h"

#include <QDBusConnection>
#include <QMessageBox>
#include <QProcess>
#include <QSignalSpy>
#include <QToolButton>

using namespace velloq;
using namespace velloq::test;

namespace {

// The button of `box` titled `text`.
QAbstractButton* buttonOf(QMessageBox* box, const QString& text) {
    for (QAbstractButton* button : box->buttons()) {
        if (button->text() == text)
            return button;
    }
    return nullptr;
}

DockConfig withMediaPage(const QString& image) {
    DockConfig config;
    Page media = Page::make(QStringLiteral("Media"));
    media.keys[0] = ButtonAction::page(QUuid());
    media.keys[1] = ButtonAction::function(ButtonFunction::playPause);
    media.customIcons[1] = image;
    config.pages << media;
    return config;
}

} // namespace

class ShareWindowTest : public ShareTest {
protected:
    // Waits for `sharing` to ask, and answers with the button titled `answer`.
    static bool answer(ShareActions* sharing, const QString& question, const QString& answer) {
        if (!waitUntil([&] { return sharing->dialog() && sharing->dialog()->isVisible(); }, 20000))
            return false;
        EXPECT_EQ(sharing->dialog()->text(), question);
        QAbstractButton* button = buttonOf(sharing->dialog(), answer);
        if (!button)
            return false;
        QTest::mouseClick(button, Qt::LeftButton);
        return true;
    }
};

TEST_F(ShareWindowTest, ExportPageOnThePageBarWritesThePageShown) {
    const DockConfig config =
        withMediaPage(makeImage(workDir() + QStringLiteral("/play.png"), Qt::magenta));
    make(config);
    controller->setCurrentPage(config.pages[0].id);
    auto* bar = show(new PageBar(*controller));
    const QString exported = workDir() + QStringLiteral("/exported.velloq");
    panelAnswer = [&] { return std::optional(exported); };
    QSignalSpy ended(bar->sharing(), &ShareActions::finished);
    ASSERT_TRUE(pick(bar->more(), QStringLiteral("Export Page…")));
    ASSERT_TRUE(waitUntil([&] { return ended.count() > 0; }, 20000));

    ASSERT_EQ(panels.size(), 1);
    EXPECT_TRUE(panels[0].save);
    EXPECT_EQ(panels[0].fileName, QStringLiteral("Media.velloq"));
    QString error;
    const auto read = SetupImport::read(exported, {}, {}, &error);
    ASSERT_TRUE(read) << error.toStdString();
    EXPECT_EQ(read->contents.kind, SetupFile::Contents::Kind::page);
    EXPECT_EQ(read->contents.page.name, QStringLiteral("Media"));
    EXPECT_EQ(read->contents.page.keys, config.pages[0].keys);
    ASSERT_EQ(read->images.size(), 1);
    QFile image(*config.pages[0].customIcons[1]);
    ASSERT_TRUE(image.open(QIODevice::ReadOnly));
    EXPECT_EQ(read->images[0].bytes, image.readAll());
    EXPECT_FALSE(bar->sharing()->dialog()); // nothing to say
}

TEST_F(ShareWindowTest, ImportInSettingsAsksBeforeReplacingAndIsOneUndoStep) {
    DockConfig other;
    other.dockBrightness = 20;
    other.keys[0] = ButtonAction::url(QStringLiteral("https://example.org"));
    other.customIcons[0] = makeImage(workDir() + QStringLiteral("/web.png"), Qt::blue);
    const QString file = workDir() + QStringLiteral("/Velloq setup.velloq");
    ASSERT_TRUE(SetupExport::write(other, std::nullopt, file, {}).ok);

    make();
    const DockConfig before = controller->config();
    controller->setTab(MenuTab::settings);
    auto* view = show(new MenuView(*controller));
    ShareActions* sharing = view->findChild<SettingsView*>()->sharing();
    panelAnswer = [&] { return std::optional(file); };
    QSignalSpy ended(sharing, &ShareActions::finished);

    // Declined: nothing changes.
    QTest::mouseClick(button(QStringLiteral("Import…")), Qt::LeftButton);
    ASSERT_TRUE(
        answer(sharing, QStringLiteral("Replace your whole setup?"), QStringLiteral("Cancel")));
    ASSERT_TRUE(waitUntil([&] { return ended.count() == 1; }));
    EXPECT_EQ(controller->config(), before);
    EXPECT_FALSE(controller->canUndo());

    QTest::mouseClick(button(QStringLiteral("Import…")), Qt::LeftButton);
    ASSERT_TRUE(answer(sharing, QStringLiteral("Replace your whole setup?"),
                       QStringLiteral("Replace Setup")));
    ASSERT_TRUE(waitUntil([&] { return ended.count() == 2; }, 20000));
    EXPECT_EQ(byImageBytes(controller->config()), byImageBytes(other));
    controller->flushSave();
    EXPECT_EQ(QDir(dataDir()).entryList({QStringLiteral("config.json.replaced-*")}).size(), 1);

    // Ctrl+Z in the window takes the whole import back.
    QTest::keyClick(view, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(controller->config(), before);
    EXPECT_FALSE(controller->canUndo());
}

TEST_F(ShareWindowTest, CancellingTheReadingChangesNothing) {
    make();
    const QString file = workDir() + QStringLiteral("/page.velloq");
    ASSERT_TRUE(SetupExport::write(withMediaPage(QString()), QUuid(), file, {}).ok);
    const DockConfig before = controller->config();
    auto* bar = show(new PageBar(*controller));
    QSignalSpy ended(bar->sharing(), &ShareActions::finished);
    bar->sharing()->importFile(file, false);
    ASSERT_TRUE(bar->sharing()->progress());
    bar->sharing()->progress()->cancel();
    ASSERT_TRUE(waitUntil([&] { return ended.count() == 1; }));
    QThreadPool::globalInstance()->waitForDone();
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(controller->config(), before);
    EXPECT_FALSE(bar->sharing()->dialog());
    EXPECT_FALSE(bar->sharing()->progress());
}

TEST_F(ShareWindowTest, AFileOpenedFromTheFileManagerAsksFirstInTheWindow) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        GTEST_SKIP() << "no session bus";
    const DockConfig source =
        withMediaPage(makeImage(workDir() + QStringLiteral("/play.png"), Qt::magenta));
    const QString file = workDir() + QStringLiteral("/Media page.velloq");
    ASSERT_TRUE(SetupExport::write(source, source.pages[0].id, file, {}).ok);
    const QString bad = workDir() + QStringLiteral("/notes.velloq");
    QFile notes(bad);
    ASSERT_TRUE(notes.open(QIODevice::WriteOnly));
    notes.write("plain text");
    notes.close();

    make();
    SingleInstance first(bus);
    ASSERT_EQ(first.claim(), SingleInstance::Claim::first);
    auto* view = show(new MenuView(*controller));
    QObject::connect(&first, &SingleInstance::openRequested, view,
                     [view](const QStringList& paths) { view->openFiles(paths); });

    // What the file manager runs for the desktop entry's "velloq %U".
    QProcess second;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    second.setProcessEnvironment(env);
    second.setProcessChannelMode(QProcess::ForwardedChannels);
    second.start(QStringLiteral(VELLOQ_BINARY),
                 {QUrl::fromLocalFile(file).toString(), QUrl::fromLocalFile(bad).toString()});
    ASSERT_TRUE(second.waitForStarted());
    ASSERT_TRUE(waitUntil([&] { return second.state() == QProcess::NotRunning; }, 20000));
    EXPECT_EQ(second.exitCode(), 0);

    ShareActions* sharing = view->fileSharing();
    ASSERT_TRUE(
        answer(sharing, QStringLiteral("Add the page “Media”?"), QStringLiteral("Add Page")));
    ASSERT_TRUE(waitUntil([&] { return controller->config().pages.size() == 1; }, 20000));
    EXPECT_EQ(controller->currentPage(), controller->config().pages[0].id);
    EXPECT_EQ(controller->config().pages[0].keys, source.pages[0].keys);

    // The second file follows, and says why it cannot be taken.
    ASSERT_TRUE(waitUntil([&] { return sharing->dialog() && sharing->dialog()->isVisible(); }));
    EXPECT_EQ(sharing->dialog()->text(), QStringLiteral("Could not import “notes.velloq”"));
    EXPECT_EQ(sharing->dialog()->informativeText(),
              QStringLiteral("“notes.velloq” is not a zip archive."));
}
