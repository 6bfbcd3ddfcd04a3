// StreamDock against the dock emulator over the real socket, found by EmulatorDiscovery.

#include "EmulatedDock.h"

#include "device/EmulatorDiscovery.h"
#include "device/StreamDock.h"
#include "e2e/TestFaces.h"
#include "support/Log.h"
#include "support/TestEnv.h"

#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

namespace velloq {
namespace {

using Command = EmulatedDock::Command;

DockModel modelAt(int row) {
    return DockModels::table()[size_t(row - 1)];
}

struct RecordingDelegate : StreamDockDelegate {
    int connects = 0;
    int disconnects = 0;
    std::vector<DockEvent> events;
    std::function<void(StreamDock&)> onConnect;

    void streamDockDidConnect(StreamDock& dock) override {
        ++connects;
        if (onConnect)
            onConnect(dock);
    }
    void streamDockDidDisconnect(StreamDock&) override { ++disconnects; }
    void streamDockDidReceive(StreamDock&, const DockEvent& event) override {
        events.push_back(event);
    }
    void streamDockDidResume(StreamDock&) override { ++resumes; }
    int resumes = 0;
};

class StreamDockAgainstEmulator : public ::testing::Test {
protected:
    void makeDock(DockTiming timing = {}) {
        std::vector<std::unique_ptr<DiscoverySource>> sources;
        sources.push_back(std::make_unique<EmulatorDiscovery>());
        dock = std::make_unique<StreamDock>(std::move(sources), timing);
        dock->setDelegate(&delegate);
    }

    void makeEmulator(const DockModel& model) {
        emulator = std::make_unique<EmulatedDock>(model);
        ASSERT_TRUE(emulator->plugIn());
    }

    // Everything queued has been written and the emulator has read it. The emulator reads on
    // this thread, so the event loop must run meanwhile.
    void settle() {
        ASSERT_TRUE(test::waitUntil(
            [&] { return dock->pendingBatches() == 0 && !emulator->hasUnreadReports(); }, 10000));
    }

    void connectAndInitialise(const DockModel& model, int brightness = 70, DockTiming timing = {}) {
        makeEmulator(model);
        makeDock(timing);
        delegate.onConnect = [brightness](StreamDock& d) { d.initialize(brightness); };
        dock->start();
        ASSERT_TRUE(test::waitUntil([&] { return delegate.connects == 1; }));
        ASSERT_TRUE(test::waitUntil([&] { return emulator->count(Command::lig) == 2; }));
    }

    void TearDown() override {
        if (dock)
            settle();
        if (emulator && !expectProtocolErrors) {
            EXPECT_TRUE(emulator->protocolErrors().isEmpty())
                << emulator->protocolErrors().join(" | ").toStdString();
            EXPECT_FALSE(emulator->batchOpen());
        }
        if (dock)
            dock->setDelegate(nullptr);
    }

    QStringList commandTexts() const {
        QStringList texts;
        for (const auto& entry : emulator->commandLog())
            texts << entry.text();
        return texts;
    }

