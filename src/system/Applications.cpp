#include "system/Applications.h"

#include "system/AppMatcher.h"

#include <QCollator>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QStandardPaths>

#include <algorithm>
#include <optional>

namespace velloq {

namespace {

QString baseName(const QString& path) {
    return path.mid(path.lastIndexOf(u'/') + 1);
}

QString displayNameOf(const RunningApp& app) {
    if (!app.name.isEmpty() || app.entryPath.isEmpty())
        return app.name;
    QString file = QFileInfo(app.entryPath).fileName();
    if (file.endsWith(QStringLiteral(".desktop")))
        file.chop(8);
    return file;
}

QList<AppEntry> entriesOf(const QList<RunningApp>& running) {
    QList<AppEntry> apps;
    for (const RunningApp& app : running) {
        if (!app.entryPath.isEmpty())
            apps.append({app.entryPath, displayNameOf(app), QIcon(), app.iconName});
    }
    Applications::sortByName(apps);
    return apps;
}

} // namespace

namespace Applications {

std::optional<quint64> startTimeOf(const QString& procDir) {
    QFile file(procDir + QStringLiteral("/stat"));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray stat = file.readAll();
    const qsizetype close = stat.lastIndexOf(')');
    if (close < 0)
        return std::nullopt;
    const QList<QByteArray> fields = stat.mid(close + 2).split(' ');
    // fields[0] is field 3 (state), so field 22 is fields[19].
    if (fields.size() < 20)
        return std::nullopt;
    bool ok = false;
    const quint64 value = fields.at(19).toULongLong(&ok);
    if (!ok)
        return std::nullopt;
    return value;
}

void sortByName(QList<AppEntry>& apps) {
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(apps.begin(), apps.end(), [&collator](const AppEntry& a, const AppEntry& b) {
        return collator.compare(a.name, b.name) < 0;
    });
}

QList<AppEntry> findInstalledApps(const QStringList& dirs) {
    QList<AppEntry> apps;
    for (const DesktopEntry& entry : DesktopEntries::installedApplications(dirs))
        apps.append({entry.path, entry.displayName(), QIcon(), entry.iconName});
    sortByName(apps);
    return apps;
}

QList<RunningApp> runningProcesses(const QList<DesktopEntry>& installed, const QString& procRoot,
                                   pid_t ownPid) {
    QList<AppMatcher> matchers;
    matchers.reserve(installed.size());
    for (const DesktopEntry& entry : installed)
        matchers << AppMatcher(entry);

    const QString ownExe =
        QFileInfo(QFile::symLinkTarget(procRoot + u'/' + QString::number(ownPid) +
                                       QStringLiteral("/exe")))
            .canonicalFilePath();
    QList<pid_t> pids;
    for (const QString& name : QDir(procRoot).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool ok = false;
        const int pid = name.toInt(&ok);
        if (ok && pid > 0 && pid != ownPid)
            pids << pid;
    }
    std::sort(pids.begin(), pids.end());

    QList<RunningApp> apps;
    QHash<QString, qsizetype> appOfKey; // entry path, or "\n" + program name
    for (const pid_t pid : pids) {
        const std::optional<ProcessInfo> process = ProcessInfo::read(pid, procRoot);
        // Velloq itself, and any other instance of it, never appears.
        if (!process || (!ownExe.isEmpty() && process->exe == ownExe))
            continue;
        QList<qsizetype> matching;
        for (qsizetype i = 0; i < installed.size(); ++i) {
            if (matchers.at(i).matches(*process))
                matching << i;
        }
        if (matching.isEmpty())
            continue;
        qsizetype chosen = matching.size() == 1 ? matching.first() : -1;
        for (qsizetype i = 0; chosen < 0 && i < matching.size(); ++i) {
            if (!matchers.at(matching.at(i)).hasOperands())
                chosen = matching.at(i);
        }
        const QString program =
            baseName(process->exe.isEmpty() ? process->argv.first() : process->exe);
        const QString key = chosen >= 0 ? installed.at(chosen).path : u'\n' + program;
        auto it = appOfKey.find(key);
        if (it == appOfKey.end()) {
            RunningApp app;
            if (chosen >= 0) {
                app.name = installed.at(chosen).name;
                app.iconName = installed.at(chosen).iconName;
                app.entryPath = installed.at(chosen).path;
            } else {
                app.name = program;
            }
            apps << app;
            it = appOfKey.insert(key, apps.size() - 1);
        }
        apps[*it].pids << pid;
        apps[*it].startTimes << process->startTime;
    }

    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(apps.begin(), apps.end(), [&](const RunningApp& a, const RunningApp& b) {
        return collator.compare(a.name.toCaseFolded(), b.name.toCaseFolded()) < 0;
    });
    return apps;
}

QList<AppEntry> runningApps(const QStringList& dirs, const QString& procRoot, pid_t ownPid) {
    return entriesOf(
        runningProcesses(DesktopEntries::installedApplications(dirs), procRoot, ownPid));
}

QList<AppEntry> runningApps(const QList<DesktopEntry>& installed, const QString& procRoot,
                            pid_t ownPid) {
    return withIcons(entriesOf(runningProcesses(installed, procRoot, ownPid)));
}

QIcon iconFor(const QString& iconName) {
    DesktopEntry entry;
    entry.iconName = iconName;
    return entry.icon();
}

QList<AppEntry> withIcons(QList<AppEntry> apps) {
    for (AppEntry& app : apps)
        app.icon = iconFor(app.iconName);
    return apps;
}

} // namespace Applications

} // namespace velloq
