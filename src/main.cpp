#include "device/StreamDock.h"
#include "system/Log.h"

#include <QApplication>

namespace {

// Stands in for the controller: initialises the dock and logs what it hears.
struct LoggingDelegate : velloq::StreamDockDelegate {
    void streamDockDidConnect(velloq::StreamDock& dock) override { dock.initialize(100); }
    void streamDockDidDisconnect(velloq::StreamDock&) override {}
    void streamDockDidReceive(velloq::StreamDock&, const velloq::DockEvent& event) override {
        using Kind = velloq::DockEvent::Kind;
        switch (event.kind) {
        case Kind::key:
            velloq::logLine(QStringLiteral("Key %1").arg(event.index));
            break;
        case Kind::knobTurn:
            velloq::logLine(QStringLiteral("Knob %1 turned %2").arg(event.index).arg(event.step));
            break;
        case Kind::knobPress:
            velloq::logLine(QStringLiteral("Knob %1 pressed").arg(event.index));
            break;
        }
    }
};

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Velloq"));

    LoggingDelegate delegate;
    const std::unique_ptr<velloq::StreamDock> dock = velloq::StreamDock::createDefault();
    dock->setDelegate(&delegate);
    QObject::connect(&app, &QCoreApplication::aboutToQuit, dock.get(),
                     [&dock] { dock->shutdown(); });
    dock->start();

    const int result = QApplication::exec();
    dock->setDelegate(nullptr);
    return result;
}
