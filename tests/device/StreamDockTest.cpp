#include "FakeDiscovery.h"

#include "device/StreamDock.h"
#include "support/Log.h"
#include "support/TestEnv.h"

#include <QSignalSpy>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>

using namespace velloq;
using namespace std::chrono_literals;
using velloq::test::FakeDiscovery;

namespace {

struct RecordingDelegate : StreamDockDelegate {
    void streamDockDidConnect(StreamDock&) override { ++connects; }
    void streamDockDidDisconnect(StreamDock&) override { ++disconnects; }
    void streamDockDidReceive(StreamDock&, const DockEvent& event) override {
        events.push_back(event);
    }
    void streamDockCouldNotOpen(StreamDock&, const QString& node, const QString& reason) override {
        failedOpens.push_back({node, reason});
    }
    int connects = 0;
    int disconnects = 0;
    std::vector<DockEvent> events;
    std::vector<std::pair<QString, QString>> failedOpens;
};

HidDeviceInfo dockInfo(const QString& node = QStringLiteral("/dev/hidraw3"),
                       int64_t vendor = 0x0300, int64_t product = 0x1002, int maxOutput = 512) {
    HidDeviceInfo info;
    info.vendorID = vendor;
    info.productID = product;
    info.usagePage = DockModels::kUsagePage;
    info.usage = DockModels::kUsage;
    info.maxOutputReportSize = maxOutput;
    info.node = node;
    return info;
}

// What the dock receives for one report: the report-id byte 0, then the padded report.
QByteArray onWire(const QByteArray& report, int packetSize) {
    return QByteArray(1, '\0') + Protocol::padded(report, packetSize);
}

QList<QByteArray> onWire(const QList<QByteArray>& reports, int packetSize) {
    QList<QByteArray> out;
    for (const QByteArray& r : reports)
        out.append(onWire(r, packetSize));
    return out;
}

QByteArray inputReport(int code, int state) {
    QByteArray r("ACK", 3);
    r.append(6, '\0');
    r.append(char(code));
    r.append(char(state));
    r.append(5, '\0');
    return r;
}

class StreamDockTest : public ::testing::Test {
protected:
    explicit StreamDockTest(std::chrono::milliseconds keepAlive = StreamDock::kKeepAliveInterval) {
        auto source = std::make_unique<FakeDiscovery>();
        fake = source.get();
        auto second = std::make_unique<FakeDiscovery>();
        other = second.get();
        std::vector<std::unique_ptr<DiscoverySource>> sources;
        sources.push_back(std::move(source));
        sources.push_back(std::move(second));
        dock = std::make_unique<StreamDock>(std::move(sources), DockTiming{keepAlive});
        dock->setDelegate(&delegate);
        dock->start();
    }

    // Attaches the standard dock and checks that it is held.
    void connectDock(int maxOutput = 512) {
        fake->attach(dockInfo(node, 0x0300, 0x1002, maxOutput));
        ASSERT_TRUE(dock->hasDevice());
    }

    QList<QByteArray> written() {
        dock->waitForIdle();
        return fake->drain(node);
    }

    const QString node = QStringLiteral("/dev/hidraw3");
    LogCapture log;
    RecordingDelegate delegate;
    FakeDiscovery* fake = nullptr;
    FakeDiscovery* other = nullptr;
    std::unique_ptr<StreamDock> dock;
};

} // namespace

// --- Recognising docks ---

TEST_F(StreamDockTest, StartsEverySourceAndIsIdleWithoutADock) {
    EXPECT_EQ(fake->starts, 1);
    EXPECT_EQ(other->starts, 1);
    EXPECT_FALSE(dock->hasDevice());
    EXPECT_FALSE(dock->model());
    EXPECT_EQ(dock->packetSize(), 1024);
    EXPECT_EQ(dock->pendingBatches(), 0);
}

TEST_F(StreamDockTest, ConnectsAMatchingDockAndLogsIt) {
    connectDock();
    EXPECT_EQ(delegate.connects, 1);
    EXPECT_EQ(dock->model()->name, QStringLiteral("Ajazz AKP03E"));
    EXPECT_EQ(dock->deviceNode(), node);
    EXPECT_EQ(dock->packetSize(), 512);
    EXPECT_EQ(log.lines(),
              QStringList{QStringLiteral("Connected Ajazz AKP03E (0300:1002), packet size 512")});
}

