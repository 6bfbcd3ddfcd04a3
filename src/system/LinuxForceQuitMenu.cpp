#include "system/LinuxForceQuitMenu.h"

#include "support/DesktopEntry.h"
#include "support/Log.h"

#include <QCollator>
#include <QCursor>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSet>
#include <QStandardPaths>

#include <algorithm>
#include <csignal>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

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

// Field 22 of /proc/<pid>/stat (after the parenthesised command name, which may hold spaces).
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
    p.startTime = startTimeOf(dir).value_or(0);
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

} // namespace

LinuxForceQuitMenu& LinuxForceQuitMenu::shared() {
    static LinuxForceQuitMenu* instance = new LinuxForceQuitMenu(); // kept for the process life
    return *instance;
}

LinuxForceQuitMenu::LinuxForceQuitMenu(QString procRoot, QStringList applicationDirs, pid_t ownPid)
    : procRoot_(std::move(procRoot))
    , applicationDirs_(std::move(applicationDirs))
    , ownPid_(ownPid != 0 ? ownPid : ::getpid()) {
}

LinuxForceQuitMenu::~LinuxForceQuitMenu() = default;

QList<RunningApp> LinuxForceQuitMenu::runningApplications() const {
    const QList<DesktopEntry> entries = DesktopEntries::installedApplications(
        applicationDirs_.isEmpty() ? DesktopEntries::applicationDirs() : applicationDirs_);
    QList<Matcher> matchers;
    matchers.reserve(entries.size());
    for (const DesktopEntry& entry : entries)
        matchers << matcherFor(entry);

    const QString ownExe =
        QFileInfo(QFile::symLinkTarget(procRoot_ + u'/' + QString::number(ownPid_) +
                                       QStringLiteral("/exe")))
            .canonicalFilePath();
    QList<pid_t> pids;
    for (const QString& name : QDir(procRoot_).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool ok = false;
        const int pid = name.toInt(&ok);
        if (ok && pid > 0 && pid != ownPid_)
            pids << pid;
    }
    std::sort(pids.begin(), pids.end());

    QList<RunningApp> apps;
    QHash<qsizetype, qsizetype> appOfEntry;
    for (const pid_t pid : pids) {
        const std::optional<Process> process = readProcess(procRoot_, pid);
        // Velloq itself, and any other instance of it, never appears.
        if (!process || (!ownExe.isEmpty() && process->exe == ownExe))
            continue;
        for (qsizetype i = 0; i < entries.size(); ++i) {
            if (!matches(matchers.at(i), *process))
                continue;
            auto it = appOfEntry.find(i);
            if (it == appOfEntry.end()) {
                RunningApp app;
                app.name = entries.at(i).name;
                app.icon = entries.at(i).icon();
                app.entryPath = entries.at(i).path;
                apps << app;
                it = appOfEntry.insert(i, apps.size() - 1);
            }
            apps[*it].pids << pid;
            apps[*it].startTimes << process->startTime;
            break;
        }
    }

    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(apps.begin(), apps.end(), [&](const RunningApp& a, const RunningApp& b) {
        return collator.compare(a.name.toCaseFolded(), b.name.toCaseFolded()) < 0;
    });
    return apps;
}

std::unique_ptr<QMenu> LinuxForceQuitMenu::buildMenu(const QList<RunningApp>& apps) {
    auto menu = std::make_unique<QMenu>(QStringLiteral("Force Quit"));
    QAction* heading = menu->addAction(QStringLiteral("Force Quit an App"));
    heading->setEnabled(false);
    menu->addSeparator();
    for (const RunningApp& app : apps) {
        QAction* item = menu->addAction(app.name.isEmpty() ? QStringLiteral("App") : app.name);
        if (!app.icon.isNull())
            item->setIcon(QIcon(app.icon.pixmap(18, 18)));
        connect(
            item, &QAction::triggered, this, [this, app] { choose(app); },
            Qt::QueuedConnection); // after the menu has closed
    }
    return menu;
}

void LinuxForceQuitMenu::show() {
    std::unique_ptr<QMenu> menu = buildMenu(runningApplications());
    menu->exec(QCursor::pos());
}

void LinuxForceQuitMenu::choose(const RunningApp& app) {
    const QString name = app.name.isEmpty() ? QStringLiteral("this app") : app.name;
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Force Quit"),
                    QStringLiteral("Force quit ") + name + u'?');
    box.setInformativeText(QStringLiteral("You'll lose any unsaved changes in ") + name + u'.');
    if (!app.icon.isNull())
        box.setIconPixmap(app.icon.pixmap(64, 64));
    QPushButton* forceQuit = box.addButton(QStringLiteral("Force Quit"), QMessageBox::AcceptRole);
    QPushButton* cancel = box.addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole);
    box.setDefaultButton(forceQuit);
    box.setEscapeButton(cancel);
    box.exec();
    if (box.clickedButton() != forceQuit)
        return;

    bool killed = false;
    for (qsizetype i = 0; i < app.pids.size(); ++i) {
        const QString dir = procRoot_ + u'/' + QString::number(app.pids.at(i));
        // The pid may have been reused since the menu was built: kill only the same process.
        if (startTimeOf(dir) != std::optional<quint64>(app.startTimes.value(i)))
            continue;
        if (::kill(app.pids.at(i), SIGKILL) == 0)
            killed = true;
    }
    if (!killed)
        logLine(QStringLiteral("Could not force quit ") + name);
}

} // namespace velloq
