#include "ui/Dropdown.h"

#include "imaging/Symbols.h"
#include "ui/ActionMenuItem.h"
#include "ui/TextStyle.h"

#include <QCursor>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QStyleOption>

namespace velloq {

namespace {
constexpr int kPadLeft = 9;
constexpr int kPad = 3;
constexpr int kChevronBox = 17;
constexpr qreal kChevronPx = 9;
constexpr qreal kCornerRadius = 7;
} // namespace

Dropdown::Dropdown(QWidget* parent)
    : QAbstractButton(parent) {
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setAccessibleDescription(QStringLiteral("Opens a menu of choices"));
    connect(this, &QAbstractButton::clicked, this, &Dropdown::openMenu);
    updateAccessibleName();
}

Dropdown::~Dropdown() {
    if (menu_)
        menu_->deleteLater();
}

void Dropdown::setOptions(const QList<DropdownOption>& options) {
    options_ = options;
    updateAccessibleName();
    updateGeometry();
    update();
}

void Dropdown::setSelection(const QVariant& value) {
    selection_ = value;
    updateAccessibleName();
    update();
}

void Dropdown::setOnSelect(std::function<void(const QVariant&)> onSelect) {
    onSelect_ = std::move(onSelect);
}

QString Dropdown::currentTitle() const {
    for (const DropdownOption& option : options_) {
        if (option.value == selection_)
            return option.title;
    }
    return QStringLiteral("Choose…");
}

void Dropdown::updateAccessibleName() {
    // No setText: a button's text takes "&" as a mnemonic, and titles are the user's words
    // ("R&D"). The title is painted and named for accessibility instead.
    setAccessibleName(currentTitle());
}

void Dropdown::openMenu() {
    if (menu_)
        menu_->deleteLater();
    // Not a child of this control: the owner's change often rebuilds the view holding the
    // control, which then goes while the menu is still in its own event. The handlers hold
    // copies for the same reason.
    auto* menu = new QMenu;
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu_ = menu;

    std::optional<QString> lastSection;
    QAction* checked = nullptr;
    for (const DropdownOption& option : options_) {
        if (option.section && option.section != lastSection) {
            if (!menu->actions().isEmpty())
                menu->addSeparator();
            QAction* heading = menu->addAction(TextStyle::literal(*option.section));
            heading->setEnabled(false);
            lastSection = option.section;
        }
        const QVariant value = option.value;
        auto* item = new ActionMenuItem(
            TextStyle::literal(option.title),
            [onSelect = onSelect_, value] {
                if (onSelect)
                    onSelect(value);
            },
            {}, menu);
        if (value == selection_) {
            item->setCheckable(true);
            item->setChecked(true);
            checked = item;
        }
        menu->addAction(item);
    }
    menu->popup(QCursor::pos(), checked);
}

QSize Dropdown::sizeHint() const {
    const QFontMetrics metrics(font());
    int widest = metrics.horizontalAdvance(QStringLiteral("Choose…"));
    for (const DropdownOption& option : options_)
        widest = std::max(widest, metrics.horizontalAdvance(option.title));
    const int height = std::max(metrics.height(), kChevronBox) + 2 * kPad;
    return {kPadLeft + widest + 8 + kChevronBox + kPad, height};
}

QSize Dropdown::minimumSizeHint() const {
    const QFontMetrics metrics(font());
    const int height = std::max(metrics.height(), kChevronBox) + 2 * kPad;
    return {kPadLeft + metrics.horizontalAdvance(QStringLiteral("Choo…")) + 8 + kChevronBox + kPad,
            height};
}

void Dropdown::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF bounds = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);

    QColor fill = palette().color(QPalette::WindowText);
    fill.setAlphaF(isDown() ? 0.16F : 0.09F);
    painter.setPen(Qt::NoPen);
    painter.setBrush(fill);
    painter.drawRoundedRect(bounds, kCornerRadius, kCornerRadius);
    if (hasFocus()) {
        painter.setPen(QPen(palette().color(QPalette::Highlight), 1.5));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(bounds.adjusted(0.75, 0.75, -0.75, -0.75), kCornerRadius,
                                kCornerRadius);
    }

    const QRectF chevron(width() - kPad - kChevronBox, (height() - kChevronBox) / 2.0, kChevronBox,
                         kChevronBox);
    painter.setPen(Qt::NoPen);
    painter.setBrush(palette().color(QPalette::Highlight));
    painter.drawRoundedRect(chevron, 4, 4);
    QFont symbolFont = Symbols::font(kChevronPx);
    symbolFont.setBold(true);
    painter.setFont(symbolFont);
    painter.setPen(Qt::white);
    if (const std::optional<char16_t> glyph =
            Symbols::codepoint(QStringLiteral("chevron.up.chevron.down")))
        painter.drawText(chevron, Qt::AlignCenter, QString(QChar(*glyph)));

    const QRectF titleRect(kPadLeft, 0, chevron.left() - kPadLeft - 6, height());
    painter.setFont(font());
    painter.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    const QString title =
        fontMetrics().elidedText(currentTitle(), Qt::ElideRight, int(titleRect.width()));
    painter.drawText(titleRect, Qt::AlignLeft | Qt::AlignVCenter, title);
}

} // namespace velloq
