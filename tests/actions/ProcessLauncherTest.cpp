#include "system/ProcessLauncher.h"
#include "support/Log.h"
#include "system/AppLauncher.h"
#include "system/DesktopCommands.h"

#include "actions/ActionsTestUtil.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QTemporaryDir>
#include <QUrl>

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace velloq;
using velloq::test::readFile;
using velloq::test::waitUntil;
using velloq::test::writeFile;

namespace {

// A script that reports its arguments, its folder, its parent and whether descriptor $1 is
// open, then writes "done" last.
const QByteArray kReporter = "#!/bin/sh\n"
                             "out=\"$1\"; fd=\"$2\"; shift 2\n"
                             "printf '%s\\n' \"$@\" > \"$out.args\"\n"
                             "pwd > \"$out.cwd\"\n"
                             "echo $PPID > \"$out.ppid\"\n"
                             "if [ -e /proc/$$/fd/$fd ]; then echo open; else echo closed; fi "
                             "> \"$out.fd\"\n"
                             "echo done > \"$out.done\"\n";

QString line(const QByteArray& bytes) {
    return QString::fromUtf8(bytes).trimmed();
}

} // namespace

TEST(ProcessLauncher, PassesArgumentsVerbatimWithoutInheritingDescriptors) {
    QTemporaryDir dir;
    const QString script = dir.filePath(QStringLiteral("reporter.sh"));
    ASSERT_TRUE(writeFile(script, kReporter, true));
    const QString work = dir.filePath(QStringLiteral("work folder"));
    ASSERT_TRUE(QDir().mkpath(work));

    // A descriptor without close-on-exec, as a library might leave one.
    const int leaked = ::open("/dev/null", O_RDONLY);
    ASSERT_GE(leaked, 3);

    const QString out = dir.filePath(QStringLiteral("report"));
    const QStringList args = {QStringLiteral("two words"), QStringLiteral("$HOME"),
                              QStringLiteral("`id`; rm -rf x"), QStringLiteral("\"q\""),
                              QStringLiteral("ünï")};
    DetachedProcessLauncher launcher;
    const LaunchResult result =
        launcher.launch(script, QStringList{out, QString::number(leaked)} + args, work);
    ::close(leaked);
    ASSERT_TRUE(result.started) << result.error.toStdString();

    ASSERT_TRUE(waitUntil([&] { return QFileInfo::exists(out + QStringLiteral(".done")); }));
    EXPECT_EQ(QString::fromUtf8(readFile(out + QStringLiteral(".args"))), args.join(u'\n') + u'\n');
    EXPECT_EQ(line(readFile(out + QStringLiteral(".cwd"))), work);
    EXPECT_EQ(line(readFile(out + QStringLiteral(".fd"))), u"closed");
    // Detached: the script is not our child, and we are left with no child to reap.
    EXPECT_NE(line(readFile(out + QStringLiteral(".ppid"))).toInt(), ::getpid());
    EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
}

TEST(ProcessLauncher, ReportsWhyAProgramCouldNotStart) {
    QTemporaryDir dir;
    DetachedProcessLauncher launcher;

    LaunchResult missing = launcher.launch(dir.filePath(QStringLiteral("absent")), {});
    EXPECT_FALSE(missing.started);
    EXPECT_EQ(missing.error, qt_error_string(ENOENT));

    const QString plain = dir.filePath(QStringLiteral("not-executable"));
    ASSERT_TRUE(writeFile(plain, "#!/bin/sh\n"));
    LaunchResult denied = launcher.launch(plain, {});
    EXPECT_FALSE(denied.started);
    EXPECT_EQ(denied.error, qt_error_string(EACCES));

    LaunchResult badFolder =
        launcher.launch(QStringLiteral("true"), {}, dir.filePath(QStringLiteral("no-such")));
    EXPECT_FALSE(badFolder.started);
    EXPECT_TRUE(badFolder.error.contains(dir.filePath(QStringLiteral("no-such"))));

    EXPECT_FALSE(launcher.launch(QStringLiteral("velloq-no-such-program-anywhere"), {}).started);
    EXPECT_TRUE(launcher.launch(QStringLiteral("true"), {}).started); // found in PATH

    LogCapture log;
    EXPECT_FALSE(runProcess(launcher, dir.filePath(QStringLiteral("absent")), {}));
    EXPECT_EQ(log.lines(), QStringList{QStringLiteral("Could not run ") +
                                       dir.filePath(QStringLiteral("absent")) +
                                       QStringLiteral(": ") + qt_error_string(ENOENT)});
}

