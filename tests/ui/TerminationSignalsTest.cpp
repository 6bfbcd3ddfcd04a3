#include "ui/VelloqApp.h"

#include <QCoreApplication>
#include <QTimer>

#include <gtest/gtest.h>

#include <csignal>

namespace velloq {
namespace {

// Closing the terminal Velloq was started from sends SIGHUP; it must quit through the event
// loop (so the dock gets its shutdown batch) instead of dying on the spot.
TEST(TerminationSignals, HangupQuitsThroughTheEventLoop) {
    VelloqApp::quitOnTerminationSignals();
    bool timedOut = false;
    QTimer::singleShot(0, [] { ::raise(SIGHUP); });
    QTimer::singleShot(30000, [&] {
        timedOut = true;
        QCoreApplication::quit();
    });
    QCoreApplication::exec();
    EXPECT_FALSE(timedOut);
}

} // namespace
} // namespace velloq
