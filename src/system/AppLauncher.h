#pragma once

#include <QString>
#include <QUrl>

namespace velloq {

class ProcessLauncher;

// Starts the application of a desktop entry: its Exec split and expanded per the Desktop Entry
// Specification (no files or URLs are passed), detached, in the entry's Path= folder. Logs
// "Could not open <path>: <reason>" and gives false when that fails.
bool openDesktopEntry(ProcessLauncher& launcher, const QString& desktopFilePath);

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
