// A real velloq on an X server of the test's own, driving an emulated dock: when that X server
// ends (XWayland ending first at logout), Qt exits at once, and Velloq still blanks the dock.
#include "EmulatedDock.h"

#include "config/ConfigStore.h"
#include "device/DeviceModel.h"
#include "support/TestEnv.h"
#include "support/XServer.h"

#include <QProcess>
#include <QStandardPaths>

#include <gtest/gtest.h>

using namespace velloq;
using namespace velloq::test;
using Command = EmulatedDock::Command;

namespace {

// Ends what it started, whatever the test's outcome.
struct Stopped {
    QProcess& process;
    ~Stopped() {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished();
        }
    }
};

} // namespace

TEST(DisplayLoss, EndingTheXServerUnderVelloqStillBlanksTheDock) {
    if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty())
        GTEST_SKIP() << "Xvfb is not installed";
    DockConfig config;
    config.keys[0] = ButtonAction::function(ButtonFunction::copy);
    const QString configPath =
        qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/Velloq/config.json");
    ASSERT_TRUE(ConfigStore(configPath).save(config));
    EmulatedDock dock(*DockModels::lookup(0x0300, 0x1002));
    ASSERT_TRUE(dock.plugIn());

    XServer xserver;
    ASSERT_FALSE(xserver.display().isEmpty());

    QProcess velloq;
    Stopped stopVelloq{velloq};
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), xserver.display());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    // No session bus: this velloq is the only one it knows of.
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
               QStringLiteral("unix:path=") + scratchDir() + QStringLiteral("/no-bus"));
    velloq.setProcessEnvironment(env);
    velloq.start(QStringLiteral(VELLOQ_BINARY), {});
    ASSERT_TRUE(velloq.waitForStarted());
    // Initialised, then the faces.
    ASSERT_TRUE(
        waitUntil([&] { return dock.count(Command::stp) >= 2 && !dock.batchOpen(); }, 20000));
    ASSERT_FALSE(dock.faceData(0).isEmpty());

    xserver.stop();
    ASSERT_TRUE(waitUntil([&] { return velloq.state() == QProcess::NotRunning; }, 20000));
    const QString output = QString::fromUtf8(velloq.readAllStandardError());
    EXPECT_TRUE(output.contains(QStringLiteral("Exiting outside the event loop")))
        << output.toStdString();
    ASSERT_TRUE(waitUntil([&] { return dock.count(Command::han) == 1; }));
    EXPECT_EQ(dock.count(Command::cleShutdown), 1);
    EXPECT_FALSE(dock.isAwake());
    EXPECT_TRUE(dock.faceData(0).isEmpty());
    EXPECT_TRUE(dock.protocolErrors().isEmpty()) << dock.protocolErrors().join(" | ").toStdString();
}
