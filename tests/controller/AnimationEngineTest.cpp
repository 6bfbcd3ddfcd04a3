#include "ControllerTestSupport.h"

#include "controller/AnimationEngine.h"
#include "support/Log.h"

#include <QSignalSpy>
#include <QThreadPool>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>

using namespace velloq;
using velloq::test::ManualClock;
using velloq::test::RecordingSink;

namespace {

AnimationTrack trackWithDelays(const QList<double>& delays, PlaybackMode mode, double start) {
    AnimationTrack track;
    for (int i = 0; i < delays.size(); ++i)
        track.tiles.append({{0, QByteArray::number(i)}});
    track.delays = delays;
    track.startTime = start;
    track.setPlayback(mode, 1, start);
    return track;
}

// A frame set whose bytes name the file, the frame and the key: "<file>:<frame>:<key>".
FrameSet namedFrames(const QUrl& url, int frames, QList<int> keys, double delay = 0.1) {
    FrameSet set;
    for (int f = 0; f < frames; ++f) {
        QMap<int, QByteArray> tiles;
        for (const int key : keys)
            tiles.insert(key, (url.fileName() + QStringLiteral(":%1:%2").arg(f).arg(key)).toUtf8());
        set.tiles.append(tiles);
        set.delays.append(delay);
    }
    return set;
}

// A dock that takes framed reports: keeps the bytes of each batch as they would be written.
class FramingSink final : public AnimationSink {
public:
    bool hasDevice() const override { return true; }
    int pendingBatches() const override { return 0; }
    void setImages(const ImageBatch& images) override {
        written.push_back(onWire(Protocol::imageBatch(images, size)));
        ++imageBatches;
    }
    int packetSize() const override { return framedSize; }
    void sendFramed(const QList<QByteArray>& reports) override {
        written.push_back(reports.join());
    }

    // Each report as the writer frames it: 0x00, the report, zero padding.
    QByteArray onWire(const QList<QByteArray>& reports) const {
        QByteArray out;
        for (const QByteArray& report : reports)
            out += QByteArray(1, '\0') + Protocol::padded(report, size);
        return out;
    }

    int size = 16;       // the dock's packet size
    int framedSize = 16; // the one frames are made for
    std::vector<QByteArray> written;
    int imageBatches = 0;
};

class AnimationEngineTest : public ::testing::Test {
protected:
    AnimationEngineTest() {
        AnimationEngine::Loaders loaders;
        loaders.button = [this](const QUrl& url, int, int) -> std::optional<FrameSet> {
            ++buttonLoads;
            if (url.fileName().startsWith(QLatin1String("broken")))
                return std::nullopt;
            const int frames = url.fileName().startsWith(QLatin1String("still")) ? 1 : 3;
            return namedFrames(url, frames, {0});
        };
        loaders.screensaver = [this](const QUrl& url, int, int) -> std::optional<FrameSet> {
            ++saverLoads;
            if (url.fileName().startsWith(QLatin1String("broken")))
                return std::nullopt;
            return namedFrames(url, 4, {0, 1, 2, 3, 4, 5});
        };
        engine = std::make_unique<AnimationEngine>(sink, clock, loaders);
    }
    ~AnimationEngineTest() override {
        engine.reset();
        QThreadPool::globalInstance()->waitForDone();
    }

    // Waits until `count` loads have come back.
    void awaitLoads(QSignalSpy& spy, int count) {
        while (spy.count() < count)
            ASSERT_TRUE(spy.wait(5000));
    }

    ManualClock clock;
    RecordingSink sink;
    std::atomic<int> buttonLoads{0};
    std::atomic<int> saverLoads{0};
    std::unique_ptr<AnimationEngine> engine;
};

} // namespace

