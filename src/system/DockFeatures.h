#pragma once

namespace velloq {

// The desktop's overview and show-desktop commands. Main thread.
class DockFeatures {
public:
    virtual ~DockFeatures() = default;
    // Opens the desktop's overview of windows (Mission Control there).
    virtual void missionControl() = 0;
    // Toggles showing the desktop.
    virtual void showDesktop() = 0;
};

} // namespace velloq
