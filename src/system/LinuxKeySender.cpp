#include "system/LinuxKeySender.h"

#include "support/Log.h"
#include "system/KeyCodes.h"

#include <QString>
#include <QtGlobal>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/uinput.h>
#include <sys/ioctl.h>
#include <unistd.h>

// X11 last: its macros clash with Qt names.
#include <X11/XF86keysym.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

namespace velloq {

namespace {

struct Modifier {
    uint64_t flag;
    uint16_t evdev;
};

// The order of the downs; ups go in reverse.
constexpr Modifier modifiers[] = {
    {KeySender::commandFlag, KEY_LEFTMETA},
    {KeySender::shiftFlag, KEY_LEFTSHIFT},
    {KeySender::optionFlag, KEY_LEFTALT},
    {KeySender::controlFlag, KEY_LEFTCTRL},
};

} // namespace

// ---- uinput

std::unique_ptr<UinputInjector> UinputInjector::open() {
    UniqueFd fd(::open("/dev/uinput", O_WRONLY | O_NONBLOCK | O_CLOEXEC));
    if (!fd)
        return nullptr;
    auto injector = std::make_unique<UinputInjector>(std::move(fd), true);
    if (!injector->created_)
        return nullptr;
    return injector;
}

UinputInjector::UinputInjector(UniqueFd fd, bool createDevice)
    : fd_(std::move(fd)) {
    if (!createDevice || !fd_)
        return;
    const int f = fd_.get();
    bool ok = ::ioctl(f, UI_SET_EVBIT, EV_KEY) == 0 && ::ioctl(f, UI_SET_EVBIT, EV_SYN) == 0;
    for (int code = 0; ok && code < 128; ++code) { // stored key codes end below 128
        if (const auto evdev = KeyCodes::toEvdev(static_cast<uint16_t>(code)))
            ok = ::ioctl(f, UI_SET_KEYBIT, int(*evdev)) == 0;
    }
    for (int type = 0; ok && type <= 20; ++type) {
        if (const auto evdev = KeyCodes::mediaKeyToEvdev(type))
            ok = ::ioctl(f, UI_SET_KEYBIT, int(*evdev)) == 0;
    }
    if (!ok)
        return;
    uinput_setup setup{};
    setup.id.bustype = BUS_VIRTUAL;
    setup.id.vendor = 0x1209;
    setup.id.product = 0x7e11;
    setup.id.version = 1;
    std::strncpy(setup.name, "Velloq virtual keyboard", UINPUT_MAX_NAME_SIZE - 1);
    if (::ioctl(f, UI_DEV_SETUP, &setup) != 0) {
        logLine(QStringLiteral("Could not set up the virtual keyboard: ") +
                QString::fromLocal8Bit(std::strerror(errno)));
        return;
    }
    if (::ioctl(f, UI_DEV_CREATE) != 0) {
        logLine(QStringLiteral("Could not create the virtual keyboard: ") +
                QString::fromLocal8Bit(std::strerror(errno)));
        return;
    }
    created_ = true;
}

UinputInjector::~UinputInjector() {
    if (created_)
        ::ioctl(fd_.get(), UI_DEV_DESTROY);
}

void UinputInjector::emit(uint16_t type, uint16_t code, int32_t value) {
    input_event event{};
    event.type = type;
    event.code = code;
    event.value = value;
    // A short or failed write drops this event only; there is nobody to tell.
    const ssize_t written = ::write(fd_.get(), &event, sizeof event);
    (void)written;
}

void UinputInjector::key(uint16_t evdevCode, bool down) {
    emit(EV_KEY, evdevCode, down ? 1 : 0);
    emit(EV_SYN, SYN_REPORT, 0);
}

// ---- XTest

struct XTestInjector::Display {
    ::Display* handle = nullptr;
    ~Display() {
        if (handle)
            XCloseDisplay(handle);
    }
};

std::unique_ptr<XTestInjector> XTestInjector::open() {
    auto display = std::make_unique<Display>();
    display->handle = XOpenDisplay(nullptr);
    if (!display->handle)
        return nullptr;
    int eventBase = 0, errorBase = 0, major = 0, minor = 0;
    if (!XTestQueryExtension(display->handle, &eventBase, &errorBase, &major, &minor))
        return nullptr;
    return std::unique_ptr<XTestInjector>(new XTestInjector(std::move(display)));
}

XTestInjector::XTestInjector(std::unique_ptr<Display> display)
    : display_(std::move(display)) {
}

XTestInjector::~XTestInjector() = default;

void XTestInjector::fake(unsigned keycode, bool down) {
    if (keycode < 8 || keycode > 255)
        return;
    XTestFakeKeyEvent(display_->handle, keycode, down ? True : False, CurrentTime);
    XFlush(display_->handle);
}

void XTestInjector::key(uint16_t evdevCode, bool down) {
    fake(unsigned(evdevCode) + 8, down);
}

void XTestInjector::mediaKey(uint16_t evdevCode, bool down) {
    KeySym sym = NoSymbol;
    switch (evdevCode) {
    case KEY_VOLUMEUP:
        sym = XF86XK_AudioRaiseVolume;
        break;
    case KEY_VOLUMEDOWN:
        sym = XF86XK_AudioLowerVolume;
        break;
    case KEY_MUTE:
        sym = XF86XK_AudioMute;
        break;
    case KEY_BRIGHTNESSUP:
        sym = XF86XK_MonBrightnessUp;
        break;
    case KEY_BRIGHTNESSDOWN:
        sym = XF86XK_MonBrightnessDown;
        break;
    case KEY_PLAYPAUSE:
        sym = XF86XK_AudioPlay;
        break;
    case KEY_NEXTSONG:
        sym = XF86XK_AudioNext;
        break;
    case KEY_PREVIOUSSONG:
        sym = XF86XK_AudioPrev;
        break;
    default:
        break;
    }
    const unsigned keycode = sym == NoSymbol ? 0 : XKeysymToKeycode(display_->handle, sym);
    fake(keycode != 0 ? keycode : unsigned(evdevCode) + 8, down);
}

// ---- key sender

// The virtual keyboard is made at once, so the desktop has seen it before the first press.
LinuxKeySender::LinuxKeySender()
    : factory_(&LinuxKeySender::chooseBackend) {
    backend();
}

LinuxKeySender::LinuxKeySender(std::unique_ptr<KeyInjector> backend)
    : backend_(std::move(backend)) {
}

LinuxKeySender::LinuxKeySender(BackendFactory factory)
    : factory_(std::move(factory)) {
}

bool LinuxKeySender::isX11Session() {
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        return false;
    if (!qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return false;
    return qEnvironmentVariable("XDG_SESSION_TYPE") != u"wayland";
}

std::unique_ptr<KeyInjector> LinuxKeySender::chooseBackend() {
    if (auto uinput = UinputInjector::open())
        return uinput;
    if (isX11Session()) {
        if (auto xtest = XTestInjector::open())
            return xtest;
    }
    return nullptr;
}

KeyInjector* LinuxKeySender::backend() {
    if (!backend_ && factory_) {
        backend_ = factory_();
        if (backend_) {
            logLine(QStringLiteral("Input: ") + QLatin1String(backend_->name()));
            loggedMissing_ = false;
        } else if (!loggedMissing_) {
            logLine(QStringLiteral(
                "No input access: /dev/uinput is not writable and the session is not X11"));
            loggedMissing_ = true;
        }
    }
    return backend_.get();
}

bool LinuxKeySender::canInject() {
    return backend() != nullptr;
}

void LinuxKeySender::modifierDowns(uint64_t flags) {
    for (const Modifier& m : modifiers) {
        if (flags & m.flag)
            backend_->key(m.evdev, true);
    }
}

void LinuxKeySender::modifierUps(uint64_t flags) {
    for (auto it = std::rbegin(modifiers); it != std::rend(modifiers); ++it) {
        if (flags & it->flag)
            backend_->key(it->evdev, false);
    }
}

void LinuxKeySender::press(uint16_t keyCode, uint64_t flags) {
    const auto evdev = KeyCodes::toEvdev(keyCode);
    if (!evdev || !backend())
        return;
    modifierDowns(flags);
    backend_->key(*evdev, true);
    backend_->key(*evdev, false);
    modifierUps(flags);
}

void LinuxKeySender::postMediaKey(int type, uint64_t extraFlags) {
    const auto evdev = KeyCodes::mediaKeyToEvdev(type);
    if (!evdev || !backend())
        return;
    modifierDowns(extraFlags);
    backend_->mediaKey(*evdev, true);
    backend_->mediaKey(*evdev, false);
    modifierUps(extraFlags);
}

} // namespace velloq
