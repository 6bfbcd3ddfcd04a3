#include "system/AppMatcher.h"

#include "system/Applications.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <unistd.h>

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

QByteArray readAll(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

QString withoutDesktopSuffix(QString id) {
    if (id.endsWith(QStringLiteral(".desktop"), Qt::CaseInsensitive))
        id.chop(8);
    return id;
}

bool sameText(const QString& a, const QString& b) {
    return !a.isEmpty() && a.compare(b, Qt::CaseInsensitive) == 0;
}

} // namespace

std::optional<ProcessInfo> ProcessInfo::read(pid_t pid, const QString& procRoot) {
    const QString dir = procRoot + u'/' + QString::number(pid);
    struct stat info {};
    if (pid <= 0 || ::stat(QFile::encodeName(dir).constData(), &info) != 0 ||
        info.st_uid != ::getuid())
        return std::nullopt;
    ProcessInfo p;
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

AppMatcher::AppMatcher(const DesktopEntry& entry) {
    QStringList args = entry.commandLine();
    while (!args.isEmpty() && (baseName(args.first()) == u"env" || args.first().contains(u'=')))
        args.removeFirst();
    qsizetype operandsFrom = -1;
    if (!args.isEmpty()) {
        QString program = args.first();
        operandsFrom = 1;
        if (baseName(program) == u"flatpak" && args.contains(QStringLiteral("run"))) {
            flatpakId_ = firstOperand(args, args.indexOf(QStringLiteral("run")) + 1);
            operandsFrom = args.indexOf(flatpakId_) + 1;
        } else {
            if (isInterpreter(program)) {
                program = firstOperand(args, 1);
                operandsFrom = program.isEmpty() ? -1 : args.indexOf(program) + 1;
            }
            if (!program.isEmpty() && !isInterpreter(program)) {
                names_.insert(baseName(program));
                if (const QString path = canonicalProgram(program); !path.isEmpty())
                    paths_.insert(path);
            }
        }
    }
    if (!entry.tryExec.isEmpty() && !isInterpreter(entry.tryExec)) {
        names_.insert(baseName(entry.tryExec));
        if (const QString path = canonicalProgram(entry.tryExec); !path.isEmpty())
            paths_.insert(path);
    }
    for (qsizetype i = operandsFrom; operandsFrom > 0 && i < args.size(); ++i) {
        if (!args.at(i).startsWith(u'-'))
            hasOperands_ = true;
    }
    idStem_ = withoutDesktopSuffix(desktopFileId(entry));
    wmClass_ = entry.startupWMClass.isEmpty() ? idStem_ : entry.startupWMClass;
}

QString AppMatcher::desktopFileId(const DesktopEntry& entry) {
    if (!entry.id.isEmpty())
        return entry.id;
    const QString marker = QStringLiteral("/applications/");
    const qsizetype at = entry.path.lastIndexOf(marker);
    if (at >= 0)
        return entry.path.mid(at + marker.size()).replace(u'/', u'-');
    return QFileInfo(entry.path).fileName();
}

bool AppMatcher::matches(const ProcessInfo& p) const {
    if (!flatpakId_.isEmpty())
        return p.flatpakId == flatpakId_;
    if (!p.exe.isEmpty() && paths_.contains(p.exe))
        return true;
    QStringList candidates{baseName(p.exe)};
    if (!p.argv.isEmpty())
        candidates << baseName(p.argv.first());
    if (isInterpreter(p.exe) || (!p.argv.isEmpty() && isInterpreter(p.argv.first())))
        candidates << baseName(firstOperand(p.argv, 1));
    for (const QString& name : candidates) {
        if (!name.isEmpty() && names_.contains(name))
            return true;
    }
    return false;
}

bool AppMatcher::matches(const WindowIdentity& window, const ProcessInfo* process) const {
    if (sameText(withoutDesktopSuffix(window.appId), idStem_) ||
        (!flatpakId_.isEmpty() && sameText(withoutDesktopSuffix(window.appId), flatpakId_)))
        return true;
    if (sameText(window.wmClass, wmClass_) || sameText(window.wmInstance, wmClass_))
        return true;
    return process && matches(*process);
}

} // namespace velloq