TEST(AnimationTrackTest, LoopPlaysStepsInOrderAndWraps) {
    const AnimationTrack track = trackWithDelays({0.1, 0.2, 0.3}, PlaybackMode::loop, 10);
    EXPECT_EQ(track.steps, (QList<int>{0, 1, 2}));
    ASSERT_EQ(track.starts.size(), 3);
    EXPECT_DOUBLE_EQ(track.starts[0], 0);
    EXPECT_DOUBLE_EQ(track.starts[1], 0.1);
    EXPECT_DOUBLE_EQ(track.starts[2], 0.30000000000000004);
    EXPECT_DOUBLE_EQ(track.total, 0.6);
    EXPECT_EQ(track.step(10.0), 0);
    EXPECT_EQ(track.step(10.15), 1);
    EXPECT_EQ(track.step(10.45), 2);
    EXPECT_EQ(track.step(10.65), 0);
}

TEST(AnimationTrackTest, BounceRunsBackWithoutRepeatingTheEnds) {
    const AnimationTrack track = trackWithDelays({0.1, 0.2, 0.3}, PlaybackMode::bounce, 0);
    EXPECT_EQ(track.steps, (QList<int>{0, 1, 2, 1}));
    EXPECT_DOUBLE_EQ(track.total, 0.8);
    const int due = track.step(0.7);
    EXPECT_EQ(due, 3);
    EXPECT_EQ(track.steps[due], 1);

    const AnimationTrack four = trackWithDelays({0.1, 0.1, 0.1, 0.1}, PlaybackMode::bounce, 0);
    EXPECT_EQ(four.steps, (QList<int>{0, 1, 2, 3, 2, 1}));
    const AnimationTrack two = trackWithDelays({0.1, 0.1}, PlaybackMode::bounce, 0);
    EXPECT_EQ(two.steps, (QList<int>{0, 1}));
}

TEST(AnimationTrackTest, SpeedIsAtLeastAFloorAndKeepsThePosition) {
    AnimationTrack track = trackWithDelays({1, 1, 1}, PlaybackMode::loop, 0);
    track.lastStep = 1;
    // Halfway through frame 1, doubling the speed keeps frame 1 on screen.
    track.setPlayback(PlaybackMode::loop, 2, 1.5);
    EXPECT_DOUBLE_EQ(track.speed, 2);
    EXPECT_EQ(track.lastStep, -1);
    EXPECT_EQ(track.step(1.5), 1);
    // The rest of frame 1 (0.5 s of animation time) now plays in 0.25 s.
    EXPECT_EQ(track.step(1.74), 1);
    EXPECT_EQ(track.step(1.76), 2);

    track.setPlayback(PlaybackMode::loop, 0, 2);
    EXPECT_DOUBLE_EQ(track.speed, AnimationTrack::kMinSpeed);
    EXPECT_EQ(track.step(2), 2);
}

TEST(AnimationTrackTest, OneFrameOrNoLengthIsAlwaysStepZero) {
    EXPECT_EQ(trackWithDelays({0.5}, PlaybackMode::loop, 0).step(7.3), 0);
    EXPECT_EQ(trackWithDelays({0, 0, 0}, PlaybackMode::loop, 0).step(7.3), 0);
}

TEST_F(AnimationEngineTest, KeyAnimationPlaysOnTheClockAndOnlyChangedStepsAreSent) {
    EXPECT_FALSE(engine->timerRunning());
    QSignalSpy loaded(engine.get(), &AnimationEngine::loadFinished);
    engine->setButtonAnimation(2, QStringLiteral("/icons/spin.gif"), 60, 90);
    EXPECT_EQ(engine->buttonSignature(2), QStringLiteral("/icons/spin.gif|60|90"));
    awaitLoads(loaded, 1);
    EXPECT_TRUE(engine->timerRunning());
    engine->invalidate(); // the real clock may have ticked while we waited
    sink.batches.clear();

    engine->tick(); // step 0, re-keyed from 0 to the real key
    ASSERT_EQ(sink.batches.size(), 1u);
    EXPECT_EQ(sink.batches[0], (ImageBatch{{2, QByteArray("spin.gif:0:0")}}));
    engine->tick(); // same step: nothing
    EXPECT_EQ(sink.batches.size(), 1u);
    clock.advance(0.15);
    engine->tick();
    ASSERT_EQ(sink.batches.size(), 2u);
    EXPECT_EQ(sink.batches[1], (ImageBatch{{2, QByteArray("spin.gif:1:0")}}));

    // invalidate() makes the next tick send the current frame again.
    engine->invalidate();
    engine->tick();
    ASSERT_EQ(sink.batches.size(), 3u);
    EXPECT_EQ(sink.batches[2], sink.batches[1]);

    engine->setButtonAnimation(2, std::nullopt, 60, 90);
    EXPECT_FALSE(engine->buttonSignature(2));
    EXPECT_FALSE(engine->timerRunning());
}

