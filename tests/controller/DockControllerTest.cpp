#include "ControllerTestSupport.h"

#include "EmulatedDock.h"
#include "MediaWriters.h"
#include "controller/DockController.h"
#include "device/DeviceModel.h"
#include "device/EmulatorDiscovery.h"
#include "siteicons/SiteIcons.h"
#include "support/Log.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTest>
#include <QThreadPool>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>

using namespace velloq;
using velloq::test::FakePermissions;
using velloq::test::FakeWakeWatcher;
using velloq::test::ShiftedClock;
using Command = EmulatedDock::Command;

namespace {

struct Performed {
    std::vector<ButtonAction> actions;
    std::vector<std::pair<KnobRole, int>> turns;
    std::vector<KnobRole> presses;
};

// The controller with its actions recorded instead of carried out.
class RecordingController final : public DockController {
public:
    RecordingController(Services services, Performed& performed)
        : DockController(std::move(services))
        , performed_(performed) {}
    void perform(const ButtonAction& action) override { performed_.actions.push_back(action); }
    void turn(KnobRole role, int step) override { performed_.turns.push_back({role, step}); }
    void press(KnobRole role) override { performed_.presses.push_back(role); }

private:
    Performed& performed_;
};

DockModel model(bool v3) {
    return *DockModels::lookup(0x0300, v3 ? 0x3002 : 0x1002);
}

// Four keys with faces (1-4 on the wire), two blank ones (5, 6).
DockConfig fourFaces() {
    DockConfig config;
    config.keys[0] = ButtonAction::function(ButtonFunction::copy);
    config.keys[1] = ButtonAction::function(ButtonFunction::paste);
    config.keys[2] = ButtonAction::function(ButtonFunction::lockScreen);
    config.keys[3] = ButtonAction::function(ButtonFunction::playPause);
    config.keys[7] = ButtonAction::function(ButtonFunction::undo);
    config.knobs = {KnobRole::volume, KnobRole::microphone, KnobRole::brightness};
    config.dockBrightness = 70;
    return config;
}

QString configPath() {
    return test::scratchDir() + QStringLiteral("/config/config.json");
}

// The entries of the last batch the dock closed: everything after the STP before it.
QList<EmulatedDock::LogEntry> lastBatch(const EmulatedDock& dock) {
    const QList<EmulatedDock::LogEntry> log = dock.commandLog();
    int end = int(log.size()) - 1;
    while (end >= 0 && log[end].command != Command::stp)
        --end;
    int begin = end - 1;
    while (begin >= 0 && log[begin].command != Command::stp)
        --begin;
    return end < 0 ? QList<EmulatedDock::LogEntry>() : log.mid(begin + 1, end - begin);
}

// The commands in order, image sizes and keep-alives left out.
QString describe(const QList<EmulatedDock::LogEntry>& entries) {
    QStringList parts;
    for (const auto& entry : entries) {
        if (entry.command == Command::connect)
            continue;
        parts.append(entry.command == Command::bat ? QStringLiteral("BAT key %1").arg(entry.key)
                                                   : entry.text());
    }
    return parts.join(QStringLiteral(", "));
}

class DockControllerTest : public ::testing::Test {
protected:
    void TearDown() override {
        controller.reset();
        emulator.reset();
        QThreadPool::globalInstance()->waitForDone();
    }

    // Writes `config` as the saved configuration, plugs in an emulated dock and makes the
    // controller (not yet started).
    void make(const std::optional<DockConfig>& config, bool v3 = false, bool plugIn = true) {
        if (config) {
            ASSERT_TRUE(ConfigStore(configPath()).save(*config));
        }
        emulator = std::make_unique<EmulatedDock>(model(v3));
        if (plugIn) {
            ASSERT_TRUE(emulator->plugIn());
        }

        siteIcons = std::make_unique<SiteIcons>(
            SiteIcons::Options{test::scratchDir() + QStringLiteral("/SiteIcons"), 10000});
        std::vector<std::unique_ptr<DiscoverySource>> sources;
        sources.push_back(std::make_unique<EmulatorDiscovery>());
        DockController::Services services;
        services.dock = std::make_unique<StreamDock>(std::move(sources), timing);
        services.configStore = std::make_unique<ConfigStore>(configPath());
        services.clock = &clock;
        services.permissions = &permissions;
        services.siteIcons = siteIcons.get();
        auto watcher = std::make_unique<FakeWakeWatcher>();
        wake = watcher.get();
        services.wakeWatcher = std::move(watcher);
        services.activeApp = std::make_unique<NoActiveAppWatcher>();
        services.shortcutsFolder = test::scratchDir() + QStringLiteral("/Shortcuts");
        controller = std::make_unique<RecordingController>(std::move(services), performed);
    }

