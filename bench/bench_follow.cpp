// Pages that follow the app in front, on an X server with openbox (bench/run starts one):
// the time from asking the window manager to bring an app to the front to the dock's first
// changed face, and Velloq's idle CPU with the watcher on against the same with it off.

#include "EmulatorSession.h"

#include "follow/ActivateWindow.h"
#include "follow/X11ActiveAppWatcher.h"

#include <QApplication>
#include <QProcess>

#include <xcb/xcb.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <vector>

using namespace velloq;
using namespace velloq::session;

namespace {

constexpr double kLatencyTarget = 0.030; // seconds, median
constexpr int kSwitches = 40;

// A real X client of the given WM_CLASS; its window's id.
uint32_t openWindow(QProcess& process, const QString& wmClass) {
    process.start(QStringLiteral(VELLOQ_FOLLOW_WINDOW), {wmClass.toLower(), wmClass});
    if (!spinUntil([&] { return process.canReadLine(); }, 10000))
        return 0;
    return process.readLine().trimmed().toUInt();
}

// Velloq's CPU share over `seconds`: the process's less the emulator thread's.
double idleLoad(EmulatorThread& emulator, int seconds) {
    const double wall0 = SteadyClock().now();
    const double cpu0 = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - emulator.cpu();
    spin(seconds * 1000);
    const double cpu1 = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - emulator.cpu();
    return (cpu1 - cpu0) / (SteadyClock().now() - wall0);
}

} // namespace

int main(int argc, char** argv) {
    PrivateHome home(QStringLiteral("velloq-bench"));
    QApplication app(argc, argv);
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection)) {
        std::fprintf(stderr, "no X server\n");
        return 1;
    }

    // Two pages whose six faces all differ, each listing one app by its WM_CLASS.
    const QString apps = home.path() + QStringLiteral("/applications");
    QDir().mkpath(apps);
    DockConfig config;
    const ButtonFunction faces[2][6] = {
        {ButtonFunction::copy, ButtonFunction::paste, ButtonFunction::cut, ButtonFunction::undo,
         ButtonFunction::redo, ButtonFunction::selectAll},
        {ButtonFunction::playPause, ButtonFunction::nextTrack, ButtonFunction::previousTrack,
         ButtonFunction::toggleMute, ButtonFunction::toggleMicMute, ButtonFunction::screenshot}};
    for (int p = 0; p < 2; ++p) {
        const QString name = p == 0 ? QStringLiteral("BenchEdit") : QStringLiteral("BenchPlay");
        QFile entry(apps + u'/' + name + QStringLiteral(".desktop"));
        entry.open(QIODevice::WriteOnly);
        entry.write("[Desktop Entry]\nType=Application\nName=" + name.toUtf8() +
                    "\nExec=velloq-no-such-program\n");
        Page page = Page::make(name);
        for (int i = 0; i < 6; ++i)
            page.keys[i] = ButtonAction::function(faces[p][i]);
        page.apps = {entry.fileName()};
        config.pages << page;
    }
    if (!ConfigStore().save(config))
        return 1;

    EmulatorThread emulator;
    std::atomic<double> firstFaceAt{0};
    emulator.run([&] {
        QObject::connect(&emulator.dock(), &EmulatedDock::faceChanged, &emulator.dock(), [&](int) {
            if (firstFaceAt.load() == 0)
                firstFaceAt = SteadyClock().now();
        });
    });
    SteadyClock clock;
    GrantedPermissions permissions;
    SiteIcons siteIcons({home.path() + QStringLiteral("/SiteIcons"), 10000});
    DockController::Services services = emulatorServices(clock, permissions, siteIcons);
    services.activeApp = std::make_unique<X11ActiveAppWatcher>();
    DockController controller(std::move(services));
    controller.start();
    if (!spinUntil([&] { return controller.isConnected(); }, 5000)) {
        std::fprintf(stderr, "the emulated dock was not found\n");
        return 1;
    }
    QProcess editProcess, playProcess;
    const uint32_t windows[2] = {openWindow(editProcess, QStringLiteral("BenchEdit")),
                                 openWindow(playProcess, QStringLiteral("BenchPlay"))};
    if (!windows[0] || !windows[1]) {
        std::fprintf(stderr, "the test windows did not open\n");
        return 1;
    }
    spin(500);

    std::vector<double> latencies;
    for (int i = 0; i < kSwitches; ++i) {
        const int p = i % 2;
        firstFaceAt = 0;
        const double start = SteadyClock().now();
        velloq::test::activateWindow(connection, windows[p]);
        if (!spinUntil(
                [&] {
                    return controller.currentPage() == config.pages[p].id &&
                           firstFaceAt.load() != 0;
                },
                5000)) {
            std::fprintf(stderr, "the dock did not follow the app in front\n");
            return 1;
        }
        latencies.push_back(firstFaceAt.load() - start);
        spin(50); // the rest of the batch
    }
    std::sort(latencies.begin(), latencies.end());
    const double median = latencies[latencies.size() / 2];
    std::printf("%-44s %8.2f ms  target %6.2f ms  ratio %6.3f\n",
                "app in front -> first changed face, median", median * 1000, kLatencyTarget * 1000,
                median / kLatencyTarget);
    std::printf("%-44s %8.2f ms\n", "  95th percentile",
                latencies[latencies.size() * 95 / 100] * 1000);

    // Watching and not, in turns, so that other load on the machine falls on both alike; the
    // least of each, the window that load disturbed least.
    double on = 1e9, without = 1e9;
    // In the order on, off, off, on, … so that neither always comes first.
    for (int round = 0; round < 4; ++round) {
        for (const bool follow : {round % 2 == 0, round % 2 != 0}) {
            DockConfig next = controller.config();
            next.followApps = follow;
            controller.setConfig(next);
            spin(1000);
            if (controller.followingApps() != follow)
                return 1;
            (follow ? on : without) = std::min(follow ? on : without, idleLoad(emulator, 3));
        }
    }
    std::printf("%-44s %8.4f %%\n", "idle CPU, watching the app in front", on * 100);
    std::printf("%-44s %8.4f %%\n", "idle CPU, not watching", without * 100);
    std::printf("%-44s %8.3f  (target at most 1, within noise)\n", "idle CPU ratio, on / off",
                without > 0 ? on / without : 1.0);
    editProcess.closeWriteChannel();
    playProcess.closeWriteChannel();
    editProcess.waitForFinished();
    playProcess.waitForFinished();
    xcb_disconnect(connection);
    return 0;
}
