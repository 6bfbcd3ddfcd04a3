#pragma once

#include "system/DockFeatures.h"

namespace velloq {

class KeySender;

// missionControl: GNOME Shell's OverviewActive = true; Plasma: KWin's "Overview" through
// kglobalaccel; else a Super tap. showDesktop: X11 EWMH _NET_SHOWING_DESKTOP toggle; Plasma
// on Wayland: KWin's "Show Desktop" through kglobalaccel; else Super+D. Each step falls
// through to the next when it fails.
class LinuxDockFeatures final : public DockFeatures {
public:
    explicit LinuxDockFeatures(KeySender& keys);

    void missionControl() override;
    void showDesktop() override;

    // The EWMH toggle on $DISPLAY; false when the window manager does not support it.
    static bool toggleShowingDesktopX11();

private:
    KeySender& keys_;
};

} // namespace velloq
