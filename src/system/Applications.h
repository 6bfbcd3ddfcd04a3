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
    QString path; // absolute path of its .desktop file
    QString name; // display name
    QIcon icon;   // the entry's icon; null when it has none

    bool operator==(const AppEntry& other) const { return path == other.path; }
};

namespace Applications {

// Sorts stably by name in the locale's case-insensitive order.
void sortByName(QList<AppEntry>& apps);

// The shown applications of the installed desktop entries in `dirs` (an entry id found in an
// earlier folder wins), sorted by name.
QList<AppEntry> findInstalledApps(const QStringList& dirs = DesktopEntries::applicationDirs());

// The installed applications that have a process of the current user running: a process
// matches an entry when its program is the entry's Exec program or TryExec. Our own process
// is left out, and an application with several processes is listed once. Sorted by name.
QList<AppEntry> runningApps(const QList<DesktopEntry>& installed,
                            const QString& procRoot = QStringLiteral("/proc"),
                            pid_t ownPid = ::getpid());

} // namespace Applications

} // namespace velloq
