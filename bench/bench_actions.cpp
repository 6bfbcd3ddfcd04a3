// Main-thread stalls of the actions against slow services: 20 fast knob detents while the
// sound server is stopped (SIGSTOP), and a paste while the clipboard's owner answers one
// format late and another never. A 1 ms timer on the main thread measures the longest gap.

#include "EventLoopWait.h"
#include "StallMeter.h"
#include "actions/SlowClipboardOwner.h"
#include "config/ConfigStore.h"
#include "controller/DockController.h"
#include "siteicons/SiteIcons.h"
#include "support/PulseDaemon.h"
#include "system/Permissions.h"
#include "system/PulseSystemAudio.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>

using namespace velloq;

namespace {

constexpr double kStallTargetMs = 600;
constexpr int kDetents = 20;
constexpr int kDetentGapMs = 15; // a fast turn

using session::spin;
using session::spinUntil;
using session::StallMeter;

class GrantedPermissions final : public Permissions {
public:
    bool inputAccess() override { return true; }
    void promptForInputAccess() override {}
    void openAccessibilitySettings() override {}
};

void report(const char* what, double ms) {
    std::printf("%-58s %8.1f ms  target %6.0f ms  ratio %6.3f\n", what, ms, kStallTargetMs,
                ms / kStallTargetMs);
}

} // namespace

int main(int argc, char** argv) {
    // The clipboard part needs the X server when there is one; the knob part runs anywhere.
    const bool x11 = !qEnvironmentVariableIsEmpty("DISPLAY");
    if (x11)
        qputenv("QT_QPA_PLATFORM", "xcb");
    QTemporaryDir home(QDir::tempPath() + QStringLiteral("/velloq-bench-XXXXXX"));
    for (const char* name : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME"}) {
        const QString dir = home.path() + QLatin1Char('/') + QString::fromLatin1(name);
        QDir().mkpath(dir);
        qputenv(name, QFile::encodeName(dir));
    }
    QApplication app(argc, argv);
    int status = 0;

    DockConfig config;
    config.nativeIndicators = false; // the direct way: Velloq sets the volume itself
    const QString configPath = home.path() + QStringLiteral("/config.json");
    if (!ConfigStore(configPath).save(config))
        return 1;
    SteadyClock clock;
    GrantedPermissions permissions;
    SiteIcons siteIcons({home.path() + QStringLiteral("/SiteIcons"), 10000});

    std::unique_ptr<test::PulseDaemon> daemon;
    std::unique_ptr<PulseSystemAudio> audio;
    if (!QStandardPaths::findExecutable(QStringLiteral("pulseaudio")).isEmpty()) {
        daemon = std::make_unique<test::PulseDaemon>(home.path());
        if (daemon->start()) {
            qputenv("PULSE_SERVER", daemon->server().toUtf8());
            audio = std::make_unique<PulseSystemAudio>(); // the production time limit
            if (!spinUntil([&] { return audio->volume(AudioDirection::output).has_value(); }, 5000))
                audio.reset();
        }
    }

    DockController::Services services;
    services.dock = std::make_unique<StreamDock>(std::vector<std::unique_ptr<DiscoverySource>>());
    services.configStore = std::make_unique<ConfigStore>(configPath);
    services.clock = &clock;
    services.permissions = &permissions;
    services.audio = audio.get();
    services.siteIcons = &siteIcons;
    DockController controller(std::move(services));

    if (audio) {
        audio->setVolume(AudioDirection::output, 0.2F);
        daemon->pause();
        StallMeter meter;
        QElapsedTimer turning;
        turning.start();
        for (int i = 0; i < kDetents; ++i) {
            controller.turn(KnobRole::volume, 1);
            spin(kDetentGapMs);
        }
        spin(1500); // the calls under way run into their limit
        const double stall = meter.longestMs();
        daemon->resume();
        // What the merged detents did once the server came back.
        spinUntil([&] { return controller.hud().generation() > 0; }, 5000);
        report("20 fast knob detents, sound server stopped: longest stall", stall);
        status |= stall < kStallTargetMs ? 0 : 1;
    } else {
        std::printf("knob detents: skipped, no PulseAudio daemon could be started\n");
    }

    if (x11) {
        test::SlowClipboardOwner owner({
            {QStringLiteral("UTF8_STRING"), "someone else's text", 0},
            {QStringLiteral("text/html"), "<p>late</p>", 1000},
            {QStringLiteral("application/x-hung"), "never", -1},
        });
        if (owner.owns() &&
            spinUntil([] { return !QGuiApplication::clipboard()->ownsClipboard(); }, 2000)) {
            StallMeter meter;
            QElapsedTimer call;
            call.start();
            controller.paste(QStringLiteral("a snippet"));
            const double pasteCall = double(call.elapsed());
            spin(100);
            const double stall = meter.longestMs();
            report("paste, clipboard owner slow and hung: the paste call", pasteCall);
            report("paste, clipboard owner slow and hung: longest stall", stall);
            status |= stall < kStallTargetMs ? 0 : 1;
            spin(1200); // the paste after the snapshot, and the restore
        } else {
            std::printf("paste: skipped, the test owner could not take the clipboard\n");
        }
    } else {
        std::printf("paste: skipped, needs an X server ($DISPLAY)\n");
    }
    return status;
}
