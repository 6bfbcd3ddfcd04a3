#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <optional>

namespace velloq {

class ProcessLauncher;

// Starts the application of a desktop entry: its Exec split and expanded per the Desktop Entry
// Specification (no files or URLs are passed), detached, in the entry's Path= folder, and in
// the user's terminal when the entry asks for one (Terminal=true). Logs "Could not open
// <path>: <reason>" and gives false (and the reason in `reason`) when that fails, "Could not
// run <program>: …" when no terminal is installed.
bool openDesktopEntry(ProcessLauncher& launcher, const QString& desktopFilePath,
                      QString* reason = nullptr);

// What runs a command in the user's terminal: xdg-terminal-exec when present, else
// x-terminal-emulator -e, else the first common terminal found, each with the option that
// makes the rest of the line the command. None when there is no terminal.
std::optional<QStringList> terminalCommand();

// The address a website button opens: the text trimmed, "https://" put in front when it names
// no scheme. None when that is no valid URL, or a web URL without a host ("debian org").
std::optional<QUrl> webAddress(const QString& text);

// Opens a URL with the user's default handler. One interface so that tests can record.
class UrlOpener {
public:
    UrlOpener() = default;
    virtual ~UrlOpener() = default;
    UrlOpener(const UrlOpener&) = delete;
    UrlOpener& operator=(const UrlOpener&) = delete;

    // `failed`, when given, runs on the main thread with the reason when nothing opens it,
    // perhaps a moment later.
    using Failed = std::function<void(const QString& reason)>;
    virtual void openUrl(const QUrl& url, Failed failed) = 0;
};

// xdg-open, whose quick failure means that no application handles the address (it may wait
// for a browser it starts, whose exit later says nothing about this); QDesktopServices where
// there is no xdg-open. Logs "Could not open <url>: <reason>" on failure.
class DesktopUrlOpener final : public UrlOpener {
public:
    explicit DesktopUrlOpener(ProcessLauncher& launcher);
    void openUrl(const QUrl& url, Failed failed) override;

private:
    ProcessLauncher& launcher_;
    QObject watches_; // the pending xdg-open runs; dropped with the opener
};

} // namespace velloq
