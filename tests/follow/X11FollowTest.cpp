// X11 under a real window manager (openbox on an X server of these tests' own): real X clients
// come to the front as the tests ask openbox, and the emulated dock shows the page that lists
// the app in front, or the user's own page.

#include "ui/EditorsFixture.h"

#include "follow/ActivateWindow.h"

#include "follow/X11ActiveAppWatcher.h"
#include "imaging/IconRenderer.h"
#include "ui/MenuView.h"

#include <QFile>
#include <QProcess>
#include <QSignalSpy>

#include <xcb/xcb.h>

namespace velloq::test {
namespace {

class X11Follow : public EditorsTest {
protected:
    void SetUp() override {
        QDir().mkpath(appsDir());
        // Matched by StartupWMClass, by _GTK_APPLICATION_ID, and by the program its window's
        // process runs (a copy of the test window under its own name).
        writeEntry(QStringLiteral("editor.desktop"),
                   "Name=Editor\nExec=velloq-no-such-editor %F\nStartupWMClass=VelloqEditor\n");
        writeEntry(QStringLiteral("org.velloq.Browser.desktop"),
                   "Name=Browser\nExec=velloq-no-such-browser %U\n");
        toolProgram = scratchDir() + QStringLiteral("/velloq-follow-tool");
        ASSERT_TRUE(QFile::copy(QStringLiteral(VELLOQ_TEST_WINDOW), toolProgram));
        writeEntry(QStringLiteral("tool.desktop"),
                   "Name=Tool\nExec=" + toolProgram.toUtf8() + " tool Tool\n");
        connection = xcb_connect(nullptr, nullptr);
        ASSERT_FALSE(xcb_connection_has_error(connection));
    }
    void TearDown() override {
        for (auto& client : windows)
            client->closeWriteChannel();
        for (auto& client : windows)
            client->waitForFinished();
        windows.clear();
        xcb_disconnect(connection);
        EditorsTest::TearDown();
    }

