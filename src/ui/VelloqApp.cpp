#include "ui/VelloqApp.h"

#include "config/ConfigStore.h"
#include "device/StreamDock.h"
#include "imaging/IconRenderer.h"
#include "siteicons/SiteIcons.h"
#include "system/LinuxForceQuitMenu.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace velloq {

namespace {
int signalPipe[2] = {-1, -1};

void onTerminationSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
}
} // namespace

void VelloqApp::quitOnTerminationSignals() {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0)
        return;
    auto* notifier =
        new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, QCoreApplication::instance(), [] {
        char byte = 0;
        [[maybe_unused]] const ssize_t got = ::read(signalPipe[0], &byte, 1);
        QCoreApplication::quit();
    });
    struct sigaction action = {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGHUP, &action, nullptr);
}

void VelloqApp::choosePlatform() {
    if (qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        return;
    if (qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") || qEnvironmentVariableIsEmpty("DISPLAY"))
        return;
    qputenv("QT_QPA_PLATFORM", "xcb;wayland");
}

VelloqApp::VelloqApp() {
    DockController::Services services;
    services.dock = StreamDock::createDefault();
    services.configStore = std::make_unique<ConfigStore>();
    services.clock = &clock_;
    services.permissions = &permissions_;
    services.keys = &keys_;
    services.audio = &audio_;
    services.displayBrightness = &brightness_;
    services.dockFeatures = &dockFeatures_;
    services.siteIcons = &SiteIcons::shared();
    services.actions.forceQuitMenu = &LinuxForceQuitMenu::shared();
    controller_ = std::make_unique<DockController>(std::move(services));

    DockController* controller = controller_.get();
    QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, controller,
                     [controller] { controller->dock().shutdown(); });

    QObject::connect(menu_.addAction(QStringLiteral("Quit")), &QAction::triggered,
                     QCoreApplication::instance(), &QCoreApplication::quit);
    tray_.setIcon(IconRenderer::menuBarIcon());
    tray_.setToolTip(QStringLiteral("Velloq"));
    tray_.setContextMenu(&menu_);
    tray_.show();

    QTimer::singleShot(0, controller, &DockController::start);
}

} // namespace velloq
