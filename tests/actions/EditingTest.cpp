// The editing operations the window calls.
#include "actions/ActionsFixture.h"
#include "actions/ActionsTestUtil.h"
#include "siteicons/HttpTestServer.h"

#include "support/Log.h"
#include "system/Autostart.h"

#include <QApplication>
#include <QFileDialog>
#include <QKeyEvent>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <linux/input-event-codes.h>

using namespace velloq;
using namespace velloq::test;

namespace {

void sendKey(QWidget& target, int qtKey, Qt::KeyboardModifiers modifiers, int evdev,
             const QString& text = {}) {
    QKeyEvent event(QEvent::KeyPress, qtKey, modifiers, static_cast<quint32>(evdev + 8), 0, 0,
                    text);
    QCoreApplication::sendEvent(&target, &event);
}

} // namespace

TEST_F(ActionsTest, SetActionSavesOnceAndPromptsWhenInputIsNeeded) {
    make();
    QSignalSpy changes(controller.get(), &DockController::configChanged);
    const ButtonAction copy = ButtonAction::function(ButtonFunction::copy);
    controller->setAction(copy, 3);
    controller->setAction(copy, 3);
    controller->setAction(copy, 9);  // out of range
    controller->setAction(copy, -1); // out of range
    EXPECT_EQ(changes.count(), 1);
    EXPECT_EQ(controller->config().keys[3], copy);
    controller->flushSave();
    EXPECT_EQ(ConfigStore(configPath()).load().keys[3], copy);
    EXPECT_EQ(permissions.prompts, 0);

    permissions.granted = false;
    controller->setAction(ButtonAction::snippet(QUuid::createUuid()), 4);
    controller->setAction(ButtonAction::function(ButtonFunction::sleepDisplay), 4);
    controller->setAction(ButtonAction::keys(KeyCombo{}), 5);
    EXPECT_EQ(permissions.prompts, 2); // every such assignment, not only the first
}

TEST_F(ActionsTest, TypingAnAddressFetchesItsIconOnceTheTypingPauses) {
    HttpTestServer server;
    ASSERT_TRUE(server.listen());
    make();
    const QString address = server.url(QStringLiteral("/"));
    for (qsizetype n = address.size() - 3; n <= address.size(); ++n)
        controller->setAction(ButtonAction::url(address.left(n)), 0);
    EXPECT_TRUE(server.paths().isEmpty()); // not while typing
    ASSERT_TRUE(waitUntil([&] { return !server.paths().isEmpty(); }));
    EXPECT_EQ(server.paths(), QStringList{QStringLiteral("/")}); // only the final text
}

TEST_F(ActionsTest, SettingAShortcutLoadsTheNamesWhenThereAreNone) {
    make();
    ASSERT_TRUE(writeFile(shortcutsFolder() + QStringLiteral("/  B"), "#!/bin/sh\n", true));
    ASSERT_TRUE(writeFile(shortcutsFolder() + QStringLiteral("/a"), "#!/bin/sh\n", true));
    controller->setAction(ButtonAction::shortcut(QStringLiteral("a")), 1);
    ASSERT_TRUE(waitUntil([&] { return !controller->shortcutNames().isEmpty(); }));
    EXPECT_EQ(controller->shortcutNames(), (QStringList{QStringLiteral("a"), QStringLiteral("B")}));
}

TEST_F(ActionsTest, DeletingASnippetClearsEveryKeyUsingItInOneChange) {
    DockConfig config;
    const Snippet gone = Snippet::make(QStringLiteral("Gone"), QStringLiteral("x"));
    const Snippet kept = Snippet::make(QStringLiteral("Kept"), QStringLiteral("y"));
    config.snippets = {config.snippets.first(), gone, kept};
    config.keys[1] = ButtonAction::snippet(gone.id);
    config.keys[7] = ButtonAction::snippet(gone.id);
    config.keys[2] = ButtonAction::snippet(kept.id);
    make(config);
    QSignalSpy changes(controller.get(), &DockController::configChanged);

    controller->deleteSnippet(gone.id);
    EXPECT_EQ(changes.count(), 1);
    const DockConfig now = controller->config();
    ASSERT_EQ(now.snippets.size(), 2);
    EXPECT_EQ(now.snippets.at(1), kept);
    EXPECT_EQ(now.keys[1], ButtonAction::nothing());
    EXPECT_EQ(now.keys[7], ButtonAction::nothing());
    EXPECT_EQ(now.keys[2], ButtonAction::snippet(kept.id));
    controller->flushSave();
    EXPECT_EQ(ConfigStore(configPath()).load(), now);
}

