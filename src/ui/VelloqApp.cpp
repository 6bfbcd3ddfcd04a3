#include "ui/VelloqApp.h"

#include "config/ConfigStore.h"
#include "device/StreamDock.h"
#include "imaging/IconRenderer.h"
#include "siteicons/SiteIcons.h"
#include "system/LinuxForceQuitMenu.h"

#include "support/Log.h"

#include <QCoreApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QScreen>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>

namespace velloq {

namespace {
int signalPipe[2] = {-1, -1};

void onTerminationSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
}

// The shell of this run, for an exit that bypasses the event loop: Qt calls exit() when the
// display connection breaks (at logout, XWayland may end before us).
VelloqApp* runningShell = nullptr;

void finishAtExit() {
    if (runningShell) {
        logLine(QStringLiteral("Exiting outside the event loop: writing the last save and "
                               "blanking the dock"));
        runningShell->finish();
    }
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
    services.mediaKeys = &mediaKeys_;
    services.dockFeatures = &dockFeatures_;
    services.siteIcons = &SiteIcons::shared();
    services.actions.forceQuitMenu = &LinuxForceQuitMenu::shared();
    controller_ = std::make_unique<DockController>(std::move(services));

    DockController* controller = controller_.get();
    QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, controller,
                     [this] { finish(); });

    QObject::connect(menu_.addAction(QStringLiteral("Open Velloq")), &QAction::triggered,
                     controller, [this] { showWindow(); });
    QObject::connect(menu_.addAction(QStringLiteral("Quit")), &QAction::triggered,
                     QCoreApplication::instance(), &QCoreApplication::quit);
    hasTray_ = QSystemTrayIcon::isSystemTrayAvailable();
    if (hasTray_) {
        tray_.setIcon(IconRenderer::menuBarIcon());
        tray_.setToolTip(QStringLiteral("Velloq"));
        tray_.setContextMenu(&menu_);
        QObject::connect(&tray_, &QSystemTrayIcon::activated, controller,
                         [this](QSystemTrayIcon::ActivationReason reason) {
                             if (reason == QSystemTrayIcon::Trigger)
                                 toggleWindow();
                         });
        tray_.show();
    } else {
        logLine(QStringLiteral("No system tray: the window opens at start"));
        QTimer::singleShot(0, controller, [this] { showWindow(); });
    }

    QTimer::singleShot(0, controller, &DockController::start);

    // Registered last, so it runs before the statics made so far are destroyed.
    runningShell = this;
    static const bool registered = std::atexit(finishAtExit) == 0;
    if (!registered)
        logLine(QStringLiteral("Could not register the exit handler"));
}

VelloqApp::~VelloqApp() {
    runningShell = nullptr;
}

void VelloqApp::finish() {
    if (std::exchange(finished_, true))
        return;
    controller_->dock().shutdown();
    controller_->flushSave();
}

void VelloqApp::showWindow() {
    if (!window_) {
        window_ = std::make_unique<MenuView>(*controller_);
        if (hasTray_)
            window_->setWindowFlag(Qt::Tool); // a panel of the tray item, not a task
    }
    if (hasTray_ && !window_->isVisible())
        window_->move(windowPosition());
    if (window_->isMinimized())
        window_->setWindowState(window_->windowState() & ~Qt::WindowMinimized);
    window_->show();
    window_->raise();
    window_->activateWindow();
}

void VelloqApp::openFiles(const QStringList& paths) {
    showWindow();
    window_->openFiles(paths);
}

void VelloqApp::toggleWindow() {
    // Covered or minimised, the window is brought up: only the one the user works in hides.
    if (window_ && window_->isVisible() && !window_->isMinimized() && window_->isActiveWindow())
        window_->hide();
    else
        showWindow();
}

QPoint VelloqApp::windowPosition() const {
    constexpr int kMargin = 8;
    const QSize size = window_->frameGeometry().size();
    const QRect icon = tray_.geometry();
    QScreen* screen = icon.isValid() ? QGuiApplication::screenAt(icon.center())
                                     : QGuiApplication::screenAt(QCursor::pos());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    const QRect area = screen->availableGeometry();
    if (!icon.isValid() || icon.isEmpty())
        return {area.right() - kMargin - size.width(), area.top() + kMargin};
    // Under an icon in the upper half of the screen, above one in the lower half.
    const int y = icon.center().y() < area.center().y() ? icon.bottom() + kMargin
                                                        : icon.top() - kMargin - size.height();
    const int x = icon.center().x() - size.width() / 2;
    return {std::clamp(x, area.left() + kMargin, area.right() - kMargin - size.width()),
            std::clamp(y, area.top() + kMargin, area.bottom() - kMargin - size.height())};
}

} // namespace velloq
