#include "system/Applications.h"

#include <QCollator>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <algorithm>

#include <sys/stat.h>

namespace velloq::Applications {

namespace {

bool isInterpreter(const QString& base) {
    static const QSet<QString> names = {
        QStringLiteral("sh"),   QStringLiteral("bash"),   QStringLiteral("dash"),
        QStringLiteral("zsh"),  QStringLiteral("python"), QStringLiteral("python3"),
        QStringLiteral("perl"), QStringLiteral("ruby"),   QStringLiteral("node"),
        QStringLiteral("gjs"),  QStringLiteral("java"),   QStringLiteral("mono"),
    };
    return names.contains(base);
}

bool isShell(const QString& base) {
    return base == u"sh" || base == u"bash" || base == u"dash" || base == u"zsh";
}

QString baseName(const QString& path) {
    return QFileInfo(path).fileName();
}

// The program names a desktop entry's processes run under.
QSet<QString> entryProgramNames(const DesktopEntry& entry) {
    QSet<QString> names;
    if (!entry.tryExec.isEmpty())
        names.insert(baseName(entry.tryExec));

    QStringList command = entry.commandLine();
    if (!command.isEmpty() && baseName(command.first()) == u"env") {
        command.removeFirst();
        while (!command.isEmpty() &&
               (command.first().contains(u'=') || command.first().startsWith(u'-')))
            command.removeFirst();
    }
    if (command.isEmpty())
        return names;

    const QString program = baseName(command.first());
    if (program == u"flatpak") {
        for (const QString& arg : command) {
            if (arg.startsWith(u"--command="))
                names.insert(baseName(arg.mid(10)));
        }
    } else if (isInterpreter(program)) {
        if (isShell(program) && command.contains(QStringLiteral("-c")))
            return names; // an inline script names no program
        for (qsizetype i = 1; i < command.size(); ++i) {
            if (!command.at(i).startsWith(u'-')) {
                names.insert(baseName(command.at(i)));
                break;
            }
        }
    } else {
        names.insert(program);
    }
    names.remove(QString());
    return names;
}

// The program names of one process: its executable, its argv[0] and, for an interpreter,
// the script it runs.
QSet<QString> processProgramNames(const QString& procDir) {
    QSet<QString> names;
    QString exe = QFile::symLinkTarget(procDir + QStringLiteral("/exe"));
    if (exe.endsWith(QStringLiteral(" (deleted)")))
        exe.chop(10);
    if (!exe.isEmpty())
        names.insert(baseName(exe));

    QFile cmdline(procDir + QStringLiteral("/cmdline"));
    if (cmdline.open(QIODevice::ReadOnly)) {
        const QList<QByteArray> argv = cmdline.readAll().split('\0');
        if (!argv.isEmpty() && !argv.first().isEmpty()) {
            const QString argv0 = QFile::decodeName(argv.first());
            names.insert(baseName(argv0));
            // Programs that rewrite their title keep the program before the first space.
            names.insert(baseName(argv0.section(u' ', 0, 0)));
            const QString exeBase = baseName(exe.isEmpty() ? argv0 : exe);
            if (isInterpreter(exeBase)) {
                for (qsizetype i = 1; i < argv.size(); ++i) {
                    if (!argv.at(i).isEmpty() && !argv.at(i).startsWith('-')) {
                        names.insert(baseName(QFile::decodeName(argv.at(i))));
                        break;
                    }
                }
            }
        }
    }
    names.remove(QString());
    return names;
}

} // namespace

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
        apps.append({entry.path, entry.displayName(), entry.icon()});
    sortByName(apps);
    return apps;
}

QList<AppEntry> runningApps(const QList<DesktopEntry>& installed, const QString& procRoot,
                            pid_t ownPid) {
    const uid_t uid = ::getuid();
    QSet<QString> running;
    const QDir proc(procRoot);
    for (const QString& pidName : proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool numeric = false;
        const long pid = pidName.toLong(&numeric);
        if (!numeric || pid == ownPid)
            continue;
        const QString dir = proc.filePath(pidName);
        struct stat info {};
        if (::stat(QFile::encodeName(dir).constData(), &info) != 0 || info.st_uid != uid)
            continue;
        running.unite(processProgramNames(dir));
    }

    QList<AppEntry> apps;
    for (const DesktopEntry& entry : installed) {
        if (entryProgramNames(entry).intersects(running))
            apps.append({entry.path, entry.displayName(), entry.icon()});
    }
    sortByName(apps);
    return apps;
}

} // namespace velloq::Applications