TEST_F(ActionsTest, ChosenImagesAreCopiedUnderFreshNames) {
    make();
    QTemporaryDir dir;
    const QString noExtension = dir.filePath(QStringLiteral("picture"));
    ASSERT_TRUE(writeFile(noExtension, "image bytes"));
    ASSERT_TRUE(controller->useCustomIcon(2, noExtension));
    const QString copy = controller->config().customIcons[2].value_or(QString());
    const QRegularExpression uuidName(
        QStringLiteral("^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\\.png$"));
    EXPECT_TRUE(uuidName.match(QFileInfo(copy).fileName()).hasMatch()) << copy.toStdString();
    EXPECT_EQ(QFileInfo(copy).absolutePath(),
              QFileInfo(configPath()).absolutePath() + QStringLiteral("/CustomIcons"));
    EXPECT_EQ(readFile(copy), "image bytes");

    // The same source again gives a second copy; clearing leaves the files.
    const QString jpeg = dir.filePath(QStringLiteral("photo.jpeg"));
    ASSERT_TRUE(writeFile(jpeg, "jpeg"));
    ASSERT_TRUE(controller->useCustomIcon(2, jpeg));
    ASSERT_TRUE(controller->useCustomIcon(3, jpeg));
    EXPECT_TRUE(controller->config().customIcons[2]->endsWith(QStringLiteral(".jpeg")));
    EXPECT_NE(controller->config().customIcons[2], controller->config().customIcons[3]);
    controller->clearCustomIcon(2);
    controller->clearCustomIcon(42);
    EXPECT_FALSE(controller->config().customIcons[2]);
    EXPECT_TRUE(QFileInfo::exists(copy));

    const QString gif = dir.filePath(QStringLiteral("wide.gif"));
    ASSERT_TRUE(writeFile(gif, "GIF89a"));
    ASSERT_TRUE(controller->useScreensaverGIF(gif));
    const QString saver = controller->config().screensaverAnimation;
    EXPECT_EQ(QFileInfo(saver).absolutePath(),
              QFileInfo(configPath()).absolutePath() + QStringLiteral("/Screensavers"));
    EXPECT_TRUE(saver.endsWith(QStringLiteral(".gif")));
    // A video keeps its extension, which makes the screensaver read it as a video.
    const QString video = dir.filePath(QStringLiteral("Waves.MP4"));
    ASSERT_TRUE(writeFile(video, "video"));
    ASSERT_TRUE(controller->useScreensaverGIF(video));
    EXPECT_TRUE(controller->config().screensaverAnimation.endsWith(QStringLiteral(".mp4")));

    // A copy that fails changes nothing and is logged.
    LogCapture log;
    const DockConfig before = controller->config();
    EXPECT_FALSE(controller->useCustomIcon(4, dir.filePath(QStringLiteral("absent.png"))));
    EXPECT_FALSE(controller->useScreensaverGIF(dir.filePath(QStringLiteral("absent.gif"))));
    EXPECT_FALSE(controller->useCustomIcon(9, jpeg)); // no such key
    EXPECT_EQ(controller->config(), before);
    EXPECT_EQ(log.count(QStringLiteral("Could not copy icon: ")), 1);
    EXPECT_EQ(log.count(QStringLiteral("Could not copy screensaver GIF: ")), 1);
}

TEST_F(ActionsTest, OpenPanelsRunAfterTheCallWithTheirTexts) {
    make();
    QTemporaryDir dir;
    const QString entry = dir.filePath(QStringLiteral("org.example.App.desktop"));
    ASSERT_TRUE(writeFile(entry, "[Desktop Entry]\nType=Application\nName=App\nExec=true\n"));

    panelAnswer = entry;
    controller->chooseAppWithPanel(6);
    EXPECT_TRUE(panelRequests.isEmpty()); // only once the calling event has returned
    ASSERT_TRUE(
        waitUntil([&] { return controller->config().keys[6] == ButtonAction::app(entry); }));
    ASSERT_EQ(panelRequests.size(), 1);
    EXPECT_EQ(panelRequests.at(0).message, u"Choose an App");
    EXPECT_EQ(panelRequests.at(0).prompt, u"Choose");
    EXPECT_EQ(panelRequests.at(0).nameFilter, u"Applications (*.desktop)");
    EXPECT_EQ(panelRequests.at(0).startFolder, u"/usr/share/applications");

    const QString image = dir.filePath(QStringLiteral("face.png"));
    ASSERT_TRUE(writeFile(image, "png"));
    panelAnswer = image;
    controller->chooseCustomIcon(1);
    ASSERT_TRUE(waitUntil([&] { return controller->config().customIcons[1].has_value(); }));
    EXPECT_EQ(panelRequests.at(1).message, u"Choose an Image");
    EXPECT_EQ(panelRequests.at(1).prompt, u"Use Image");
    EXPECT_TRUE(panelRequests.at(1).nameFilter.contains(QStringLiteral("*.png")));
    // At first in Pictures (or home, without one): never the working folder.
    EXPECT_TRUE(QFileInfo(panelRequests.at(1).startFolder).isDir());
    EXPECT_NE(panelRequests.at(1).startFolder, dir.path());

    // Then where the user last chose a file; the screensaver takes GIFs and videos.
    panelAnswer = std::nullopt; // cancelled
    controller->chooseScreensaverGIF();
    ASSERT_TRUE(waitUntil([&] { return panelRequests.size() == 3; }));
    EXPECT_EQ(panelRequests.at(2).message, u"Choose an Animation");
    EXPECT_EQ(panelRequests.at(2).prompt, u"Use Animation");
    EXPECT_EQ(panelRequests.at(2).startFolder, dir.path());
    for (const char* pattern : {"*.gif", "*.mp4", "*.mov", "*.m4v"})
        EXPECT_TRUE(panelRequests.at(2).nameFilter.contains(QLatin1String(pattern))) << pattern;
    EXPECT_EQ(controller->config().screensaverAnimation, u"Sports Car");
}

