// The app picker's lists: the longest stall of the main thread while the installed and the
// running applications load, against one frame, and what scanning them on the main thread
// (as before) cost. The desktop entries are made in a scratch folder, with theme icons,
// icon paths and missing icons mixed, as a desktop with a few hundred applications has.

#include "config/ConfigStore.h"
#include "controller/DockController.h"
#include "siteicons/SiteIcons.h"
#include "system/Applications.h"
#include "system/Permissions.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QTimer>

#include <algorithm>
#include <cstdio>

using namespace velloq;

namespace {

constexpr int kEntries = 400;
constexpr double kFrameMs = 16.7;

class GrantedPermissions final : public Permissions {
public:
    bool inputAccess() override { return true; }
    void promptForInputAccess() override {}
    void openAccessibilitySettings() override {}
};

void writeEntries(const QString& folder) {
    QDir().mkpath(folder);
    const QStringList icons{QStringLiteral("folder"), QStringLiteral("user-trash"),
                            QStringLiteral("gvim"), QStringLiteral("no-such-icon"),
                            QStringLiteral("/usr/share/icons/hicolor/48x48/apps/gvim.png")};
    for (int i = 0; i < kEntries; ++i) {
        QFile file(folder + QStringLiteral("/app%1.desktop").arg(i));
        if (!file.open(QIODevice::WriteOnly))
            continue;
        file.write(QStringLiteral("[Desktop Entry]\nType=Application\nName=App %1\nExec=app%1 "
                                  "%U\nIcon=%2\n")
                       .arg(i)
                       .arg(icons.at(i % icons.size()))
                       .toUtf8());
    }
}

// The longest gap between the ticks of a 1 ms timer until `done`.
double longestStallMs(const std::function<void()>& start, const std::function<bool()>& done) {
    QElapsedTimer clock;
    double last = 0;
    double longest = 0;
    QTimer tick;
    tick.setInterval(1);
    QObject::connect(&tick, &QTimer::timeout, &tick, [&] {
        const double now = double(clock.nsecsElapsed()) * 1e-6;
        longest = std::max(longest, now - last);
        last = now;
    });
    clock.start();
    tick.start();
    start();
    while (!done())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    // The handler that set `done` ran inside the last gap.
    longest = std::max(longest, double(clock.nsecsElapsed()) * 1e-6 - last);
    return longest;
}

void report(const char* what, double value, double target) {
    std::printf("%-44s %9.2f ms  target %7.2f ms  ratio %6.3f\n", what, value, target,
                value / target);
}

} // namespace

int main(int argc, char** argv) {
    QTemporaryDir root;
    qputenv("XDG_DATA_HOME", QFile::encodeName(root.path()));
    QApplication app(argc, argv);
    const QString apps = root.path() + QStringLiteral("/applications");
    writeEntries(apps);

    GrantedPermissions permissions;
    SteadyClock clock;
    SiteIcons siteIcons(SiteIcons::Options{root.path() + QStringLiteral("/SiteIcons"), 10000});
    DockController::Services services;
    services.dock = std::make_unique<StreamDock>(std::vector<std::unique_ptr<DiscoverySource>>());
    services.configStore =
        std::make_unique<ConfigStore>(root.path() + QStringLiteral("/Velloq/config.json"));
    services.clock = &clock;
    services.permissions = &permissions;
    services.siteIcons = &siteIcons;
    services.actions.applicationDirs = {apps};
    DockController controller(std::move(services));

    const double stall = longestStallMs(
        [&] {
            controller.loadInstalledApps();
            controller.loadRunningApps();
        },
        [&] { return controller.runningAppsLoaded(); });
    std::printf("%d entries, %lld installed apps listed\n", kEntries,
                static_cast<long long>(controller.installedApps().size()));
    report("longest main-thread stall, both lists", stall, kFrameMs);

    // The same work on the main thread, as the lists were made before, with a cold icon cache
    // for names not seen yet (the theme lookups are cached per name).
    QElapsedTimer timer;
    timer.start();
    const QList<AppEntry> installed = Applications::findInstalledApps({apps});
    const QList<AppEntry> running =
        Applications::runningApps(DesktopEntries::installedApplications({apps}));
    report("both lists scanned on the main thread", double(timer.nsecsElapsed()) * 1e-6, kFrameMs);
    QThreadPool::globalInstance()->waitForDone();
    return installed.size() == kEntries ? 0 : 1;
}
