#include "system/LinuxDockFeatures.h"

#include "system/KeySender.h"
#include "system/LinuxKeySender.h"
#include "system/SessionBusCall.h"

#include <QDBusMessage>
#include <QDBusVariant>
#include <QString>
#include <QStringList>

// X11 last: its macros clash with Qt names.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace velloq {

namespace {

constexpr uint16_t superKey = 55; // stored code of Command, i.e. KEY_LEFTMETA
constexpr uint16_t dKey = 2;

bool desktopIs(const char* name) {
    const QStringList desktops =
        qEnvironmentVariable("XDG_CURRENT_DESKTOP").split(u':', Qt::SkipEmptyParts);
    return desktops.contains(QLatin1String(name), Qt::CaseInsensitive);
}

QDBusMessage kwinShortcut(const QString& name) {
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.kde.kglobalaccel"), QStringLiteral("/component/kwin"),
        QStringLiteral("org.kde.kglobalaccel.Component"), QStringLiteral("invokeShortcut"));
    call << name;
    return call;
}

QDBusMessage gnomeOverview() {
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.gnome.Shell"), QStringLiteral("/org/gnome/Shell"),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Set"));
    call << QStringLiteral("org.gnome.Shell") << QStringLiteral("OverviewActive")
         << QVariant::fromValue(QDBusVariant(true));
    return call;
}

struct XDisplay {
    Display* handle = XOpenDisplay(nullptr);
    ~XDisplay() {
        if (handle)
            XCloseDisplay(handle);
    }
};

} // namespace

LinuxDockFeatures::LinuxDockFeatures(KeySender& keys)
    : keys_(keys) {
}

void LinuxDockFeatures::missionControl() {
    auto superTap = [this] { keys_.press(superKey, 0); };
    if (desktopIs("GNOME"))
        callSessionServiceOrFallBack(gnomeOverview(), QStringLiteral("the GNOME overview"),
                                     &context_, superTap);
    else if (desktopIs("KDE"))
        callSessionServiceOrFallBack(kwinShortcut(QStringLiteral("Overview")),
                                     QStringLiteral("KWin's Overview"), &context_, superTap);
    else
        superTap();
}

void LinuxDockFeatures::showDesktop() {
    if (LinuxKeySender::isX11Session() && toggleShowingDesktopX11())
        return;
    auto superD = [this] { keys_.press(dKey, KeySender::commandFlag); };
    if (desktopIs("KDE"))
        callSessionServiceOrFallBack(kwinShortcut(QStringLiteral("Show Desktop")),
                                     QStringLiteral("KWin's Show Desktop"), &context_, superD);
    else
        superD();
}

bool LinuxDockFeatures::toggleShowingDesktopX11() {
    XDisplay display;
    if (!display.handle)
        return false;
    Display* dpy = display.handle;
    const Window root = DefaultRootWindow(dpy);
    const Atom supported = XInternAtom(dpy, "_NET_SUPPORTED", False);
    const Atom showing = XInternAtom(dpy, "_NET_SHOWING_DESKTOP", False);

    bool isSupported = false;
    {
        Atom type = None;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(dpy, root, supported, 0, 4096, False, XA_ATOM, &type, &format,
                               &count, &after, &data) == Success &&
            data) {
            const auto* atoms = reinterpret_cast<const Atom*>(data);
            for (unsigned long i = 0; i < count && format == 32; ++i)
                isSupported = isSupported || atoms[i] == showing;
            XFree(data);
        }
    }
    if (!isSupported)
        return false;

    long current = 0;
    {
        Atom type = None;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(dpy, root, showing, 0, 1, False, XA_CARDINAL, &type, &format, &count,
                               &after, &data) == Success &&
            data) {
            if (count == 1 && format == 32)
                current = *reinterpret_cast<const long*>(data);
            XFree(data);
        }
    }

    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = root;
    event.xclient.message_type = showing;
    event.xclient.format = 32;
    event.xclient.data.l[0] = current ? 0 : 1;
    const Status sent =
        XSendEvent(dpy, root, False, SubstructureRedirectMask | SubstructureNotifyMask, &event);
    XFlush(dpy);
    return sent != 0;
}

} // namespace velloq
