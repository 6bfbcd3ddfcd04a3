// One Velloq per user on the session bus: a second, real velloq process asks the first to show
// its window and ends with status 0.
#include "UiFixture.h"

#include "device/FakeDiscovery.h"
#include "ui/SingleInstance.h"

#include <QDBusConnectionInterface>
#include <QProcess>

using namespace velloq;
using namespace velloq::test;

TEST_F(UiTest, ASecondVelloqShowsTheFirstOnesWindowAndExits) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        GTEST_SKIP() << "no session bus";
    make(std::make_unique<FakeDiscovery>());
    SingleInstance first(bus);
    ASSERT_EQ(first.claim(), SingleInstance::Claim::first);
    EXPECT_TRUE(bus.interface()->isServiceRegistered(SingleInstance::busName()));
    window = std::make_unique<MenuView>(*controller);
    QObject::connect(&first, &SingleInstance::activated, window.get(), [&] { window->show(); });
    ASSERT_FALSE(window->isVisible());

    QProcess second;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    second.setProcessEnvironment(env);
    second.setProcessChannelMode(QProcess::ForwardedChannels);
    second.start(QStringLiteral(VELLOQ_BINARY), {});
    ASSERT_TRUE(second.waitForStarted());
    // The first instance answers from this event loop, so wait without blocking it.
    const bool ended = waitUntil([&] { return second.state() == QProcess::NotRunning; }, 20000);
    if (!ended) {
        second.kill();
        second.waitForFinished();
    }
    ASSERT_TRUE(ended);
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_TRUE(window->isVisible());
}