TEST_F(StreamDockTest, IgnoresInterfacesAndIdsOutsideTheTable) {
    HidDeviceInfo keyboard = dockInfo();
    keyboard.usagePage = 0x01;
    keyboard.usage = 0x06;
    fake->attach(keyboard);
    fake->attach(dockInfo(node, 0x0300, 0x2000)); // known vendor, unknown product
    fake->attach(dockInfo(node, -1, -1));         // ids unknown
    HidDeviceInfo wrongUsage = dockInfo();
    wrongUsage.usage = 2;
    fake->attach(wrongUsage);

    EXPECT_FALSE(dock->hasDevice());
    EXPECT_TRUE(fake->opened.isEmpty()); // not even opened
    EXPECT_EQ(delegate.connects, 0);
    EXPECT_TRUE(log.lines().isEmpty());
}

TEST_F(StreamDockTest, ChoosesPacketSizeFromTheLargestOutputReport) {
    const std::vector<std::pair<int, int>> cases = {
        {513, 512}, {512, 512}, {1023, 512}, {1024, 1024}, {4096, 1024}, {-1, 1024}, {0, 512}};
    for (const auto& [maxOutput, expected] : cases) {
        const QString n = QStringLiteral("/dev/hidraw%1").arg(maxOutput + 10);
        fake->attach(dockInfo(n, 0x6603, 0x1003, maxOutput));
        ASSERT_TRUE(dock->hasDevice());
        EXPECT_EQ(dock->packetSize(), expected) << "max output report " << maxOutput;
        fake->remove(n);
        ASSERT_FALSE(dock->hasDevice());
    }
}

TEST_F(StreamDockTest, HoldsTheFirstDockOnly) {
    connectDock();
    const QString second = QStringLiteral("/dev/hidraw7");
    fake->attach(dockInfo(second, 0x6603, 0x1003));
    EXPECT_EQ(dock->deviceNode(), node);
    EXPECT_FALSE(fake->opened.contains(second));

    // Removing something that is not held changes nothing, also from another source.
    fake->remove(second);
    fake->remove(QStringLiteral("/dev/hidraw0"));
    other->remove(node);
    EXPECT_TRUE(dock->hasDevice());
    EXPECT_EQ(delegate.disconnects, 0);

    // The second dock is only picked up when it is attached again.
    fake->remove(node);
    EXPECT_FALSE(dock->hasDevice());
    fake->attach(dockInfo(second, 0x6603, 0x1003));
    EXPECT_EQ(dock->deviceNode(), second);
    EXPECT_EQ(dock->model()->name, QStringLiteral("Mirabox N3EN"));
    EXPECT_EQ(delegate.connects, 2);
}

TEST_F(StreamDockTest, RemovalDisconnectsAndKeepsTheModel) {
    connectDock();
    log.clear();
    fake->remove(node);
    EXPECT_FALSE(dock->hasDevice());
    EXPECT_EQ(delegate.disconnects, 1);
    EXPECT_EQ(dock->model()->name, QStringLiteral("Ajazz AKP03E"));
    EXPECT_EQ(log.lines(), QStringList{QStringLiteral("Disconnected Ajazz AKP03E")});

    // A late removal of the same node is not a second disconnect.
    fake->remove(node);
    EXPECT_EQ(delegate.disconnects, 1);

    // Batches are dropped silently while no dock is held.
    dock->initialize(50);
    EXPECT_EQ(dock->pendingBatches(), 0);
}

TEST_F(StreamDockTest, ANodeThatReachesEndOfFileIsARemoval) {
    connectDock();
    fake->closePeer(node);
    ASSERT_TRUE(test::waitUntil([&] { return delegate.disconnects == 1; }));
    EXPECT_FALSE(dock->hasDevice());
    EXPECT_TRUE(log.contains(QStringLiteral("Disconnected Ajazz AKP03E")));
}

TEST_F(StreamDockTest, ANodeThatCannotBeOpenedIsReportedAndNotHeld) {
    fake->openError = EACCES;
    fake->attach(dockInfo());
    EXPECT_FALSE(dock->hasDevice());
    EXPECT_EQ(delegate.connects, 0);
    ASSERT_EQ(delegate.failedOpens.size(), 1u);
    EXPECT_EQ(delegate.failedOpens[0].first, node);
    EXPECT_EQ(delegate.failedOpens[0].second, QStringLiteral("Permission denied"));
    EXPECT_EQ(log.lines(),
              QStringList{QStringLiteral("Could not open /dev/hidraw3: Permission denied")});

    // Once the rule is in place, the next attach works.
    fake->openError = 0;
    fake->attach(dockInfo());
    EXPECT_TRUE(dock->hasDevice());
}

TEST_F(StreamDockTest, DiscoveryFailureIsLogged) {
    other->fail(QStringLiteral("udev_new: No such file or directory"));
    EXPECT_EQ(log.lines(), QStringList{QStringLiteral(
                               "HID discovery failed: udev_new: No such file or directory")});
}

