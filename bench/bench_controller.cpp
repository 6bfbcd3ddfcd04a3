// The controller against the dock emulator: CPU use while the screensaver plays and while six
// faces stand still, and the time from an input report to perform(). The emulator runs on a
// thread of its own, whose CPU time is taken out of the process's, so what is left is
// Velloq's own share.

#include "EmulatedDock.h"
#include "EmulatorSession.h"
#include "EmulatorThread.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <map>
#include <memory>
#include <vector>

using namespace velloq;
using namespace velloq::session;

namespace {

constexpr double kScreensaverTarget = 0.02; // of one core
constexpr double kIdleTarget = 0.001;
constexpr double kLatencyTarget = 0.001; // seconds, median
constexpr int kPresses = 300;

double steadySeconds() {
    return SteadyClock().now();
}

// Notes when each key action arrives.
class TimedController final : public DockController {
public:
    using DockController::DockController;
    void perform(const ButtonAction&) override { performedAt.push_back(steadySeconds()); }
    std::vector<double> performedAt;
};

// CPU nanoseconds of each thread of this process, by thread id, with its name.
std::map<QString, std::pair<QString, double>> threadTimes() {
    std::map<QString, std::pair<QString, double>> times;
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString& tid : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(tasks.filePath(tid + QStringLiteral("/comm")));
        QFile sched(tasks.filePath(tid + QStringLiteral("/schedstat")));
        if (!comm.open(QIODevice::ReadOnly) || !sched.open(QIODevice::ReadOnly))
            continue;
        const QString name = QString::fromUtf8(comm.readAll()).trimmed();
        const double ns =
            QString::fromLatin1(sched.readAll()).section(QLatin1Char(' '), 0, 0).toDouble();
        times[tid] = {name, ns};
    }
    return times;
}

void printBreakdown(const std::map<QString, std::pair<QString, double>>& before,
                    const std::map<QString, std::pair<QString, double>>& after, double wall) {
    for (const auto& [tid, entry] : after) {
        const auto old = before.find(tid);
        const double used = entry.second - (old == before.end() ? 0 : old->second.second);
        if (used > 0)
            std::printf("    thread %-20s %8.4f %%\n", qPrintable(entry.first), used * 1e-7 / wall);
    }
}

// Velloq's share of one core over `seconds` of wall time.
double velloqLoad(EmulatorThread& emulator, int seconds) {
    const double wall0 = steadySeconds();
    const double process0 = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
    const double emulator0 = emulator.cpu();
    const auto threads0 = threadTimes();
    spin(seconds * 1000);
    const auto threads1 = threadTimes();
    const double emulator1 = emulator.cpu();
    const double process1 = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
    const double wall1 = steadySeconds();
    if (qEnvironmentVariableIsSet("VELLOQ_BENCH_THREADS"))
        printBreakdown(threads0, threads1, wall1 - wall0);
    return ((process1 - process0) - (emulator1 - emulator0)) / (wall1 - wall0);
}

// Median and least of `windows` measurements; the least is the one other load on a shared
// machine disturbed least.
std::pair<double, double> velloqLoads(EmulatorThread& emulator, int windows, int seconds) {
    std::vector<double> loads;
    for (int i = 0; i < windows; ++i)
        loads.push_back(velloqLoad(emulator, seconds));
    std::sort(loads.begin(), loads.end());
    return {loads[loads.size() / 2], loads.front()};
}

void report(const char* what, double value, const char* unit, double scale, double target) {
    std::printf("%-40s %10.4f %-4s target %8.4f %-4s ratio %6.3f\n", what, value * scale, unit,
                target * scale, unit, value / target);
}

} // namespace

int main(int argc, char** argv) {
    PrivateHome home(QStringLiteral("velloq-bench"));
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Velloq"));

    DockConfig config;
    config.keys[0] = ButtonAction::function(ButtonFunction::copy);
    config.keys[1] = ButtonAction::function(ButtonFunction::paste);
    config.keys[2] = ButtonAction::function(ButtonFunction::lockScreen);
    config.keys[3] = ButtonAction::function(ButtonFunction::playPause);
    config.keys[4] = ButtonAction::function(ButtonFunction::toggleMute);
    config.keys[5] = ButtonAction::function(ButtonFunction::screenshot);
    config.screensaverAnimation = QStringLiteral("Sports Car");
    ConfigStore store;
    if (!store.save(config))
        return 1;

    EmulatorThread emulator;
    SteadyClock clock;
    GrantedPermissions permissions;
    SiteIcons siteIcons({home.path() + QStringLiteral("/SiteIcons"), 10000});
    TimedController controller(emulatorServices(clock, permissions, siteIcons));
    controller.start();
    if (!spinUntil([&] { return controller.isConnected(); }, 5000)) {
        std::fprintf(stderr, "the emulated dock was not found\n");
        return 1;
    }
    spin(500);

    // Screensaver at 30 Hz.
    controller.startScreensaver();
    if (!spinUntil([&] { return controller.animations().saver().has_value(); }, 60000)) {
        std::fprintf(stderr, "the screensaver did not load\n");
        return 1;
    }
    spin(500);
    int commits0 = 0;
    emulator.run([&] { commits0 = emulator.dock().imageCommits(0); });
    const auto [saverLoad, saverLeast] = velloqLoads(emulator, 3, 4);
    int commits1 = 0;
    emulator.run([&] { commits1 = emulator.dock().imageCommits(0); });
    std::printf("screensaver frames shown on key 1: %.1f per second\n",
                (commits1 - commits0) / 12.0);
    report("CPU while the screensaver plays, median", saverLoad, "%", 100, kScreensaverTarget);
    report("CPU while the screensaver plays, least", saverLeast, "%", 100, kScreensaverTarget);

    // Idle with six faces.
    controller.stopScreensaver();
    spin(2000);
    if (qEnvironmentVariableIsSet("VELLOQ_BENCH_THREADS"))
        std::fprintf(stderr, "idle starts\n");
    const auto [idleLoad, idleLeast] = velloqLoads(emulator, 3, 5);
    report("CPU idle with six faces, median", idleLoad, "%", 100, kIdleTarget);
    report("CPU idle with six faces, least", idleLeast, "%", 100, kIdleTarget);

    // Input report to perform().
    std::vector<double> latencies;
    for (int i = 0; i < kPresses; ++i) {
        const size_t before = controller.performedAt.size();
        double sentAt = 0;
        emulator.run([&] {
            sentAt = steadySeconds();
            emulator.dock().pressKey(8);
        });
        if (!spinUntil([&] { return controller.performedAt.size() > before; }, 2000)) {
            std::fprintf(stderr, "a key press got lost\n");
            return 1;
        }
        latencies.push_back(controller.performedAt.back() - sentAt);
        spin(2);
    }
    std::sort(latencies.begin(), latencies.end());
    const double median = latencies[latencies.size() / 2];
    const double p95 = latencies[latencies.size() * 95 / 100];
    report("input report -> perform, median", median, "ms", 1000, kLatencyTarget);
    std::printf("%-40s %10.4f ms\n", "input report -> perform, 95th percentile", p95 * 1000);

    controller.dock().shutdown();
    return 0;
}