TEST_F(AnimationEngineTest, AllKeysDueInOneTickGoOutInOneBatch) {
    QSignalSpy loaded(engine.get(), &AnimationEngine::loadFinished);
    engine->setButtonAnimation(0, QStringLiteral("/a.gif"), 60, 0);
    engine->setButtonAnimation(4, QStringLiteral("/b.gif"), 60, 0);
    awaitLoads(loaded, 2);
    engine->invalidate(); // the real clock may have ticked while we waited
    sink.batches.clear();
    engine->tick();
    ASSERT_EQ(sink.batches.size(), 1u);
    EXPECT_EQ(sink.batches[0],
              (ImageBatch{{0, QByteArray("a.gif:0:0")}, {4, QByteArray("b.gif:0:0")}}));
}

TEST_F(AnimationEngineTest, SingleFrameTrackIsSentOnceUntilInvalidated) {
    QSignalSpy loaded(engine.get(), &AnimationEngine::loadFinished);
    engine->setButtonAnimation(1, QStringLiteral("/still.gif"), 60, 0);
    awaitLoads(loaded, 1);
    engine->invalidate(); // the real clock may have ticked while we waited
    sink.batches.clear();
    for (int i = 0; i < 5; ++i) {
        engine->tick();
        clock.advance(1);
    }
    EXPECT_EQ(sink.batches.size(), 1u);
    engine->invalidate();
    engine->tick();
    EXPECT_EQ(sink.batches.size(), 2u);
}

TEST_F(AnimationEngineTest, RepeatedRequestDoesNotReloadButAnyChangeDoes) {
    QSignalSpy loaded(engine.get(), &AnimationEngine::loadFinished);
    engine->setButtonAnimation(0, QStringLiteral("/a.gif"), 60, 0);
    awaitLoads(loaded, 1);
    engine->setButtonAnimation(0, QStringLiteral("/a.gif"), 60, 0);
    EXPECT_EQ(buttonLoads, 1);
    EXPECT_EQ(engine->buttonTracks().count(0), 1u);

    engine->setButtonAnimation(0, QStringLiteral("/a.gif"), 60, 90);
    EXPECT_EQ(engine->buttonTracks().count(0), 0u); // stops at once while reloading
    awaitLoads(loaded, 2);
    EXPECT_EQ(buttonLoads, 2);
    EXPECT_EQ(engine->buttonTracks().count(0), 1u);
}

TEST_F(AnimationEngineTest, FailedKeyLoadIsNotRetriedUntilTheRequestChanges) {
    QSignalSpy loaded(engine.get(), &AnimationEngine::loadFinished);
    engine->setButtonAnimation(3, QStringLiteral("/broken.gif"), 60, 0);
    awaitLoads(loaded, 1);
    EXPECT_TRUE(engine->buttonTracks().empty());
    EXPECT_EQ(engine->buttonSignature(3), QStringLiteral("/broken.gif|60|0"));
    engine->setButtonAnimation(3, QStringLiteral("/broken.gif"), 60, 0);
    EXPECT_EQ(buttonLoads, 1);
    EXPECT_FALSE(engine->timerRunning());
}

