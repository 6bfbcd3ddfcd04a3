// The emulator's window, played with keyboard and mouse, against StreamDock.

#include "DockView.h"
#include "DockWindow.h"
#include "EmulatedDock.h"

#include "device/EmulatorDiscovery.h"
#include "device/StreamDock.h"
#include "e2e/RecordingDelegate.h"
#include "e2e/TestFaces.h"
#include "support/TestEnv.h"

#include <QComboBox>
#include <QPainter>
#include <QTest>
#include <QWheelEvent>

#include <gtest/gtest.h>

namespace velloq {
namespace {

using Events = test::RecordingDelegate;

TEST(EmulatorWindow, KeyboardAndMousePlayTheDockAndTheFacesShowDimmed) {
    EmulatedDock emulator(DockModels::table()[1]); // v3
    ASSERT_TRUE(emulator.plugIn());
    DockWindow window(&emulator);
    window.resize(720, 820);
    window.show();
    auto* view = window.findChild<DockView*>();
    ASSERT_NE(view, nullptr);

    std::vector<std::unique_ptr<DiscoverySource>> sources;
    sources.push_back(std::make_unique<EmulatorDiscovery>());
    StreamDock dock(std::move(sources));
    Events delegate;
    dock.setDelegate(&delegate);
    dock.start();
    ASSERT_TRUE(test::waitUntil([&] { return emulator.brightness() == 50; }));

    QTest::keyClick(view, Qt::Key_3);
    QTest::keyClick(view, Qt::Key_W);
    QTest::keyClick(view, Qt::Key_Down);
    QTest::keyClick(view, Qt::Key_Right);
    QTest::keyClick(view, Qt::Key_Space);
    QTest::mouseClick(view, Qt::LeftButton, {}, view->keyRect(5).center().toPoint());
    QTest::mouseClick(view, Qt::LeftButton, {}, view->knobRect(2).center().toPoint());
    const QPointF knob0 = view->knobRect(0).center();
    QWheelEvent wheel(knob0, view->mapToGlobal(knob0), {}, {0, -240}, Qt::NoButton, {},
                      Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(view, &wheel);

    const std::vector<DockEvent> expected{DockEvent::key(2),          DockEvent::key(7),
                                          DockEvent::knobTurn(1, +1), DockEvent::knobPress(1),
                                          DockEvent::key(5),          DockEvent::knobPress(2),
                                          DockEvent::knobTurn(0, -1), DockEvent::knobTurn(0, -1)};
    ASSERT_TRUE(test::waitUntil([&] { return delegate.events.size() >= expected.size(); }));
    EXPECT_EQ(delegate.events, expected);

    QImage red(64, 64, QImage::Format_RGB32);
    red.fill(Qt::red);
    dock.setImages({{0, test::jpeg(red)}});
    ASSERT_TRUE(test::waitUntil([&] { return emulator.imageCommits(0) == 1; }));
    const QImage shot = view->grab().toImage();
    const QColor shown = shot.pixelColor(view->keyRect(0).center().toPoint());
    EXPECT_NEAR(shown.red(), 127, 25) << "dimmed to the brightness of 50";
    EXPECT_LT(shown.green(), 30);

    auto* models = window.findChild<QComboBox*>();
    ASSERT_EQ(models->count(), 14);
    models->setCurrentIndex(5);
    Q_EMIT models->activated(5);
    ASSERT_TRUE(test::waitUntil([&] { return delegate.connects == 2; }));
    EXPECT_EQ(dock.model()->name, "Mirabox N3");
    EXPECT_EQ(dock.packetSize(), 512);
    ASSERT_TRUE(test::waitUntil([&] { return emulator.brightness() == 50; }));
    EXPECT_TRUE(emulator.protocolErrors().isEmpty());
    dock.setDelegate(nullptr);
}

} // namespace
} // namespace velloq
