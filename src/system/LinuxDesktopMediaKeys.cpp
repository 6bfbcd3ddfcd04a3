#include "system/LinuxDesktopMediaKeys.h"

#include "system/DesktopCommands.h"
#include "system/KeyCodes.h"
#include "system/KeySender.h"

#include <QtGlobal>

#include <iterator>

// X11 last: its macros clash with Qt names.
#include <X11/XF86keysym.h>
#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <X11/keysym.h>

namespace velloq {

namespace {

constexpr auto kAnswerLifetime = std::chrono::seconds(30);

KeySym mediaKeySym(int type) {
    switch (type) {
    case KeySender::soundUp:
        return XF86XK_AudioRaiseVolume;
    case KeySender::soundDown:
        return XF86XK_AudioLowerVolume;
    case KeySender::brightnessUp:
        return XF86XK_MonBrightnessUp;
    case KeySender::brightnessDown:
        return XF86XK_MonBrightnessDown;
    case KeySender::mute:
        return XF86XK_AudioMute;
    case KeySender::playPause:
        return XF86XK_AudioPlay;
    case KeySender::nextTrack:
        return XF86XK_AudioNext;
    case KeySender::previousTrack:
        return XF86XK_AudioPrev;
    default:
        return NoSymbol;
    }
}

// Set by the error handler while a grab is tried; Xlib calls it on the thread that syncs.
bool grabRefused = false;

int noteRefusal(Display*, XErrorEvent* error) {
    if (error->error_code == BadAccess)
        grabRefused = true;
    return 0;
}

} // namespace

struct LinuxDesktopMediaKeys::X11 {
    Display* display = nullptr;
    int xiOpcode = -1;
    ~X11() {
        if (display)
            XCloseDisplay(display);
    }

    // The modifier mask (ShiftMask, Mod1Mask …) that holds the key of `sym`, or 0.
    unsigned maskOf(KeySym sym) const {
        const KeyCode code = XKeysymToKeycode(display, sym);
        XModifierKeymap* map = XGetModifierMapping(display);
        unsigned mask = 0;
        for (int mod = 0; map && mod < 8 && code != 0; ++mod) {
            for (int i = 0; i < map->max_keypermod; ++i) {
                if (map->modifiermap[mod * map->max_keypermod + i] == code)
                    mask |= 1U << mod;
            }
        }
        if (map)
            XFreeModifiermap(map);
        return mask;
    }

    unsigned modifiers(uint64_t flags) const {
        unsigned mask = 0;
        if (flags & KeySender::shiftFlag)
            mask |= ShiftMask;
        if (flags & KeySender::controlFlag)
            mask |= ControlMask;
        if (flags & KeySender::optionFlag)
            mask |= maskOf(XK_Alt_L);
        if (flags & KeySender::commandFlag)
            mask |= maskOf(XK_Super_L);
        return mask;
    }

    // Whether another client holds a passive grab of `keycode` with `mask` on the root window.
    bool grabbed(unsigned keycode, unsigned mask) {
        const Window root = DefaultRootWindow(display);
        XSync(display, False);
        int (*previous)(Display*, XErrorEvent*) = XSetErrorHandler(noteRefusal);
        grabRefused = false;
        XGrabKey(display, int(keycode), mask, root, False, GrabModeAsync, GrabModeAsync);
        XSync(display, False);
        bool taken = grabRefused;
        if (!taken)
            XUngrabKey(display, int(keycode), mask, root);
        XSync(display, False);
        XSetErrorHandler(previous);
        if (taken || xiOpcode < 0)
            return taken;

        unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
        XISetMask(bits, XI_KeyPress);
        XIEventMask events{XIAllMasterDevices, int(sizeof bits), bits};
        XIGrabModifiers mods{int(mask), 0};
        // The number of modifier sets that could not be grabbed: a conflict is no X error.
        const int failed =
            XIGrabKeycode(display, XIAllMasterDevices, int(keycode), root, XIGrabModeAsync,
                          XIGrabModeAsync, False, &events, 1, &mods);
        if (failed == 0)
            XIUngrabKeycode(display, XIAllMasterDevices, int(keycode), root, 1, &mods);
        XSync(display, False);
        return failed > 0;
    }
};

LinuxDesktopMediaKeys::LinuxDesktopMediaKeys() = default;
LinuxDesktopMediaKeys::~LinuxDesktopMediaKeys() = default;

bool LinuxDesktopMediaKeys::takes(int type, uint64_t extraFlags) {
    const auto key = std::make_pair(type, extraFlags);
    const auto now = Clock::now();
    if (const auto found = answers_.find(key);
        found != answers_.end() && now - found->second.second < kAnswerLifetime)
        return found->second.first;

    bool taken = false;
    if (DesktopCommands::isX11Session()) {
        taken = grabbedOnX11(type, extraFlags);
    } else {
        taken = DesktopCommands::currentDesktop() != DesktopCommands::Desktop::other;
    }
    answers_[key] = {taken, now};
    return taken;
}

bool LinuxDesktopMediaKeys::grabbedOnX11(int type, uint64_t extraFlags) {
    if (!x11_) {
        auto x11 = std::make_unique<X11>();
        x11->display = XOpenDisplay(nullptr);
        if (!x11->display)
            return false;
        int opcode = 0, event = 0, error = 0, major = 2, minor = 0;
        if (XQueryExtension(x11->display, "XInputExtension", &opcode, &event, &error) &&
            XIQueryVersion(x11->display, &major, &minor) == Success)
            x11->xiOpcode = opcode;
        x11_ = std::move(x11);
    }
    const KeySym sym = mediaKeySym(type);
    if (sym == NoSymbol)
        return false;
    const unsigned mask = x11_->modifiers(extraFlags);
    // The key as XTest sends it (by its keysym) and as the virtual keyboard does (evdev + 8).
    const unsigned bySym = XKeysymToKeycode(x11_->display, sym);
    if (bySym != 0 && x11_->grabbed(bySym, mask))
        return true;
    const std::optional<uint16_t> evdev = KeyCodes::mediaKeyToEvdev(type);
    const unsigned byCode = evdev ? unsigned(*evdev) + 8 : 0;
    return byCode != bySym && byCode >= 8 && byCode <= 255 && x11_->grabbed(byCode, mask);
}

} // namespace velloq
