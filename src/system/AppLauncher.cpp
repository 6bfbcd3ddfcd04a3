#include "system/AppLauncher.h"

#include "support/DesktopEntry.h"
#include "support/Log.h"
#include "system/ProcessLauncher.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QStandardPaths>

#include <utility>

namespace velloq {

namespace {

void logOpenFailure(const QString& what, const QString& reason) {
    logLine(QStringLiteral("Could not open ") + what + QStringLiteral(": ") + reason);
}

} // namespace

std::optional<QStringList> terminalCommand() {
    // The program and the option after which the rest of the line is the command.
    static const std::pair<const char*, const char*> terminals[] = {
        {"xdg-terminal-exec", nullptr},
        {"x-terminal-emulator", "-e"},
        {"gnome-terminal", "--"},
        {"kgx", "--"},
        {"konsole", "-e"},
        {"xfce4-terminal", "-x"},
        {"mate-terminal", "-x"},
        {"tilix", "-e"},
        {"terminator", "-x"},
        {"lxterminal", "-e"},
        {"alacritty", "-e"},
        {"kitty", nullptr},
        {"foot", nullptr},
        {"wezterm", "start"},
        {"xterm", "-e"},
    };
    for (const auto& [name, option] : terminals) {
        const QString path = QStandardPaths::findExecutable(QString::fromLatin1(name));
        if (path.isEmpty())
            continue;
        QStringList command{path};
        if (option)
            command << QString::fromLatin1(option);
        return command;
    }
    return std::nullopt;
}

bool openDesktopEntry(ProcessLauncher& launcher, const QString& desktopFilePath) {
    const std::optional<DesktopEntry> entry = DesktopEntry::read(desktopFilePath);
    if (!entry) {
        logOpenFailure(desktopFilePath, QFileInfo::exists(desktopFilePath)
                                            ? QStringLiteral("not a readable desktop entry")
                                            : QStringLiteral("No such file or directory"));
        return false;
    }
    QStringList command = entry->commandLine();
    if (command.isEmpty()) {
        logOpenFailure(desktopFilePath, QStringLiteral("the entry has no usable Exec line"));
        return false;
    }
    if (entry->terminal) {
        const std::optional<QStringList> terminal = terminalCommand();
        if (!terminal) {
            logLine(QStringLiteral("Could not run ") + command.first() +
                    QStringLiteral(": no terminal emulator is installed"));
            return false;
        }
        command = *terminal + command;
    }
    const QString program = command.takeFirst();
    const LaunchResult result = launcher.launch(program, command, entry->workingDir);
    if (!result.started) {
        logOpenFailure(desktopFilePath, result.error);
        return false;
    }
    return true;
}

void DesktopUrlOpener::openUrl(const QUrl& url) {
    if (!QDesktopServices::openUrl(url))
        logOpenFailure(url.toString(), QStringLiteral("no application handles it"));
}

} // namespace velloq
