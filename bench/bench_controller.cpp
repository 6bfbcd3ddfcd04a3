// The controller against the dock emulator: CPU use while the screensaver plays and while six
// faces stand still, and the time from an input report to perform(). The emulator runs on a
// thread of its own, whose CPU time is taken out of the process's, so what is left is
// Velloq's own share.

#include "EmulatedDock.h"
#include "EmulatorSession.h"
#include "MediaWriters.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace velloq;
using namespace velloq::session;

namespace {

constexpr double kFloorRatioTarget = 3; // CPU against the cost of the writes alone
constexpr double kIdleTarget = 0.001;
constexpr double kLatencyTarget = 0.001; // seconds, median
constexpr int kPresses = 300;
constexpr int kWakeupSeconds = 30;
// A keep-alive wakes the main thread (its timer) and the writer.
constexpr double kWakeupsPerKeepAlive = 2;

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

// Times each thread of this process went to sleep and woke again, by thread id.
std::map<QString, std::pair<QString, long>> threadWakeups() {
    std::map<QString, std::pair<QString, long>> wakeups;
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString& tid : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile status(tasks.filePath(tid + QStringLiteral("/status")));
        if (!status.open(QIODevice::ReadOnly))
            continue;
        QString name;
        long switches = 0;
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (line.startsWith("Name:"))
                name = QString::fromUtf8(line.mid(5)).trimmed();
            else if (line.startsWith("voluntary_ctxt_switches:"))
                switches = line.mid(24).trimmed().toLong();
        }
        wakeups[tid] = {name, switches};
    }
    return wakeups;
}

// Wakeups per minute of Velloq's threads (the emulator's left out) over `seconds`, and the
// keep-alives sent meanwhile. The bench's own wait for the end of the span is left out.
std::pair<double, double> idleWakeups(EmulatorThread& emulator, int seconds) {
    const QString emulatorThread = emulator.threadId();
    int keepAlives0 = 0;
    emulator.run([&] { keepAlives0 = emulator.dock().count(EmulatedDock::Command::connect); });
    const auto before = threadWakeups();
    spin(seconds * 1000);
    const auto after = threadWakeups();
    int keepAlives1 = 0;
    emulator.run([&] { keepAlives1 = emulator.dock().count(EmulatedDock::Command::connect); });
    long total = 0;
    for (const auto& [tid, entry] : after) {
        if (tid == emulatorThread)
            continue;
        const auto old = before.find(tid);
        const long woke = entry.second - (old == before.end() ? 0 : old->second.second);
        if (woke > 0 && qEnvironmentVariableIsSet("VELLOQ_BENCH_THREADS"))
            std::printf("    thread %-20s %6ld wakeups\n", qPrintable(entry.first), woke);
        total += woke;
    }
    return {(total - 1) * 60.0 / seconds, (keepAlives1 - keepAlives0) * 60.0 / seconds};
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

// A socket like the emulated dock's, `sendBuffer` bytes of send buffer unless 0, drained by a
// reader thread; the CPU seconds this thread spends per report in `send`, which sends reports
// through the given function and returns how many. The least of `tries`.
double sendCostPerReport(int packetSize, int sendBuffer, int tries,
                         const std::function<int(const std::function<void()>&)>& send) {
    double least = 1;
    for (int attempt = 0; attempt < tries; ++attempt) {
        int fds[2];
        if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, fds) != 0)
            return 0;
        if (sendBuffer > 0)
            ::setsockopt(fds[0], SOL_SOCKET, SO_SNDBUF, &sendBuffer, sizeof sendBuffer);
        std::thread reader([fd = fds[1], packetSize] {
            std::vector<char> buffer(size_t(packetSize) + 1);
            while (::recv(fd, buffer.data(), buffer.size(), 0) > 0) {
            }
        });
        std::vector<char> report(size_t(packetSize) + 1, 'x');
        report[0] = 0;
        const double cpu0 = cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
        const int sent =
            send([&] { (void)::send(fds[0], report.data(), report.size(), MSG_NOSIGNAL); });
        const double cpu1 = cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
        ::shutdown(fds[0], SHUT_WR);
        reader.join();
        ::close(fds[0]);
        ::close(fds[1]);
        least = std::min(least, (cpu1 - cpu0) / std::max(sent, 1));
    }
    return least;
}

// CPU seconds this thread spends writing one report of `packetSize`, framed as the dock
// takes it, back to back into a socket while another thread reads: the floor that any way
// of sending the frames pays. The least of three tries.
double writeCostPerReport(int packetSize) {
    constexpr int kReports = 20000;
    return sendCostPerReport(packetSize, 0, 3, [](const std::function<void()>& sendOne) {
        for (int i = 0; i < kReports; ++i)
            sendOne();
        return kReports;
    });
}