TEST_F(ActionsTest, RecorderBindsTheNextKeyPressOrCancelsOnEscape) {
    make();
    QWidget window; // the recorder takes the keys of the window active when it starts
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    const ButtonAction old = ButtonAction::function(ButtonFunction::undo);
    controller->setAction(old, 2);

    controller->startRecordingShortcut(2);
    EXPECT_EQ(controller->recordingKey(), 2);
    sendKey(window, Qt::Key_Shift, Qt::ShiftModifier, KEY_LEFTSHIFT); // a modifier alone waits
    EXPECT_EQ(controller->recordingKey(), 2);
    sendKey(window, Qt::Key_Escape, Qt::NoModifier, KEY_ESC);
    EXPECT_FALSE(controller->recordingKey());
    EXPECT_EQ(controller->config().keys[2], old);

    controller->startRecordingShortcut(2);
    sendKey(window, Qt::Key_K, Qt::ShiftModifier | Qt::MetaModifier, KEY_K, QStringLiteral("K"));
    EXPECT_FALSE(controller->recordingKey());
    EXPECT_EQ(controller->config().keys[2],
              ButtonAction::keys(KeyCombo{40, 0x120000, QStringLiteral("Shift+Super+K")}));

    controller->startRecordingShortcut(4);
    controller->startRecordingShortcut(5); // one recording at a time
    sendKey(window, Qt::Key_Backspace, Qt::ControlModifier | Qt::AltModifier, KEY_BACKSPACE);
    EXPECT_EQ(controller->config().keys[4], ButtonAction::nothing());
    EXPECT_EQ(controller->config().keys[5],
              ButtonAction::keys(KeyCombo{51, 0xC0000, QStringLiteral("Ctrl+Alt+Backspace")}));

    controller->startRecordingShortcut(0);
    sendKey(window, Qt::Key_Escape, Qt::ShiftModifier, KEY_ESC);
    EXPECT_EQ(controller->config().keys[0].keyCombo()->display, u"Shift+Esc");

    // No recording: keys pass and nothing changes.
    QSignalSpy changes(controller.get(), &DockController::configChanged);
    sendKey(window, Qt::Key_A, Qt::NoModifier, KEY_A, QStringLiteral("a"));
    controller->stopRecordingShortcut();
    EXPECT_EQ(changes.count(), 0);
}

