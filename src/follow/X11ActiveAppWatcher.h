#pragma once

#include "follow/ActiveAppWatcher.h"

#include <QByteArray>

#include <cstdint>
#include <memory>

class QSocketNotifier;
struct xcb_connection_t;

namespace velloq {

// EWMH: PropertyNotify of _NET_ACTIVE_WINDOW on the root window, on a connection of its own
// read through a socket notifier. The active window's _GTK_APPLICATION_ID,
// _KDE_NET_WM_DESKTOP_FILE, WM_CLASS and _NET_WM_PID identify it.
class X11ActiveAppWatcher final : public ActiveAppWatcher {
    Q_OBJECT

public:
    // `display` as for XOpenDisplay; empty: $DISPLAY.
    explicit X11ActiveAppWatcher(QByteArray display = QByteArray(), QObject* parent = nullptr);
    ~X11ActiveAppWatcher() override;

    void start() override;
    void stop() override;
    Availability availability() const override { return Availability::available; }

private:
    struct Atoms;
    struct ConnectionDeleter {
        void operator()(xcb_connection_t* connection) const;
    };

    void readEvents();
    void reportActiveWindow();
    WindowIdentity identify(uint32_t window) const;

    QByteArray display_;
    std::unique_ptr<xcb_connection_t, ConnectionDeleter> connection_;
    std::unique_ptr<Atoms> atoms_;
    QSocketNotifier* notifier_ = nullptr;
    uint32_t root_ = 0;
};

} // namespace velloq
