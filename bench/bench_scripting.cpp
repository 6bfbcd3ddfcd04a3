// Scripts driving the dock through app.velloq.Velloq1, against the dock emulator on a thread
// of its own: `velloq page X` from the program's start to the dock's batch, SetButtonFace to
// the image on the dock, and the main thread's longest stall while a client sends 1000
// SetButtonFace calls as fast as it can. Needs a session bus (bench/run starts one).
// A loaded machine lengthens every wall time, so each comes with what does not depend on the
// load: the program's own CPU time, the time /bin/true takes to start and end the same way,
// and the main thread's CPU time between two ticks of its timer.

#include "EmulatedDock.h"
#include "EmulatorSession.h"
#include "StallMeter.h"
#include "scripting/ScriptingService.h"
#include "scripting/Velloq1.h"
#include "ui/SingleInstance.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusPendingCall>
#include <QImage>
#include <QProcess>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <sys/resource.h>
#include <vector>

using namespace velloq;
using namespace velloq::session;

namespace {

constexpr double kPageTargetMs = 60;  // median, program start to the batch
constexpr double kFaceTargetMs = 20;  // median, call to the image on the dock
constexpr double kStallTargetMs = 16; // the longest, during the burst
constexpr int kRuns = 41;
constexpr int kBurst = 1000;

double nowMs() {
    return SteadyClock().now() * 1000;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.at(values.size() / 2);
}

void report(const char* what, double ms, double target) {
    std::printf("%-58s %8.1f ms  target %6.0f ms  ratio %6.3f\n", what, ms, target, ms / target);
}

// CPU milliseconds used by the children that have ended.
double childrenCpuMs() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return (double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e6 +
            double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec)) /
           1e3;
}

// Starts `program` and runs the event loop until it has ended; gives the milliseconds.
double runToEnd(const QString& program, const QStringList& arguments) {
    QProcess process;
    const double start = nowMs();
    process.start(program, arguments);
    spinUntil([&] { return process.state() == QProcess::NotRunning; }, 5000);
    return nowMs() - start;
}

QDBusMessage setFace(uint button, const QString& image, const QString& title) {
    QDBusMessage message = QDBusMessage::createMethodCall(
        Velloq1::service(), Velloq1::path(), Velloq1::interface(), QStringLiteral("SetButtonFace"));
    message << button << image << title;
    return message;
}

} // namespace

