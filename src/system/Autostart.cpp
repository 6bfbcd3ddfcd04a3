#include "system/Autostart.h"

#include "support/DesktopEntry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace velloq::Autostart {

namespace {

QString configHome() {
    const QString dir = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!dir.isEmpty() && QDir::isAbsolutePath(dir))
        return dir;
    return QDir::homePath() + QStringLiteral("/.config");
}

// One Exec argument, quoted when it holds a reserved character, then escaped as a desktop
// entry string value (backslashes doubled) with "%" written as "%%".
QString execArgument(const QString& arg) {
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    bool needsQuotes = arg.isEmpty();
    for (const QChar c : arg)
        needsQuotes = needsQuotes || reserved.contains(c);
    QString quoted;
    if (needsQuotes) {
        quoted += u'"';
        for (const QChar c : arg) {
            if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
                quoted += u'\\';
            quoted += c;
        }
        quoted += u'"';
    } else {
        quoted = arg;
    }
    QString out;
    for (const QChar c : quoted) {
        if (c == u'\\')
            out += QStringLiteral("\\\\");
        else if (c == u'%')
            out += QStringLiteral("%%");
        else
            out += c;
    }
    return out;
}

// A desktop entry string value: backslashes and line breaks escaped.
QString stringValue(const QString& text) {
    QString out = text;
    out.replace(u'\\', QStringLiteral("\\\\"));
    out.replace(u'\n', QStringLiteral("\\n"));
    return out;
}

// The program as the entry names it: its bare name when that is what PATH finds (an installed
// Velloq), else its absolute path (a build tree).
QString programName(const QString& executable) {
    const QFileInfo info(executable);
    const QString found = QStandardPaths::findExecutable(info.fileName());
    if (!found.isEmpty() && QFileInfo(found).canonicalFilePath() == info.canonicalFilePath())
        return info.fileName();
    return executable;
}

} // namespace

QString entryPath() {
    return configHome() + QStringLiteral("/autostart/velloq.desktop");
}

bool isEnabled() {
    const std::optional<DesktopEntry> entry = DesktopEntry::read(entryPath());
    return entry && !entry->hidden;
}

bool setEnabled(bool enabled, const QString& executable, QString* error) {
    const QString path = entryPath();
    if (!enabled) {
        QFile file(path);
        if (!file.exists() || file.remove())
            return true;
        if (error)
            *error = file.errorString();
        return false;
    }

    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder)) {
        if (error)
            *error = QStringLiteral("cannot create ") + folder;
        return false;
    }
    // TryExec: once the program is removed, the session skips the entry instead of failing.
    const QString program = programName(executable);
    const QString text = QStringLiteral("[Desktop Entry]\n"
                                        "Type=Application\n"
                                        "Name=Velloq\n"
                                        "Comment=Drives the stream-controller dock\n"
                                        "Exec=") +
                         execArgument(program) + QStringLiteral("\nTryExec=") +
                         stringValue(program) +
                         QStringLiteral("\n"
                                        "Icon=app.velloq.Velloq\n"
                                        "Terminal=false\n"
                                        "X-GNOME-Autostart-enabled=true\n");
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text.toUtf8()) < 0 || !file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

QString failureNote(const QString& reason) {
    return QStringLiteral("Couldn’t change this: ") + reason +
           QStringLiteral(". Make sure ~/.config/autostart is writable.");
}

} // namespace velloq::Autostart