    // make() and start(), then waits until the dock shows the first faces.
    void connect(const DockConfig& config, bool v3 = false) {
        make(config, v3);
        controller->start();
        ASSERT_TRUE(test::waitUntil([&] { return controller->isConnected(); }));
        ASSERT_TRUE(test::waitUntil([&] { return facesMatchCache(); }));
    }

    // The dock shows exactly the faces the controller last sent, blank where none.
    bool facesMatchCache() const {
        if (emulator->batchOpen())
            return false;
        for (int i = 0; i < DockController::kScreenKeys; ++i) {
            const auto sent = controller->sentImages().find(i);
            const QByteArray expected =
                sent == controller->sentImages().end() ? QByteArray() : sent->second;
            if (emulator->faceData(i) != expected)
                return false;
        }
        return true;
    }

    int stpCount() const { return emulator->count(Command::stp); }

    // Starts the screensaver through the idle timer's check and waits until its frames play.
    void runScreensaver() {
        clock.advance(controller->config().screensaverDelay * 60);
        controller->checkIdle();
        ASSERT_TRUE(controller->screensaverRunning());
        ASSERT_TRUE(controller->animations().screensaverActive());
        const int before = emulator->imageCommits(5);
        ASSERT_TRUE(
            test::waitUntil([&] { return emulator->imageCommits(5) >= before + 3; }, 15000));
    }

    static DockConfig withScreensaver(DockConfig config) {
        config.screensaverEnabled = true;
        config.screensaverDelay = 1;
        config.screensaverAnimation = QStringLiteral("Sports Car");
        return config;
    }

    DockTiming timing;
    ShiftedClock clock;
    FakePermissions permissions;
    FakeWakeWatcher* wake = nullptr;
    Performed performed;
    std::unique_ptr<EmulatedDock> emulator;
    std::unique_ptr<SiteIcons> siteIcons;
    std::unique_ptr<RecordingController> controller;
};

} // namespace

TEST_F(DockControllerTest, ConstructionLoadsTheConfigAndTouchesNoHardware) {
    DockConfig config = fourFaces();
    config.dockBrightness = 55;
    make(config);
    EXPECT_EQ(controller->config(), config);
    EXPECT_FALSE(controller->isConnected());
    EXPECT_EQ(controller->deviceName(), QStringLiteral("No dock connected"));
    EXPECT_FALSE(wake->started);
    QTest::qWait(50);
    EXPECT_FALSE(emulator->hasPeer());
}

TEST_F(DockControllerTest, UnreadableConfigGivesTheDefaults) {
    QDir().mkpath(QFileInfo(configPath()).path());
    QFile broken(configPath());
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write("[1, 2");
    broken.close();
    make(std::nullopt, false, false);
    const DockConfig defaults;
    EXPECT_EQ(controller->config().keys, defaults.keys);
    EXPECT_EQ(controller->config().knobs, defaults.knobs);
    EXPECT_EQ(controller->config().dockBrightness, defaults.dockBrightness);
}

