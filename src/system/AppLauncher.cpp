#include "system/AppLauncher.h"

#include "support/DesktopEntry.h"
#include "support/Log.h"
#include "system/ProcessLauncher.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QStandardPaths>

#include <chrono>
#include <utility>

namespace velloq {

namespace {

// xdg-open that fails fails at once; a later exit is the browser's it started.
constexpr auto kOpenerVerdict = std::chrono::seconds(5);

void logOpenFailure(const QString& what, const QString& reason) {
    logLine(QStringLiteral("Could not open ") + what + QStringLiteral(": ") + reason);
}

bool fail(const QString& what, const QString& why, QString* reason) {
    logOpenFailure(what, why);
    if (reason)
        *reason = why;
    return false;
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

bool openDesktopEntry(ProcessLauncher& launcher, const QString& desktopFilePath, QString* reason) {
    const std::optional<DesktopEntry> entry = DesktopEntry::read(desktopFilePath);
    if (!entry) {
        return fail(desktopFilePath,
                    QFileInfo::exists(desktopFilePath)
                        ? QStringLiteral("not a readable desktop entry")
                        : QStringLiteral("No such file or directory"),
                    reason);
    }
    QStringList command = entry->commandLine();
    if (command.isEmpty())
        return fail(desktopFilePath, QStringLiteral("the entry has no usable Exec line"), reason);
    if (entry->terminal) {
        const std::optional<QStringList> terminal = terminalCommand();
        if (!terminal) {
            logLine(QStringLiteral("Could not run ") + command.first() +
                    QStringLiteral(": no terminal emulator is installed"));
            if (reason)
                *reason = QStringLiteral("no terminal emulator is installed");
            return false;
        }
        command = *terminal + command;
    }
    const QString program = command.takeFirst();
    const LaunchResult result = launcher.launch(program, command, entry->workingDir);
    if (!result.started)
        return fail(desktopFilePath, result.error, reason);
    return true;
}

std::optional<QUrl> webAddress(const QString& text) {
    QString address = text.trimmed();
    if (address.isEmpty())
        return std::nullopt;
    if (!address.contains(QStringLiteral("://")))
        address.prepend(QStringLiteral("https://"));
    const QUrl url(address, QUrl::StrictMode);
    if (!url.isValid() || url.scheme().isEmpty())
        return std::nullopt;
    const bool web = url.scheme() == u"http" || url.scheme() == u"https";
    if (web && url.host().isEmpty())
        return std::nullopt;
    return url;
}

DesktopUrlOpener::DesktopUrlOpener(ProcessLauncher& launcher)
    : launcher_(launcher) {
}

void DesktopUrlOpener::openUrl(const QUrl& url, Failed failed) {
    const QString shown = url.toString();
    auto report = [shown, failed](const QString& reason) {
        logOpenFailure(shown, reason);
        if (failed)
            failed(reason);
    };
    const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (opener.isEmpty()) {
        if (!QDesktopServices::openUrl(url))
            report(QStringLiteral("no application handles it"));
        return;
    }
    const auto started = std::chrono::steady_clock::now();
    const LaunchResult result = launcher_.launchWatched(
        opener, {url.toString(QUrl::FullyEncoded)}, &watches_, [report, started](int status) {
            if (status != 0 && std::chrono::steady_clock::now() - started < kOpenerVerdict)
                report(QStringLiteral("no application handles it"));
        });
    if (!result.started)
        report(result.error);
}

} // namespace velloq
