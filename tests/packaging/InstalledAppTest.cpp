// The installed velloq, started from the temporary prefix of the packaging fixture, against
// the dock emulator: it must find its built-in screensavers beside itself.

#include "EmulatedDock.h"

#include "device/DeviceModel.h"
#include "imaging/AnimationRenderer.h"
#include "support/AppPaths.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSet>
#include <QUrl>

#include <gtest/gtest.h>

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