TEST_F(DockControllerTest, ConnectSendsTheInitialisationBatchThenTheFaces) {
    QList<EmulatedDock::LogEntry> log;
    make(fourFaces());
    QSignalSpy connected(controller.get(), &DockController::isConnectedChanged);
    QSignalSpy named(controller.get(), &DockController::deviceNameChanged);
    controller->start();
    EXPECT_TRUE(wake->started);
    ASSERT_TRUE(test::waitUntil([&] { return controller->isConnected() && facesMatchCache(); }));
    EXPECT_EQ(connected.count(), 1);
    EXPECT_EQ(named.count(), 1);
    EXPECT_EQ(controller->deviceName(), QStringLiteral("Ajazz AKP03E"));

    log = emulator->commandLog();
    const QList<EmulatedDock::LogEntry> expected{
        {Command::dis, 0, 0},  {Command::lig, 0, 0}, {Command::cleAll, 0, 0}, {Command::stp, 0, 0},
        {Command::lig, 0, 70}, {Command::bat, 1, 0}, {Command::bat, 2, 0},    {Command::bat, 3, 0},
        {Command::bat, 4, 0},  {Command::stp, 0, 0}};
    ASSERT_GE(log.size(), expected.size()) << describe(log).toStdString();
    for (int i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(log[i].command, expected[i].command) << i << ": " << describe(log).toStdString();
        EXPECT_EQ(log[i].key, expected[i].key) << i;
        if (expected[i].command == Command::lig) {
            EXPECT_EQ(log[i].value, expected[i].value) << i;
        }
    }
    EXPECT_EQ(emulator->brightness(), 70);
    EXPECT_EQ(controller->sentImages().size(), 4u);
    for (int i = 0; i < 4; ++i)
        EXPECT_FALSE(emulator->face(i).isNull()) << i;
    EXPECT_TRUE(emulator->face(4).isNull());
    EXPECT_TRUE(emulator->protocolErrors().isEmpty());
}

TEST_F(DockControllerTest, ChangingOneKeySendsOnlyThatKey) {
    connect(fourFaces());
    emulator->clearRecords();
    const QByteArray before = emulator->faceData(2);
    DockConfig config = controller->config();
    config.keys[2] = ButtonAction::function(ButtonFunction::screenshot);
    controller->setConfig(config);
    EXPECT_EQ(stpCount(), 0); // the refresh waits a quarter of a second
    ASSERT_TRUE(test::waitUntil([&] { return stpCount() == 1 && facesMatchCache(); }));
    EXPECT_EQ(describe(emulator->commandLog()), QStringLiteral("BAT key 3, STP"));
    EXPECT_NE(emulator->faceData(2), before);
    EXPECT_TRUE(emulator->protocolErrors().isEmpty());
}

TEST_F(DockControllerTest, SettingAKeyToNothingClearsIt) {
    connect(fourFaces());
    emulator->clearRecords();
    DockConfig config = controller->config();
    config.keys[1] = ButtonAction::nothing();
    controller->setConfig(config);
    ASSERT_TRUE(test::waitUntil([&] { return stpCount() == 1; }));
    EXPECT_EQ(describe(emulator->commandLog()), QStringLiteral("CLE key 2, STP"));
    EXPECT_EQ(controller->sentImages().count(1), 0u);
    EXPECT_TRUE(emulator->face(1).isNull());
}

TEST_F(DockControllerTest, ABurstOfChangesGivesOneRefresh) {
    connect(fourFaces());
    emulator->clearRecords();
    const ButtonFunction functions[] = {ButtonFunction::cut, ButtonFunction::redo,
                                        ButtonFunction::spotlight};
    for (const ButtonFunction function : functions) {
        DockConfig config = controller->config();
        config.keys[0] = ButtonAction::function(function);
        controller->setConfig(config);
        QTest::qWait(100);
        EXPECT_EQ(stpCount(), 0);
    }
    ASSERT_TRUE(test::waitUntil([&] { return stpCount() == 1 && facesMatchCache(); }));
    QTest::qWait(400); // longer than the debounce: no second refresh follows
    EXPECT_EQ(stpCount(), 1);
    EXPECT_EQ(describe(emulator->commandLog()), QStringLiteral("BAT key 1, STP"));
}

