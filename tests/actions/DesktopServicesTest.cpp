#include "support/Log.h"
#include "system/Applications.h"
#include "system/Autostart.h"
#include "system/Clipboard.h"
#include "system/ProcessLauncher.h"
#include "system/ShortcutsFolder.h"

#include "actions/ActionsTestUtil.h"
#include "support/TestEnv.h"

#include "SlowClipboardOwner.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace velloq;
using velloq::test::readFile;
using velloq::test::waitUntil;
using velloq::test::writeFile;

namespace {

QStringList names(const QList<AppEntry>& apps) {
    QStringList out;
    for (const AppEntry& app : apps)
        out << app.name;
    return out;
}

QByteArray entryText(const QString& name, const QString& exec) {
    return "[Desktop Entry]\nType=Application\nName=" + name.toUtf8() + "\nExec=" + exec.toUtf8() +
           "\n";
}

// What Clipboard::snapshot hands over, waited for.
std::optional<Clipboard::Snapshot> snapshotOf(const Clipboard& clipboard) {
    std::optional<std::optional<Clipboard::Snapshot>> result;
    QObject context;
    clipboard.snapshot(
        &context, [&](std::optional<Clipboard::Snapshot> saved) { result = std::move(saved); });
    EXPECT_TRUE(waitUntil([&] { return result.has_value(); }));
    return result.value_or(std::nullopt);
}

} // namespace

// Runs on the X server of the session (xcb), so the clipboard is the real one.
TEST(Clipboard, SnapshotKeepsEveryFormatAndRestoresIt) {
    Clipboard clipboard;
    QClipboard* system = QGuiApplication::clipboard();

    auto* original = new QMimeData;
    original->setText(QStringLiteral("plain"));
    original->setHtml(QStringLiteral("<b>rich</b>"));
    original->setData(QStringLiteral("application/x-velloq-test"), QByteArray("\x01\x02", 2));
    const uint64_t before = clipboard.changeCount();
    system->setMimeData(original);
    ASSERT_TRUE(waitUntil([&] { return clipboard.changeCount() > before; }));

    const Clipboard::Snapshot saved = snapshotOf(clipboard).value_or(Clipboard::Snapshot());
    QStringList formats;
    for (const auto& [format, bytes] : saved)
        formats << format;
    EXPECT_TRUE(formats.contains(QStringLiteral("text/plain")));
    EXPECT_TRUE(formats.contains(QStringLiteral("text/html")));
    EXPECT_TRUE(formats.contains(QStringLiteral("application/x-velloq-test")));

    clipboard.setText(QStringLiteral("replacement"));
    EXPECT_EQ(clipboard.text(), u"replacement");
    EXPECT_FALSE(system->mimeData()->hasHtml());

    clipboard.restore(saved);
    const QMimeData* back = system->mimeData();
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->text(), u"plain");
    EXPECT_EQ(back->html(), u"<b>rich</b>");
    EXPECT_EQ(back->data(QStringLiteral("application/x-velloq-test")), QByteArray("\x01\x02", 2));

    clipboard.restore({});
    EXPECT_EQ(snapshotOf(clipboard), Clipboard::Snapshot());
}

TEST(Autostart, EntryOnAndOffFollowsTheFile) {
    const QString path = Autostart::entryPath();
    EXPECT_EQ(path, qEnvironmentVariable("XDG_CONFIG_HOME") +
                        QStringLiteral("/autostart/velloq.desktop"));
    QFile::remove(path);
    EXPECT_FALSE(Autostart::isEnabled());

    // A path with a space and a percent sign still comes back as one program.
    const QString exe = QStringLiteral("/opt/Velloq 100%/bin/velloq");
    QString error;
    ASSERT_TRUE(Autostart::setEnabled(true, exe, &error)) << error.toStdString();
    EXPECT_TRUE(Autostart::isEnabled());
    const std::optional<DesktopEntry> entry = DesktopEntry::read(path);
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->commandLine(), QStringList{exe});
    EXPECT_EQ(entry->type, u"Application");

    ASSERT_TRUE(Autostart::setEnabled(false, exe, &error));
    EXPECT_FALSE(QFileInfo::exists(path));
    EXPECT_FALSE(Autostart::isEnabled());
    EXPECT_TRUE(Autostart::setEnabled(false, exe, &error)); // already off

    ASSERT_TRUE(writeFile(path, "[Desktop Entry]\nType=Application\nExec=velloq\nHidden=true\n"));
    EXPECT_FALSE(Autostart::isEnabled());
    QFile::remove(path);
}

