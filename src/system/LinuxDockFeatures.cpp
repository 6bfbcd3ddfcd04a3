#include "system/LinuxDockFeatures.h"

#include "system/KeySender.h"
#include "system/LinuxKeySender.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QString>
#include <QStringList>

// X11 last: its macros clash with Qt names.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace velloq {

namespace {

constexpr int dbusTimeoutMs = 500;
constexpr uint16_t superKey = 55; // stored code of Command, i.e. KEY_LEFTMETA
constexpr uint16_t dKey = 2;

bool desktopIs(const char* name) {
    const QStringList desktops =
        qEnvironmentVariable("XDG_CURRENT_DESKTOP").split(u':', Qt::SkipEmptyParts);
    return desktops.contains(QLatin1String(name), Qt::CaseInsensitive);
}

bool callSession(const QString& service, const QString& path, const QString& interface,
                 const QString& method, const QVariantList& args) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    QDBusMessage call = QDBusMessage::createMethodCall(service, path, interface, method);
    call.setArguments(args);
    return bus.call(call, QDBus::Block, dbusTimeoutMs).type() == QDBusMessage::ReplyMessage;
}

bool kwinShortcut(const QString& name) {
    return callSession(QStringLiteral("org.kde.kglobalaccel"), QStringLiteral("/component/kwin"),
                       QStringLiteral("org.kde.kglobalaccel.Component"),
                       QStringLiteral("invokeShortcut"), {name});
}

bool gnomeOverview() {
    return callSession(QStringLiteral("org.gnome.Shell"), QStringLiteral("/org/gnome/Shell"),
                       QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Set"),
                       {QStringLiteral("org.gnome.Shell"), QStringLiteral("OverviewActive"),
                        QVariant::fromValue(QDBusVariant(true))});
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
    if (desktopIs("GNOME") && gnomeOverview())
        return;
    if (desktopIs("KDE") && kwinShortcut(QStringLiteral("Overview")))
        return;
    keys_.press(superKey, 0);
}

void LinuxDockFeatures::showDesktop() {
    if (LinuxKeySender::isX11Session() && toggleShowingDesktopX11())
        return;
    if (desktopIs("KDE") && kwinShortcut(QStringLiteral("Show Desktop")))
        return;
    keys_.press(dKey, KeySender::commandFlag);
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