TEST_F(DockControllerTest, ForcedRefreshSendsAllSixKeysInOrder) {
    connect(fourFaces());
    emulator->clearRecords();
    controller->refreshScreens(true);
    ASSERT_TRUE(test::waitUntil([&] { return stpCount() == 1; }));
    EXPECT_EQ(describe(emulator->commandLog()),
              QStringLiteral("BAT key 1, BAT key 2, BAT key 3, BAT key 4, CLE key 5, CLE key 6, "
                             "STP"));
    // Unforced, nothing has changed, so nothing is sent.
    emulator->clearRecords();
    controller->refreshScreens(false);
    QTest::qWait(100);
    EXPECT_TRUE(emulator->commandLog().isEmpty());
}

TEST_F(DockControllerTest, EqualConfigurationNeitherSavesNorRefreshes) {
    connect(fourFaces());
    ASSERT_TRUE(QFile::remove(configPath()));
    emulator->clearRecords();
    QSignalSpy changed(controller.get(), &DockController::configChanged);
    DockConfig same = controller->config();
    controller->setConfig(same);
    QTest::qWait(400);
    controller->flushSave();
    EXPECT_FALSE(QFile::exists(configPath()));
    EXPECT_EQ(changed.count(), 0);
    EXPECT_TRUE(emulator->commandLog().isEmpty());
}

TEST_F(DockControllerTest, BrightnessChangeSavesAndSendsOneLig) {
    connect(fourFaces());
    emulator->clearRecords();
    QSignalSpy changed(controller.get(), &DockController::configChanged);
    DockConfig config = controller->config();
    config.dockBrightness = 40.7;
    controller->setConfig(config);
    EXPECT_EQ(changed.count(), 1);
    ASSERT_TRUE(test::waitUntil([&] { return emulator->brightness() == 40; }));
    controller->flushSave();
    EXPECT_EQ(ConfigStore(configPath()).load().dockBrightness, 40.7);
    QTest::qWait(400); // the refresh runs and finds no face changed
    EXPECT_EQ(describe(emulator->commandLog()), QStringLiteral("LIG 40"));
}

TEST_F(DockControllerTest, RefreshAndResendDoNothingWithoutADock) {
    make(fourFaces(), false, false);
    controller->start();
    controller->refreshScreens(true);
    controller->resendEverything();
    EXPECT_TRUE(controller->sentImages().empty());
    EXPECT_FALSE(controller->isConnected());
    controller->startScreensaver();
    EXPECT_FALSE(controller->screensaverRunning());
}

TEST_F(DockControllerTest, KeyEventsRunTheirKeysAction) {
    connect(fourFaces());
    ASSERT_TRUE(emulator->tapKey(7));
    ASSERT_TRUE(emulator->tapKey(0));
    ASSERT_TRUE(test::waitUntil([&] { return performed.actions.size() == 2; }));
    EXPECT_EQ(performed.actions[0], ButtonAction::function(ButtonFunction::undo));
    EXPECT_EQ(performed.actions[1], ButtonAction::function(ButtonFunction::copy));
    ASSERT_TRUE(emulator->turnKnob(1, -2));
    ASSERT_TRUE(emulator->tapKnob(2));
    ASSERT_TRUE(test::waitUntil([&] { return performed.presses.size() == 1; }));
    ASSERT_EQ(performed.turns.size(), 2u);
    EXPECT_EQ(performed.turns[0], std::make_pair(KnobRole(KnobRole::microphone), -1));
    EXPECT_EQ(performed.presses[0], KnobRole::brightness);
}

TEST_F(DockControllerTest, ScreensaverStartsOnceTheIdleDelayHasPassed) {
    connect(withScreensaver(fourFaces()));
    clock.advance(59);
    controller->checkIdle();
    EXPECT_FALSE(controller->screensaverRunning());
    // Dock input restarts the idle time.
    ASSERT_TRUE(emulator->tapKey(8));
    ASSERT_TRUE(test::waitUntil([&] { return performed.actions.size() == 1; }));
    clock.advance(59);
    controller->checkIdle();
    EXPECT_FALSE(controller->screensaverRunning());
    clock.advance(1);
    // The deadline timer, set again by the last check, starts it.
    QSignalSpy running(controller.get(), &DockController::screensaverRunningChanged);
    ASSERT_TRUE(running.wait(3000));
    EXPECT_TRUE(controller->screensaverRunning());
    const int before = emulator->imageCommits(0);
    ASSERT_TRUE(test::waitUntil(
        [&] {
            for (int i = 0; i < 6; ++i) {
                if (emulator->imageCommits(i) < before + 2)
                    return false;
            }
            return true;
        },
        15000));
    EXPECT_TRUE(emulator->protocolErrors().isEmpty());
}

