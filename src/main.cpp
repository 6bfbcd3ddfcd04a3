#include "support/Log.h"
#include "ui/AppIcon.h"
#include "ui/CommandLine.h"
#include "ui/SingleInstance.h"
#include "ui/VelloqApp.h"

#include <QApplication>
#include <QTimer>

int main(int argc, char** argv) {
    if (const std::optional<int> exitCode = velloq::CommandLine::handle(argc, argv))
        return *exitCode;
    velloq::routeLibraryMessages();
    velloq::VelloqApp::choosePlatform();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Velloq"));
    QApplication::setApplicationVersion(QString::fromLatin1(velloq::CommandLine::version()));
    QApplication::setDesktopFileName(QStringLiteral("app.velloq.Velloq"));
    QApplication::setWindowIcon(velloq::appIcon());
    QApplication::setQuitOnLastWindowClosed(false);

    // A second launch shows the running Velloq's window (or has it open the files) and ends.
    const QStringList files = velloq::CommandLine::filesToOpen(argc, argv);
    velloq::SingleInstance instance;
    switch (instance.claim(files)) {
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
    QObject::connect(&instance, &velloq::SingleInstance::activated, &shell.controller(),
                     [&shell] { shell.showWindow(); });
    QObject::connect(&instance, &velloq::SingleInstance::openRequested, &shell.controller(),
                     [&shell](const QStringList& paths) { shell.openFiles(paths); });
    if (!files.isEmpty())
        QTimer::singleShot(0, &shell.controller(), [&shell, files] { shell.openFiles(files); });
    return QApplication::exec();
}