TEST_F(AnimationEngineTest, StaleKeyResultsAreDiscarded) {
    QSignalSpy loaded(engine.get(), &AnimationEngine::loadFinished);
    engine->setButtonAnimation(0, QStringLiteral("/first.gif"), 60, 0);
    engine->setButtonAnimation(0, QStringLiteral("/second.gif"), 60, 0);
    engine->setButtonAnimation(1, QStringLiteral("/gone.gif"), 60, 0);
    engine->setButtonAnimation(1, std::nullopt, 60, 0);
    awaitLoads(loaded, 3);
    ASSERT_EQ(engine->buttonTracks().size(), 1u);
    EXPECT_EQ(engine->buttonTracks().at(0).tiles[0].value(0), QByteArray("second.gif:0:0"));
}

TEST_F(AnimationEngineTest, ScreensaverPausesKeysAndSendsAllSixTilesPerStep) {
    QSignalSpy loaded(engine.get(), &AnimationEngine::loadFinished);
    engine->setButtonAnimation(0, QStringLiteral("/a.gif"), 60, 0);
    awaitLoads(loaded, 1);
    engine->startScreensaver(QUrl::fromLocalFile(QStringLiteral("/s/saver.mp4")), 60, 0,
                             PlaybackMode::loop, 1);
    EXPECT_TRUE(engine->screensaverActive());
    EXPECT_TRUE(engine->timerRunning());
    engine->invalidate(); // the real clock may have ticked while we waited
    sink.batches.clear();
    engine->tick(); // still loading: keys stay paused, nothing is sent
    EXPECT_TRUE(sink.batches.empty());

    awaitLoads(loaded, 2);
    ASSERT_TRUE(engine->saver());
    engine->invalidate(); // the real clock may have ticked while we waited
    sink.batches.clear();
    engine->tick();
    ASSERT_EQ(sink.batches.size(), 1u);
    EXPECT_EQ(sink.batches[0].size(), 6u);
    EXPECT_EQ(sink.batches[0].at(5), QByteArray("saver.mp4:0:5"));

    // Stopping resumes the key animation with its current frame.
    engine->stopScreensaver();
    EXPECT_FALSE(engine->saver());
    engine->tick();
    ASSERT_EQ(sink.batches.size(), 2u);
    EXPECT_EQ(sink.batches[1].size(), 1u);
    EXPECT_EQ(sink.batches[1].count(0), 1u);
}

TEST_F(AnimationEngineTest, StartingTwiceQuicklyKeepsOnlyTheSecondLoad) {
    QSignalSpy loaded(engine.get(), &AnimationEngine::loadFinished);
    engine->startScreensaver(QUrl::fromLocalFile(QStringLiteral("/first.mp4")), 60, 0,
                             PlaybackMode::loop, 1);
    const int firstToken = engine->saverToken();
    engine->startScreensaver(QUrl::fromLocalFile(QStringLiteral("/second.mp4")), 60, 0,
                             PlaybackMode::bounce, 2);
    EXPECT_EQ(engine->saverToken(), firstToken + 1);
    awaitLoads(loaded, 2);
    ASSERT_TRUE(engine->saver());
    EXPECT_EQ(engine->saver()->tiles[0].value(0), QByteArray("second.mp4:0:0"));
    EXPECT_EQ(engine->saver()->steps, (QList<int>{0, 1, 2, 3, 2, 1}));
    EXPECT_DOUBLE_EQ(engine->saver()->speed, 2);
}

TEST_F(AnimationEngineTest, StoppingWhileLoadingDiscardsTheLateResult) {
    QSignalSpy loaded(engine.get(), &AnimationEngine::loadFinished);
    engine->startScreensaver(QUrl::fromLocalFile(QStringLiteral("/saver.mp4")), 60, 0,
                             PlaybackMode::loop, 1);
    engine->stopScreensaver();
    EXPECT_FALSE(engine->timerRunning());
    awaitLoads(loaded, 1);
    EXPECT_FALSE(engine->screensaverActive());
    EXPECT_FALSE(engine->saver());
}