// No timer runs while the screensaver cannot start by itself; otherwise one waits for the
// deadline and starts it without any check in between.
TEST_F(DockControllerTest, IdleTimerIsSetOnlyForTheScreensaversDeadline) {
    DockConfig config = withScreensaver(fourFaces());
    config.screensaverEnabled = false;
    connect(config);
    EXPECT_FALSE(controller->idleTimerArmed());
    config.screensaverEnabled = true;
    config.screensaverDelay = 0.005; // 0.3 s
    controller->setConfig(config);
    EXPECT_TRUE(controller->idleTimerArmed());
    controller->setWindowShown(true);
    EXPECT_FALSE(controller->idleTimerArmed());
    controller->setWindowShown(false);
    EXPECT_TRUE(controller->idleTimerArmed());
    QSignalSpy running(controller.get(), &DockController::screensaverRunningChanged);
    ASSERT_TRUE(running.wait(5000));
    EXPECT_TRUE(controller->screensaverRunning());
    EXPECT_FALSE(controller->idleTimerArmed());

    // Due, but nothing to play: tried again later, not at once.
    controller->stopScreensaver();
    config.screensaverAnimation = test::scratchDir() + QStringLiteral("/gone.mp4");
    controller->setConfig(config);
    clock.advance(1);
    controller->checkIdle();
    EXPECT_FALSE(controller->screensaverRunning());
    EXPECT_TRUE(controller->idleTimerArmed());

    emulator->unplug();
    ASSERT_TRUE(test::waitUntil([&] { return !controller->isConnected(); }));
    EXPECT_FALSE(controller->idleTimerArmed());
}

TEST_F(DockControllerTest, DisabledScreensaverNeverStartsByItself) {
    DockConfig config = withScreensaver(fourFaces());
    config.screensaverEnabled = false;
    connect(config);
    clock.advance(3600);
    controller->checkIdle();
    EXPECT_FALSE(controller->screensaverRunning());
    controller->startScreensaver(); // the settings view's preview still can
    EXPECT_TRUE(controller->screensaverRunning());
}

TEST_F(DockControllerTest, KeyPressDuringTheScreensaverOnlyStopsIt) {
    connect(withScreensaver(fourFaces()));
    runScreensaver();
    QSignalSpy running(controller.get(), &DockController::screensaverRunningChanged);
    const double pressedAt = clock.now();
    ASSERT_TRUE(emulator->tapKey(0));
    ASSERT_TRUE(running.wait(3000));
    EXPECT_FALSE(controller->screensaverRunning());
    EXPECT_FALSE(controller->animations().screensaverActive());
    EXPECT_GE(controller->lastDockActivity(), pressedAt);
    ASSERT_TRUE(test::waitUntil([&] { return facesMatchCache(); }));
    EXPECT_EQ(describe(lastBatch(*emulator)),
              QStringLiteral("BAT key 1, BAT key 2, BAT key 3, BAT key 4, CLE key 5, CLE key 6, "
                             "STP"));
    EXPECT_TRUE(performed.actions.empty());

    ASSERT_TRUE(emulator->tapKey(0));
    ASSERT_TRUE(test::waitUntil([&] { return performed.actions.size() == 1; }));
    EXPECT_EQ(performed.actions[0], ButtonAction::function(ButtonFunction::copy));
}