TEST(DesktopEntryLaunch, RunsExecWithFieldCodesInItsPathFolder) {
    QTemporaryDir dir;
    const QString script = dir.filePath(QStringLiteral("my app.sh"));
    ASSERT_TRUE(writeFile(script,
                          "#!/bin/sh\n"
                          "printf '%s\\n' \"$@\" > \"$VELLOQ_TEST_OUT.args\"\n"
                          "pwd > \"$VELLOQ_TEST_OUT.cwd\"\n"
                          "echo done > \"$VELLOQ_TEST_OUT.done\"\n",
                          true));
    const QString out = dir.filePath(QStringLiteral("report"));
    qputenv("VELLOQ_TEST_OUT", QFile::encodeName(out));
    const QString entry = dir.filePath(QStringLiteral("org.example.App.desktop"));
    ASSERT_TRUE(writeFile(entry, "[Desktop Entry]\nType=Application\nName=My App\nIcon=my-icon\n"
                                 "Exec=\"" +
                                     script.toUtf8() +
                                     "\" --name=%c %U \"a \\\\\"b\\\\\"\" 100%% %i %k\n"
                                     "Path=" +
                                     dir.path().toUtf8() + "\n"));

    DetachedProcessLauncher launcher;
    ASSERT_TRUE(openDesktopEntry(launcher, entry));
    ASSERT_TRUE(waitUntil([&] { return QFileInfo::exists(out + QStringLiteral(".done")); }));
    EXPECT_EQ(QString::fromUtf8(readFile(out + QStringLiteral(".args"))),
              QStringLiteral("--name=My App\na \"b\"\n100%\n--icon\nmy-icon\n") + entry + u'\n');
    EXPECT_EQ(line(readFile(out + QStringLiteral(".cwd"))), dir.path());
    qunsetenv("VELLOQ_TEST_OUT");
}

TEST(DesktopEntryLaunch, LogsWhatCouldNotBeOpened) {
    QTemporaryDir dir;
    DetachedProcessLauncher launcher;
    LogCapture log;

    const QString absent = dir.filePath(QStringLiteral("absent.desktop"));
    EXPECT_FALSE(openDesktopEntry(launcher, absent));

    const QString broken = dir.filePath(QStringLiteral("broken.desktop"));
    ASSERT_TRUE(writeFile(broken, "[Desktop Entry]\nType=Application\nName=Broken\n"
                                  "Exec=/nonexistent/velloq-app --flag\n"));
    EXPECT_FALSE(openDesktopEntry(launcher, broken));

    ASSERT_EQ(log.lines().size(), 2);
    EXPECT_TRUE(log.lines().at(0).startsWith(QStringLiteral("Could not open ") + absent + u": "));
    EXPECT_EQ(log.lines().at(1),
              QStringLiteral("Could not open ") + broken + u": " + qt_error_string(ENOENT));
}

TEST(DesktopEntryLaunch, TerminalEntriesRunInTheUsersTerminal) {
    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("terminal"));
    const QString bin = dir.filePath(QStringLiteral("bin"));
    const QByteArray recorder =
        "#!/bin/sh\nprintf '%s\\n' \"$0\" \"$@\" > \"" + QFile::encodeName(out) + "\"\n";
    const QString entry = dir.filePath(QStringLiteral("htop.desktop"));
    ASSERT_TRUE(writeFile(entry, "[Desktop Entry]\nType=Application\nName=Htop\n"
                                 "Terminal=true\nExec=/usr/bin/htop --tree\n"));
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(bin));
    DetachedProcessLauncher launcher;

    ASSERT_TRUE(writeFile(bin + QStringLiteral("/x-terminal-emulator"), recorder, true));
    ASSERT_TRUE(openDesktopEntry(launcher, entry));
    ASSERT_TRUE(waitUntil([&] { return !readFile(out).isEmpty(); }));
    EXPECT_EQ(QString::fromUtf8(readFile(out)),
              bin + QStringLiteral("/x-terminal-emulator\n-e\n/usr/bin/htop\n--tree\n"));

    QFile::remove(out);
    ASSERT_TRUE(writeFile(bin + QStringLiteral("/xdg-terminal-exec"), recorder, true));
    ASSERT_TRUE(openDesktopEntry(launcher, entry)); // the desktop's own choice comes first
    ASSERT_TRUE(waitUntil([&] { return !readFile(out).isEmpty(); }));
    EXPECT_EQ(QString::fromUtf8(readFile(out)),
              bin + QStringLiteral("/xdg-terminal-exec\n/usr/bin/htop\n--tree\n"));

    QDir(bin).removeRecursively();
    LogCapture log;
    EXPECT_FALSE(openDesktopEntry(launcher, entry));
    EXPECT_EQ(log.lines(), QStringList{QStringLiteral("Could not run /usr/bin/htop: no terminal "
                                                      "emulator is installed")});
    qputenv("PATH", path);
}