TEST_F(AnimationEngineTest, UnloadableScreensaverLogsAndStaysActive) {
    LogCapture log;
    QSignalSpy loaded(engine.get(), &AnimationEngine::loadFinished);
    engine->startScreensaver(QUrl::fromLocalFile(QStringLiteral("/x/broken clip.mp4")), 60, 0,
                             PlaybackMode::loop, 1);
    awaitLoads(loaded, 1);
    EXPECT_TRUE(log.contains(QStringLiteral("Couldn't load screensaver broken clip.mp4")));
    EXPECT_TRUE(engine->screensaverActive());
    EXPECT_TRUE(engine->timerRunning());
}

TEST_F(AnimationEngineTest, PlaybackChangesInPlaceOnlyOnceLoaded) {
    QSignalSpy loaded(engine.get(), &AnimationEngine::loadFinished);
    engine->startScreensaver(QUrl::fromLocalFile(QStringLiteral("/saver.mp4")), 60, 0,
                             PlaybackMode::loop, 1);
    engine->setPlayback(PlaybackMode::bounce, 3); // still loading: no effect
    awaitLoads(loaded, 1);
    ASSERT_TRUE(engine->saver());
    EXPECT_EQ(engine->saver()->steps.size(), 4);
    const int token = engine->saverToken();
    engine->setPlayback(PlaybackMode::bounce, 3);
    EXPECT_EQ(engine->saver()->steps.size(), 6);
    EXPECT_DOUBLE_EQ(engine->saver()->speed, 3);
    EXPECT_EQ(engine->saverToken(), token);
    EXPECT_EQ(saverLoads, 1);
}

TEST_F(AnimationEngineTest, BusyOrMissingDockSkipsTheTick) {
    QSignalSpy loaded(engine.get(), &AnimationEngine::loadFinished);
    engine->setButtonAnimation(0, QStringLiteral("/a.gif"), 60, 0);
    awaitLoads(loaded, 1);
    engine->invalidate(); // the real clock may have ticked while we waited
    sink.batches.clear();

    sink.pending = 1;
    engine->tick();
    EXPECT_TRUE(sink.batches.empty());
    EXPECT_EQ(engine->skippedTicks(), 1);
    clock.advance(0.25); // frame 2 is due by now; frame 0 and 1 were never sent
    sink.pending = 0;
    engine->tick();
    ASSERT_EQ(sink.batches.size(), 1u);
    EXPECT_EQ(sink.batches[0], (ImageBatch{{0, QByteArray("a.gif:2:0")}}));

    sink.device = false;
    engine->invalidate();
    engine->tick();
    EXPECT_EQ(sink.batches.size(), 1u);
}