TEST_F(DockControllerTest, KnobTurnDuringTheScreensaverStopsItAndStillTurns) {
    connect(withScreensaver(fourFaces()));
    runScreensaver();
    ASSERT_TRUE(emulator->turnKnob(0, 1));
    ASSERT_TRUE(test::waitUntil([&] { return performed.turns.size() == 1; }));
    EXPECT_FALSE(controller->screensaverRunning());
    EXPECT_EQ(performed.turns[0], std::make_pair(KnobRole(KnobRole::volume), 1));
    ASSERT_TRUE(test::waitUntil([&] { return facesMatchCache(); }));

    // A knob press is used up by the stop.
    runScreensaver();
    ASSERT_TRUE(emulator->tapKnob(1));
    ASSERT_TRUE(test::waitUntil([&] { return !controller->screensaverRunning(); }));
    QTest::qWait(50);
    EXPECT_TRUE(performed.presses.empty());
}

TEST_F(DockControllerTest, RefreshWhileTheScreensaverRunsSendsNothing) {
    connect(withScreensaver(fourFaces()));
    runScreensaver();
    const auto cache = controller->sentImages();
    DockConfig config = controller->config();
    config.keys[0] = ButtonAction::nothing();
    controller->setConfig(config);
    controller->refreshScreens(true);
    controller->refreshScreens(false);
    QTest::qWait(400); // past the scheduled refresh too
    EXPECT_EQ(controller->sentImages(), cache);
    EXPECT_TRUE(controller->screensaverRunning());
}

TEST_F(DockControllerTest, DisconnectDuringTheScreensaverAndReconnect) {
    connect(withScreensaver(fourFaces()));
    runScreensaver();
    QSignalSpy connected(controller.get(), &DockController::isConnectedChanged);
    emulator->unplug();
    ASSERT_TRUE(connected.wait(3000));
    EXPECT_FALSE(controller->isConnected());
    EXPECT_FALSE(controller->screensaverRunning());
    EXPECT_FALSE(controller->animations().screensaverActive());
    EXPECT_EQ(controller->deviceName(), QStringLiteral("No dock connected"));
    EXPECT_TRUE(controller->sentImages().empty());

    clock.advance(30);
    const double pluggedAt = clock.now();
    ASSERT_TRUE(emulator->plugIn());
    ASSERT_TRUE(test::waitUntil([&] { return controller->isConnected(); }));
    ASSERT_TRUE(test::waitUntil([&] { return facesMatchCache(); }));
    EXPECT_EQ(controller->sentImages().size(), 4u);
    EXPECT_FALSE(controller->screensaverRunning());
    EXPECT_GE(controller->lastDockActivity(), pluggedAt);
    clock.advance(59);
    controller->checkIdle();
    EXPECT_FALSE(controller->screensaverRunning());
}

TEST_F(DockControllerTest, ScreensaverFollowsItsSettingsWhileItRuns) {
    connect(withScreensaver(fourFaces()));
    runScreensaver();
    AnimationEngine& engine = controller->animations();
    const int token = engine.saverToken();

    // Delay alone: nothing.
    DockConfig config = controller->config();
    config.screensaverDelay = 10;
    controller->setConfig(config);
    EXPECT_EQ(engine.saverToken(), token);

    // Speed: changes in place.
    config.screensaverSpeed = 2;
    controller->setConfig(config);
    EXPECT_EQ(engine.saverToken(), token);
    ASSERT_TRUE(engine.saver());
    EXPECT_DOUBLE_EQ(engine.saver()->speed, 2);

    // Another animation: restarts with the new file.
    config.screensaverAnimation = QStringLiteral("Apple");
    controller->setConfig(config);
    EXPECT_EQ(engine.saverToken(), token + 1);
    EXPECT_TRUE(controller->screensaverRunning());

    // Off: stops and repaints.
    config.screensaverEnabled = false;
    controller->setConfig(config);
    EXPECT_FALSE(controller->screensaverRunning());
    EXPECT_FALSE(engine.screensaverActive());
    ASSERT_TRUE(test::waitUntil([&] { return facesMatchCache(); }));
}

TEST_F(DockControllerTest, WakeResendsEverythingTwoSecondsLater) {
    connect(fourFaces());
    emulator->clearRecords();
    wake->wake();
    EXPECT_EQ(emulator->count(Command::dis), 0);
    ASSERT_TRUE(test::waitUntil([&] { return emulator->count(Command::dis) == 1; }, 5000));
    ASSERT_TRUE(test::waitUntil([&] { return emulator->count(Command::stp) == 2; }));
    EXPECT_EQ(describe(emulator->commandLog()),
              QStringLiteral("DIS, LIG 0, CLE all, STP, LIG 70, BAT key 1, BAT key 2, "
                             "BAT key 3, BAT key 4, STP"));
}