// CPU seconds a bare thread spends on each report when it sends `perFrame` reports at once,
// `framesPerSecond` times a second, into a socket with the emulated dock link's send buffer
// (four reports) while another thread reads: what sending these frames at this pace costs
// any sender, a wakeup for each frame and the waits the dock's back-pressure makes included.
// The least of two tries.
double pacedWriteCostPerReport(int packetSize, int perFrame, double framesPerSecond) {
    constexpr double kSeconds = 2;
    const int frames = std::max(1, int(kSeconds * framesPerSecond));
    const auto period = std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::duration<double>(1 / framesPerSecond));
    return sendCostPerReport(packetSize, 4 * 1025, 2, [&](const std::function<void()>& sendOne) {
        auto next = std::chrono::steady_clock::now();
        for (int frame = 0; frame < frames; ++frame) {
            next += period;
            std::this_thread::sleep_until(next);
            for (int i = 0; i < perFrame; ++i)
                sendOne();
        }
        return frames * perFrame;
    });
}

// Velloq's CPU while something plays, against the floor of the reports it sends meanwhile:
// written back to back, and written in the same batches at the same pace.
void reportAgainstFloor(const char* what, EmulatorThread& emulator, int packetSize) {
    qint64 reports0 = 0;
    int batches0 = 0;
    emulator.run([&] {
        reports0 = emulator.dock().reportsReceived();
        batches0 = emulator.dock().count(EmulatedDock::Command::stp);
    });
    const double wall0 = steadySeconds();
    const auto [load, least] = velloqLoads(emulator, 3, 4);
    qint64 reports1 = 0;
    int batches1 = 0;
    emulator.run([&] {
        reports1 = emulator.dock().reportsReceived();
        batches1 = emulator.dock().count(EmulatedDock::Command::stp);
    });
    const double wall = steadySeconds() - wall0;
    const double rate = double(reports1 - reports0) / wall;
    const double batchRate = std::max(1.0, (batches1 - batches0) / wall);
    const double floor = writeCostPerReport(packetSize) * rate;
    const double paced =
        pacedWriteCostPerReport(packetSize, std::max(1, int(std::lround(rate / batchRate))),
                                batchRate) *
        rate;
    std::printf("%s: %.0f reports per second in %.1f batches, %.2f us each back to back, "
                "write floor %.4f %%; %.2f us each paced, paced floor %.4f %%\n",
                what, rate, batchRate, floor / std::max(rate, 1.0) * 1e6, floor * 100,
                paced / std::max(rate, 1.0) * 1e6, paced * 100);
    std::printf("%-40s %10.4f %%    floor %8.4f %%    ratio %6.3f, target %.0f\n",
                (std::string(what) + ", CPU median, paced").c_str(), load * 100, paced * 100,
                load / paced, kFloorRatioTarget);
    std::printf("%-40s %10.4f %%    floor %8.4f %%    ratio %6.3f, target %.0f\n",
                (std::string(what) + ", CPU median").c_str(), load * 100, floor * 100, load / floor,
                kFloorRatioTarget);
    std::printf("%-40s %10.4f %%    floor %8.4f %%    ratio %6.3f, target %.0f\n",
                (std::string(what) + ", CPU least").c_str(), least * 100, floor * 100,
                least / floor, kFloorRatioTarget);
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
    const double saverStart = steadySeconds();
    reportAgainstFloor("the screensaver", emulator, controller.dock().packetSize());
    int commits1 = 0;
    emulator.run([&] { commits1 = emulator.dock().imageCommits(0); });
    std::printf("screensaver frames shown on key 1: %.1f per second\n",
                (commits1 - commits0) / (steadySeconds() - saverStart));
    controller.stopScreensaver();

    // Six animated keys, each 12 frames of 80 ms.
    DockConfig animated = config;
    const QStringList gifs = test::writeBlinkingKeyGifs(home.path(), 96, 12);
    if (gifs.isEmpty())
        return 1;
    for (int key = 0; key < 6; ++key)
        animated.customIcons[key] = gifs[key];
    controller.setConfig(animated);
    if (!spinUntil([&] { return controller.animations().buttonTracks().size() == 6; }, 30000)) {
        std::fprintf(stderr, "the key animations did not load\n");
        return 1;
    }
    spin(500);
    reportAgainstFloor("six animated keys", emulator, controller.dock().packetSize());

    // Idle with six faces.
    controller.setConfig(config);
    spin(2000);
    if (qEnvironmentVariableIsSet("VELLOQ_BENCH_THREADS"))
        std::fprintf(stderr, "idle starts\n");
    const auto [idleLoad, idleLeast] = velloqLoads(emulator, 3, 5);
    report("CPU idle with six faces, median", idleLoad, "%", 100, kIdleTarget);
    report("CPU idle with six faces, least", idleLeast, "%", 100, kIdleTarget);

    // Wakeups while idle: with the screensaver waiting for its deadline (the default five
    // minutes), nothing should run but the dock's keep-alive.
    DockConfig waiting = controller.config();
    waiting.screensaverEnabled = true;
    controller.setConfig(waiting);
    spin(1000);
    const auto [wakeups, keepAlives] = idleWakeups(emulator, kWakeupSeconds);
    std::printf("%-40s %10.1f /min, keep-alives %.1f /min, target %.0f per keep-alive, "
                "ratio %6.3f\n",
                "wakeups idle with six faces", wakeups, keepAlives, kWakeupsPerKeepAlive,
                wakeups / std::max(keepAlives, 1.0) / kWakeupsPerKeepAlive);

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
