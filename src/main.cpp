#include "support/Log.h"
#include "ui/VelloqApp.h"

#include <QApplication>

int main(int argc, char** argv) {
    velloq::routeLibraryMessages();
    velloq::VelloqApp::choosePlatform();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Velloq"));
    QApplication::setQuitOnLastWindowClosed(false);
    velloq::VelloqApp::quitOnTerminationSignals();
    velloq::VelloqApp shell;
    return QApplication::exec();
}