    void writeEntry(const QString& name, const QByteArray& fields) {
        QFile file(appsDir() + u'/' + name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("[Desktop Entry]\nType=Application\n" + fields);
    }
    QString entry(const QString& name) const { return appsDir() + u'/' + name; }

    // Three pages listing apps, each with its own first key, and a page listing none.
    DockConfig pages() {
        DockConfig config;
        config.keys[0] = ButtonAction::function(ButtonFunction::copy);
        const auto add = [&](const QString& name, ButtonFunction first, const QStringList& apps) {
            Page page = Page::make(name);
            page.keys[0] = ButtonAction::function(first);
            page.apps = apps;
            config.pages << page;
            return page.id;
        };
        write = add(QStringLiteral("Write"), ButtonFunction::paste,
                    {entry(QStringLiteral("editor.desktop"))});
        browse = add(QStringLiteral("Browse"), ButtonFunction::cut,
                     {entry(QStringLiteral("org.velloq.Browser.desktop"))});
        tools =
            add(QStringLiteral("Tools"), ButtonFunction::undo,
                {entry(QStringLiteral("tool.desktop")), entry(QStringLiteral("editor.desktop"))});
        spare = add(QStringLiteral("Spare"), ButtonFunction::redo, {});
        return config;
    }

    void start(const DockConfig& config) {
        auto owned = std::make_unique<X11ActiveAppWatcher>();
        watcher = owned.get();
        activeApp = std::move(owned);
        make(config, true);
    }

    // A real X client; its window's id.
    uint32_t openWindow(const QStringList& identity, const QString& program = {}) {
        auto process = std::make_unique<QProcess>();
        process->start(program.isEmpty() ? QStringLiteral(VELLOQ_TEST_WINDOW) : program, identity);
        EXPECT_TRUE(waitUntil([&] { return process->canReadLine(); }, 10000));
        const uint32_t id = process->readLine().trimmed().toUInt();
        windows.push_back(std::move(process));
        return id;
    }

    void activate(uint32_t target) { activateWindow(connection, target); }

    // The dock shows the faces of `page`, and the controller says it does.
    bool shows(const QUuid& page) {
        return waitUntil(
            [&] {
                if (controller->currentPage() != page || emulator->batchOpen())
                    return false;
                const DockConfig& config = controller->config();
                const auto model = controller->dock().model();
                for (int i = 0; i < DockController::kScreenKeys; ++i) {
                    const auto face = IconRenderer::face(
                        IconRenderer::picture(config.keysOf(page)[i], config.customIconsOf(page)[i],
                                              config.snippets, config.pages),
                        DockModels::imageEdge(model),
                        DockModels::finalRotation(model, config.extraRotation));
                    if (face.value_or(QByteArray()) != emulator->faceData(i))
                        return false;
                }
                return true;
            },
            20000);
    }

    xcb_connection_t* connection = nullptr;
    std::vector<std::unique_ptr<QProcess>> windows;
    ActiveAppWatcher* watcher = nullptr;
    QString toolProgram;
    QUuid write, browse, tools, spare;
};

TEST_F(X11Follow, TheDockShowsThePageOfTheAppInFrontAndElseTheUsersPage) {
    start(pages());
    ASSERT_TRUE(controller->followingApps());
    const uint32_t editor = openWindow({QStringLiteral("editor"), QStringLiteral("VelloqEditor")});
    const uint32_t browser = openWindow({QStringLiteral("browser"), QStringLiteral("Whatever"),
                                         QStringLiteral("org.velloq.Browser")});
    const uint32_t tool = openWindow({QStringLiteral("tool"), QStringLiteral("Tool")}, toolProgram);
    const uint32_t other = openWindow({QStringLiteral("other"), QStringLiteral("Other")});

    activate(editor); // listed by Write and Tools: the first takes it
    EXPECT_TRUE(shows(write));
    activate(browser);
    EXPECT_TRUE(shows(browse));
    activate(tool);
    EXPECT_TRUE(shows(tools));
    activate(other);
    EXPECT_TRUE(shows(QUuid())); // home, the user's page at start

    // The user chooses a page; an unlisted app brings that one back.
    controller->setCurrentPage(spare);
    activate(editor);
    EXPECT_TRUE(shows(write));
    activate(other);
    EXPECT_TRUE(shows(spare));
    EXPECT_EQ(controller->userPage(), spare);

    // Switched off, nothing watches and the page stays.
    DockConfig off = controller->config();
    off.followApps = false;
    controller->setConfig(off);
    EXPECT_FALSE(controller->followingApps());
    activate(browser);
    QSignalSpy reports(watcher, &ActiveAppWatcher::activated);
    EXPECT_FALSE(reports.wait(300));
    EXPECT_EQ(controller->currentPage(), spare);
}

TEST_F(X11Follow, VelloqsOwnWindowNeverSwitchesThePage) {
    start(pages());
    const uint32_t editor = openWindow({QStringLiteral("editor"), QStringLiteral("VelloqEditor")});
    activate(editor);
    ASSERT_TRUE(shows(write));

    // Opening Velloq's window to edit the page leaves the dock on it.
    QSignalSpy reports(watcher, &ActiveAppWatcher::activated);
    MenuView velloqWindow(*controller);
    velloqWindow.show();
    velloqWindow.activateWindow();
    ASSERT_TRUE(waitUntil(
        [&] {
            return !reports.isEmpty() &&
                   reports.constLast().at(0).value<WindowIdentity>().pid == ::getpid();
        },
        20000));
    EXPECT_TRUE(shows(write));

    // Back in the editor after choosing another page in the window: that choice stays.
    controller->setCurrentPage(spare);
    activate(editor);
    ASSERT_TRUE(waitUntil([&] { return !velloqWindow.isActiveWindow(); }, 20000));
    const uint32_t other = openWindow({QStringLiteral("other"), QStringLiteral("Other")});
    activate(other);
    EXPECT_TRUE(shows(spare));
}

TEST_F(X11Follow, AChangeOfAppNeverWakesTheScreensaverWhichEndsOnTheRightPage) {
    start(pages());
    controller->startScreensaver();
    ASSERT_TRUE(controller->screensaverRunning());
    ASSERT_TRUE(waitUntil([&] { return emulator->imageCommits(0) > 1; }, 20000));
    const uint32_t editor = openWindow({QStringLiteral("editor"), QStringLiteral("VelloqEditor")});
    activate(editor);
    ASSERT_TRUE(waitUntil([&] { return controller->currentPage() == write; }, 20000));
    EXPECT_TRUE(controller->screensaverRunning());

    emulator->tapKey(0); // only wakes the dock
    EXPECT_TRUE(shows(write));
    EXPECT_FALSE(controller->screensaverRunning());
}

} // namespace
} // namespace velloq::test
