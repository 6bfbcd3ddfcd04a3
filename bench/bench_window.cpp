// The main window: time from the request to show it (what Activate and the tray click do) to
// its first painted frame, and resident memory before the window was ever opened and after
// it was opened and closed. The controller runs against an emulated dock in-process, so the
// figures include the emulator's small share.

#include "EmulatorSession.h"
#include "ui/MenuView.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

using namespace velloq;
using namespace velloq::session;

namespace {

constexpr double kShowTargetMs = 150;
constexpr double kBeforeTargetMB = 60;
constexpr double kAfterTargetMB = 80;

// Notes the first paint of the watched window.
class PaintWatch final : public QObject {
public:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            painted = true;
        return false;
    }
    bool painted = false;
};

double residentMB() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    }
    return 0;
}

void report(const char* what, double value, const char* unit, double target) {
    std::printf("%-40s %10.2f %-3s target %8.2f %-3s ratio %6.3f\n", what, value, unit, target,
                unit, value / target);
}

// Shows the window and returns the milliseconds to its first painted frame.
double showAndTime(MenuView& window) {
    PaintWatch watch;
    window.installEventFilter(&watch);
    QElapsedTimer timer;
    timer.start();
    window.show();
    window.activateWindow();
    spinUntil([&] { return watch.painted; }, 5000);
    const double ms = double(timer.nsecsElapsed()) / 1e6;
    window.removeEventFilter(&watch);
    return watch.painted ? ms : -1;
}

} // namespace

int main(int argc, char** argv) {
    PrivateHome home(QStringLiteral("velloq-bench"));
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Velloq"));
    QApplication::setQuitOnLastWindowClosed(false);

    DockConfig config;
    config.keys[0] = ButtonAction::function(ButtonFunction::copy);
    config.keys[1] = ButtonAction::function(ButtonFunction::paste);
    config.keys[2] = ButtonAction::url(QStringLiteral("debian.org"));
    config.keys[3] = ButtonAction::function(ButtonFunction::playPause);
    config.keys[4] = ButtonAction::function(ButtonFunction::toggleMute);
    config.keys[5] = ButtonAction::function(ButtonFunction::screenshot);
    config.keys[6] = ButtonAction::function(ButtonFunction::lockScreen);
    if (!ConfigStore().save(config))
        return 1;

    ConnectedController session(home.path());
    if (!session.connect())
        return 1;
    DockController& controller = session.controller;
    spin(1000); // the faces are sent and the process settles

    const double before = residentMB();
    QElapsedTimer made;
    made.start();
    auto window = std::make_unique<MenuView>(controller);
    const double makeMs = double(made.nsecsElapsed()) / 1e6;
    if (showAndTime(*window) < 0)
        return 1;
    const double firstMs = double(made.nsecsElapsed()) / 1e6; // making the window counts
    spin(500);
    for (const MenuTab tab : allMenuTabs()) { // every tab made once, as a user would look
        controller.setTab(tab);
        spin(200);
    }
    controller.setTab(MenuTab::buttons);
    window->close();
    spin(1000);
    const double after = residentMB();

    // Reopening an already made window.
    std::vector<double> reopen;
    for (int i = 0; i < 10; ++i) {
        reopen.push_back(showAndTime(*window));
        window->close();
        spin(50);
    }
    std::sort(reopen.begin(), reopen.end());

    report("show to first frame, first open", firstMs, "ms", kShowTargetMs);
    std::printf("    of which making the window %.2f ms\n", makeMs);
    report("show to first frame, reopen (median)", reopen[reopen.size() / 2], "ms", kShowTargetMs);
    report("resident memory, window never opened", before, "MB", kBeforeTargetMB);
    report("resident memory, opened and closed", after, "MB", kAfterTargetMB);
    return 0;
}
