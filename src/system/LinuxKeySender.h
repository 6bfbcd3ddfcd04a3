#pragma once

#include "support/UniqueFd.h"
#include "system/KeySender.h"

#include <cstdint>
#include <functional>
#include <memory>

namespace velloq {

// A backend that turns single evdev key transitions into real input.
class KeyInjector {
public:
    virtual ~KeyInjector() = default;
    // For the log line that names the choice.
    virtual const char* name() const = 0;
    // One key transition of an ordinary key (evdev code).
    virtual void key(uint16_t evdevCode, bool down) = 0;
    // One transition of a media key (evdev code); backends with their own media names
    // (XTest keysyms) override this.
    virtual void mediaKey(uint16_t evdevCode, bool down) { key(evdevCode, down); }
};

// Writes to a uinput virtual keyboard "Velloq virtual keyboard". The device is set up once
// when made and kept until destroyed: a keyboard created per press is seen by the desktop
// only after a delay and loses its first events.
class UinputInjector final : public KeyInjector {
public:
    // Opens /dev/uinput and creates the device; null when that is not possible.
    static std::unique_ptr<UinputInjector> open();
    // Uses `fd` as the uinput node: the setup ioctls are tried and their failure ignored, so a
    // pipe or a plain file records the event stream (tests).
    explicit UinputInjector(UniqueFd fd, bool createDevice = true);
    ~UinputInjector() override;
    UinputInjector(const UinputInjector&) = delete;
    UinputInjector& operator=(const UinputInjector&) = delete;

    const char* name() const override { return "uinput virtual keyboard"; }
    void key(uint16_t evdevCode, bool down) override;

private:
    void emit(uint16_t type, uint16_t code, int32_t value);
    UniqueFd fd_;
    bool created_ = false;
};

// XTest on an X11 session: X keycode = evdev + 8; media keys through their XF86 keysyms.
class XTestInjector final : public KeyInjector {
public:
    // Connects to $DISPLAY; null without an X server or without the XTEST extension.
    static std::unique_ptr<XTestInjector> open();
    ~XTestInjector() override;
    XTestInjector(const XTestInjector&) = delete;
    XTestInjector& operator=(const XTestInjector&) = delete;

    const char* name() const override { return "XTest"; }
    void key(uint16_t evdevCode, bool down) override;
    void mediaKey(uint16_t evdevCode, bool down) override;

private:
    struct Display;
    explicit XTestInjector(std::unique_ptr<Display> display);
    void fake(unsigned keycode, bool down);
    std::unique_ptr<Display> display_;
};

// The key sender over one backend. The Linux choice (uinput, else XTest on an X11 session) is
// made by `chooseBackend`, tried again while none is found so that a udev rule installed
// later takes effect.
class LinuxKeySender final : public KeySender {
public:
    using BackendFactory = std::function<std::unique_ptr<KeyInjector>()>;

    // The desktop's choice, made at once: uinput, else XTest when the session is X11.
    LinuxKeySender();
    // A fixed backend (or a factory retried until it gives one).
    explicit LinuxKeySender(std::unique_ptr<KeyInjector> backend);
    explicit LinuxKeySender(BackendFactory factory);

    void press(uint16_t keyCode, uint64_t flags) override;
    void postMediaKey(int type, uint64_t extraFlags) override;
    bool canInject() override;

    // uinput, else XTest when the session is X11 (no Wayland display).
    static std::unique_ptr<KeyInjector> chooseBackend();
    // True for an X11 session: $DISPLAY set and neither $WAYLAND_DISPLAY nor
    // XDG_SESSION_TYPE=wayland.
    static bool isX11Session();

private:
    KeyInjector* backend();
    void modifierDowns(uint64_t flags);
    void modifierUps(uint64_t flags);

    BackendFactory factory_;
    std::unique_ptr<KeyInjector> backend_;
    bool loggedMissing_ = false;
};

} // namespace velloq
