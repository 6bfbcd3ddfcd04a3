#pragma once

#include "system/DockFeatures.h"

#include <QObject>

namespace velloq {

class KeySender;

// missionControl: GNOME Shell's OverviewActive = true; Plasma: KWin's "Overview" through
// kglobalaccel; else a Super tap. showDesktop: X11 EWMH _NET_SHOWING_DESKTOP toggle; Plasma
// on Wayland: KWin's "Show Desktop" through kglobalaccel; else Super+D. The desktop's services
// are called without waiting, and the keys follow only when the service is not on the bus or
// refused, never after a slow success.
class LinuxDockFeatures final : public DockFeatures {
public:
    explicit LinuxDockFeatures(KeySender& keys);

    void missionControl() override;
    void showDesktop() override;

    // The EWMH toggle on $DISPLAY; false when the window manager does not support it.
    static bool toggleShowingDesktopX11();

private:
    KeySender& keys_;
    QObject context_; // owns the pending calls
};

} // namespace velloq
