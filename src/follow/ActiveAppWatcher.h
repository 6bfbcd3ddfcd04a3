#pragma once

#include "system/AppMatcher.h"

#include <QObject>
#include <QString>

#include <memory>

namespace velloq {

// Tells which window is in front, as the desktop reports it; never by polling. One
// implementation per kind of desktop, chosen at run time by forDesktop(). Main thread.
class ActiveAppWatcher : public QObject {
    Q_OBJECT

public:
    enum class Availability {
        available,
        extensionOff, // GNOME: Velloq's extension is installed but not enabled
        unavailable,  // nothing on this desktop can tell
    };

    using QObject::QObject;
    ~ActiveAppWatcher() override = default;

    // Begins watching; the window in front now is reported soon after. Again after stop().
    virtual void start() = 0;
    // Stops watching and lets go of what start() took; no report follows.
    virtual void stop() = 0;
    virtual Availability availability() const = 0;
    // What makes it available, for the user to run (GNOME: the command that enables the
    // extension); empty when there is nothing to run.
    virtual QString enableCommand() const { return QString(); }
    // Asks the desktop again whether it can tell (GNOME: the extension's state); a change
    // comes as availabilityChanged.
    virtual void refreshAvailability() {}

    // The watcher for this session: X11 when Velloq runs as an X client of an X11 session,
    // the KWin script on Plasma's Wayland session, the GNOME Shell extension on GNOME's,
    // and none elsewhere. Logs one line naming the one chosen.
    static std::unique_ptr<ActiveAppWatcher> forDesktop();

Q_SIGNALS:
    // The window in front changed; an empty identity when none is.
    void activated(const velloq::WindowIdentity& window);
    void availabilityChanged();
};

// For desktops where nothing can tell: always unavailable, never reports.
class NoActiveAppWatcher final : public ActiveAppWatcher {
    Q_OBJECT
public:
    using ActiveAppWatcher::ActiveAppWatcher;
    void start() override {}
    void stop() override {}
    Availability availability() const override { return Availability::unavailable; }
};

} // namespace velloq
