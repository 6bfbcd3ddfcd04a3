// perform, the built-in functions, pasting through the real clipboard and the mute toggles on
// a real PulseAudio daemon.
#include "actions/ActionsFixture.h"
#include "actions/ActionsTestUtil.h"
#include "actions/SlowClipboardOwner.h"
#include "siteicons/HttpTestServer.h"

#include "hud/HUD.h"
#include "support/Log.h"
#include "system/KeyCodes.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

using namespace velloq;
using namespace velloq::test;
using Press = RecordingKeySender::Press;
using Media = RecordingKeySender::Media;

namespace {

QString clipboardText() {
    return QGuiApplication::clipboard()->text();
}

std::optional<QString> gsetting() {
    QProcess p;
    p.start(QStringLiteral("gsettings"),
            {QStringLiteral("get"), QStringLiteral("org.gnome.desktop.interface"),
             QStringLiteral("color-scheme")});
    if (!p.waitForFinished(5000) || p.exitCode() != 0)
        return std::nullopt;
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

} // namespace

TEST_F(ActionsTest, WebsiteIsOpenedTrimmedWithHttpsAndItsIconFetched) {
    HttpTestServer server;
    ASSERT_TRUE(server.listen());
    make();

    controller->perform(ButtonAction::url(QStringLiteral("  example.org/path \n")));
    ASSERT_EQ(urls.opened.size(), 1);
    EXPECT_EQ(urls.opened.at(0), QUrl(QStringLiteral("https://example.org/path")));

    // With "://" anywhere the address is opened as written (trimmed), whatever the scheme;
    // the icon search starts from the stored text.
    const QString stored = QStringLiteral("  ") + server.url(QStringLiteral("/")) + u' ';
    controller->perform(ButtonAction::url(stored));
    ASSERT_EQ(urls.opened.size(), 2);
    EXPECT_EQ(urls.opened.at(1), QUrl(server.url(QStringLiteral("/"))));
    ASSERT_TRUE(waitUntil([&] { return server.paths().contains(QStringLiteral("/")); }));

    controller->perform(ButtonAction::url(QStringLiteral("ftp://files.example.org")));
    EXPECT_EQ(urls.opened.at(2), QUrl(QStringLiteral("ftp://files.example.org")));

    // Not an address: nothing opens. Blank: nothing at all.
    controller->perform(ButtonAction::url(QStringLiteral("exa mple.org")));
    controller->perform(ButtonAction::url(QStringLiteral("   ")));
    EXPECT_EQ(urls.opened.size(), 3);
}

TEST_F(ActionsTest, KeyboardShortcutNeedsARecordingAndInputAccess) {
    make();
    controller->perform(ButtonAction::keys(KeyCombo{40, 0x120000, QString()}));
    EXPECT_TRUE(keys.presses.empty());
    EXPECT_EQ(permissions.prompts, 0);

    controller->perform(ButtonAction::keys(KeyCombo{40, 0x120000, QStringLiteral("⇧⌘K")}));
    EXPECT_EQ(keys.presses, (std::vector<Press>{{40, 0x120000}}));

    permissions.granted = false;
    controller->perform(ButtonAction::keys(KeyCombo{40, 0x120000, QStringLiteral("⇧⌘K")}));
    EXPECT_EQ(keys.presses.size(), 1u);
    EXPECT_EQ(permissions.prompts, 1);
}

TEST_F(ActionsTest, FunctionsSendTheDesktopsKeys) {
    qunsetenv("XDG_CURRENT_DESKTOP");
    make();
    const std::vector<std::pair<ButtonFunction, Press>> table = {
        {ButtonFunction::copy, {8, 0x40000}},
        {ButtonFunction::cut, {7, 0x40000}},
        {ButtonFunction::paste, {9, 0x40000}},
        {ButtonFunction::pasteWithoutFormatting, {9, 0x60000}},
        {ButtonFunction::undo, {6, 0x40000}},
        {ButtonFunction::redo, {6, 0x60000}},
        {ButtonFunction::selectAll, {0, 0x40000}},
        {ButtonFunction::lockScreen, {37, 0x100000}},
        {ButtonFunction::screenshotTools, {KeyCodes::printScreen, 0}},
        // No portal on the test's bus: Shift+Print.
        {ButtonFunction::screenshot, {KeyCodes::printScreen, 0x20000}},
        {ButtonFunction::spotlight, {120, 0x80000}},  // Alt+F2
        {ButtonFunction::emojiPicker, {47, 0x40000}}, // Ctrl+period
    };
    for (const auto& [function, expected] : table) {
        keys.clear();
        controller->run(function);
        waitUntil([&] { return !keys.presses.empty(); }); // the portal is asked first
        EXPECT_EQ(keys.presses, std::vector<Press>{expected}) << function.rawValue().toStdString();
    }
    keys.clear();
    controller->perform(ButtonAction::function(ButtonFunction::playPause));
    controller->perform(ButtonAction::function(ButtonFunction::nextTrack));
    controller->perform(ButtonAction::function(ButtonFunction::previousTrack));
    EXPECT_EQ(keys.media, (std::vector<Media>{{16, 0}, {19, 0}, {20, 0}}));

    qputenv("XDG_CURRENT_DESKTOP", "KDE");
    keys.clear();
    controller->run(ButtonFunction::emojiPicker);
    controller->run(ButtonFunction::spotlight); // no KRunner on the bus: Alt+F2
    ASSERT_TRUE(waitUntil([&] { return keys.presses.size() == 2; }));
    EXPECT_EQ(keys.presses, (std::vector<Press>{{47, 0x100000}, {120, 0x80000}}));
    qunsetenv("XDG_CURRENT_DESKTOP");
}

TEST_F(ActionsTest, WithoutInputAccessCopyOnlyPromptsAndDarkModeStillToggles) {
    qunsetenv("XDG_CURRENT_DESKTOP");
    // gsettings keeps the setting in a file of the test's own folders.
    qputenv("GSETTINGS_BACKEND", "keyfile");
    make();
    permissions.granted = false;
    controller->run(ButtonFunction::copy);
    controller->perform(ButtonAction::function(ButtonFunction::copy));
    EXPECT_TRUE(keys.presses.empty());
    EXPECT_EQ(permissions.prompts, 2);

    const std::optional<QString> before = gsetting();
    ASSERT_TRUE(before);
    const QString other =
        *before == u"'prefer-dark'" ? QStringLiteral("'default'") : QStringLiteral("'prefer-dark'");
    controller->run(ButtonFunction::toggleDarkMode);
    ASSERT_TRUE(waitUntil([&] { return gsetting() == other; }, 10000));
    controller->run(ButtonFunction::toggleDarkMode);
    ASSERT_TRUE(waitUntil([&] { return gsetting() == before; }, 10000));
    EXPECT_EQ(permissions.prompts, 2);
}

TEST_F(ActionsTest, SleepDisplayOnX11RunsXset) {
    ASSERT_FALSE(qEnvironmentVariableIsEmpty("DISPLAY"));
    make();
    LogCapture log;
    controller->run(ButtonFunction::sleepDisplay);
    ASSERT_EQ(launcher.launched.size(), 1);
    EXPECT_EQ(launcher.launched.at(0),
              (QStringList{QStringLiteral("xset"), QStringLiteral("dpms"), QStringLiteral("force"),
                           QStringLiteral("off")}));
    if (QStandardPaths::findExecutable(QStringLiteral("xset")).isEmpty()) {
        EXPECT_TRUE(log.contains(QStringLiteral("Could not run xset: ")));
    }
}

TEST_F(ActionsTest, TwoPastesWithinTheDelayLeaveTheFirstSnippetsText) {
    DockConfig config;
    const Snippet first = Snippet::make(QStringLiteral("First"), QStringLiteral("first snippet"));
    config.snippets = {first};
    make(config);
    QGuiApplication::clipboard()->setText(QStringLiteral("before"));

    controller->perform(ButtonAction::snippet(first.id));
    EXPECT_EQ(clipboardText(), u"first snippet");
    controller->paste(QStringLiteral("second snippet"));
    EXPECT_EQ(clipboardText(), u"second snippet");
    EXPECT_EQ(keys.presses, (std::vector<Press>{{9, 0x40000}, {9, 0x40000}}));

    // The first restore finds the clipboard changed and leaves it; the second puts back what
    // the second paste saved.
    ASSERT_TRUE(waitUntil([] { return clipboardText() == u"first snippet"; }));

    // A snippet that no longer exists pastes nothing.
    keys.clear();
    controller->perform(ButtonAction::snippet(QUuid::createUuid()));
    EXPECT_TRUE(keys.presses.empty());
}

TEST_F(ActionsTest, PasteRestoresEveryFormatAndAnEmptyClipboardStaysEmpty) {
    make();
    auto* rich = new QMimeData;
    rich->setText(QStringLiteral("plain"));
    rich->setHtml(QStringLiteral("<i>rich</i>"));
    QGuiApplication::clipboard()->setMimeData(rich);
    controller->paste(QStringLiteral("typed"));
    ASSERT_TRUE(waitUntil([] { return clipboardText() == u"plain"; }));
    EXPECT_EQ(QGuiApplication::clipboard()->mimeData()->html(), u"<i>rich</i>");

    QGuiApplication::clipboard()->clear();
    controller->paste(QStringLiteral("typed"));
    ASSERT_TRUE(waitUntil([&] {
        const QMimeData* data = QGuiApplication::clipboard()->mimeData();
        return keys.presses.size() == 2u && (!data || data->formats().isEmpty());
    }));

    permissions.granted = false;
    controller->paste(QStringLiteral("not typed"));
    EXPECT_EQ(keys.presses.size(), 2u);
    EXPECT_EQ(permissions.prompts, 1);
}

// Another client owns the clipboard and is slow to list its formats (a busy browser, a
// remote-desktop bridge): its text comes back after the paste; when nothing can be read, the
// clipboard stays as it has it.
TEST_F(ActionsTest, SnippetPasteNeverWipesTheClipboardOfASlowOwner) {
    make();
    constexpr int kLateListMs = 600; // over the quarter second allowed for the list
    {
        SlowClipboardOwner owner({{QStringLiteral("UTF8_STRING"), "the owner's text", 0},
                                  {QStringLiteral("text/html"), "<b>the owner's</b>", 0}},
                                 kLateListMs);
        ASSERT_TRUE(owner.owns());
        ASSERT_TRUE(waitUntil([] { return !QGuiApplication::clipboard()->ownsClipboard(); }));
        LogCapture log;
        controller->paste(QStringLiteral("a snippet"));
        ASSERT_TRUE(waitUntil([&] { return keys.presses.size() == 1; }));
        EXPECT_EQ(keys.presses.front(), (Press{9, 0x40000}));
        ASSERT_TRUE(waitUntil([] { return clipboardText() == u"the owner's text"; }));
        EXPECT_TRUE(log.contains(QStringLiteral("saved its text only")));
    }

    keys.clear();
    SlowClipboardOwner hung({{QStringLiteral("UTF8_STRING"), "kept", -1}}, -1);
    ASSERT_TRUE(hung.owns());
    ASSERT_TRUE(waitUntil([] { return !QGuiApplication::clipboard()->ownsClipboard(); }));
    LogCapture log;
    controller->paste(QStringLiteral("a snippet"));
    ASSERT_TRUE(waitUntil([&] { return log.contains(QStringLiteral("Could not paste")); }));
    EXPECT_EQ(log.count(QStringLiteral("clipboard")), 1);
    EXPECT_TRUE(keys.presses.empty());
    EXPECT_FALSE(hung.lost());
}

TEST_F(ActionsTest, OutputMuteToggleShowsTheRealState) {
    make(direct());
    ASSERT_TRUE(audio->setVolume(AudioDirection::output, 0.5F));
    const auto sink = audio->defaultDevice(AudioDirection::output);
    ASSERT_TRUE(sink);
    ASSERT_TRUE(audio->setMuted(AudioDirection::output, *sink, false));

    ASSERT_TRUE(
        settled([&] { controller->perform(ButtonAction::function(ButtonFunction::toggleMute)); }));
    EXPECT_EQ(audio->isMuted(AudioDirection::output, *sink), true);
    EXPECT_EQ(shown().symbol, u"speaker.slash.fill");
    EXPECT_EQ(shown().title, u"Volume");
    EXPECT_FALSE(shown().value);

    ASSERT_TRUE(settled([&] { controller->toggleOutputMute(); }));
    EXPECT_EQ(audio->isMuted(AudioDirection::output, *sink), false);
    EXPECT_EQ(shown().symbol, u"speaker.wave.2.fill");
    ASSERT_TRUE(shown().value);
    EXPECT_NEAR(*shown().value, 0.5, 0.002);
    EXPECT_TRUE(keys.media.empty());
}

TEST_F(ActionsTest, NativeMuteIsTheDesktopsMuteKey) {
    make(); // nativeIndicators on, input access granted
    const auto sink = audio->defaultDevice(AudioDirection::output);
    ASSERT_TRUE(settled([&] { controller->toggleOutputMute(); }));
    EXPECT_EQ(keys.media, (std::vector<Media>{{7, 0}}));
    EXPECT_EQ(audio->isMuted(AudioDirection::output, *sink), false);
    EXPECT_EQ(controller->hud().generation(), 0);

    // Without input access the direct way is taken, and the prompt comes once a run.
    permissions.granted = false;
    ASSERT_TRUE(settled([&] { controller->toggleOutputMute(); }));
    ASSERT_TRUE(settled([&] { controller->toggleOutputMute(); }));
    EXPECT_EQ(permissions.prompts, 1);
    EXPECT_EQ(keys.media.size(), 1u);
}

TEST_F(ActionsTest, MicMuteTogglesTheSourceMute) {
    make();
    const auto source = audio->defaultDevice(AudioDirection::input);
    ASSERT_TRUE(source);
    ASSERT_TRUE(audio->setVolume(AudioDirection::input, 0.6F));
    ASSERT_TRUE(settled([&] { controller->run(ButtonFunction::toggleMicMute); }));
    EXPECT_EQ(audio->isMuted(AudioDirection::input, *source), true);
    EXPECT_EQ(shown().symbol, u"mic.slash.fill");
    EXPECT_EQ(shown().title, u"Microphone");
    ASSERT_TRUE(settled([&] { controller->toggleMicMute(); }));
    EXPECT_EQ(audio->isMuted(AudioDirection::input, *source), false);
    EXPECT_EQ(shown().symbol, u"mic.fill");
    EXPECT_NEAR(shown().value.value_or(-1), 0.6, 0.002);
    EXPECT_TRUE(near(audio->volume(AudioDirection::input), 0.6F));
}

TEST_F(ActionsTest, SoftMuteRoundTripWithoutAMuteSwitch) {
    NoMicMute noMute(*audio);
    make(DockConfig(), &noMute);
    ASSERT_TRUE(audio->setVolume(AudioDirection::input, 0.4F));

    ASSERT_TRUE(settled([&] { controller->toggleMicMute(); }));
    EXPECT_TRUE(near(audio->volume(AudioDirection::input), 0.0F));
    EXPECT_EQ(shown().symbol, u"mic.slash.fill");
    EXPECT_FALSE(shown().value);

    ASSERT_TRUE(settled([&] { controller->toggleMicMute(); }));
    EXPECT_TRUE(near(audio->volume(AudioDirection::input), 0.4F));
    EXPECT_EQ(shown().symbol, u"mic.fill");
    EXPECT_NEAR(shown().value.value_or(-1), 0.4, 0.002);
}

TEST_F(ActionsTest, ShortcutRunsTheFoldersScriptAndAppOpensItsEntry) {
    make();
    QTemporaryDir dir;
    const QString marker = dir.filePath(QStringLiteral("ran"));
    ASSERT_TRUE(writeFile(shortcutsFolder() + QStringLiteral("/Say hello"),
                          "#!/bin/sh\necho hello > '" + marker.toUtf8() + "'\n", true));
    controller->perform(ButtonAction::shortcut(QStringLiteral("Say hello")));
    ASSERT_TRUE(waitUntil([&] { return readFile(marker) == "hello\n"; }));

    LogCapture log;
    controller->perform(ButtonAction::shortcut(QStringLiteral("../Say hello")));
    controller->perform(ButtonAction::shortcut(QString()));
    EXPECT_EQ(log.count(QStringLiteral("Could not run ../Say hello: ")), 1);
    EXPECT_EQ(launcher.launched.size(), 1);

    const QString appMarker = dir.filePath(QStringLiteral("app"));
    const QString entry = dir.filePath(QStringLiteral("org.example.Touch.desktop"));
    ASSERT_TRUE(writeFile(entry, "[Desktop Entry]\nType=Application\nName=Touch\nExec=touch " +
                                     appMarker.toUtf8() + "\n"));
    controller->perform(ButtonAction::app(entry));
    ASSERT_TRUE(waitUntil([&] { return QFileInfo::exists(appMarker); }));
    controller->perform(ButtonAction::app(QString()));
    controller->perform(ButtonAction::app(dir.filePath(QStringLiteral("gone.desktop"))));
    EXPECT_EQ(
        log.count(QStringLiteral("Could not open ") + dir.filePath(QStringLiteral("gone.desktop"))),
        1);
}
