// CPU use with six animated keys: before the window was ever opened, while it is open on the
// Buttons tab (the previews play), and after it was opened and closed (they must not). The
// controller drives an emulated dock in this process, so every figure includes the dock's
// frames, the same in all three; what differs is the window's share.

#include "EmulatorSession.h"
#include "MediaWriters.h"
#include "ui/MenuView.h"

#include <QApplication>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

using namespace velloq;
using namespace velloq::session;

namespace {

constexpr double kClosedRatioTarget = 1.1; // closed / never opened
constexpr int kWindows = 3;
constexpr int kSeconds = 4;

double processCpu() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// The median share of one core over `kWindows` spans of `kSeconds`.
double load() {
    std::vector<double> loads;
    for (int i = 0; i < kWindows; ++i) {
        const double wall0 = SteadyClock().now();
        const double cpu0 = processCpu();
        spin(kSeconds * 1000);
        loads.push_back((processCpu() - cpu0) / (SteadyClock().now() - wall0));
    }
    std::sort(loads.begin(), loads.end());
    return loads[loads.size() / 2];
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
    if (!ConfigStore().save(config))
        return 1;

    ConnectedController session(home.path());
    if (!session.connect())
        return 1;
    spin(2000); // the animations are decoded and play on the dock

    const double never = load();
    MenuView window(session.controller);
    window.show();
    spin(1000);
    const double open = load();
    window.close();
    spin(1000);
    const double closed = load();

    std::printf("%-44s %8.3f %%\n", "CPU, six animated keys, window never opened", never * 100);
    std::printf("%-44s %8.3f %%\n", "CPU, six animated keys, window open", open * 100);
    std::printf("%-44s %8.3f %%\n", "CPU, six animated keys, window closed", closed * 100);
    std::printf("%-44s %8.3f    target %5.2f ratio %6.3f\n", "closed / never opened",
                closed / never, kClosedRatioTarget, closed / never / kClosedRatioTarget);
    session.controller.dock().shutdown();
    return 0;
}
