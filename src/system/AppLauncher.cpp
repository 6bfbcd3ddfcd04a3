#include "system/AppLauncher.h"

#include "support/DesktopEntry.h"
#include "support/Log.h"
#include "system/ProcessLauncher.h"

#include <QDesktopServices>
#include <QFileInfo>

namespace velloq {

namespace {

void logOpenFailure(const QString& what, const QString& reason) {
    logLine(QStringLiteral("Could not open ") + what + QStringLiteral(": ") + reason);
}

} // namespace

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
