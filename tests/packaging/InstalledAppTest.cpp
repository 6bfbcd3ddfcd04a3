// The installed velloq, started from the temporary prefix of the packaging fixture, against
// the dock emulator: it must find its built-in screensavers beside itself.

#include "EmulatedDock.h"

#include "device/DeviceModel.h"
#include "imaging/AnimationRenderer.h"
#include "support/AppPaths.h"
#include "support/TestEnv.h"
#include "support/XServer.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusReply>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QUrl>

#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>

#include <csignal>

using namespace velloq;

namespace {

const QString kPrefix = QStringLiteral(VELLOQ_TEST_PREFIX);

template <typename T> using Reply = std::unique_ptr<T, decltype(&std::free)>;

xcb_atom_t atom(xcb_connection_t* c, const char* name) {
    const Reply<xcb_intern_atom_reply_t> reply(
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(qstrlen(name)), name), nullptr),
        &std::free);
    return reply ? reply->atom : XCB_NONE;
}

// Closes the shown windows of process pid as a window manager does when the user clicks their
// close button (WM_DELETE_WINDOW). Returns how many it asked.
int closeWindowsOf(const QString& display, qint64 pid) {
    xcb_connection_t* c = xcb_connect(display.toLocal8Bit().constData(), nullptr);
    const std::unique_ptr<xcb_connection_t, decltype(&xcb_disconnect)> owned(c, &xcb_disconnect);
    if (xcb_connection_has_error(c))
        return 0;
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    const xcb_atom_t wmPid = atom(c, "_NET_WM_PID");
    const xcb_atom_t protocols = atom(c, "WM_PROTOCOLS");
    const xcb_atom_t deleteWindow = atom(c, "WM_DELETE_WINDOW");
    const Reply<xcb_query_tree_reply_t> tree(
        xcb_query_tree_reply(c, xcb_query_tree(c, root), nullptr), &std::free);
    if (!tree)
        return 0;
    int asked = 0;
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    for (int i = 0; i < xcb_query_tree_children_length(tree.get()); ++i) {
        const xcb_window_t window = children[i];
        const Reply<xcb_get_window_attributes_reply_t> attributes(
            xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, window), nullptr),
            &std::free);
        const Reply<xcb_get_property_reply_t> property(
            xcb_get_property_reply(
                c, xcb_get_property(c, 0, window, wmPid, XCB_ATOM_CARDINAL, 0, 1), nullptr),
            &std::free);
        if (!attributes || attributes->map_state != XCB_MAP_STATE_VIEWABLE || !property ||
            xcb_get_property_value_length(property.get()) != 4 ||
            *static_cast<const uint32_t*>(xcb_get_property_value(property.get())) != pid)
            continue;
        xcb_client_message_event_t event{};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 32;
        event.window = window;
        event.type = protocols;
        event.data.data32[0] = deleteWindow;
        event.data.data32[1] = XCB_CURRENT_TIME;
        xcb_send_event(c, 0, window, XCB_EVENT_MASK_NO_EVENT,
                       reinterpret_cast<const char*>(&event));
        ++asked;
    }
    xcb_flush(c);
    return asked;
}

} // namespace