int main(int argc, char** argv) {
    PrivateHome home(QStringLiteral("velloq-bench-scripting"));
    QApplication app(argc, argv);
    if (!QDBusConnection::sessionBus().isConnected()) {
        std::fprintf(stderr, "bench_scripting needs a session bus\n");
        return 1;
    }
    DockConfig config;
    Page page = Page::make(QStringLiteral("Bench"));
    for (int key = 0; key < 6; ++key)
        page.keys[key] = ButtonAction::function(ButtonFunction::copy);
    config.pages << page;
    if (!ConfigStore().save(config))
        return 1;
    QStringList images;
    for (const QColor& color : {QColor(Qt::red), QColor(Qt::blue)}) {
        QImage image(256, 256, QImage::Format_RGB32);
        image.fill(color);
        images << home.path() + QStringLiteral("/%1.png").arg(color.name().mid(1));
        image.save(images.last());
    }

    EmulatorThread emulator;
    // When each key's face last reached the dock, by the dock's own thread.
    std::array<std::atomic<double>, 6> committed{};
    emulator.run([&] {
        QObject::connect(&emulator.dock(), &EmulatedDock::faceChanged, &emulator.dock(),
                         [&](int key) {
                             if (key >= 0 && key < 6)
                                 committed[size_t(key)] = nowMs();
                         });
    });
    SteadyClock clock;
    GrantedPermissions permissions;
    SiteIcons siteIcons({home.path() + QStringLiteral("/SiteIcons"), 10000});
    DockController controller(emulatorServices(clock, permissions, siteIcons));
    ScriptingService service;
    SingleInstance instance;
    if (instance.claim(&service) != SingleInstance::Claim::first) {
        std::fprintf(stderr, "another Velloq owns the bus name\n");
        return 1;
    }
    service.bind(controller);
    controller.start();
    if (!spinUntil([&] { return controller.isConnected(); }, 5000)) {
        std::fprintf(stderr, "the emulated dock was not found\n");
        return 1;
    }
    spin(500);

    // velloq page X: the program's whole run up to the dock's batch of the page's faces.
    std::vector<double> pages, pageCpu, floor, floorCpu;
    for (int run = 0; run < kRuns; ++run) {
        QProcess velloq;
        const double cpu = childrenCpuMs();
        const double start = nowMs();
        velloq.start(QStringLiteral(VELLOQ_BINARY),
                     {QStringLiteral("page"), run % 2 ? QStringLiteral("home") : page.name});
        if (!spinUntil([&] { return committed[0] > start; }, 5000)) {
            std::fprintf(stderr, "the page did not reach the dock\n");
            return 1;
        }
        pages.push_back(committed[0] - start);
        spinUntil([&] { return velloq.state() == QProcess::NotRunning; }, 5000);
        pageCpu.push_back(childrenCpuMs() - cpu);
        const double before = childrenCpuMs();
        floor.push_back(runToEnd(QStringLiteral("/bin/true"), {}));
        floorCpu.push_back(childrenCpuMs() - before);
    }
    controller.setCurrentPage(QUuid());
    spin(300);
    // SetButtonFace, from another program's connection, to the image on the dock.
    QDBusConnection client =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("client"));
    std::vector<double> faces;
    for (int run = 0; run < kRuns; ++run) {
        const double start = nowMs();
        QDBusPendingCall call = client.asyncCall(setFace(1, images.at(run % 2), QString()));
        if (!spinUntil([&] { return committed[0] > start && call.isFinished(); }, 5000) ||
            call.isError()) {
            std::fprintf(stderr, "the face did not reach the dock\n");
            return 1;
        }
        faces.push_back(committed[0] - start);
        spin(40); // past the frame, so each call is sent on its own
    }

    // The burst: a client on its own thread, each call without waiting for the last.
    int commitsBefore = 0;
    emulator.run([&] { commitsBefore = emulator.dock().imageCommits(1); });
    std::atomic<bool> sent = false;
    std::atomic<int> failed = 0;
    QThread* burst = QThread::create([&] {
        QDBusConnection sender =
            QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("burst"));
        std::vector<QDBusPendingCall> calls;
        for (int i = 0; i < kBurst; ++i)
            calls.push_back(sender.asyncCall(
                setFace(2, i % 2 ? images.at(i / 2 % 2) : QString(), QString::number(i))));
        for (QDBusPendingCall& call : calls) {
            call.waitForFinished();
            failed += call.isError() ? 1 : 0;
        }
        sent = true;
    });
    double idleStall = 0;
    {
        StallMeter idle; // the same wait with nothing to do: what the machine adds
        spin(300);
        idleStall = idle.longestMs();
    }
    const double burstStart = nowMs();
    StallMeter stalls;
    burst->start();
    spinUntil([&] { return sent.load(); }, 120000);
    const double burstMs = nowMs() - burstStart;
    const double longest = stalls.longestMs();
    const double busiest = stalls.busiestMs();
    burst->wait();
    delete burst;
    spin(200);
    int commits = 0;
    emulator.run([&] { commits = emulator.dock().imageCommits(1) - commitsBefore; });

    report("velloq page X, program start to the dock's batch (median)", median(pages),
           kPageTargetMs);
    report("  the program's own CPU time (median)", median(pageCpu), kPageTargetMs);
    report("  /bin/true started and ended the same way (median)", median(floor), kPageTargetMs);
    report("  /bin/true's own CPU time (median)", median(floorCpu), kPageTargetMs);
    report("SetButtonFace to the image on the dock (median)", median(faces), kFaceTargetMs);
    report("main thread's longest stall, 1000 SetButtonFace calls", longest, kStallTargetMs);
    report("  its most CPU time between two 1 ms ticks", busiest, kStallTargetMs);
    report("  the longest stall while idle, for comparison", idleStall, kStallTargetMs);
    std::printf("    burst: %.0f ms, %d faces reached the dock, %d calls failed\n", burstMs,
                commits, failed.load());
    return failed == 0 ? 0 : 1;
}
