// Whether the desktop takes a media key: another X client's grab on the private X server,
// and the desktop's name on Wayland.
#include "system/LinuxDesktopMediaKeys.h"

#include "system/DesktopCommands.h"
#include "system/KeySender.h"

#include <QtGlobal>

#include <gtest/gtest.h>

// X11 last: its macros clash with Qt names.
#include <X11/XF86keysym.h>
#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>

using namespace velloq;

namespace {

constexpr uint64_t kFine = KeySender::fineStepFlags;

bool taken(int type, uint64_t flags) {
    LinuxDesktopMediaKeys keys; // fresh: no answer kept from before
    return keys.takes(type, flags);
}

} // namespace

TEST(DesktopMediaKeys, OnX11AKeyIsTakenExactlyWhenAnotherClientGrabsIt) {
    qunsetenv("WAYLAND_DISPLAY");
    qunsetenv("XDG_SESSION_TYPE");
    if (!DesktopCommands::isX11Session())
        GTEST_SKIP() << "needs the private X server";
    Display* other = XOpenDisplay(nullptr); // a hotkey program of the desktop
    ASSERT_TRUE(other);
    const Window root = DefaultRootWindow(other);
    const int volumeUp = XKeysymToKeycode(other, XF86XK_AudioRaiseVolume);
    const int mute = XKeysymToKeycode(other, XF86XK_AudioMute);
    ASSERT_NE(volumeUp, 0);
    ASSERT_NE(mute, 0);

    // Looking leaves no grab behind: the other client can still grab what was looked at.
    LinuxDesktopMediaKeys looker;
    EXPECT_FALSE(looker.takes(KeySender::soundUp, kFine));
    EXPECT_FALSE(looker.takes(KeySender::mute, 0));

    // A core grab of Shift+Alt+VolumeUp, as xbindkeys or a panel plugin make them.
    XGrabKey(other, volumeUp, ShiftMask | Mod1Mask, root, False, GrabModeAsync, GrabModeAsync);
    XSync(other, False);
    EXPECT_TRUE(taken(KeySender::soundUp, kFine));
    EXPECT_FALSE(taken(KeySender::soundUp, 0)); // the plain key is nobody's
    EXPECT_FALSE(taken(KeySender::soundDown, kFine));

    // An XInput 2 grab, as Mutter makes them.
    unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
    XISetMask(bits, XI_KeyPress);
    XIEventMask events{XIAllMasterDevices, int(sizeof bits), bits};
    XIGrabModifiers plain{0, 0};
    ASSERT_EQ(XIGrabKeycode(other, XIAllMasterDevices, mute, root, XIGrabModeAsync, XIGrabModeAsync,
                            False, &events, 1, &plain),
              0);
    XSync(other, False);
    EXPECT_TRUE(taken(KeySender::mute, 0));
    XCloseDisplay(other);
}

TEST(DesktopMediaKeys, OnWaylandGnomeAndPlasmaTakeThem) {
    qputenv("WAYLAND_DISPLAY", "wayland-velloq-test");
    qputenv("XDG_CURRENT_DESKTOP", "ubuntu:GNOME");
    EXPECT_TRUE(taken(KeySender::soundUp, kFine));
    qputenv("XDG_CURRENT_DESKTOP", "KDE");
    EXPECT_TRUE(taken(KeySender::brightnessDown, 0));
    qputenv("XDG_CURRENT_DESKTOP", "sway");
    EXPECT_FALSE(taken(KeySender::mute, 0));
}