TEST(Autostart, FailureGivesTheReasonAndTheNote) {
    const QString folder = QFileInfo(Autostart::entryPath()).absolutePath();
    QDir(folder).removeRecursively();
    ASSERT_TRUE(writeFile(folder, "a file where the folder should be"));
    QString error;
    EXPECT_FALSE(Autostart::setEnabled(true, QStringLiteral("/usr/bin/velloq"), &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(Autostart::isEnabled());
    EXPECT_EQ(Autostart::failureNote(QStringLiteral("Permission denied")),
              QStringLiteral("Couldn’t change this: Permission denied. Make sure "
                             "~/.config/autostart is writable."));
    QFile::remove(folder);
}

TEST(ShortcutsFolder, ListsExecutableFilesTrimmedAndSorted) {
    EXPECT_EQ(ShortcutsFolder::tidyNames({QStringLiteral("  B"), QString(), QStringLiteral("a")}),
              (QStringList{QStringLiteral("a"), QStringLiteral("B")}));
    EXPECT_EQ(ShortcutsFolder::tidyNames({QStringLiteral("b"), QStringLiteral("\tA "),
                                          QStringLiteral("  "), QStringLiteral("c")}),
              (QStringList{QStringLiteral("A"), QStringLiteral("b"), QStringLiteral("c")}));

    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("Shortcuts"));
    EXPECT_EQ(ShortcutsFolder::listNames(folder), QStringList()); // made when missing
    EXPECT_TRUE(QFileInfo(folder).isDir());
    ASSERT_TRUE(writeFile(folder + QStringLiteral("/  B"), "#!/bin/sh\n", true));
    ASSERT_TRUE(writeFile(folder + QStringLiteral("/a"), "#!/bin/sh\n", true));
    ASSERT_TRUE(writeFile(folder + QStringLiteral("/notes.txt"), "not a script"));
    ASSERT_TRUE(writeFile(folder + QStringLiteral("/.hidden"), "#!/bin/sh\n", true));
    ASSERT_TRUE(QDir().mkpath(folder + QStringLiteral("/subfolder")));
    EXPECT_EQ(ShortcutsFolder::listNames(folder),
              (QStringList{QStringLiteral("a"), QStringLiteral("B")}));

    QStringList delivered;
    QObject context;
    ShortcutsFolder::listNamesInBackground(
        &context, [&](const QStringList& result) { delivered = result; }, folder);
    ASSERT_TRUE(waitUntil([&] { return !delivered.isEmpty(); }));
    EXPECT_EQ(delivered, (QStringList{QStringLiteral("a"), QStringLiteral("B")}));
}

TEST(ShortcutsFolder, RunsOnlyScriptsOfTheFolder) {
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("Shortcuts"));
    const QString out = dir.filePath(QStringLiteral("ran"));
    ASSERT_TRUE(writeFile(folder + QStringLiteral("/  Hello"),
                          "#!/bin/sh\necho \"$#\" > '" + out.toUtf8() + "'\n", true));
    ASSERT_TRUE(writeFile(folder + QStringLiteral("/plain"), "#!/bin/sh\n"));

    QString reason;
    EXPECT_FALSE(ShortcutsFolder::scriptFor(QStringLiteral("../x"), &reason, folder));
    EXPECT_FALSE(ShortcutsFolder::scriptFor(QStringLiteral(".hidden"), &reason, folder));
    EXPECT_FALSE(ShortcutsFolder::scriptFor(QString(), &reason, folder));
    EXPECT_FALSE(ShortcutsFolder::scriptFor(QStringLiteral("plain"), &reason, folder));
    EXPECT_FALSE(ShortcutsFolder::scriptFor(QStringLiteral("absent"), &reason, folder));
    // The listed (trimmed) name and the file's own name both find the file.
    EXPECT_EQ(ShortcutsFolder::scriptFor(QStringLiteral("Hello"), &reason, folder),
              folder + QStringLiteral("/  Hello"));
    EXPECT_EQ(ShortcutsFolder::scriptFor(QStringLiteral("  Hello"), &reason, folder),
              folder + QStringLiteral("/  Hello"));

    DetachedProcessLauncher launcher;
    ASSERT_TRUE(ShortcutsFolder::run(launcher, QStringLiteral("Hello"), folder));
    ASSERT_TRUE(waitUntil([&] { return !readFile(out).isEmpty(); }));
    EXPECT_EQ(readFile(out), "0\n"); // no arguments
}

TEST(Applications, SameAppInTwoFoldersIsListedOnceFromTheEarlierFolder) {
    QTemporaryDir dir;
    const QString first = dir.filePath(QStringLiteral("first/applications"));
    const QString second = dir.filePath(QStringLiteral("second/applications"));
    ASSERT_TRUE(writeFile(first + QStringLiteral("/org.example.Editor.desktop"),
                          entryText(QStringLiteral("Editor"), QStringLiteral("editor"))));
    ASSERT_TRUE(writeFile(second + QStringLiteral("/org.example.Editor.desktop"),
                          entryText(QStringLiteral("Editor"), QStringLiteral("editor"))));
    ASSERT_TRUE(writeFile(second + QStringLiteral("/org.example.beta.desktop"),
                          entryText(QStringLiteral("beta"), QStringLiteral("beta"))));
    ASSERT_TRUE(writeFile(second + QStringLiteral("/org.example.Alpha.desktop"),
                          entryText(QStringLiteral("Alpha"), QStringLiteral("alpha"))));

    const QList<AppEntry> apps = Applications::findInstalledApps({first, second});
    EXPECT_EQ(names(apps), (QStringList{QStringLiteral("Alpha"), QStringLiteral("beta"),
                                        QStringLiteral("Editor")}));
    EXPECT_EQ(apps.at(2).path, first + QStringLiteral("/org.example.Editor.desktop"));
}

