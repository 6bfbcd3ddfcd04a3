#include "follow/ActiveAppWatcher.h"

#include "follow/GnomeActiveAppWatcher.h"
#include "follow/KWinActiveAppWatcher.h"
#include "follow/X11ActiveAppWatcher.h"
#include "support/Log.h"

#include <QDBusConnection>
#include <QGuiApplication>

namespace velloq {

std::unique_ptr<ActiveAppWatcher> ActiveAppWatcher::forDesktop() {
    const bool waylandSession = !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
                                qEnvironmentVariable("XDG_SESSION_TYPE") == u"wayland";
    const QStringList desktops =
        qEnvironmentVariable("XDG_CURRENT_DESKTOP").split(u':', Qt::SkipEmptyParts);
    std::unique_ptr<ActiveAppWatcher> watcher;
    QString name;
    if (!waylandSession && !qEnvironmentVariableIsEmpty("DISPLAY")) {
        // Every window of an X11 session is an X client: the window manager's EWMH says it.
        watcher = std::make_unique<X11ActiveAppWatcher>();
        name = QStringLiteral("X11 (_NET_ACTIVE_WINDOW)");
    } else if (waylandSession && desktops.contains(QStringLiteral("KDE"), Qt::CaseInsensitive)) {
        watcher = std::make_unique<KWinActiveAppWatcher>(QDBusConnection::sessionBus());
        name = QStringLiteral("KWin script");
    } else if (waylandSession && desktops.contains(QStringLiteral("GNOME"), Qt::CaseInsensitive)) {
        watcher = std::make_unique<GnomeActiveAppWatcher>(QDBusConnection::sessionBus());
        name = QStringLiteral("GNOME Shell extension");
    } else {
        // XWayland's _NET_ACTIVE_WINDOW knows nothing of native Wayland windows.
        watcher = std::make_unique<NoActiveAppWatcher>();
        name = QStringLiteral("none on this desktop");
    }
    logLine(QStringLiteral("App in front: ") + name);
    return watcher;
}

} // namespace velloq