    LogCapture log;
    RecordingDelegate delegate;
    std::unique_ptr<EmulatedDock> emulator;
    std::unique_ptr<StreamDock> dock;
    bool expectProtocolErrors = false;
};

TEST_F(StreamDockAgainstEmulator, FindsTheDockAtStartAndInitialisesInOrder) {
    connectAndInitialise(modelAt(2), 70);
    EXPECT_EQ(dock->model()->name, "Ajazz AKP03E (rev. 2)");
    EXPECT_EQ(dock->packetSize(), 1024);
    EXPECT_EQ(dock->deviceNode(), emulator->socketPath());
    EXPECT_TRUE(log.contains("Connected Ajazz AKP03E (rev. 2) (0300:3002), packet size 1024"));
    EXPECT_EQ(commandTexts(), QStringList({"DIS", "LIG 0", "CLE all", "STP", "LIG 70"}));
    EXPECT_EQ(emulator->brightness(), 70);
    EXPECT_TRUE(emulator->isAwake());
    for (int i = 0; i < EmulatedDock::kKeys; ++i)
        EXPECT_TRUE(emulator->face(i).isNull());
}

TEST_F(StreamDockAgainstEmulator, FindsADockPluggedInWhileRunningWith512ByteReports) {
    makeDock();
    dock->start();
    EXPECT_FALSE(dock->hasDevice());
    makeEmulator(modelAt(6)); // Mirabox N3, an older model
    ASSERT_TRUE(test::waitUntil([&] { return delegate.connects == 1; }));
    EXPECT_EQ(dock->packetSize(), 512);
    EXPECT_FALSE(dock->model()->v3);
    dock->initialize(55);
    settle();
    EXPECT_EQ(commandTexts(), QStringList({"DIS", "LIG 0", "CLE all", "STP", "LIG 55"}));
}

class ImagesAgainstEmulator : public StreamDockAgainstEmulator,
                              public ::testing::WithParamInterface<int> {};

TEST_P(ImagesAgainstEmulator, ArriveByteExactAndUprightAfterTurningBack) {
    const DockModel model = modelAt(GetParam());
    connectAndInitialise(model);
    const int rotation = DockModels::finalRotation(model, 0);
    ImageBatch batch;
    for (int i : {0, 2, 5})
        batch[i] =
            test::jpeg(test::rotated(test::quadrantFace(model.imageEdge(), i, 600), rotation));
    batch[3] = std::nullopt;
    ASSERT_GT(batch[0]->size(), dock->packetSize()) << "spans several reports";
    dock->setImages(batch);
    settle();

    for (int i : {0, 2, 5}) {
        SCOPED_TRACE(i);
        EXPECT_EQ(emulator->faceData(i), *batch[i]);
        EXPECT_EQ(emulator->face(i).size(), QSize(model.imageEdge(), model.imageEdge()));
        EXPECT_TRUE(test::showsUprightQuadrants(emulator->face(i)));
        EXPECT_EQ(emulator->imageCommits(i), 1);
    }
    EXPECT_TRUE(emulator->face(3).isNull());
    EXPECT_EQ(emulator->count(Command::cleKey), 1);
    EXPECT_EQ(emulator->count(Command::stp), 2);
}

// An older model (no turn) and a v3 model (90° turn).
INSTANTIATE_TEST_SUITE_P(Models, ImagesAgainstEmulator, ::testing::Values(1, 2, 14));

TEST_F(StreamDockAgainstEmulator, BrightnessCommandsAreClamped) {
    connectAndInitialise(modelAt(2), 70);
    dock->enqueueAll({StreamDock::brightnessCommand(30)});
    settle();
    EXPECT_EQ(emulator->brightness(), 30);
    dock->enqueueAll({StreamDock::brightnessCommand(150)});
    settle();
    EXPECT_EQ(emulator->brightness(), 100);
    dock->enqueueAll({StreamDock::brightnessCommand(-5)});
    settle();
    EXPECT_EQ(emulator->brightness(), 0);
    EXPECT_EQ(emulator->count(Command::stp), 1) << "a brightness change has no STP";
}

TEST_F(StreamDockAgainstEmulator, KeepsTheDockAwake) {
    makeEmulator(modelAt(2));
    makeDock(DockTiming{std::chrono::milliseconds(40)});
    dock->start();
    ASSERT_TRUE(test::waitUntil([&] { return emulator->count(Command::connect) >= 3; }));
    EXPECT_TRUE(emulator->lastKeepAlive().has_value());
}

TEST_F(StreamDockAgainstEmulator, KeyPressesReachTheDelegateWithTheV3ReleaseRule) {
    connectAndInitialise(modelAt(2));
    ASSERT_TRUE(emulator->tapKey(0));
    ASSERT_TRUE(emulator->tapKey(5));
    ASSERT_TRUE(emulator->tapKey(6));
    ASSERT_TRUE(emulator->tapKey(8));
    ASSERT_TRUE(emulator->tapKnob(1));
    ASSERT_TRUE(emulator->tapKnob(2));
    ASSERT_TRUE(emulator->turnKnob(0, 2));
    ASSERT_TRUE(emulator->turnKnob(2, -1));
    const std::vector<DockEvent> expected{
        DockEvent::key(0),          DockEvent::key(5),          DockEvent::key(6),
        DockEvent::key(8),          DockEvent::knobPress(1),    DockEvent::knobPress(2),
        DockEvent::knobTurn(0, +1), DockEvent::knobTurn(0, +1), DockEvent::knobTurn(2, -1)};
    ASSERT_TRUE(test::waitUntil([&] { return delegate.events.size() >= expected.size(); }));
    ASSERT_TRUE(emulator->tapKey(1)); // a marker: nothing arrives after the last turn
    ASSERT_TRUE(test::waitUntil([&] { return delegate.events.size() > expected.size(); }));
    EXPECT_EQ(delegate.events.back(), DockEvent::key(1));
    delegate.events.pop_back();
    EXPECT_EQ(delegate.events, expected) << "releases are ignored on v3";
}

TEST_F(StreamDockAgainstEmulator, OlderModelsActOnEveryPress) {
    connectAndInitialise(modelAt(3)); // Ajazz AKP03
    ASSERT_TRUE(emulator->pressKey(4));
    ASSERT_TRUE(emulator->releaseKey(4)); // sends nothing on this model
    ASSERT_TRUE(emulator->pressKey(4));
    ASSERT_TRUE(emulator->tapKnob(0));
    ASSERT_TRUE(emulator->turnKnob(1, -1));
    const std::vector<DockEvent> expected{DockEvent::key(4), DockEvent::key(4),
                                          DockEvent::knobPress(0), DockEvent::knobTurn(1, -1)};
    ASSERT_TRUE(test::waitUntil([&] { return delegate.events.size() >= expected.size(); }));
    EXPECT_EQ(delegate.events, expected);
}

TEST_F(StreamDockAgainstEmulator, UnplugIsARemovalAndPluggingInAgainReconnects) {
    connectAndInitialise(modelAt(2), 40);
    dock->setImages({{0, test::jpeg(test::rotated(test::quadrantFace(64), 90))}});
    settle();
    emulator->unplug();
    ASSERT_TRUE(test::waitUntil([&] { return delegate.disconnects == 1; }));
    EXPECT_FALSE(dock->hasDevice());
    EXPECT_TRUE(log.contains("Disconnected Ajazz AKP03E (rev. 2)"));
    dock->setImages({{1, QByteArray("dropped while no dock is held")}});
    EXPECT_EQ(dock->pendingBatches(), 0);

    emulator->clearRecords();
    ASSERT_TRUE(emulator->plugIn());
    ASSERT_TRUE(test::waitUntil([&] { return delegate.connects == 2; }));
    ASSERT_TRUE(test::waitUntil([&] { return emulator->count(Command::lig) == 2; }));
    EXPECT_EQ(commandTexts(), QStringList({"DIS", "LIG 0", "CLE all", "STP", "LIG 40"}));
    EXPECT_EQ(emulator->connections(), 2);
    ASSERT_TRUE(emulator->tapKey(3));
    ASSERT_TRUE(test::waitUntil([&] { return !delegate.events.empty(); }));
    EXPECT_EQ(delegate.events.front(), DockEvent::key(3));
}

TEST_F(StreamDockAgainstEmulator, QuittingVelloqLeavesTheDockIdleAndWaiting) {
    connectAndInitialise(modelAt(2));
    dock->shutdown();
    settle();
    EXPECT_FALSE(emulator->isAwake());
    EXPECT_EQ(commandTexts().mid(5), QStringList({"CLE shutdown", "HAN"}));
    dock->setDelegate(nullptr);
    dock.reset();
    ASSERT_TRUE(test::waitUntil([&] { return !emulator->hasPeer(); }));
    EXPECT_TRUE(emulator->isPluggedIn());

    makeDock(); // Velloq started again finds the same dock
    dock->start();
    ASSERT_TRUE(test::waitUntil([&] { return delegate.connects == 2; }));
}

// The dock stops reading for a long while (a hung firmware, a busy hub): the stream pauses,
// the images under way are finished whole and only the newest of the batches queued meanwhile
// follows, so the dock never reads a command as image data or loses a slice.
TEST_F(StreamDockAgainstEmulator, ALongStallPausesTheStreamAndNeverSplitsAnImage) {
    DockTiming timing;
    timing.stallAfter = std::chrono::milliseconds(500);
    connectAndInitialise(modelAt(2), 70, timing);
    settle();
    emulator->clearRecords();
    const auto frame = [](int seed) {
        ImageBatch batch;
        for (int i = 0; i < EmulatedDock::kKeys; ++i)
            batch[i] =
                test::jpeg(test::rotated(test::quadrantFace(64, seed * 10 + i, 700), 90), 80);
        return batch;
    };
    emulator->setStalled(true);
    const ImageBatch first = frame(0); // more reports than the link holds
    dock->setImages(first);
    dock->setImages(frame(1));
    ASSERT_TRUE(test::waitUntil([&] { return log.contains("the dock stopped reading"); }));
    // A stall many times the threshold, the faces changing all the while.
    ImageBatch last;
    for (int seed = 2; seed < 40; ++seed) {
        last = frame(seed);
        dock->setImages(last);
        QTest::qWait(50);
    }
    EXPECT_LE(dock->pendingBatches(), 2); // the one under way and the newest
    emulator->setStalled(false);
    settle();

    EXPECT_EQ(emulator->count(Command::bat), 2 * EmulatedDock::kKeys);
    EXPECT_EQ(emulator->count(Command::stp), 2);
    for (int i = 0; i < EmulatedDock::kKeys; ++i)
        EXPECT_EQ(emulator->faceData(i), *last[i]);
    // Told on the main thread once the first report after the stall went out.
    ASSERT_TRUE(test::waitUntil([&] { return delegate.resumes == 1; }));
    EXPECT_EQ(log.count("the dock stopped reading"), 1);
    EXPECT_EQ(log.count("The dock reads again after"), 1);
}

// The animation engine's rule, played against a slow dock: a frame is queued only while
// nothing is pending. The link must hold the writer back, so pendingBatches says how far the
// dock is behind, and it never grows past one batch.
TEST_F(StreamDockAgainstEmulator, SlowLinkKeepsPendingBatchesFromGrowing) {
    connectAndInitialise(modelAt(2));
    settle();
    emulator->setReportRateLimit(300);
    const qint64 before = emulator->reportsReceived();

    int frames = 0;
    int skipped = 0;
    int maxPending = 0;
    qint64 reportsQueued = 0;
    qint64 maxBacklog = 0;
    ImageBatch last;
    QTimer clock;
    clock.setInterval(1000 / 30);
    QObject::connect(&clock, &QTimer::timeout, &clock, [&] {
        const int pending = dock->pendingBatches();
        maxPending = std::max(maxPending, pending);
        if (pending > 0) {
            ++skipped;
            return;
        }
        // Written in full: only what the socket holds may still be unread by the dock.
        maxBacklog = std::max(maxBacklog, before + reportsQueued - emulator->reportsReceived());
        ImageBatch frame;
        for (int i = 0; i < EmulatedDock::kKeys; ++i)
            frame[i] =
                test::jpeg(test::rotated(test::quadrantFace(64, frames * 10 + i, 700), 90), 80);
        const qint64 size = Protocol::imageBatch(frame, dock->packetSize()).size();
        dock->setImages(frame);
        reportsQueued += size;
        maxPending = std::max(maxPending, dock->pendingBatches());
        last = frame;
        ++frames;
    });
    clock.start();
    ASSERT_TRUE(test::waitUntil([&] { return frames >= 8; }, 30000));
    clock.stop();
    settle();

    RecordProperty("frames", frames);
    RecordProperty("skipped", skipped);
    RecordProperty("maxBacklog", int(maxBacklog));
    EXPECT_GT(skipped, 0) << "the slow link must make ticks skip";
    EXPECT_LE(maxPending, 1);
    EXPECT_LE(maxBacklog, 8) << "the socket must not buffer whole batches";
    EXPECT_EQ(emulator->reportsReceived() - before, reportsQueued);
    for (int i = 0; i < EmulatedDock::kKeys; ++i)
        EXPECT_EQ(emulator->faceData(i), *last[i]);
}

} // namespace
} // namespace velloq
