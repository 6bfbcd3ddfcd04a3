// The window's share of the CPU while the dock animates: six animated keys, and the
// screensaver over them and over still faces, each with the window never opened, open on the
// Buttons tab, and closed again. The emulated dock runs on a thread of its own, whose CPU time is
// left out, so the "never opened" figure is Velloq's own work for the dock's animation; the
// window-open share is what the open window adds to it.

#include "EmulatorSession.h"
#include "MediaWriters.h"
#include "ui/MenuView.h"

#include <QApplication>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

using namespace velloq;
using namespace velloq::session;

namespace {

constexpr double kOpenShareTarget = 0.25;  // what the open window adds, against the dock's share
constexpr double kClosedRatioTarget = 1.1; // closed / never opened
constexpr int kWindows = 3;
constexpr int kSeconds = 4;

// The median share of one core Velloq used over `kWindows` spans of `kSeconds`, the emulated
// dock's thread left out.
double load(EmulatorThread& emulator) {
    std::vector<double> loads;
    for (int i = 0; i < kWindows; ++i) {
        const double wall0 = SteadyClock().now();
        const double cpu0 = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
        const double emulator0 = emulator.cpu();
        spin(kSeconds * 1000);
        const double emulator1 = emulator.cpu();
        loads.push_back((cpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - cpu0 - (emulator1 - emulator0)) /
                        (SteadyClock().now() - wall0));
    }
    std::sort(loads.begin(), loads.end());
    return loads[loads.size() / 2];
}

// Velloq's CPU with the window never opened, open and closed again, while `what` plays;
// `play` starts it again if it ended (opening the window ends a screensaver).
void measure(const char* what, DockController& controller, EmulatorThread& emulator,
             const std::function<bool()>& play) {
    const double never = load(emulator);
    {
        MenuView window(controller);
        window.show();
        spin(1000);
        if (!play())
            return;
        const double open = load(emulator);
        window.close();
        spin(1000);
        const double closed = load(emulator);
        std::printf("%s: CPU window never opened %.3f %%, open %.3f %%, closed %.3f %%\n", what,
                    never * 100, open * 100, closed * 100);
        const double share = (open - never) / never;
        std::printf("%-44s %8.3f    target %5.2f ratio %6.3f\n",
                    (std::string(what) + ", window-open share").c_str(), share, kOpenShareTarget,
                    share / kOpenShareTarget);
        std::printf("%-44s %8.3f    target %5.2f ratio %6.3f\n",
                    (std::string(what) + ", closed / never opened").c_str(), closed / never,
                    kClosedRatioTarget, closed / never / kClosedRatioTarget);
    }
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
    const QStringList gifs = test::writeBlinkingKeyGifs(home.path(), 96, 12);
    if (gifs.isEmpty())
        return 1;
    for (int key = 0; key < 6; ++key) {
        config.keys[key] = ButtonAction::function(ButtonFunction::copy);
        config.customIcons[key] = gifs[key];
    }
    config.screensaverAnimation = QStringLiteral("Sports Car");
    if (!ConfigStore().save(config))
        return 1;

    EmulatorThread emulator;
    SteadyClock clock;
    GrantedPermissions permissions;
    SiteIcons siteIcons({home.path() + QStringLiteral("/SiteIcons"), 10000});
    DockController controller(emulatorServices(clock, permissions, siteIcons));
    controller.start();
    if (!spinUntil([&] { return controller.isConnected(); }, 5000)) {
        std::fprintf(stderr, "the emulated dock was not found\n");
        return 1;
    }
    if (!spinUntil([&] { return controller.animations().buttonTracks().size() == 6; }, 30000)) {
        std::fprintf(stderr, "the key animations did not load\n");
        return 1;
    }
    spin(1000);
    measure("six animated keys", controller, emulator, [] { return true; });

    // As the window's Preview button does.
    const auto playScreensaver = [&] {
        if (!controller.screensaverRunning())
            controller.startScreensaver();
        if (!spinUntil([&] { return controller.animations().saver().has_value(); }, 60000)) {
            std::fprintf(stderr, "the screensaver did not load\n");
            return false;
        }
        spin(1000);
        return true;
    };
    // The screensaver over the six animated keys: the window, open, holds them as the dock does.
    if (!playScreensaver())
        return 1;
    measure("the screensaver over animated keys", controller, emulator, playScreensaver);
    controller.stopScreensaver();

    // The screensaver over six still faces: the window, open, shows the faces.
    DockConfig still = config;
    for (int key = 0; key < 6; ++key)
        still.customIcons[key].reset();
    controller.setConfig(still);
    if (!playScreensaver())
        return 1;
    measure("the screensaver", controller, emulator, playScreensaver);
    controller.stopScreensaver();
    controller.dock().shutdown();
    return 0;
}
