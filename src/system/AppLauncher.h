#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>

namespace velloq {

class ProcessLauncher;

// Starts the application of a desktop entry: its Exec split and expanded per the Desktop Entry
// Specification (no files or URLs are passed), detached, in the entry's Path= folder, and in
// the user's terminal when the entry asks for one (Terminal=true). Logs "Could not open
// <path>: <reason>" and gives false when that fails, "Could not run <program>: …" when no
// terminal is installed.
bool openDesktopEntry(ProcessLauncher& launcher, const QString& desktopFilePath);

// What runs a command in the user's terminal: xdg-terminal-exec when present, else
// x-terminal-emulator -e, else the first common terminal found, each with the option that
// makes the rest of the line the command. None when there is no terminal.
std::optional<QStringList> terminalCommand();

// Opens a URL with the user's default handler. One interface so that tests can record.
class UrlOpener {
public:
    UrlOpener() = default;
    virtual ~UrlOpener() = default;
    UrlOpener(const UrlOpener&) = delete;
    UrlOpener& operator=(const UrlOpener&) = delete;

    virtual void openUrl(const QUrl& url) = 0;
};

// QDesktopServices::openUrl; logs "Could not open <url>: no application handles it" when
// the desktop refuses.
class DesktopUrlOpener final : public UrlOpener {
public:
    void openUrl(const QUrl& url) override;
};

} // namespace velloq
