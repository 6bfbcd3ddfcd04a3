// Several actions and toggles on the dock emulator: a sequence's steps in order with its wait
// on the test's clock, presses during a run, leaving the page, and a toggle's face and state.

#include "actions/ActionsFixture.h"
#include "actions/ActionsTestUtil.h"

#include "EmulatedDock.h"
#include "device/DeviceModel.h"
#include "device/EmulatorDiscovery.h"
#include "imaging/IconRenderer.h"
#include "support/Log.h"

#include <QClipboard>
#include <QGuiApplication>

using namespace velloq;
using namespace velloq::test;
using Press = RecordingKeySender::Press;

namespace {

constexpr uint16_t kZ = 6;
constexpr uint16_t kC = 8;
constexpr uint16_t kV = 9;
constexpr uint64_t kCtrl = KeyCombo::kControl;

class MultiTest : public ActionsTest {
protected:
    void TearDown() override {
        ActionsTest::TearDown();
        emulator.reset();
    }

    // Starts the controller on `config` with an emulated dock plugged in, and waits until the
    // dock shows its faces.
    void startWithDock(const DockConfig& config) {
        emulator = std::make_unique<EmulatedDock>(*DockModels::lookup(0x0300, 0x1002));
        ASSERT_TRUE(emulator->plugIn());
        std::vector<std::unique_ptr<DiscoverySource>> sources;
        sources.push_back(std::make_unique<EmulatorDiscovery>());
        make(config, nullptr, std::move(sources));
        controller->start();
        // The first STP ends the initialisation; the faces come in a batch of their own.
        ASSERT_TRUE(waitUntil([&] {
            return controller->isConnected() && emulator->hasPeer() &&
                   emulator->faceData(0) == expectedFace(0, controller->isToggleOn(0)) &&
                   !emulator->batchOpen() && !emulator->hasUnreadReports();
        }));
    }

    // The face the dock should show for key `key` of the current page with the toggle `on`.
    QByteArray expectedFace(int key, bool on) const {
        const DockConfig& config = controller->config();
        KeyLook look = config.lookOf(controller->currentPage(), key);
        look.on = on;
        look.image = (on ? config.onIconsOf(controller->currentPage())
                         : config.customIconsOf(controller->currentPage()))
                         .value(key);
        const DockModel& model = emulator->model();
        return IconRenderer::face(IconRenderer::picture(look, config.snippets, config.pages),
                                  DockModels::imageEdge(model),
                                  DockModels::finalRotation(model, config.extraRotation))
            .value_or(QByteArray());
    }

    std::unique_ptr<EmulatedDock> emulator;
};

QString clipboardText() {
    return QGuiApplication::clipboard()->text();
}

} // namespace

