#include "ui/AccessibilityBanner.h"

#include "controller/DockController.h"
#include "imaging/Symbols.h"
#include "ui/TextStyle.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>

namespace velloq {

namespace {
const QColor kOrange(255, 149, 0);
}

AccessibilityBanner::AccessibilityBanner(DockController& controller, QWidget* parent)
    : QWidget(parent)
    , allow_(new QPushButton(QStringLiteral("Allow…"), this)) {
    auto* icon = new QLabel(this);
    icon->setPixmap(QPixmap::fromImage(
        Symbols::image(QStringLiteral("exclamationmark.triangle.fill"), 18, kOrange)));
    QLabel* text = TextStyle::label(
        QStringLiteral(
            "Copy, paste, snippets, lock screen, media keys and shortcuts need input access."),
        TextStyle::Size::callout, false, this, true);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(10, 8, 10, 8);
    layout->setSpacing(8);
    layout->addWidget(icon, 0, Qt::AlignTop);
    layout->addWidget(text, 1);
    layout->addWidget(allow_, 0, Qt::AlignVCenter);
    connect(allow_, &QPushButton::clicked, this,
            [&controller] { controller.openAccessibilitySettings(); });
}

void AccessibilityBanner::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QColor fill = kOrange;
    fill.setAlphaF(0.12F);
    painter.setPen(Qt::NoPen);
    painter.setBrush(fill);
    painter.drawRoundedRect(QRectF(rect()), 8, 8);
}

} // namespace velloq
