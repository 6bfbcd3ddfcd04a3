// Velloq itself: the module that the velloq program loads to run it (cli/AppModule).

#include "cli/CommandLine.h"
#include "config/ConfigStore.h"
#include "scripting/ScriptingService.h"
#include "share/ShareCommand.h"
#include "support/Log.h"
#include "ui/AppIcon.h"
#include "ui/SingleInstance.h"
#include "ui/VelloqApp.h"

#include <QApplication>
#include <QTimer>

extern "C" __attribute__((visibility("default"))) int velloq_app_main(int& argc, char** argv) {
    velloq::routeLibraryMessages();
    velloq::VelloqApp::choosePlatform();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Velloq"));
    QApplication::setApplicationVersion(QString::fromLatin1(velloq::CommandLine::version()));
    QApplication::setDesktopFileName(QStringLiteral("app.velloq.Velloq"));
    QApplication::setWindowIcon(velloq::appIcon());
    QApplication::setQuitOnLastWindowClosed(false);

    // A second launch shows the running Velloq's window (or has it open the files) and ends.
    // Scripts' interface is served on the same object, in place before the name is taken; its
    // calls wait in the event loop until the controller below is there.
    const QStringList files = velloq::CommandLine::filesToOpen(argc, argv);
    velloq::ScriptingService scripting;
    velloq::SingleInstance instance;
    switch (instance.claim(&scripting, files)) {
    case velloq::SingleInstance::Claim::activated:
        return 0;
    case velloq::SingleInstance::Claim::unreachable:
        return 1;
    case velloq::SingleInstance::Claim::first:
    case velloq::SingleInstance::Claim::noBus:
        break;
    }

    // An import run on its own ends before this Velloq reads the settings it changes.
    velloq::ConfigLock settings;
    if (!settings.tryLock(10000))
        velloq::logLine(
            QStringLiteral("Another program still holds the settings; starting anyway"));

    velloq::VelloqApp::quitOnTerminationSignals();
    velloq::VelloqApp shell;
    scripting.bind(shell.controller());
    QObject::connect(&instance, &velloq::SingleInstance::activated, &shell.controller(),
                     [&shell] { shell.showWindow(); });
    QObject::connect(&instance, &velloq::SingleInstance::openRequested, &shell.controller(),
                     [&shell](const QStringList& paths) { shell.openFiles(paths); });
    if (!files.isEmpty())
        QTimer::singleShot(0, &shell.controller(), [&shell, files] { shell.openFiles(files); });
    return QApplication::exec();
}

// velloq export and velloq import when no Velloq runs (cli/Commands), on the saved files.
extern "C" __attribute__((visibility("default"))) void
velloq_app_share(const velloq::ShareCommand::Request& request,
                 velloq::ShareCommand::Result& result) {
    // Velloq holds the settings from before it reads them until it quits.
    velloq::ConfigLock settings;
    if (request.kind == velloq::ShareCommand::Request::Kind::importFile && !settings.tryLock(0)) {
        result.status = velloq::ShareCommand::Result::Status::failed;
        result.error = QStringLiteral(
            "Velloq is starting, or another import is running: import again in a moment");
        return;
    }
    velloq::ConfigStore store;
    result = velloq::ShareCommand::run(request, store);
}
