// The one matcher of desktop entries to windows and processes.

#include "system/AppMatcher.h"
#include "support/TestEnv.h"
#include "system/Applications.h"

#include <QDir>
#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

namespace velloq::test {
namespace {

DesktopEntry entryAt(const QString& path, const QString& exec, const QString& wmClass = {}) {
    DesktopEntry entry;
    entry.path = path;
    entry.type = QStringLiteral("Application");
    entry.exec = exec;
    entry.startupWMClass = wmClass;
    return entry;
}

WindowIdentity window(const QString& appId, const QString& wmClass = {},
                      const QString& wmInstance = {}) {
    return {appId, wmClass, wmInstance, 0};
}

TEST(AppMatcher, MatchesByAppIdAndWmClassWithoutRegardToCase) {
    const AppMatcher editor(
        entryAt(QStringLiteral("/usr/share/applications/org.gnome.TextEditor.desktop"),
                QStringLiteral("gnome-text-editor %U")));
    EXPECT_TRUE(editor.matches(window(QStringLiteral("org.gnome.TextEditor")), nullptr));
    EXPECT_TRUE(editor.matches(window(QStringLiteral("org.gnome.texteditor.desktop")), nullptr));
    // Without StartupWMClass, WM_CLASS is compared with the id less ".desktop".
    EXPECT_TRUE(editor.matches(window({}, QStringLiteral("ORG.GNOME.TEXTEDITOR")), nullptr));
    EXPECT_FALSE(editor.matches(window(QStringLiteral("org.gnome.TextEditor2")), nullptr));
    EXPECT_FALSE(editor.matches(window({}, QStringLiteral("gnome-text-editor")), nullptr));
    EXPECT_FALSE(editor.matches(WindowIdentity(), nullptr));

    // StartupWMClass names the class, or the instance.
    const AppMatcher browser(entryAt(QStringLiteral("/usr/share/applications/firefox-esr.desktop"),
                                     QStringLiteral("/usr/lib/firefox-esr/firefox-esr %u"),
                                     QStringLiteral("Firefox-esr")));
    EXPECT_TRUE(browser.matches(
        window({}, QStringLiteral("firefox-esr"), QStringLiteral("Navigator")), nullptr));
    EXPECT_TRUE(browser.matches(window({}, QStringLiteral("Other"), QStringLiteral("FIREFOX-ESR")),
                                nullptr));
    EXPECT_TRUE(browser.matches(window(QStringLiteral("firefox-esr")), nullptr));

    // Ids of entries in subfolders take the folder with a dash; Flatpak apps their app id.
    const DesktopEntry nested = entryAt(QStringLiteral("/usr/share/applications/kde4/kate.desktop"),
                                        QStringLiteral("kate"));
    EXPECT_EQ(AppMatcher::desktopFileId(nested), QStringLiteral("kde4-kate.desktop"));
    EXPECT_TRUE(AppMatcher(nested).matches(window(QStringLiteral("kde4-kate")), nullptr));
    const AppMatcher flatpak(entryAt(
        QStringLiteral("/var/lib/flatpak/exports/share/applications/com.example.Paint.desktop"),
        QStringLiteral("/usr/bin/flatpak run --branch=stable com.example.Paint")));
    EXPECT_TRUE(flatpak.matches(window(QStringLiteral("com.example.paint")), nullptr));
}

// The window's process: the running-app list and the app in front agree on it.
TEST(AppMatcher, MatchesAWindowByItsProcessAsTheRunningAppListDoes) {
    const QString program = scratchDir() + QStringLiteral("/velloq-matcher-sleeper");
    ASSERT_TRUE(QFile::copy(QStringLiteral("/bin/sleep"), program));
    const QString appsDir = scratchDir() + QStringLiteral("/matcher-apps");
    QDir().mkpath(appsDir);
    QFile file(appsDir + QStringLiteral("/sleeper.desktop"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[Desktop Entry]\nType=Application\nName=Sleeper\nExec=" + program.toUtf8() +
               " 60\n");
    file.close();

    QProcess child;
    child.start(program, {QStringLiteral("60")});
    ASSERT_TRUE(child.waitForStarted());
    const pid_t pid = pid_t(child.processId());
    const std::optional<DesktopEntry> entry = DesktopEntry::read(file.fileName());
    ASSERT_TRUE(entry);
    const AppMatcher matcher(*entry);
    const std::optional<ProcessInfo> process = ProcessInfo::read(pid);
    ASSERT_TRUE(process);
    EXPECT_EQ(process->exe, QFileInfo(program).canonicalFilePath());

    // The window says nothing useful about itself: its process does.
    EXPECT_TRUE(matcher.matches(WindowIdentity{{}, QStringLiteral("X"), {}, pid}, &*process));
    const std::optional<ProcessInfo> own = ProcessInfo::read(::getpid());
    EXPECT_FALSE(matcher.matches(WindowIdentity{{}, QStringLiteral("X"), {}, ::getpid()}, &*own));

    const QList<RunningApp> running = Applications::runningProcesses({*entry});
    ASSERT_EQ(running.size(), 1);
    EXPECT_EQ(running.at(0).pids, QList<pid_t>{pid});
    EXPECT_EQ(running.at(0).entryPath, entry->path);
    child.kill();
    child.waitForFinished();
}

} // namespace
} // namespace velloq::test
