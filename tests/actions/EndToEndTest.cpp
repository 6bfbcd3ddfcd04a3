// The whole path through the dock emulator: a configuration file written here, the controller
// started against it, a key press that runs a script of the Shortcuts folder and a knob turn
// that changes the volume of a real PulseAudio daemon.
#include "actions/ActionsFixture.h"
#include "actions/ActionsTestUtil.h"

#include "EmulatedDock.h"
#include "device/DeviceModel.h"
#include "device/EmulatorDiscovery.h"
#include "support/AppPaths.h"
#include "support/Log.h"

using namespace velloq;
using namespace velloq::test;

TEST_F(ActionsTest, DockPressRunsTheKeysScriptAndAKnobTurnsTheVolume) {
    const QString dataDir = AppPaths::dataDir();
    const QString marker = scratchDir() + QStringLiteral("/pressed");
    ASSERT_TRUE(writeFile(dataDir + QStringLiteral("/Shortcuts/Make marker"),
                          "#!/bin/sh\necho pressed > '" + marker.toUtf8() + "'\n", true));
    ASSERT_TRUE(writeFile(DockConfig::fileURL(), R"({
        "keys": [{"shortcut": {"name": "Make marker"}}],
        "knobs": ["volume", "volume", "volume"],
        "nativeIndicators": false
    })"));
    ASSERT_TRUE(audio->setVolume(AudioDirection::output, 0.5F));

    EmulatedDock emulator(*DockModels::lookup(0x0300, 0x1002));
    ASSERT_TRUE(emulator.plugIn());
    std::vector<std::unique_ptr<DiscoverySource>> sources;
    sources.push_back(std::make_unique<EmulatorDiscovery>());
    siteIcons = std::make_unique<SiteIcons>(
        SiteIcons::Options{dataDir + QStringLiteral("/SiteIcons"), 10000});
    DockController::Services services;
    services.dock = std::make_unique<StreamDock>(std::move(sources));
    services.configStore = std::make_unique<ConfigStore>(); // the real location
    services.clock = &clock;
    services.permissions = &permissions;
    services.keys = &keys;
    services.audio = audio.get();
    services.displayBrightness = &brightness;
    services.siteIcons = siteIcons.get();
    services.wakeWatcher = std::make_unique<FakeWakeWatcher>();
    controller = std::make_unique<DockController>(std::move(services));
    EXPECT_EQ(controller->config().keys[0], ButtonAction::shortcut(QStringLiteral("Make marker")));

    controller->start();
    ASSERT_TRUE(waitUntil([&] { return controller->isConnected() && emulator.hasPeer(); }));
    ASSERT_TRUE(waitUntil([&] { return controller->shortcutNames().size() == 1; }));

    ASSERT_TRUE(emulator.tapKey(0));
    ASSERT_TRUE(waitUntil([&] { return readFile(marker) == "pressed\n"; }));

    ASSERT_TRUE(emulator.turnKnob(1, 2));
    ASSERT_TRUE(waitUntil([&] { return near(audio->volume(AudioDirection::output), 0.56F); }));
    EXPECT_EQ(controller->hud().model().symbol, u"speaker.wave.2.fill");
    EXPECT_TRUE(emulator.protocolErrors().isEmpty());
    controller.reset();
}

TEST_F(ActionsTest, FailedPressesNotifyOncePerButtonPerTenSeconds) {
    ASSERT_TRUE(
        writeFile(shortcutsFolder() + QStringLiteral("/Fails"), "#!/bin/sh\nexit 3\n", true));
    DockConfig config;
    config.keys[0] = ButtonAction::shortcut(QStringLiteral("Fails"));
    config.keys[1] = ButtonAction::url(QStringLiteral("debian org"));
    config.keys[2] = ButtonAction::app(scratchDir() + QStringLiteral("/gone.desktop"));
    config.keys[3] = ButtonAction::url(QStringLiteral("velloq.org"));
    config.keys[4] = ButtonAction::shortcut(QStringLiteral("Missing"));
    urls.failWith = QStringLiteral("no application handles it");

    EmulatedDock emulator(*DockModels::lookup(0x0300, 0x1002));
    ASSERT_TRUE(emulator.plugIn());
    std::vector<std::unique_ptr<DiscoverySource>> sources;
    sources.push_back(std::make_unique<EmulatorDiscovery>());
    make(config, nullptr, std::move(sources));
    controller->start();
    ASSERT_TRUE(waitUntil([&] { return controller->isConnected() && emulator.hasPeer(); }));

    LogCapture log;
    ASSERT_TRUE(emulator.tapKey(0));
    ASSERT_TRUE(waitUntil([&] { return notifications.shown.size() == 1; }));
    EXPECT_EQ(notifications.shown[0], u"Could not run “Fails” | It ended with status 3.");
    // Again within 10 s: logged, not shown.
    ASSERT_TRUE(emulator.tapKey(0));
    ASSERT_TRUE(waitUntil([&] {
        return log.count(QStringLiteral("Could not run Fails: it ended with status 3")) == 2;
    }));
    EXPECT_EQ(notifications.shown.size(), 1);
    clock.advance(10.5);
    ASSERT_TRUE(emulator.tapKey(0));
    ASSERT_TRUE(waitUntil([&] { return notifications.shown.size() == 2; }));

    for (int key : {1, 2, 3, 4})
        ASSERT_TRUE(emulator.tapKey(key));
    ASSERT_TRUE(waitUntil([&] { return notifications.shown.size() == 6; }));
    EXPECT_EQ(
        notifications.shown.mid(2),
        (QStringList{QStringLiteral("Could not open “debian org” | It is not a web address."),
                     QStringLiteral("Could not open gone | No such file or directory."),
                     QStringLiteral("Could not open “velloq.org” | No application handles it."),
                     QStringLiteral("Could not run “Missing” | No such script in ") +
                         shortcutsFolder() + u'.'}));
    EXPECT_EQ(log.count(QStringLiteral("Could not open debian org: not a web address")), 1);
    controller.reset();
}