TEST_F(MultiTest, SequencePastesWaitsOnTheClockAndRunsAScriptAndIgnoresPressesMeanwhile) {
    const QString marker = scratchDir() + QStringLiteral("/ran");
    ASSERT_TRUE(writeFile(shortcutsFolder() + QStringLiteral("/Mark"),
                          "#!/bin/sh\necho ran >> '" + marker.toUtf8() + "'\n", true));
    DockConfig config;
    const Snippet snippet = Snippet::make(QStringLiteral("Hi"), QStringLiteral("hello there"));
    config.snippets = {snippet};
    config.keys[0] = ButtonAction::sequence({ButtonAction::snippet(snippet.id),
                                             ButtonAction::wait(ButtonAction::kMaxWaitMs),
                                             ButtonAction::shortcut(QStringLiteral("Mark"))});
    startWithDock(config);
    ASSERT_TRUE(waitUntil([&] { return controller->shortcutNames().size() == 1; }));
    LogCapture log;

    ASSERT_TRUE(emulator->tapKey(0));
    ASSERT_TRUE(waitUntil([&] { return !keys.presses.empty(); }));
    EXPECT_EQ(keys.presses, (std::vector<Press>{{kV, kCtrl}}));
    EXPECT_EQ(clipboardText(), snippet.text);
    const double pasted = clock.now();
    EXPECT_TRUE(controller->sequences().isRunning({QUuid(), 0}));

    // A press during the run is ignored, with one line.
    ASSERT_TRUE(emulator->tapKey(0));
    ASSERT_TRUE(waitUntil([&] { return log.contains(QStringLiteral("Ignored a press")); }));
    EXPECT_EQ(log.count(QStringLiteral("Ignored a press of button 1")), 1);

    // The wait is a minute of the test's clock, which no real time here reaches: the script
    // runs once the clock has been moved past it, and only once.
    EXPECT_TRUE(launcher.launched.isEmpty());
    ASSERT_TRUE(waitUntil([&] { return controller->sequences().isWaiting({QUuid(), 0}); }));
    clock.advance(ButtonAction::kMaxWaitMs / 1000.0);
    ASSERT_TRUE(waitUntil([&] { return readFile(marker) == "ran\n"; }));
    EXPECT_GE(clock.now() - pasted, ButtonAction::kMaxWaitMs / 1000.0);
    ASSERT_EQ(launcher.launched.size(), 1);
    EXPECT_TRUE(launcher.launched.first().first().endsWith(u"/Mark"));
    EXPECT_EQ(keys.presses.size(), 1u);
    ASSERT_TRUE(waitUntil([&] { return !controller->sequences().isRunning({QUuid(), 0}); }));

    // Done, it runs again.
    ASSERT_TRUE(emulator->tapKey(0));
    ASSERT_TRUE(waitUntil([&] { return keys.presses.size() == 2; }));
    EXPECT_TRUE(emulator->protocolErrors().isEmpty());
}

TEST_F(MultiTest, LeavingThePageEndsARunUnlessItsOwnStepLeftAndQuittingEndsAll) {
    DockConfig config;
    Page other = Page::make(QStringLiteral("Other"));
    config.pages = {other};
    const auto copy = ButtonAction::function(ButtonFunction::copy);
    const auto cut = ButtonAction::function(ButtonFunction::cut);
    const auto paste = ButtonAction::function(ButtonFunction::paste);
    const auto wait = ButtonAction::wait(10000);
    config.keys[0] = ButtonAction::sequence({copy, wait, cut});
    config.keys[1] = ButtonAction::sequence({ButtonAction::page(other.id), wait, paste});
    config.pages[0].keys[2] = ButtonAction::sequence({wait, cut});
    startWithDock(config);

    ASSERT_TRUE(emulator->tapKey(0));
    ASSERT_TRUE(waitUntil([&] { return keys.presses.size() == 1; }));
    controller->setCurrentPage(other.id);
    EXPECT_FALSE(controller->sequences().isRunning({QUuid(), 0}));

    // A sequence that opens a page goes on there.
    controller->setCurrentPage(QUuid());
    ASSERT_TRUE(emulator->tapKey(1));
    ASSERT_TRUE(waitUntil([&] { return controller->currentPage() == other.id; }));
    ASSERT_TRUE(waitUntil([&] { return controller->sequences().isWaiting({other.id, 1}); }));
    clock.advance(10);
    ASSERT_TRUE(waitUntil([&] { return keys.presses.size() == 2; }));
    EXPECT_EQ(keys.presses, (std::vector<Press>{{kC, kCtrl}, {kV, kCtrl}})); // no cut

    // Quitting with a wait left: nothing more runs, nothing is left behind.
    ASSERT_TRUE(emulator->tapKey(2));
    ASSERT_TRUE(waitUntil([&] { return controller->sequences().isWaiting({other.id, 2}); }));
    controller.reset();
    clock.advance(10);
    EXPECT_EQ(keys.presses.size(), 2u);
}