TEST_F(DockControllerTest, AnimatedKeyPlaysItsFramesOnTheDock) {
    const QString gif = test::scratchDir() + QStringLiteral("/spin.gif");
    ASSERT_TRUE(test::writeGif(
        gif, 40, 40, {{QColor(255, 0, 0), 5}, {QColor(0, 255, 0), 5}, {QColor(0, 0, 255), 5}}));
    DockConfig config = fourFaces();
    config.customIcons[1] = gif;
    connect(config);
    AnimationEngine& engine = controller->animations();
    EXPECT_TRUE(engine.buttonSignature(1));
    QSet<QRgb> seen;
    ASSERT_TRUE(test::waitUntil(
        [&] {
            const QImage face = emulator->face(1);
            if (!face.isNull()) {
                const QColor c = face.pixelColor(face.width() / 2, face.height() / 2);
                seen.insert(qRgb(c.red() > 128 ? 255 : 0, c.green() > 128 ? 255 : 0,
                                 c.blue() > 128 ? 255 : 0));
            }
            return seen.contains(qRgb(255, 0, 0)) && seen.contains(qRgb(0, 255, 0)) &&
                   seen.contains(qRgb(0, 0, 255));
        },
        10000));
    EXPECT_TRUE(emulator->protocolErrors().isEmpty());
}

TEST_F(DockControllerTest, OnlyMultiFrameIconsOnKeysWithAnActionAnimate) {
    const QString gif = test::scratchDir() + QStringLiteral("/spin.gif");
    ASSERT_TRUE(test::writeGif(gif, 40, 40, {{QColor(255, 0, 0), 5}, {QColor(0, 255, 0), 5}}));
    const QString still = test::scratchDir() + QStringLiteral("/still.gif");
    ASSERT_TRUE(test::writeGif(still, 40, 40, {{QColor(255, 0, 0), 5}}));
    DockConfig config = fourFaces();
    config.customIcons[0] = still;
    config.customIcons[4] = gif; // key 4 does nothing: it shows the first frame, still
    connect(config);
    AnimationEngine& engine = controller->animations();
    EXPECT_FALSE(engine.buttonSignature(0));
    EXPECT_FALSE(engine.buttonSignature(4));
    EXPECT_FALSE(emulator->face(4).isNull());
    EXPECT_FALSE(engine.timerRunning());
}

TEST_F(DockControllerTest, SlowLinkMakesTicksSkipInsteadOfQueueing) {
    connect(withScreensaver(fourFaces()));
    emulator->setReportRateLimit(400);
    runScreensaver();
    EXPECT_TRUE(controller->animations().paced()); // the writer runs the ticks
    int most = 0;
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, &sampler,
                     [&] { most = std::max(most, controller->dock().pendingBatches()); });
    sampler.start(3);
    const int skippedBefore = controller->animations().skippedTicks();
    QTest::qWait(1000);
    sampler.stop();
    EXPECT_LE(most, 1);
    EXPECT_GT(controller->animations().skippedTicks(), skippedBefore);

    // With no backlog, the faces come back as soon as the frame in flight is written.
    ASSERT_TRUE(emulator->tapKey(3));
    ASSERT_TRUE(test::waitUntil([&] { return !controller->screensaverRunning(); }));
    ASSERT_TRUE(test::waitUntil([&] { return facesMatchCache(); }, 5000));
    EXPECT_TRUE(emulator->protocolErrors().isEmpty());
}

