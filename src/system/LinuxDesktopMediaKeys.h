#pragma once

#include "system/DesktopMediaKeys.h"

#include <chrono>
#include <map>
#include <memory>
#include <utility>

namespace velloq {

// On X11 a program that handles a media key holds a passive grab on it at the root window, so
// a grab of our own on the same combination fails with BadAccess (core grabs, as xfce4 and
// xbindkeys make them, and XInput 2 grabs, as Mutter makes them, are tried both). On Wayland
// no client can see that: GNOME and Plasma take the media keys, other compositors are assumed
// not to. An answer is kept for a while, so a program that starts later is noticed.
class LinuxDesktopMediaKeys final : public DesktopMediaKeys {
public:
    LinuxDesktopMediaKeys();
    ~LinuxDesktopMediaKeys() override;
    LinuxDesktopMediaKeys(const LinuxDesktopMediaKeys&) = delete;
    LinuxDesktopMediaKeys& operator=(const LinuxDesktopMediaKeys&) = delete;

    bool takes(int type, uint64_t extraFlags) override;

private:
    struct X11;
    bool grabbedOnX11(int type, uint64_t extraFlags);

    std::unique_ptr<X11> x11_;
    using Clock = std::chrono::steady_clock;
    std::map<std::pair<int, uint64_t>, std::pair<bool, Clock::time_point>> answers_;
};

} // namespace velloq