TEST_F(MultiTest, ToggleAlternatesItsSidesAndFaceAndKeepsItsStateAfterARestart) {
    DockConfig config;
    config.keys[0] = ButtonAction::toggle(ButtonAction::function(ButtonFunction::copy),
                                          ButtonAction::function(ButtonFunction::paste));
    config.keys[1] = ButtonAction::function(ButtonFunction::cut);
    startWithDock(config);
    const QByteArray offFace = expectedFace(0, false);
    EXPECT_EQ(emulator->faceData(0), offFace);
    EXPECT_NE(expectedFace(0, true), offFace);

    // Each press runs the side of its state and turns it; only that face is sent again.
    for (const bool on : {true, false, true}) {
        emulator->clearRecords();
        const size_t before = keys.presses.size();
        ASSERT_TRUE(emulator->tapKey(0));
        ASSERT_TRUE(waitUntil([&] { return emulator->faceData(0) == expectedFace(0, on); }));
        ASSERT_EQ(keys.presses.size(), before + 1);
        EXPECT_EQ(keys.presses.back(), (Press{on ? kC : kV, kCtrl}));
        EXPECT_TRUE(controller->isToggleOn(0) == on);
        ASSERT_TRUE(waitUntil([&] { return !emulator->batchOpen(); }));
        EXPECT_EQ(emulator->count(EmulatedDock::Command::bat), 1);
    }

    // Set from outside or edited, it runs nothing; a side edited keeps the state.
    const size_t pressed = keys.presses.size();
    EXPECT_TRUE(controller->setToggle(0, false));
    ASSERT_TRUE(waitUntil([&] { return emulator->faceData(0) == offFace; }));
    EXPECT_TRUE(controller->setToggle(0, true));
    EXPECT_FALSE(controller->setToggle(1, true)); // no toggle there
    controller->setInnerAction(ButtonAction::function(ButtonFunction::undo), 0, {1});
    EXPECT_TRUE(controller->isToggleOn(0));
    EXPECT_EQ(keys.presses.size(), pressed);
    ASSERT_TRUE(waitUntil([&] { return emulator->faceData(0) == expectedFace(0, true); }));

    // After a restart it is still on, and its face says so.
    controller->flushSave();
    const std::optional<DockConfig> saved = DockConfig::decode(readFile(configPath()));
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->toggleStates, (QList<ButtonRef>{{QUuid(), 0}}));
    controller.reset();
    emulator.reset();
    startWithDock(*saved);
    EXPECT_TRUE(controller->isToggleOn(0));
    EXPECT_EQ(emulator->faceData(0), expectedFace(0, true));
    ASSERT_TRUE(emulator->tapKey(0));
    ASSERT_TRUE(waitUntil([&] { return !controller->isToggleOn(0); }));
    EXPECT_EQ(keys.presses.back(), (Press{kZ, kCtrl})); // the side edited to undo
}

// A paste goes out only once the clipboard has been read: the step after it waits for it, so
// two pastes and a copy keep their order, and the user's clipboard comes back at the end.
TEST_F(MultiTest, StepsAfterAPasteWaitForItAndTheClipboardComesBack) {
    DockConfig config;
    const Snippet first = Snippet::make(QStringLiteral("One"), QStringLiteral("first"));
    const Snippet second = Snippet::make(QStringLiteral("Two"), QStringLiteral("second"));
    config.snippets = {first, second};
    config.keys[0] =
        ButtonAction::sequence({ButtonAction::snippet(first.id), ButtonAction::snippet(second.id),
                                ButtonAction::function(ButtonFunction::copy)});
    startWithDock(config);
    QGuiApplication::clipboard()->setText(QStringLiteral("mine"));
    ASSERT_TRUE(waitUntil([&] { return clipboardText() == QStringLiteral("mine"); }));

    ASSERT_TRUE(emulator->tapKey(0));
    ASSERT_TRUE(waitUntil([&] {
        return keys.presses.size() >= 3 && !controller->sequences().isRunning({QUuid(), 0});
    }));
    EXPECT_EQ(keys.presses, (std::vector<Press>{{kV, kCtrl}, {kV, kCtrl}, {kC, kCtrl}}));
    EXPECT_TRUE(waitUntil([&] { return clipboardText() == QStringLiteral("mine"); }));
}