// The dock stops reading for many times the stall threshold while the faces and the
// brightness keep changing: afterwards it shows all of them as they are now, and the strict
// dock saw nothing out of order.
TEST_F(DockControllerTest, AfterALongStallTheDockShowsEverythingAgain) {
    timing.stallAfter = std::chrono::milliseconds(500);
    connect(fourFaces());
    LogCapture log;
    const QList<ButtonFunction> functions{ButtonFunction::copy,       ButtonFunction::cut,
                                          ButtonFunction::paste,      ButtonFunction::undo,
                                          ButtonFunction::redo,       ButtonFunction::selectAll,
                                          ButtonFunction::screenshot, ButtonFunction::lockScreen};
    int round = 0;
    const auto edit = [&] {
        DockConfig next = controller->config();
        for (int key = 0; key < DockController::kScreenKeys; ++key)
            next.keys[key] = ButtonAction::function(functions[(round + key) % functions.size()]);
        next.dockBrightness = 20 + round;
        controller->setConfig(next);
        controller->refreshScreens(false);
        ++round;
    };
    emulator->setStalled(true);
    edit();
    edit();
    ASSERT_TRUE(test::waitUntil([&] { return log.contains("the dock stopped reading"); }));
    for (int i = 0; i < 30; ++i) {
        edit();
        QTest::qWait(50);
    }
    emulator->clearRecords();
    emulator->setStalled(false);
    ASSERT_TRUE(test::waitUntil(
        [&] {
            return emulator->count(Command::dis) == 1 && controller->dock().pendingBatches() == 0 &&
                   !emulator->hasUnreadReports() && facesMatchCache();
        },
        10000));
    EXPECT_EQ(emulator->brightness(), int(controller->config().dockBrightness));
    EXPECT_TRUE(emulator->protocolErrors().isEmpty())
        << emulator->protocolErrors().join(" | ").toStdString();
}

TEST_F(DockControllerTest, InputAccessIsReadWhenItsWatchFiresOrTheWindowShows) {
    permissions.granted = false;
    DockConfig config = fourFaces();
    config.keys[5] = ButtonAction::keys(KeyCombo{40, KeyCombo::kCommand, QStringLiteral("⌘K")});
    make(config);
    EXPECT_FALSE(controller->accessibilityGranted());
    QSignalSpy granted(controller.get(), &DockController::accessibilityGrantedChanged);
    controller->start();
    EXPECT_EQ(permissions.prompts, 1); // an action needs it and it is missing
    ASSERT_TRUE(permissions.changed);
    permissions.changed(); // an event that changed nothing is not published
    EXPECT_EQ(granted.count(), 0);
    permissions.granted = true;
    permissions.changed();
    EXPECT_TRUE(controller->accessibilityGranted());
    permissions.changed();
    EXPECT_EQ(granted.count(), 1);

    // What the watch cannot see (an X server's XTEST) is read when the window shows.
    permissions.granted = false;
    controller->setWindowShown(true);
    EXPECT_FALSE(controller->accessibilityGranted());
    EXPECT_EQ(granted.count(), 2);
}

TEST_F(DockControllerTest, ShortcutNamesComeFromTheShortcutsFolder) {
    const QString folder = test::scratchDir() + QStringLiteral("/Shortcuts");
    QDir().mkpath(folder);
    QFile script(folder + QStringLiteral("/Backup"));
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write("#!/bin/sh\n");
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    make(fourFaces(), false, false);
    QSignalSpy names(controller.get(), &DockController::shortcutNamesChanged);
    controller->start();
    ASSERT_TRUE(names.wait(3000));
    EXPECT_EQ(controller->shortcutNames(), QStringList{QStringLiteral("Backup")});
}

TEST_F(DockControllerTest, PublishedSettersSignalOnlyOnChange) {
    make(fourFaces(), false, false);
    QSignalSpy selected(controller.get(), &DockController::selectedChanged);
    QSignalSpy tab(controller.get(), &DockController::tabChanged);
    controller->setSelected(Selection::key(0));
    controller->setTab(MenuTab::buttons);
    EXPECT_EQ(selected.count(), 0);
    EXPECT_EQ(tab.count(), 0);
    controller->setSelected(Selection::knob(0));
    controller->setTab(MenuTab::settings);
    EXPECT_EQ(selected.count(), 1);
    EXPECT_EQ(tab.count(), 1);
    EXPECT_EQ(controller->property("selected").value<Selection>(), Selection::knob(0));
}
