// The dock emulator: a window that behaves like a dock on Velloq's emulated-dock socket.

#include "DockWindow.h"
#include "EmulatedDock.h"

#include "device/Protocol.h"

#include <QApplication>
#include <QBuffer>
#include <QCommandLineParser>
#include <QPainter>
#include <QTimer>
#include <QTransform>

#include <cstdio>

namespace {

using velloq::EmulatedDock;

// Six upright test faces, rendered and rotated the way Velloq sends them, fed through the
// dock's own decoder as one initialisation and one image batch.
void showDemoFaces(EmulatedDock& dock) {
    static constexpr std::array<QRgb, 6> colours{0xd94b3d, 0xe8a33d, 0x4caf50,
                                                 0x2f8fd8, 0x8e5cd9, 0x3dbfb0};
    const int edge = dock.model().imageEdge();
    velloq::ImageBatch batch;
    for (int i = 0; i < EmulatedDock::kKeys; ++i) {
        QImage face(edge, edge, QImage::Format_RGB32);
        face.fill(QColor::fromRgb(colours[size_t(i)]));
        QPainter p(&face);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::white);
        QFont font = p.font();
        font.setBold(true);
        font.setPixelSize(edge / 2);
        p.setFont(font);
        p.drawText(QRect(0, edge / 6, edge, edge * 5 / 6), Qt::AlignCenter, QString::number(i + 1));
        p.setBrush(Qt::white);
        p.setPen(Qt::NoPen);
        const double c = edge / 2.0;
        const QPointF arrow[3] = {
            {c, edge * 0.06}, {c - edge * 0.14, edge * 0.26}, {c + edge * 0.14, edge * 0.26}};
        p.drawPolygon(arrow, 3);
        p.end();
        const QImage sent = face.transformed(QTransform().rotate(dock.model().baseRotation()));
        QByteArray jpeg;
        QBuffer buffer(&jpeg);
        buffer.open(QIODevice::WriteOnly);
        sent.save(&buffer, "JPEG", 90);
        batch[i] = jpeg;
    }
    QList<QByteArray> reports = velloq::Protocol::initializeBatch(90);
    reports += velloq::Protocol::imageBatch(batch, dock.reportSize());
    for (const QByteArray& report : reports)
        dock.receiveMessage(QByteArray(1, '\0') +
                            velloq::Protocol::padded(report, dock.reportSize()));
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("velloq-dock-emulator"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("A dock that Velloq finds on $XDG_RUNTIME_DIR/velloq/docks/."));
    parser.addHelpOption();
    const QCommandLineOption modelOption(
        QStringLiteral("model"), QStringLiteral("Row of the model table, 1-14 (default 2)."),
        QStringLiteral("row"), QStringLiteral("2"));
    const QCommandLineOption slowOption(QStringLiteral("slow-link"),
                                        QStringLiteral("Take at most n reports per second."),
                                        QStringLiteral("n"), QStringLiteral("0"));
    QCommandLineOption demoOption(QStringLiteral("demo-faces"));
    demoOption.setFlags(QCommandLineOption::HiddenFromHelp);
    QCommandLineOption grabOption(QStringLiteral("grab"), QString(), QStringLiteral("png"));
    grabOption.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOptions({modelOption, slowOption, demoOption, grabOption});
    parser.process(app);

    const auto table = velloq::DockModels::table();
    const int row = parser.value(modelOption).toInt();
    if (row < 1 || size_t(row) > table.size()) {
        std::fprintf(stderr, "velloq-dock-emulator: --model takes 1 to %zu\n", table.size());
        return 2;
    }

    EmulatedDock dock(table[size_t(row - 1)]);
    dock.setReportRateLimit(parser.value(slowOption).toInt());
    QString error;
    if (!dock.plugIn(&error)) {
        std::fprintf(stderr, "velloq-dock-emulator: %s\n", qPrintable(error));
        return 1;
    }
    velloq::DockWindow window(&dock);
    window.show();

    if (parser.isSet(demoOption))
        showDemoFaces(dock);
    if (parser.isSet(grabOption)) {
        const QString file = parser.value(grabOption);
        QTimer::singleShot(1300, &window, [&window, file] {
            const bool saved = window.grab().save(file, "PNG");
            QApplication::exit(saved ? 0 : 1);
        });
    }
    return QApplication::exec();
}
