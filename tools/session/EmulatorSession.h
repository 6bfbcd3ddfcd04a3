#pragma once

#include <sys/syscall.h>
#include <unistd.h>

#include "EmulatedDock.h"
#include "EventLoopWait.h"
#include "config/ConfigStore.h"
#include "controller/DockController.h"
#include "device/DeviceModel.h"
#include "device/EmulatorDiscovery.h"
#include "siteicons/SiteIcons.h"
#include "system/Permissions.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <ctime>

#include <functional>
#include <memory>
#include <vector>

#include <sys/syscall.h>
#include <unistd.h>

namespace velloq::session {

// Points XDG_DATA_HOME, XDG_CONFIG_HOME, XDG_CACHE_HOME and XDG_RUNTIME_DIR into a temporary
// folder, so a run never touches the user's files. Make it before QApplication.
class PrivateHome {
public:
    explicit PrivateHome(const QString& prefix)
        : dir_(QDir::tempPath() + QLatin1Char('/') + prefix + QStringLiteral("-XXXXXX")) {
        for (const char* name : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME"}) {
            const QString sub = dir_.path() + QLatin1Char('/') + QString::fromLatin1(name);
            QDir().mkpath(sub);
            qputenv(name, QFile::encodeName(sub));
        }
        const QString runtime = dir_.path() + QStringLiteral("/runtime");
        QDir().mkpath(runtime);
        QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime));
    }
    QString path() const { return dir_.path(); }

private:
    QTemporaryDir dir_;
};

class GrantedPermissions final : public Permissions {
public:
    bool inputAccess() override { return true; }
    void promptForInputAccess() override {}
    void openAccessibilitySettings() override {}
};

// The backends of a controller that finds emulated docks and saves in the real location
// (inside the private home).
inline DockController::Services emulatorServices(const Clock& clock, Permissions& permissions,
                                                 SiteIcons& siteIcons) {
    std::vector<std::unique_ptr<DiscoverySource>> sources;
    sources.push_back(std::make_unique<EmulatorDiscovery>());
    DockController::Services services;
    services.dock = std::make_unique<StreamDock>(std::move(sources));
    services.configStore = std::make_unique<ConfigStore>();
    services.clock = &clock;
    services.permissions = &permissions;
    services.siteIcons = &siteIcons;
    return services;
}

// An emulated AKP03E in this thread and a controller that drives it, saving inside `home`.
class ConnectedController {
public:
    explicit ConnectedController(const QString& home)
        : siteIcons_(SiteIcons::Options{home + QStringLiteral("/SiteIcons"), 10000})
        , controller(emulatorServices(clock_, permissions_, siteIcons_)) {}

    // Plugs the dock in, starts the controller and waits until it has connected.
    bool connect() {
        if (!emulator.plugIn())
            return false;
        controller.start();
        return spinUntil([&] { return controller.isConnected(); }, 5000);
    }

    EmulatedDock emulator{*DockModels::lookup(0x0300, 0x1002)};

private:
    GrantedPermissions permissions_;
    SteadyClock clock_;
    SiteIcons siteIcons_;

public:
    DockController controller;
};

// CPU seconds of a clock_gettime clock (CLOCK_PROCESS_CPUTIME_ID, CLOCK_THREAD_CPUTIME_ID).
inline double cpuSeconds(clockid_t clock) {
    timespec t{};
    clock_gettime(clock, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// An emulated AKP03E on a thread of its own, so that its work is not counted as Velloq's.
class EmulatorThread {
public:
    EmulatorThread() {
        thread_.start();
        context_.moveToThread(&thread_);
        run([this] {
            dock_ = std::make_unique<EmulatedDock>(*DockModels::lookup(0x0300, 0x1002));
            dock_->plugIn();
        });
    }
    ~EmulatorThread() {
        run([this] { dock_.reset(); });
        thread_.quit();
        thread_.wait();
    }
    EmulatorThread(const EmulatorThread&) = delete;
    EmulatorThread& operator=(const EmulatorThread&) = delete;

    // Runs `work` on the emulator's thread and waits for it.
    void run(const std::function<void()>& work) {
        QMetaObject::invokeMethod(&context_, work, Qt::BlockingQueuedConnection);
    }
    // CPU seconds the emulator's thread has used.
    double cpu() {
        double seconds = 0;
        run([&] { seconds = cpuSeconds(CLOCK_THREAD_CPUTIME_ID); });
        return seconds;
    }
    QString threadId() {
        long tid = 0;
        run([&] { tid = long(::syscall(SYS_gettid)); });
        return QString::number(tid);
    }
    EmulatedDock& dock() { return *dock_; }

private:
    QThread thread_;
    QObject context_;
    std::unique_ptr<EmulatedDock> dock_;
};

} // namespace velloq::session