// "Apple" is not the default animation, so the faces can only be its tiles when the
// installed program loaded share/velloq/Screensavers/Apple.mp4. They must match byte for
// byte what the same renderer makes of the installed file.
TEST(InstalledVelloq, PlaysTheBuiltInScreensaverAppleOnTheEmulator) {
    const QString apple = kPrefix + QStringLiteral("/share/velloq/Screensavers/Apple.mp4");
    ASSERT_TRUE(QFileInfo(apple).isFile());

    const DockModel model = DockModels::table()[1]; // Ajazz AKP03E (rev. 2)
    const auto frames = AnimationRenderer::screensaverFrames(QUrl::fromLocalFile(apple),
                                                             DockModels::imageEdge(model),
                                                             DockModels::finalRotation(model, 0));
    ASSERT_TRUE(frames);
    QSet<QByteArray> appleTiles;
    for (const auto& tiles : frames->tiles)
        for (const QByteArray& tile : tiles)
            appleTiles.insert(tile);

    const QString data = AppPaths::dataDir();
    ASSERT_TRUE(QDir().mkpath(data));
    QFile config(data + QStringLiteral("/config.json"));
    ASSERT_TRUE(config.open(QIODevice::WriteOnly));
    config.write(R"({"screensaverEnabled": true, "screensaverDelay": 0,
                     "screensaverAnimation": "Apple"})");
    config.close();

    EmulatedDock dock(model);
    ASSERT_TRUE(dock.plugIn());

    // Its own X server: a window it opens is closed there, whatever else runs.
    test::XServer xserver;
    ASSERT_FALSE(xserver.display().isEmpty());
    QProcess velloq;
    velloq.setProcessChannelMode(QProcess::ForwardedChannels);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.insert(QStringLiteral("DISPLAY"), xserver.display());
    velloq.setProcessEnvironment(env);
    velloq.start(kPrefix + QStringLiteral("/bin/velloq"), {});
    ASSERT_TRUE(velloq.waitForStarted());

    const auto showsApple = [&] {
        for (int key = 0; key < EmulatedDock::kKeys; ++key) {
            if (!appleTiles.contains(dock.faceData(key)))
                return false;
        }
        return true;
    };
    // Without a tray the window opens at start, and the screensaver waits while it is shown:
    // whatever window of Velloq's is shown is closed, as the user would.
    int closed = 0;
    EXPECT_TRUE(test::waitUntil(
        [&] {
            closed += closeWindowsOf(xserver.display(), velloq.processId());
            return showsApple();
        },
        20000))
        << closed << " windows closed";
    EXPECT_TRUE(dock.protocolErrors().isEmpty()) << dock.protocolErrors().join(u'\n').toStdString();

    velloq.terminate();
    EXPECT_TRUE(velloq.waitForFinished(10000));
    EXPECT_EQ(velloq.exitStatus(), QProcess::NormalExit);
}

// With the service file installed, a command starts Velloq through D-Bus and is answered by
// it; the same bus then knows Velloq until it quits. A bus of the test's own, whose only
// service folder is the prefix's.
TEST(InstalledVelloq, ACommandStartsVelloqThroughDBus) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString address = QStringLiteral("unix:path=") + dir.path() + QStringLiteral("/bus");
    QFile config(dir.path() + QStringLiteral("/bus.conf"));
    ASSERT_TRUE(config.open(QIODevice::WriteOnly));
    config.write(
        QStringLiteral("<busconfig><type>session</type><listen>%1</listen>"
                       "<servicedir>%2/share/dbus-1/services</servicedir>"
                       "<policy context=\"default\"><allow send_destination=\"*\"/>"
                       "<allow receive_sender=\"*\"/><allow own=\"*\"/></policy></busconfig>")
            .arg(address, kPrefix)
            .toUtf8());
    config.close();
    QProcess daemon;
    daemon.start(QStringLiteral("dbus-daemon"),
                 {QStringLiteral("--nofork"), QStringLiteral("--print-address"),
                  QStringLiteral("--config-file=") + config.fileName()});
    ASSERT_TRUE(daemon.waitForReadyRead(10000)); // its address, once it listens
    // The connection to it, closed at the end; and Velloq, once started, asked to quit then.
    struct PrivateBus {
        QDBusConnection bus;
        ~PrivateBus() {
            const QDBusReply<uint> pid =
                bus.interface()->servicePid(QStringLiteral("app.velloq.Velloq"));
            if (pid.isValid()) {
                ::kill(pid_t(pid.value()), SIGTERM);
                test::waitUntil([&] { return !started(); }, 10000);
            }
            const QString name = bus.name();
            bus = QDBusConnection(QString());
            QDBusConnection::disconnectFromBus(name);
        }
        bool started() const {
            return bus.interface()->isServiceRegistered(QStringLiteral("app.velloq.Velloq"));
        }
    } connection{QDBusConnection::connectToBus(address, QStringLiteral("private"))};
    ASSERT_TRUE(connection.bus.isConnected());
    ASSERT_FALSE(connection.started());

    QProcess command;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address);
    command.setProcessEnvironment(env);
    command.start(kPrefix + QStringLiteral("/bin/velloq"),
                  {QStringLiteral("status"), QStringLiteral("--json")});
    ASSERT_TRUE(command.waitForFinished(30000));
    EXPECT_EQ(command.exitCode(), 0) << command.readAllStandardError().toStdString();
    EXPECT_TRUE(command.readAllStandardOutput().contains(
        R"("pages":[{"id":"00000000-0000-0000-0000-000000000000","name":"Home"}])"));
    EXPECT_TRUE(connection.started());
}
