// Velloq itself: the module that the velloq program loads to run it (cli/AppModule).

#include "cli/CommandLine.h"
#include "scripting/ScriptingService.h"
#include "support/Log.h"
#include "ui/AppIcon.h"
#include "ui/SingleInstance.h"
#include "ui/VelloqApp.h"

#include <QApplication>

extern "C" __attribute__((visibility("default"))) int velloq_app_main(int& argc, char** argv) {
    velloq::routeLibraryMessages();
    velloq::VelloqApp::choosePlatform();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Velloq"));
    QApplication::setApplicationVersion(QString::fromLatin1(velloq::CommandLine::version()));
    QApplication::setDesktopFileName(QStringLiteral("app.velloq.Velloq"));
    QApplication::setWindowIcon(velloq::appIcon());
    QApplication::setQuitOnLastWindowClosed(false);

    // A second launch shows the running Velloq's window and ends. Scripts' interface is served
    // on the same object, in place before the name is taken; its calls wait in the event
    // loop until the controller below is there.
    velloq::ScriptingService scripting;
    velloq::SingleInstance instance;
    switch (instance.claim(&scripting)) {
    case velloq::SingleInstance::Claim::activated:
        return 0;
    case velloq::SingleInstance::Claim::unreachable:
        return 1;
    case velloq::SingleInstance::Claim::first:
    case velloq::SingleInstance::Claim::noBus:
        break;
    }

    velloq::VelloqApp::quitOnTerminationSignals();
    velloq::VelloqApp shell;
    scripting.bind(shell.controller());
    QObject::connect(&instance, &velloq::SingleInstance::activated, &shell.controller(),
                     [&shell] { shell.showWindow(); });
    return QApplication::exec();
}
