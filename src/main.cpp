#include "support/Log.h"
#include "ui/AppIcon.h"
#include "ui/CommandLine.h"
#include "ui/VelloqApp.h"

#include <QApplication>

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
    velloq::VelloqApp::quitOnTerminationSignals();
    velloq::VelloqApp shell;
    return QApplication::exec();
}
