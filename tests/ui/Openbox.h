#pragma once

// openbox on the session's X server while it lives: a real window manager, for what only one
// decides (activation, stacking, minimising). On its way out openbox takes its properties off
// the root window, so the tests after it find the bare server again.

#include "support/TestEnv.h"

#include <QGuiApplication>
#include <QList>
#include <QProcess>
#include <QStandardPaths>
#include <QWidget>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <memory>

namespace velloq::test {

class Openbox {
public:
    Openbox() {
        if (QStandardPaths::findExecutable(QStringLiteral("openbox")).isEmpty())
            return;
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.setStandardOutputFile(QProcess::nullDevice());
        process_.start(QStringLiteral("openbox"), {QStringLiteral("--sm-disable")});
        running_ = process_.waitForStarted() && waitUntil([] { return managed(); }, 10000) &&
                   managesNewWindows();
    }
    ~Openbox() {
        if (process_.state() == QProcess::NotRunning)
            return;
        process_.terminate();
        process_.waitForFinished(5000);
        waitUntil([] { return !managed(); });
    }
    Openbox(const Openbox&) = delete;
    Openbox& operator=(const Openbox&) = delete;

    bool running() const { return running_; }

    // Whether a window manager names itself on the root window.
    static bool managed() { return !rootWindows("_NET_SUPPORTING_WM_CHECK").isEmpty(); }

private:
    // openbox names itself a moment before it has taken over the screen: a window mapped in
    // between is never managed. Ready once a window shown now is managed and given the focus.
    static bool managesNewWindows() {
        for (int attempt = 0; attempt < 5; ++attempt) {
            QWidget probe;
            probe.resize(50, 50);
            probe.show();
            probe.activateWindow();
            if (waitUntil([&] { return probe.isActiveWindow(); }, 2000))
                return true;
        }
        return false;
    }

    // The windows the root window's property `name` lists.
    static QList<xcb_window_t> rootWindows(const char* name) {
        auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
        if (!x11)
            return {};
        xcb_connection_t* connection = x11->connection();
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
        const std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> atom(
            xcb_intern_atom_reply(connection,
                                  xcb_intern_atom(connection, 1, uint16_t(std::strlen(name)), name),
                                  nullptr),
            &std::free);
        if (!atom || atom->atom == XCB_ATOM_NONE)
            return {};
        const std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> property(
            xcb_get_property_reply(
                connection,
                xcb_get_property(connection, 0, root, atom->atom, XCB_ATOM_WINDOW, 0, 1024),
                nullptr),
            &std::free);
        if (!property)
            return {};
        const auto* windows =
            static_cast<const xcb_window_t*>(xcb_get_property_value(property.get()));
        const int count = xcb_get_property_value_length(property.get()) / int(sizeof(xcb_window_t));
        return QList<xcb_window_t>(windows, windows + count);
    }

    QProcess process_;
    bool running_ = false;
};

} // namespace velloq::test
