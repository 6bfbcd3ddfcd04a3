#include "system/Applications.h"

#include <QCollator>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QStandardPaths>

#include <algorithm>
#include <optional>

#include <sys/stat.h>

namespace velloq {

namespace {

const QSet<QString>& interpreters() {
    static const QSet<QString> names{
        QStringLiteral("sh"),      QStringLiteral("bash"), QStringLiteral("dash"),
        QStringLiteral("zsh"),     QStringLiteral("env"),  QStringLiteral("python"),
        QStringLiteral("python3"), QStringLiteral("perl"), QStringLiteral("ruby"),
        QStringLiteral("java"),    QStringLiteral("gjs"),  QStringLiteral("node"),
        QStringLiteral("mono"),    QStringLiteral("wine"),
    };
    return names;
}

QString baseName(const QString& path) {
    return path.mid(path.lastIndexOf(u'/') + 1);
}

bool isInterpreter(const QString& program) {
    QString name = baseName(program);
    // python3.11 and the like
    while (!name.isEmpty() && (name.back().isDigit() || name.back() == u'.'))
        name.chop(1);
    return interpreters().contains(name);
}

// The first argument after `from` that is not an option: the script an interpreter runs.
QString firstOperand(const QStringList& args, qsizetype from) {
    for (qsizetype i = from; i < args.size(); ++i) {
        if (!args.at(i).startsWith(u'-'))
            return args.at(i);
    }
    return QString();
}

QString canonicalProgram(const QString& program) {
    const QString path =
        QDir::isAbsolutePath(program) ? program : QStandardPaths::findExecutable(program);
    return path.isEmpty() ? QString() : QFileInfo(path).canonicalFilePath();
}

// What identifies the processes of one desktop entry.
struct Matcher {
    QSet<QString> paths; // canonical program paths
    QSet<QString> names; // program file names
    QString flatpakId;   // for "flatpak run <id>"
};

Matcher matcherFor(const DesktopEntry& entry) {
    Matcher m;
    QStringList args = entry.commandLine();
    while (!args.isEmpty() && (baseName(args.first()) == u"env" || args.first().contains(u'=')))
        args.removeFirst();
    if (!args.isEmpty()) {
        QString program = args.first();
        if (baseName(program) == u"flatpak" && args.contains(QStringLiteral("run"))) {
            m.flatpakId = firstOperand(args, args.indexOf(QStringLiteral("run")) + 1);
        } else {
            if (isInterpreter(program))
                program = firstOperand(args, 1);
            if (!program.isEmpty() && !isInterpreter(program)) {
                m.names.insert(baseName(program));
                if (const QString path = canonicalProgram(program); !path.isEmpty())
                    m.paths.insert(path);
            }
        }
    }
    if (!entry.tryExec.isEmpty() && !isInterpreter(entry.tryExec)) {
        m.names.insert(baseName(entry.tryExec));
        if (const QString path = canonicalProgram(entry.tryExec); !path.isEmpty())
            m.paths.insert(path);
    }
    return m;
}

struct Process {
    pid_t pid = 0;
    quint64 startTime = 0;
    QString exe; // canonical path of the running program
    QStringList argv;
    QString flatpakId; // the sandbox's application id
};

QByteArray readAll(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

std::optional<Process> readProcess(const QString& procRoot, pid_t pid) {
    const QString dir = procRoot + u'/' + QString::number(pid);
    struct stat info {};
    if (::stat(QFile::encodeName(dir).constData(), &info) != 0 || info.st_uid != ::getuid())
        return std::nullopt;
    Process p;
    p.pid = pid;
    const QByteArray cmdline = readAll(dir + QStringLiteral("/cmdline"));
    if (cmdline.isEmpty()) // kernel threads and zombies
        return std::nullopt;
    for (const QByteArray& arg : cmdline.split('\0')) {
        if (!arg.isEmpty())
            p.argv << QString::fromLocal8Bit(arg);
    }
    if (p.argv.isEmpty())
        return std::nullopt;
    QString exe = QFile::symLinkTarget(dir + QStringLiteral("/exe"));
    if (exe.endsWith(QStringLiteral(" (deleted)")))
        exe.chop(10);
    const QString canonical = QFileInfo(exe).canonicalFilePath();
    p.exe = canonical.isEmpty() ? exe : canonical;
    p.startTime = Applications::startTimeOf(dir).value_or(0);
    const QString flatpakInfo = dir + QStringLiteral("/root/.flatpak-info");
    if (QFileInfo::exists(flatpakInfo)) {
        for (const QByteArray& line : readAll(flatpakInfo).split('\n')) {
            if (line.startsWith("name=")) {
                p.flatpakId = QString::fromUtf8(line.mid(5).trimmed());
                break;
            }
        }
    }
    return p;
}

bool matches(const Matcher& m, const Process& p) {
    if (!m.flatpakId.isEmpty())
        return p.flatpakId == m.flatpakId;
    if (!p.exe.isEmpty() && m.paths.contains(p.exe))
        return true;
    QStringList candidates{baseName(p.exe), baseName(p.argv.first())};
    if (isInterpreter(p.exe) || isInterpreter(p.argv.first()))
        candidates << baseName(firstOperand(p.argv, 1));
    for (const QString& name : candidates) {
        if (!name.isEmpty() && m.names.contains(name))
            return true;
    }
    return false;
}

// Whether Exec names more than the program: a URL or another operand after it, as a
// launcher's entry for one of its games does.
bool hasOperands(const DesktopEntry& entry) {
    QStringList args = entry.commandLine();
    while (!args.isEmpty() && (baseName(args.first()) == u"env" || args.first().contains(u'=')))
        args.removeFirst();
    if (args.isEmpty())
        return false;
    qsizetype from = 1;
    if (baseName(args.first()) == u"flatpak")
        from = args.indexOf(QStringLiteral("run")) + 2;
    else if (isInterpreter(args.first()))
        from = args.indexOf(firstOperand(args, 1)) + 1;
    if (from <= 0)
        return false;
    for (qsizetype i = from; i < args.size(); ++i) {
        if (!args.at(i).startsWith(u'-'))
            return true;
    }
    return false;
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
    const QByteArray stat = readAll(procDir + QStringLiteral("/stat"));
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
    QList<Matcher> matchers;
    matchers.reserve(installed.size());
    for (const DesktopEntry& entry : installed)
        matchers << matcherFor(entry);

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
        const std::optional<Process> process = readProcess(procRoot, pid);
        // Velloq itself, and any other instance of it, never appears.
        if (!process || (!ownExe.isEmpty() && process->exe == ownExe))
            continue;
        QList<qsizetype> matching;
        for (qsizetype i = 0; i < installed.size(); ++i) {
            if (matches(matchers.at(i), *process))
                matching << i;
        }
        if (matching.isEmpty())
            continue;
        qsizetype chosen = matching.size() == 1 ? matching.first() : -1;
        for (qsizetype i = 0; chosen < 0 && i < matching.size(); ++i) {
            if (!hasOperands(installed.at(matching.at(i))))
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