// Frames made ready as reports on the loading thread are the bytes imageBatch() gives.
TEST(AnimationEngineFramingTest, ReadyFramesAreTheBytesOfTheirImageBatch) {
    ManualClock clock;
    FramingSink sink;
    AnimationEngine::Loaders loaders;
    loaders.button = [](const QUrl& url, int, int) { return namedFrames(url, 3, {0}); };
    loaders.screensaver = [](const QUrl& url, int, int) {
        return namedFrames(url, 2, {0, 1, 2, 3, 4, 5});
    };
    AnimationEngine engine(sink, clock, loaders);
    QSignalSpy loaded(&engine, &AnimationEngine::loadFinished);
    // Tiles of 25 bytes or more: BAT and two slices of 16.
    engine.setButtonAnimation(1, QStringLiteral("/a-longish-name.gif"), 60, 0);
    engine.setButtonAnimation(4, QStringLiteral("/another-long-name.gif"), 60, 0);
    while (loaded.count() < 2)
        ASSERT_TRUE(loaded.wait(5000));
    // The tile each key was last sent.
    const auto sent = [&](int key) {
        const AnimationTrack& track = engine.buttonTracks().at(key);
        return track.tiles[track.steps[track.lastStep]].value(key);
    };
    engine.invalidate();
    engine.tick();
    ASSERT_EQ(sink.written.size(), 1u);
    EXPECT_EQ(sink.written[0], sink.onWire(Protocol::imageBatch({{1, sent(1)}, {4, sent(4)}}, 16)));
    EXPECT_TRUE(sent(4).startsWith("another-long-name.gif:"));
    engine.setButtonAnimation(4, std::nullopt, 60, 0);
    engine.invalidate();
    engine.tick(); // one key alone
    ASSERT_EQ(sink.written.size(), 2u);
    EXPECT_EQ(sink.written[1], sink.onWire(Protocol::imageBatch({{1, sent(1)}}, 16)));

    engine.startScreensaver(QUrl::fromLocalFile(QStringLiteral("/s/a-longer-saver.mp4")), 60, 0,
                            PlaybackMode::loop, 1);
    while (loaded.count() < 3)
        ASSERT_TRUE(loaded.wait(5000));
    engine.invalidate();
    engine.tick();
    ASSERT_EQ(sink.written.size(), 3u);
    const int frame = engine.saver()->steps[engine.saver()->lastStep];
    ImageBatch expected;
    for (int key = 0; key < 6; ++key)
        expected[key] = QStringLiteral("a-longer-saver.mp4:%1:%2").arg(frame).arg(key).toUtf8();
    EXPECT_EQ(sink.written[2], sink.onWire(Protocol::imageBatch(expected, 16)));
    EXPECT_EQ(sink.imageBatches, 0);

    // A dock with another packet size gets the images, sliced for its size.
    sink.size = 32;
    sink.framedSize = 32;
    engine.invalidate();
    engine.tick();
    ASSERT_EQ(sink.written.size(), 4u);
    EXPECT_EQ(sink.imageBatches, 1);
    EXPECT_EQ(sink.written[3], sink.onWire(Protocol::imageBatch(expected, 32)));
}

// The clock wakes for the tick at which the next frame is due, not for the ticks between; a
// busy dock makes it wake on every tick until the due frame is out; a still face lets it sleep.
TEST_F(AnimationEngineTest, TheClockWakesOnlyOnTicksAtWhichSomethingIsDue) {
    const double tick = std::chrono::duration<double>(AnimationEngine::kTickInterval).count();
    QSignalSpy loaded(engine.get(), &AnimationEngine::loadFinished);
    engine->setButtonAnimation(2, QStringLiteral("/spin.gif"), 60, 0); // frames of 0.1 s
    awaitLoads(loaded, 1);
    engine->invalidate();
    engine->tick();
    ASSERT_EQ(sink.batches.size(), 1u);
    const double change = *engine->buttonTracks().at(2).nextChange(clock.now());
    ASSERT_TRUE(engine->nextTick());
    EXPECT_GT(*engine->nextTick(), change - 0.005); // at most the lateness allowance early
    EXPECT_LT(*engine->nextTick(), change + tick);

    clock.advance(change - clock.now() + 0.001);
    sink.pending = 1;
    engine->tick();
    EXPECT_EQ(sink.batches.size(), 1u);
    ASSERT_TRUE(engine->nextTick());
    EXPECT_LE(*engine->nextTick(), clock.now() + tick);
    sink.pending = 0;
    engine->tick();
    ASSERT_EQ(sink.batches.size(), 2u);
    EXPECT_NE(sink.batches[1], sink.batches[0]);

    engine->setButtonAnimation(2, QStringLiteral("/still.gif"), 60, 0);
    awaitLoads(loaded, 2);
    engine->invalidate();
    engine->tick();
    EXPECT_EQ(sink.batches.size(), 3u);
    EXPECT_TRUE(engine->timerRunning());
    EXPECT_FALSE(engine->nextTick());
    engine->invalidate(); // e.g. the dock came back: its frame goes out on the next tick
    ASSERT_TRUE(engine->nextTick());
    EXPECT_LE(*engine->nextTick(), clock.now() + tick);
}

