// The installed velloq, started from the temporary prefix of the packaging fixture, against
// the dock emulator: it must find its built-in screensavers beside itself.

#include "EmulatedDock.h"

#include "device/DeviceModel.h"
#include "imaging/AnimationRenderer.h"
#include "support/AppPaths.h"
#include "support/TestEnv.h"

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

#include <csignal>

using namespace velloq;

namespace {

const QString kPrefix = QStringLiteral(VELLOQ_TEST_PREFIX);

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

    QProcess velloq;
    velloq.setProcessChannelMode(QProcess::ForwardedChannels);
    velloq.start(kPrefix + QStringLiteral("/bin/velloq"), {});
    ASSERT_TRUE(velloq.waitForStarted());

    const auto showsApple = [&] {
        for (int key = 0; key < EmulatedDock::kKeys; ++key) {
            if (!appleTiles.contains(dock.faceData(key)))
                return false;
        }
        return true;
    };
    EXPECT_TRUE(test::waitUntil(showsApple, 20000));
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