// --- Input ---

TEST_F(StreamDockTest, DeliversDecodedInputInOrder) {
    connectDock();
    ASSERT_TRUE(fake->send(node, inputReport(0x03, 1)));
    ASSERT_TRUE(fake->send(node, QByteArray("garbage")));
    ASSERT_TRUE(fake->send(node, inputReport(0x91, 0)));
    ASSERT_TRUE(fake->send(node, inputReport(0x35, 1)));
    ASSERT_TRUE(test::waitUntil([&] { return delegate.events.size() == 3; }));
    EXPECT_EQ(delegate.events[0], DockEvent::key(2));
    EXPECT_EQ(delegate.events[1], DockEvent::knobTurn(0, +1));
    EXPECT_EQ(delegate.events[2], DockEvent::knobPress(1));
}

TEST_F(StreamDockTest, AV3DockIgnoresReleases) {
    fake->attach(dockInfo(node, 0x6603, 0x1003));
    ASSERT_TRUE(fake->send(node, inputReport(0x01, 1)));
    ASSERT_TRUE(fake->send(node, inputReport(0x01, 0))); // release
    ASSERT_TRUE(fake->send(node, inputReport(0x25, 1)));
    ASSERT_TRUE(test::waitUntil([&] { return delegate.events.size() == 2; }));
    EXPECT_EQ(delegate.events[0], DockEvent::key(0));
    EXPECT_EQ(delegate.events[1], DockEvent::key(6));
}

// --- Output ---

TEST_F(StreamDockTest, InitialisationIsSentInOrderAndPadded) {
    connectDock(1024);
    dock->initialize(150);
    const QList<QByteArray> got = written();
    ASSERT_EQ(got.size(), 5);
    EXPECT_EQ(got, onWire({Protocol::dis(), Protocol::lig(0), Protocol::cleAll(), Protocol::stp(),
                           Protocol::lig(100)},
                          1024));
    for (const QByteArray& message : got)
        EXPECT_EQ(message.size(), 1025);
}

TEST_F(StreamDockTest, ImagesAreSlicedAndPaddedToThePacketSize) {
    connectDock(512);
    QByteArray image(1300, '\0');
    for (int i = 0; i < image.size(); ++i)
        image[i] = char(i * 7 + 1);
    dock->setImages({{4, image}, {1, std::nullopt}});
    const QList<QByteArray> got = written();
    ASSERT_EQ(got.size(), 6);
    EXPECT_EQ(got[0], onWire(Protocol::cleKey(2), 512));
    EXPECT_EQ(got[1], onWire(Protocol::bat(1300, 5), 512));
    EXPECT_EQ(got[2], QByteArray(1, '\0') + image.mid(0, 512));
    EXPECT_EQ(got[3], QByteArray(1, '\0') + image.mid(512, 512));
    EXPECT_EQ(got[4], QByteArray(1, '\0') + image.mid(1024) + QByteArray(236, '\0'));
    EXPECT_EQ(got[5], onWire(Protocol::stp(), 512));
}

TEST_F(StreamDockTest, EmptyBatchesQueueNothing) {
    QSignalSpy writtenSpy(dock.get(), &StreamDock::batchWritten);
    dock->enqueueAll({Protocol::stp()}); // no dock yet
    EXPECT_EQ(dock->pendingBatches(), 0);

    connectDock();
    dock->setImages({});
    dock->enqueueAll({});
    EXPECT_EQ(dock->pendingBatches(), 0);
    dock->enqueueAll({StreamDock::brightnessCommand(-5)}); // a brightness change on its own
    EXPECT_EQ(written(), onWire(QList<QByteArray>{Protocol::lig(0)}, 512));
    EXPECT_TRUE(test::waitUntil([&] { return writtenSpy.count() == 1; }));
}

TEST_F(StreamDockTest, PendingBatchesCountsUntilTheDockTakesThem) {
    fake->sendBuffer = 4096; // a slow dock: the writer waits after a few reports
    connectDock(1024);
    const QList<QByteArray> first(40, Protocol::connect());
    const QList<QByteArray> second(40, Protocol::stp());
    dock->enqueueAll(first);
    dock->enqueueAll(second);
    EXPECT_EQ(dock->pendingBatches(), 2);

    QList<QByteArray> got;
    ASSERT_TRUE(test::waitUntil([&] {
        got += fake->drain(node);
        return got.size() == 80;
    }));
    ASSERT_TRUE(test::waitUntil([&] { return dock->pendingBatches() == 0; }));
    // Batches never interleave.
    EXPECT_EQ(got, onWire(first + second, 1024));
    EXPECT_FALSE(log.contains(QStringLiteral("Write failed")));
}