TEST_F(ActionsTest, InstalledAppsAreCachedAndRunningAppsReadAnew) {
    make();
    // The fixture's folders: the scratch data folder's applications only.
    const QString apps = scratchDir() + QStringLiteral("/XDG_DATA_HOME/applications");
    QTemporaryDir dir;
    const QString program = dir.filePath(QStringLiteral("velloq-test-idler"));
    ASSERT_TRUE(QFile::copy(QStringLiteral("/bin/sleep"), program));
    ASSERT_TRUE(writeFile(
        apps + QStringLiteral("/idler.desktop"),
        "[Desktop Entry]\nType=Application\nName=Idler\nExec=" + program.toUtf8() + " 30\n"));
    auto names = [](const QList<AppEntry>& list) {
        QStringList out;
        for (const AppEntry& app : list)
            out << app.name;
        return out;
    };

    // Scanned off the main thread: the lists stay empty until the result arrives.
    QSignalSpy installed(controller.get(), &DockController::installedAppsChanged);
    controller->loadInstalledApps();
    EXPECT_FALSE(controller->installedAppsLoaded());
    ASSERT_TRUE(installed.wait());
    EXPECT_TRUE(names(controller->installedApps()).contains(QStringLiteral("Idler")));
    ASSERT_TRUE(writeFile(apps + QStringLiteral("/later.desktop"),
                          "[Desktop Entry]\nType=Application\nName=Later\nExec=true\n"));
    controller->loadInstalledApps(); // kept for the run
    QThreadPool::globalInstance()->waitForDone();
    QCoreApplication::processEvents();
    EXPECT_EQ(installed.count(), 1);
    EXPECT_FALSE(names(controller->installedApps()).contains(QStringLiteral("Later")));

    QSignalSpy running(controller.get(), &DockController::runningAppsChanged);
    controller->loadRunningApps();
    ASSERT_TRUE(running.wait());
    EXPECT_FALSE(names(controller->runningApps()).contains(QStringLiteral("Idler")));
    QProcess idler;
    idler.start(program, {QStringLiteral("30")});
    ASSERT_TRUE(idler.waitForStarted());
    // Two loads in a row: the older result is recognised as stale, whichever comes first.
    controller->loadRunningApps();
    controller->loadRunningApps();
    QThreadPool::globalInstance()->waitForDone();
    ASSERT_TRUE(test::waitUntil([&] { return running.count() >= 2; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(running.count(), 2);
    EXPECT_TRUE(names(controller->runningApps()).contains(QStringLiteral("Idler")));
    idler.kill();
    idler.waitForFinished();
}

TEST_F(ActionsTest, LaunchAtLoginFollowsTheAutostartEntry) {
    make();
    QSignalSpy changed(controller.get(), &DockController::launchAtLoginChanged);
    controller->setLaunchAtLogin(true);
    EXPECT_TRUE(controller->launchAtLogin());
    EXPECT_FALSE(controller->loginItemNote());
    EXPECT_TRUE(QFileInfo::exists(Autostart::entryPath()));
    EXPECT_EQ(DesktopEntry::read(Autostart::entryPath())->commandLine(),
              QStringList{QCoreApplication::applicationFilePath()});
    controller->setLaunchAtLogin(false);
    EXPECT_FALSE(controller->launchAtLogin());
    EXPECT_EQ(changed.count(), 2);

    // A folder that cannot be written: the note, and the toggle shows the real state.
    const QString folder = QFileInfo(Autostart::entryPath()).absolutePath();
    QDir(folder).removeRecursively();
    ASSERT_TRUE(writeFile(folder, "not a folder"));
    controller->setLaunchAtLogin(true);
    EXPECT_FALSE(controller->launchAtLogin());
    ASSERT_TRUE(controller->loginItemNote());
    EXPECT_TRUE(controller->loginItemNote()->startsWith(QStringLiteral("Couldn’t change this: ")));
    EXPECT_TRUE(controller->loginItemNote()->endsWith(
        QStringLiteral(". Make sure ~/.config/autostart is writable.")));
    QFile::remove(folder);
    controller->setLaunchAtLogin(true);
    EXPECT_TRUE(controller->launchAtLogin());
    EXPECT_FALSE(controller->loginItemNote());
    controller->setLaunchAtLogin(false);
}

TEST(OpenPanel, FileDialogShowsTheTextsAndGivesTheChosenFile) {
    QTemporaryDir dir;
    const QString chosen = dir.filePath(QStringLiteral("org.example.App.desktop"));
    ASSERT_TRUE(writeFile(chosen, "[Desktop Entry]\n"));
    const OpenPanelRequest request{QStringLiteral("Choose an App"), QStringLiteral("Choose"),
                                   QStringLiteral("Applications (*.desktop)"), dir.path()};

    QString title;
    QString prompt;
    QStringList filters;
    QString folder;
    bool single = false;
    auto answer = [&](bool accept) {
        auto* poll = new QTimer(qApp);
        poll->setInterval(10);
        QObject::connect(poll, &QTimer::timeout, qApp, [&, poll, accept] {
            QFileDialog* dialog = nullptr;
            for (QWidget* widget : QApplication::topLevelWidgets()) {
                if (auto* found = qobject_cast<QFileDialog*>(widget); found && found->isVisible())
                    dialog = found;
            }
            if (!dialog)
                return;
            poll->deleteLater();
            title = dialog->windowTitle();
            prompt = dialog->labelText(QFileDialog::Accept);
            filters = dialog->nameFilters();
            folder = dialog->directory().absolutePath();
            single = dialog->fileMode() == QFileDialog::ExistingFile;
            if (accept) {
                dialog->selectFile(chosen);
                static_cast<QDialog*>(dialog)->accept();
            } else {
                dialog->reject();
            }
        });
        poll->start();
    };
    // The widget dialog, which the test can answer (a desktop's own dialog is out of reach).
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);

    answer(true);
    EXPECT_EQ(runFileDialog(request), chosen);
    EXPECT_EQ(title, request.message);
    EXPECT_EQ(prompt, u"Choose");
    EXPECT_EQ(filters, QStringList{QStringLiteral("Applications (*.desktop)")});
    EXPECT_EQ(folder, dir.path());
    EXPECT_TRUE(single);

    answer(false);
    EXPECT_FALSE(runFileDialog(request));
}
