#pragma once

#include "support/DesktopEntry.h"

#include <QIcon>
#include <QList>
#include <QString>

#include <sys/types.h>
#include <unistd.h>

namespace velloq {

// An application offered for choice, identified by its path.
struct AppEntry {
    QString path;          // absolute path of its .desktop file
    QString name;          // display name
    QIcon icon;            // the entry's icon; null when it has none or it is not made yet
    QString iconName = {}; // the entry's Icon, from which withIcons() makes `icon`

    bool operator==(const AppEntry& other) const { return path == other.path; }
};

// An installed application with the user's processes that run it. Plain data.
struct RunningApp {
    QString name;              // the entry's Name, or the program's own name; may be empty
    QString iconName;          // the entry's Icon
    QString entryPath;         // empty when listed under the program's own name
    QList<pid_t> pids;         // ascending
    QList<quint64> startTimes; // per pid, so a reused pid is never killed
};

// The installed applications and which of them run. Everything here but withIcons() reads
// files only and is safe on any thread; icons are made on the main thread by withIcons().
namespace Applications {

// Sorts stably by name in the locale's case-insensitive order.
void sortByName(QList<AppEntry>& apps);

// The shown applications of the installed desktop entries in `dirs` (an entry id found in an
// earlier folder wins), sorted by name. Without icons.
QList<AppEntry> findInstalledApps(const QStringList& dirs = DesktopEntries::applicationDirs());

// The user's processes that run installed applications, over `installed`: a process belongs
// to an entry when AppMatcher says so (the matcher the pages that follow the app in front use
// too). When several entries share a program (a launcher and the games it starts:
// Exec=steam steam://rungameid/N), the process goes to the entry whose Exec has no argument
// beyond options, else it is listed under the program's own name. Our own process and other
// instances of our program are left out. Sorted by name, stable in the order of the first
// process id.
QList<RunningApp> runningProcesses(const QList<DesktopEntry>& installed,
                                   const QString& procRoot = QStringLiteral("/proc"),
                                   pid_t ownPid = ::getpid());

// The installed applications that have a process running (runningProcesses), over the
// entries installed now in `dirs`, sorted by name. Without icons.
QList<AppEntry> runningApps(const QStringList& dirs = DesktopEntries::applicationDirs(),
                            const QString& procRoot = QStringLiteral("/proc"),
                            pid_t ownPid = ::getpid());

// The same over entries read before, with icons. Main thread.
QList<AppEntry> runningApps(const QList<DesktopEntry>& installed,
                            const QString& procRoot = QStringLiteral("/proc"),
                            pid_t ownPid = ::getpid());

// Makes each entry's icon from its iconName. Main thread (icon themes are not thread-safe).
QList<AppEntry> withIcons(QList<AppEntry> apps);
QIcon iconFor(const QString& iconName);

// Field 22 of /proc/<pid>/stat, the start time that tells a reused pid apart.
std::optional<quint64> startTimeOf(const QString& procDir);

} // namespace Applications

} // namespace velloq