class StreamDockKeepAliveTest : public StreamDockTest {
protected:
    StreamDockKeepAliveTest()
        : StreamDockTest(20ms) {}
};

TEST_F(StreamDockKeepAliveTest, SendsConnectWhileADockIsHeld) {
    connectDock(512);
    // A coarse timer fires up to 5 % early, 0.75 s before the dock's 15 s.
    const QList<QTimer*> timers = dock->findChildren<QTimer*>();
    ASSERT_EQ(timers.size(), 1);
    EXPECT_EQ(timers[0]->timerType(), Qt::PreciseTimer);
    QList<QByteArray> got;
    ASSERT_TRUE(test::waitUntil([&] {
        got += fake->drain(node);
        return got.size() >= 2;
    }));
    for (const QByteArray& message : got)
        EXPECT_EQ(message, onWire(Protocol::connect(), 512));

    // The removal stops the timer.
    fake->remove(node);
    EXPECT_TRUE(dock->findChildren<QTimer*>().isEmpty());
}

TEST_F(StreamDockTest, ShutdownWritesAfterEverythingQueued) {
    // Paced frames stop for good: none follows the shutdown batch.
    struct Frames final : PacedFrames {
        Step step(bool, int) override {
            ++asked;
            return {{}, std::chrono::milliseconds(1)};
        }
        std::atomic<int> asked{0};
    };
    const auto frames = std::make_shared<Frames>();
    dock->setPacedFrames(frames);
    connectDock(512);
    ASSERT_TRUE(test::waitUntil([&] { return frames->asked > 0; }));
    dock->initialize(40);
    dock->setImages({{0, QByteArray(600, 'x')}});
    dock->shutdown();
    const int asked = frames->asked;
    EXPECT_FALSE(test::waitUntil([&] { return frames->asked > asked; }, 100));
    // Synchronous: everything is at the dock's end when shutdown() returns.
    const QList<QByteArray> got = fake->drain(node);
    ASSERT_EQ(got.size(), 5 + 4 + 2);
    EXPECT_EQ(got.mid(9), onWire(Protocol::shutdownBatch(), 512));
    EXPECT_EQ(got.mid(9), onWire({Protocol::cleShutdown(), Protocol::han()}, 512));
    EXPECT_TRUE(dock->hasDevice()); // the device and the timer are left as they are
}

TEST_F(StreamDockTest, ShutdownWithoutADockReturnsAtOnce) {
    dock->shutdown();
    EXPECT_TRUE(fake->opened.isEmpty());
    connectDock();
    fake->remove(node);
    dock->shutdown();
    EXPECT_TRUE(fake->drain(node).isEmpty());
}

TEST_F(StreamDockTest, BatchesQueuedBeforeAnUnplugFailOneByOne) {
    connectDock(512);
    fake->closePeer(node); // unplugged, but the event loop has not noticed yet
    dock->initialize(50);
    dock->setImages({{0, QByteArray(1000, 'x')}}); // BAT, 2 slices, STP
    dock->waitForIdle();
    EXPECT_EQ(log.count(QStringLiteral("Write failed: Broken pipe")), 5 + 4);
    EXPECT_EQ(dock->pendingBatches(), 0);
    ASSERT_TRUE(test::waitUntil([&] { return delegate.disconnects == 1; }));
    dock->shutdown(); // no dock any more: nothing to do
}

TEST_F(StreamDockTest, ARemovalWhileWritesWaitDoesNotHang) {
    fake->sendBuffer = 4096;
    connectDock(1024);
    dock->enqueueAll(QList<QByteArray>(50, Protocol::connect()));
    dock->enqueueAll(QList<QByteArray>(50, Protocol::stp()));
    fake->closePeer(node);
    fake->remove(node);
    EXPECT_EQ(delegate.disconnects, 1);
    // The queued batches still run against the captured node and fail.
    ASSERT_TRUE(test::waitUntil([&] { return dock->pendingBatches() == 0; }));
    EXPECT_GT(log.count(QStringLiteral("Write failed: ")), 0);
}

TEST_F(StreamDockTest, DestructionWithAStalledDockReturns) {
    fake->sendBuffer = 4096;
    connectDock(1024);
    for (int i = 0; i < 20; ++i)
        dock->enqueueAll(QList<QByteArray>(50, Protocol::connect()));
    dock.reset(); // must neither hang nor wait out the write timeout per report
    SUCCEED();
}
