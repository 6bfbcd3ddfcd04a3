#pragma once

#include <functional>

namespace velloq {

// "Input access": whether Velloq may inject keystrokes, the prompt, and the help. Main thread.
class Permissions {
public:
    virtual ~Permissions() = default;
    // True when the key sender can inject (uinput writable, or X11 with XTEST).
    virtual bool inputAccess() = 0;
    // Asks the user to grant input access (a desktop notification).
    virtual void promptForInputAccess() = 0;
    // Opens Velloq's "Input access" help dialog.
    virtual void openAccessibilitySettings() = 0;
    // Calls `changed` on the main thread whenever input access may have changed; the caller
    // then asks inputAccess() again. Without a way to watch, it is never called.
    virtual void watchInputAccess(std::function<void()> changed) { (void)changed; }
};

} // namespace velloq