TEST(DesktopCommands, DarkModeFailuresAreLoggedAndAHungCommandIsKilled) {
    QTemporaryDir dir;
    const QByteArray path = qgetenv("PATH");
    const QByteArray desktop = qgetenv("XDG_CURRENT_DESKTOP");
    qputenv("PATH", QFile::encodeName(dir.path()) + ':' + path);
    ASSERT_TRUE(writeFile(dir.filePath(QStringLiteral("plasma-apply-colorscheme")),
                          "#!/bin/sh\necho 'no such scheme' >&2\nexit 1\n", true));
    const QString pidFile = dir.filePath(QStringLiteral("pid"));
    ASSERT_TRUE(writeFile(
        dir.filePath(QStringLiteral("gsettings")),
        "#!/bin/sh\necho $$ > \"" + QFile::encodeName(pidFile) + "\"\nexec sleep 60\n", true));
    QObject context;
    LogCapture log;

    qputenv("XDG_CURRENT_DESKTOP", "KDE");
    DesktopCommands::toggleDarkMode(&context);
    EXPECT_TRUE(waitUntil([&] {
        return log.contains(
            QStringLiteral("Could not run plasma-apply-colorscheme: no such scheme"));
    }));

    qputenv("XDG_CURRENT_DESKTOP", "GNOME");
    DesktopCommands::toggleDarkMode(&context, 300);
    EXPECT_TRUE(waitUntil([&] {
        return log.contains(QStringLiteral("Could not run gsettings: no result after 300 ms"));
    }));
    const QString pid = QString::fromUtf8(readFile(pidFile)).trimmed();
    ASSERT_FALSE(pid.isEmpty());
    EXPECT_TRUE(waitUntil([&] { return !QFileInfo::exists(QStringLiteral("/proc/") + pid); }));
    qputenv("PATH", path);
    qputenv("XDG_CURRENT_DESKTOP", desktop);
}

// A failed press needs the script's exit status, while the script still outlives Velloq and
// the waiting process keeps none of our descriptors (a dock socket held open would linger).
TEST(ProcessLauncher, WatchedProgramReportsItsExitStatusAndHoldsNothingOfOurs) {
    QTemporaryDir dir;
    const QString script = dir.filePath(QStringLiteral("ends.sh"));
    ASSERT_TRUE(writeFile(script, "#!/bin/sh\nexit \"$1\"\n", true));
    DetachedProcessLauncher launcher;
    QObject context;
    QList<int> statuses;
    auto watch = [&](const QStringList& args) {
        return launcher.launchWatched(script, args, &context,
                                      [&](int status) { statuses << status; });
    };
    EXPECT_TRUE(watch({QStringLiteral("0")}).started);
    ASSERT_TRUE(waitUntil([&] { return statuses.size() == 1; }));
    EXPECT_TRUE(watch({QStringLiteral("7")}).started);
    ASSERT_TRUE(waitUntil([&] { return statuses.size() == 2; }));
    EXPECT_EQ(statuses, (QList<int>{0, 7}));

    const LaunchResult missing = launcher.launchWatched(dir.filePath(QStringLiteral("absent")), {},
                                                        &context, [&](int) { statuses << -1; });
    EXPECT_FALSE(missing.started);

    // The pipe of a socket we hold: the waiting process must not keep its write end.
    int ends[2];
    ASSERT_EQ(::pipe2(ends, O_CLOEXEC), 0);
    const QString sleeper = dir.filePath(QStringLiteral("sleeper.sh"));
    const QString pidFile = dir.filePath(QStringLiteral("sleeper.pid"));
    ASSERT_TRUE(writeFile(sleeper, "#!/bin/sh\necho $$ > \"$1\"\nexec sleep 30\n", true));
    ASSERT_TRUE(launcher.launchWatched(sleeper, {pidFile}, &context, [](int) {}).started);
    ASSERT_TRUE(waitUntil([&] { return readFile(pidFile).endsWith('\n'); }));
    ::close(ends[1]);
    pollfd hangUp{ends[0], POLLIN, 0};
    ASSERT_EQ(::poll(&hangUp, 1, 5000), 1); // no copy of the write end is left anywhere
    char byte = 0;
    EXPECT_EQ(::read(ends[0], &byte, 1), 0);
    ::close(ends[0]);
    ::kill(readFile(pidFile).trimmed().toInt(), SIGTERM);
    EXPECT_EQ(statuses.size(), 2);
}

// A website press with no browser: xdg-open ends at once with a failure status.
TEST(DesktopUrlOpener, AQuickFailureOfXdgOpenIsReported) {
    QTemporaryDir bin;
    const QString opener = bin.filePath(QStringLiteral("xdg-open"));
    ASSERT_TRUE(writeFile(opener, "#!/bin/sh\necho \"$1\" > \"$0.url\"\nexit 3\n", true));
    qputenv("PATH", (bin.path() + QStringLiteral(":/usr/bin:/bin")).toUtf8());
    DetachedProcessLauncher launcher;
    DesktopUrlOpener urls(launcher);
    LogCapture log;
    QStringList reasons;
    urls.openUrl(QUrl(QStringLiteral("https://velloq.org/a?b=1")),
                 [&](const QString& reason) { reasons << reason; });
    ASSERT_TRUE(waitUntil([&] { return !reasons.isEmpty(); }));
    EXPECT_EQ(reasons, QStringList{QStringLiteral("no application handles it")});
    EXPECT_EQ(line(readFile(opener + QStringLiteral(".url"))), u"https://velloq.org/a?b=1");
    EXPECT_EQ(log.count(QStringLiteral("Could not open https://velloq.org/a?b=1: ")), 1);
}
