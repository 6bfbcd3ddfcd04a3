#include "config/ConfigStore.h"
#include "controller/DockController.h"
#include "device/StreamDock.h"
#include "imaging/IconRenderer.h"
#include "siteicons/SiteIcons.h"
#include "system/BacklightBrightness.h"
#include "system/Clock.h"
#include "system/LinuxDockFeatures.h"
#include "system/LinuxForceQuitMenu.h"
#include "system/LinuxKeySender.h"
#include "system/LinuxPermissions.h"
#include "system/PulseSystemAudio.h"

#include <QApplication>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTimer>

#include <memory>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Velloq"));
    QApplication::setQuitOnLastWindowClosed(false);

    velloq::SteadyClock clock;
    velloq::LinuxKeySender keys;
    velloq::PulseSystemAudio audio;
    velloq::BacklightBrightness brightness;
    velloq::LinuxDockFeatures dockFeatures(keys);
    velloq::LinuxPermissions permissions(keys);

    velloq::DockController::Services services;
    services.dock = velloq::StreamDock::createDefault();
    services.configStore = std::make_unique<velloq::ConfigStore>();
    services.clock = &clock;
    services.permissions = &permissions;
    services.keys = &keys;
    services.audio = &audio;
    services.displayBrightness = &brightness;
    services.dockFeatures = &dockFeatures;
    services.siteIcons = &velloq::SiteIcons::shared();
    services.actions.forceQuitMenu = &velloq::LinuxForceQuitMenu::shared();
    velloq::DockController controller(std::move(services));

    // Quitting blanks the dock and waits until that has been written.
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &controller,
                     [&controller] { controller.dock().shutdown(); });

    QMenu menu;
    QObject::connect(menu.addAction(QStringLiteral("Quit")), &QAction::triggered, &app,
                     &QCoreApplication::quit);
    QSystemTrayIcon tray(velloq::IconRenderer::menuBarIcon());
    tray.setToolTip(QStringLiteral("Velloq"));
    tray.setContextMenu(&menu);
    tray.show();

    QTimer::singleShot(0, &controller, &velloq::DockController::start);
    return QApplication::exec();
}
