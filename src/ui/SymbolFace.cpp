#include "ui/SymbolFace.h"

#include "imaging/Symbols.h"

#include <QFontDatabase>
#include <QPainter>

namespace velloq {

namespace {
constexpr qreal kSymbolPx = 18;
constexpr qreal kCompactSymbolPx = 13;
constexpr qreal kTitlePx = 8;
constexpr qreal kTitleGap = 2;
} // namespace

SymbolFace::SymbolFace(QWidget* parent)
    : QWidget(parent) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void SymbolFace::setInfo(const std::pair<QString, QString>& info, bool compact) {
    if (info == info_ && compact == compact_)
        return;
    info_ = info;
    compact_ = compact;
    update();
}

void SymbolFace::paint(QPainter& painter, const QRectF& rect,
                       const std::pair<QString, QString>& info, bool compact) {
    const qreal symbolPx = compact ? kCompactSymbolPx : kSymbolPx;
    const bool withTitle = !compact && !info.second.isEmpty();
    QFont titleFont = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    titleFont.setPixelSize(int(kTitlePx));
    titleFont.setWeight(QFont::DemiBold);
    const QFontMetricsF metrics(titleFont);
    const qreal titleHeight = withTitle ? metrics.height() + kTitleGap : 0;
    const qreal top = rect.center().y() - (symbolPx + titleHeight) / 2;
    Symbols::draw(painter, info.first, QPointF(rect.center().x() - symbolPx / 2, top), symbolPx,
                  Qt::white);
    if (!withTitle)
        return;
    const QRectF titleRect(rect.left() + 2, top + symbolPx + kTitleGap, rect.width() - 4,
                           metrics.height());
    painter.save();
    painter.setFont(titleFont);
    painter.setPen(Qt::white);
    painter.drawText(titleRect, Qt::AlignHCenter | Qt::AlignTop | Qt::TextSingleLine,
                     metrics.elidedText(info.second, Qt::ElideRight, titleRect.width()));
    painter.restore();
}

void SymbolFace::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    paint(painter, rect(), info_, compact_);
}

} // namespace velloq