// With a dock that takes paced frames, its writer runs the ticks: asked early it is told how
// long to wait; on time it gets the due frame's reports; held up, nothing, and the frame on
// the next tick. Listeners on the main thread still hear of key frames.
TEST(AnimationEnginePacingTest, TheDocksWriterRunsTheTicks) {
    struct ReadableClock final : Clock {
        double now() const override { return time; }
        bool isSteady() const override { return true; }
        void advance(std::chrono::nanoseconds by) {
            time += std::chrono::duration<double>(by).count();
        }
        double time = 5000;
    };
    struct PacingSink final : AnimationSink {
        bool hasDevice() const override { return true; }
        int pendingBatches() const override { return 0; }
        void setImages(const ImageBatch&) override { ++fromMainThread; }
        int packetSize() const override { return 16; }
        void sendFramed(const QList<QByteArray>&) override { ++fromMainThread; }
        bool pace(std::shared_ptr<PacedFrames> frames) override {
            paced = std::move(frames);
            return true;
        }
        void pokePaced() override { ++pokes; }
        std::shared_ptr<PacedFrames> paced;
        int pokes = 0;
        int fromMainThread = 0;
    };
    ReadableClock clock;
    PacingSink sink;
    AnimationEngine::Loaders loaders;
    loaders.button = [](const QUrl& url, int, int) { return namedFrames(url, 3, {0}); };
    auto engine = std::make_unique<AnimationEngine>(sink, clock, loaders);
    ASSERT_TRUE(engine->paced());
    const std::shared_ptr<PacedFrames> frames = sink.paced;
    QSignalSpy loaded(engine.get(), &AnimationEngine::loadFinished);
    QSignalSpy keyFrames(engine.get(), &AnimationEngine::keyFramesChanged);
    engine->setButtonAnimation(2, QStringLiteral("/spin.gif"), 60, 0);
    ASSERT_TRUE(loaded.wait(5000));
    EXPECT_GT(sink.pokes, 0);

    PacedFrames::Step step = frames->step(false, 16);
    EXPECT_TRUE(step.reports.isEmpty());
    ASSERT_TRUE(step.wait);
    EXPECT_LE(*step.wait, AnimationEngine::kTickInterval + std::chrono::microseconds(1));
    clock.advance(*step.wait);
    keyFrames.clear();
    step = frames->step(false, 16);
    const AnimationTrack& track = engine->buttonTracks().at(2);
    const int shown = track.steps[track.lastStep];
    EXPECT_EQ(step.reports, track.framed[shown]);
    EXPECT_TRUE(keyFrames.wait(5000));
    ASSERT_TRUE(engine->shownFrame(2));
    EXPECT_EQ(engine->shownFrame(2)->frame, shown);

    // The next frame comes when the writer is busy: it goes out on the tick after.
    ASSERT_TRUE(step.wait);
    clock.advance(*step.wait);
    const int skipped = engine->skippedTicks();
    step = frames->step(true, 16);
    EXPECT_TRUE(step.reports.isEmpty());
    EXPECT_EQ(engine->skippedTicks(), skipped + 1);
    ASSERT_TRUE(step.wait);
    EXPECT_LE(*step.wait, AnimationEngine::kTickInterval + std::chrono::microseconds(1));
    clock.advance(*step.wait);
    step = frames->step(false, 16);
    EXPECT_EQ(step.reports, track.framed[(shown + 1) % 3]);
    EXPECT_EQ(sink.fromMainThread, 0);

    // Gone, the engine takes its frames back; a writer still holding them gets nothing.
    engine.reset();
    EXPECT_FALSE(sink.paced);
    step = frames->step(false, 16);
    EXPECT_TRUE(step.reports.isEmpty());
    EXPECT_FALSE(step.wait);
}
