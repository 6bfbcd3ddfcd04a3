#include "follow/X11ActiveAppWatcher.h"

#include "support/Log.h"

#include <QSocketNotifier>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

namespace velloq {

namespace {

// Replies are malloc'd by xcb.
template <typename T> using Reply = std::unique_ptr<T, decltype(&std::free)>;
template <typename T> Reply<T> reply(T* value) {
    return Reply<T>(value, &std::free);
}

QByteArray propertyBytes(xcb_get_property_reply_t* value) {
    if (!value || value->format != 8)
        return QByteArray();
    return QByteArray(static_cast<const char*>(xcb_get_property_value(value)),
                      xcb_get_property_value_length(value));
}

uint32_t propertyCardinal(xcb_get_property_reply_t* value) {
    if (!value || value->format != 32 || xcb_get_property_value_length(value) < 4)
        return 0;
    return *static_cast<const uint32_t*>(xcb_get_property_value(value));
}

} // namespace

struct X11ActiveAppWatcher::Atoms {
    xcb_atom_t activeWindow = XCB_ATOM_NONE;
    xcb_atom_t pid = XCB_ATOM_NONE;
    xcb_atom_t gtkApplicationId = XCB_ATOM_NONE;
    xcb_atom_t kdeDesktopFile = XCB_ATOM_NONE;
};

void X11ActiveAppWatcher::ConnectionDeleter::operator()(xcb_connection_t* connection) const {
    xcb_disconnect(connection);
}

X11ActiveAppWatcher::X11ActiveAppWatcher(QByteArray display, QObject* parent)
    : ActiveAppWatcher(parent)
    , display_(std::move(display)) {
}

X11ActiveAppWatcher::~X11ActiveAppWatcher() {
    stop();
}

void X11ActiveAppWatcher::start() {
    if (connection_)
        return;
    int screenNumber = 0;
    connection_.reset(
        xcb_connect(display_.isEmpty() ? nullptr : display_.constData(), &screenNumber));
    if (xcb_connection_has_error(connection_.get())) {
        logLine(QStringLiteral("Could not watch the app in front: no X display ") +
                QString::fromLocal8Bit(display_.isEmpty() ? qgetenv("DISPLAY") : display_));
        connection_.reset();
        return;
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection_.get()));
    for (int i = 0; i < screenNumber && screens.rem > 0; ++i)
        xcb_screen_next(&screens);
    root_ = screens.data->root;

    // All requests first, then the replies: one round trip.
    const char* names[] = {"_NET_ACTIVE_WINDOW", "_NET_WM_PID", "_GTK_APPLICATION_ID",
                           "_KDE_NET_WM_DESKTOP_FILE"};
    xcb_intern_atom_cookie_t cookies[4];
    for (int i = 0; i < 4; ++i)
        cookies[i] =
            xcb_intern_atom(connection_.get(), 0, uint16_t(std::strlen(names[i])), names[i]);
    const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_change_window_attributes(connection_.get(), root_, XCB_CW_EVENT_MASK, &mask);
    atoms_ = std::make_unique<Atoms>();
    xcb_atom_t* targets[] = {&atoms_->activeWindow, &atoms_->pid, &atoms_->gtkApplicationId,
                             &atoms_->kdeDesktopFile};
    for (int i = 0; i < 4; ++i) {
        if (auto r = reply(xcb_intern_atom_reply(connection_.get(), cookies[i], nullptr)))
            *targets[i] = r->atom;
    }
    xcb_flush(connection_.get());

    notifier_ = new QSocketNotifier(xcb_get_file_descriptor(connection_.get()),
                                    QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &X11ActiveAppWatcher::readEvents);
    reportActiveWindow();
    readEvents(); // events that came with the replies
}

void X11ActiveAppWatcher::stop() {
    delete notifier_;
    notifier_ = nullptr;
    connection_.reset();
    atoms_.reset();
}

void X11ActiveAppWatcher::readEvents() {
    if (!connection_)
        return;
    bool activeChanged = false;
    while (auto event = reply(xcb_poll_for_event(connection_.get()))) {
        if ((event->response_type & 0x7f) != XCB_PROPERTY_NOTIFY)
            continue;
        const auto* notify = reinterpret_cast<const xcb_property_notify_event_t*>(event.get());
        if (notify->window == root_ && notify->atom == atoms_->activeWindow)
            activeChanged = true;
    }
    if (xcb_connection_has_error(connection_.get())) {
        logLine(QStringLiteral("Could not watch the app in front: the X connection broke"));
        stop();
        return;
    }
    // Several changes read at once count as one: only the last window matters.
    if (activeChanged) {
        reportActiveWindow();
        readEvents();
    }
}

void X11ActiveAppWatcher::reportActiveWindow() {
    auto active = reply(xcb_get_property_reply(
        connection_.get(),
        xcb_get_property(connection_.get(), 0, root_, atoms_->activeWindow, XCB_ATOM_WINDOW, 0, 1),
        nullptr));
    // Every change is reported, even to the same id: X reuses the ids of windows that are
    // gone for new clients' windows. The follower drops a repeat of the same app.
    const uint32_t window = propertyCardinal(active.get());
    Q_EMIT activated(window ? identify(window) : WindowIdentity());
}

WindowIdentity X11ActiveAppWatcher::identify(uint32_t window) const {
    xcb_connection_t* c = connection_.get();
    const auto get = [&](xcb_atom_t property, xcb_atom_t type, uint32_t length) {
        return xcb_get_property(c, 0, window, property, type, 0, length);
    };
    const xcb_get_property_cookie_t wmClass = get(XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 256);
    const xcb_get_property_cookie_t pid = get(atoms_->pid, XCB_ATOM_CARDINAL, 1);
    const xcb_get_property_cookie_t gtkId = get(atoms_->gtkApplicationId, XCB_ATOM_ANY, 256);
    const xcb_get_property_cookie_t kdeFile = get(atoms_->kdeDesktopFile, XCB_ATOM_ANY, 256);

    WindowIdentity identity;
    // "instance\0class\0"
    const QList<QByteArray> parts =
        propertyBytes(reply(xcb_get_property_reply(c, wmClass, nullptr)).get()).split('\0');
    identity.wmInstance = QString::fromLocal8Bit(parts.value(0));
    identity.wmClass = QString::fromLocal8Bit(parts.value(1));
    identity.pid = pid_t(propertyCardinal(reply(xcb_get_property_reply(c, pid, nullptr)).get()));
    const QByteArray gtk = propertyBytes(reply(xcb_get_property_reply(c, gtkId, nullptr)).get());
    const QByteArray kde = propertyBytes(reply(xcb_get_property_reply(c, kdeFile, nullptr)).get());
    identity.appId = QString::fromUtf8(!gtk.isEmpty() ? gtk : kde);
    return identity;
}

} // namespace velloq
