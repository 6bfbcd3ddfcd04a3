#include "ui/AppIcon.h"

#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

// Q_INIT_RESOURCE cannot be used inside a namespace.
static void initAppIconResource() {
    Q_INIT_RESOURCE(appicon);
}

namespace velloq {

QIcon appIcon() {
    initAppIconResource();
    // Drawn here rather than through Qt's SVG icon plugin, so the program links the SVG
    // library it needs and the package's dependencies name it.
    QIcon builtIn;
    QSvgRenderer svg(QStringLiteral(":/velloq/app-icon.svg"));
    for (const int size : {16, 24, 32, 48, 64, 128, 256}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        svg.render(&painter);
        painter.end();
        builtIn.addPixmap(pixmap);
    }
    return QIcon::fromTheme(QStringLiteral("app.velloq.Velloq"), builtIn);
}

} // namespace velloq
