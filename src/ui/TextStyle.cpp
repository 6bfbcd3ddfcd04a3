#include "ui/TextStyle.h"

#include "imaging/Symbols.h"

#include <QLabel>
#include <QPixmap>

namespace velloq::TextStyle {

namespace {
constexpr qreal kSecondaryAlpha = 0.55;
} // namespace

void setSize(QWidget* widget, Size size) {
    QFont font = widget->font();
    const qreal base = font.pointSizeF() > 0 ? font.pointSizeF() : 10;
    switch (size) {
    case Size::headline:
        font.setPointSizeF(base + 1);
        font.setBold(true);
        break;
    case Size::body:
        break;
    case Size::callout:
        font.setPointSizeF(base - 0.5);
        break;
    case Size::caption:
        font.setPointSizeF(base - 1.5);
        break;
    }
    widget->setFont(font);
}

QColor secondaryColor(const QWidget* widget) {
    QColor color = widget->palette().color(QPalette::WindowText);
    color.setAlphaF(kSecondaryAlpha);
    return color;
}

QColor warningColor(const QWidget* widget) {
    const bool dark = widget->palette().color(QPalette::Window).lightness() < 128;
    return dark ? QColor(0xFF, 0xB0, 0x4D) : QColor(0xB0, 0x4A, 0x00);
}

void setColor(QLabel* label, const QColor& color) {
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
}

QLabel* label(const QString& text, Size size, bool secondary, QWidget* parent, bool wrap) {
    auto* result = new QLabel(text, parent);
    setSize(result, size);
    if (secondary)
        setColor(result, secondaryColor(result));
    result->setWordWrap(wrap);
    return result;
}

void setSymbol(QLabel* label, const QString& symbol, const QColor& color) {
    const qreal ratio = label->devicePixelRatioF();
    const int edge = label->fontMetrics().height();
    QPixmap pixmap = QPixmap::fromImage(Symbols::image(symbol, int(edge * ratio), color));
    pixmap.setDevicePixelRatio(ratio);
    label->setPixmap(pixmap);
}

QString literal(QString text) {
    return text.replace(u'&', QStringLiteral("&&"));
}

QIcon symbolIcon(const QString& symbol, const QWidget* widget) {
    constexpr int kEdge = 32; // scaled down to the button's icon size
    return QIcon(QPixmap::fromImage(
        Symbols::image(symbol, kEdge, widget->palette().color(QPalette::ButtonText))));
}

} // namespace velloq::TextStyle