TEST(Applications, RunningAppsAreTheInstalledOnesWithAProcessButNotUs) {
    QTemporaryDir dir;
    const QString program = dir.filePath(QStringLiteral("velloq-test-sleeper"));
    ASSERT_TRUE(QFile::copy(QStringLiteral("/bin/sleep"), program));
    const QString apps = dir.filePath(QStringLiteral("applications"));
    ASSERT_TRUE(writeFile(apps + QStringLiteral("/sleeper.desktop"),
                          entryText(QStringLiteral("Sleeper"), program + QStringLiteral(" 30"))));
    ASSERT_TRUE(writeFile(apps + QStringLiteral("/idle.desktop"),
                          entryText(QStringLiteral("Idle"), QStringLiteral("velloq-not-running"))));
    const QList<DesktopEntry> installed = DesktopEntries::installedApplications({apps});
    ASSERT_EQ(installed.size(), 2);

    EXPECT_TRUE(Applications::runningApps(installed).isEmpty());

    QProcess sleeper;
    sleeper.start(program, {QStringLiteral("30")});
    ASSERT_TRUE(sleeper.waitForStarted());
    const QList<AppEntry> running = Applications::runningApps(installed);
    EXPECT_EQ(names(running), QStringList{QStringLiteral("Sleeper")});
    // The process asking is never listed.
    EXPECT_TRUE(
        Applications::runningApps(installed, QStringLiteral("/proc"), pid_t(sleeper.processId()))
            .isEmpty());
    sleeper.kill();
    sleeper.waitForFinished();
}

// Run by the next test in a process of its own: owns the clipboard with two formats until
// told to stop.
TEST(Clipboard, DISABLED_OwnerInAnotherProcess) {
    const QString dir = qEnvironmentVariable("VELLOQ_CLIPBOARD_OWNER_DIR");
    ASSERT_FALSE(dir.isEmpty());
    auto* data = new QMimeData;
    data->setText(QStringLiteral("from another client"));
    data->setHtml(QStringLiteral("<u>another</u>"));
    QGuiApplication::clipboard()->setMimeData(data);
    ASSERT_TRUE(writeFile(dir + QStringLiteral("/ready"), "1"));
    waitUntil([&] { return QFileInfo::exists(dir + QStringLiteral("/done")); }, 20000);
}

TEST(Clipboard, SnapshotReadsAnotherClientsFormatsOverX) {
    QTemporaryDir dir;
    QProcess owner;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("VELLOQ_CLIPBOARD_OWNER_DIR"), dir.path());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    owner.setProcessEnvironment(env);
    owner.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--gtest_also_run_disabled_tests"),
                 QStringLiteral("--gtest_filter=Clipboard.DISABLED_OwnerInAnotherProcess")});
    ASSERT_TRUE(owner.waitForStarted());
    ASSERT_TRUE(
        waitUntil([&] { return QFileInfo::exists(dir.filePath(QStringLiteral("ready"))); }, 15000));
    Clipboard clipboard;
    ASSERT_TRUE(waitUntil([&] { return clipboard.text() == u"from another client"; }));

    const Clipboard::Snapshot saved = snapshotOf(clipboard).value_or(Clipboard::Snapshot());
    clipboard.setText(QStringLiteral("ours now"));
    clipboard.restore(saved);
    writeFile(dir.filePath(QStringLiteral("done")), "1");
    EXPECT_TRUE(owner.waitForFinished(15000));

    // The copy outlives the other client.
    const QMimeData* back = QGuiApplication::clipboard()->mimeData();
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->text(), u"from another client");
    EXPECT_EQ(back->html(), u"<u>another</u>");
}

TEST(Clipboard, ASlowOwnerCostsAQuarterSecondAndItsLateFormatsAreSkipped) {
    test::SlowClipboardOwner owner({
        {QStringLiteral("UTF8_STRING"), "quick text", 0},
        {QStringLiteral("application/x-hung"), "never", -1},
        {QStringLiteral("text/html"), "<b>quick</b>", 0},
        {QStringLiteral("application/x-after"), "after", 0},
    });
    ASSERT_TRUE(owner.owns());
    Clipboard clipboard;
    LogCapture log;
    // Qt learns that it lost the selection (an earlier test left it ours) from the event loop.
    ASSERT_TRUE(waitUntil([] { return !QGuiApplication::clipboard()->ownsClipboard(); }));
    const std::optional<Clipboard::Snapshot> saved = snapshotOf(clipboard);
    EXPECT_EQ(saved, (Clipboard::Snapshot{{QStringLiteral("text/plain"), "quick text"},
                                          {QStringLiteral("text/html"), "<b>quick</b>"}}));
    EXPECT_TRUE(log.contains(QStringLiteral(
        "Could not save the clipboard's application/x-hung, application/x-after: no answer")));
}
