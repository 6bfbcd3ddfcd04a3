#include "ui/KeyFace.h"

#include "imaging/Symbols.h"
#include "ui/AnimatedImage.h"
#include "ui/SymbolFace.h"

#include <QFontDatabase>
#include <QPainter>
#include <QPainterPath>

namespace velloq {

namespace {
constexpr qreal kLabelPx = 8;
constexpr qreal kLabelTop = 4;
constexpr qreal kLabelBottom = 3;
constexpr qreal kScreenKeyRadius = 10;

// The snippet or page that `action` names, as its face shows it: found or not, and its name.
std::optional<std::pair<bool, QString>>
namedBy(const ButtonAction& action, const QList<Snippet>& snippets, const QList<Page>& pages) {
    if (const std::optional<QUuid> id = action.snippetID()) {
        for (const Snippet& snippet : snippets) {
            if (snippet.id == *id)
                return std::pair(true, snippet.name);
        }
        return std::pair(false, QString());
    }
    if (const std::optional<QUuid> id = action.pageID()) {
        for (const Page& page : pages) {
            if (page.id == *id)
                return std::pair(true, page.name);
        }
        return std::pair(false, QString());
    }
    return std::nullopt;
}

QFont labelFont() {
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPixelSize(int(kLabelPx));
    font.setWeight(QFont::DemiBold);
    return font;
}
} // namespace

KeyFace::KeyFace(QWidget* parent)
    : QWidget(parent)
    , animated_(new AnimatedImage(this))
    , symbol_(new SymbolFace(this)) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    animated_->hide();
    symbol_->hide();
}

void KeyFace::setFace(const ButtonAction& action, const std::optional<QString>& customIcon,
                      const QList<Snippet>& snippets, const QList<Page>& pages, bool compact,
                      bool force) {
    std::optional<std::pair<bool, QString>> named = namedBy(action, snippets, pages);
    if (!force && action_ == action && customIcon_ == customIcon && named_ == named &&
        compact_ == compact)
        return;
    action_ = action;
    customIcon_ = customIcon;
    named_ = std::move(named);
    compact_ = compact;
    picture_ = IconRenderer::picture(action, customIcon, snippets, pages);

    const bool animated = picture_.kind == IconRenderer::Picture::Kind::image && customIcon &&
                          !customIcon->isEmpty() && AnimatedImage::isAnimated(*customIcon);
    if (animated)
        animated_->setPath(*customIcon);
    animated_->setVisible(animated);
    if (picture_.kind == IconRenderer::Picture::Kind::symbol)
        symbol_->setInfo({picture_.symbol, picture_.caption.value_or(QString())}, compact);
    symbol_->setVisible(picture_.kind == IconRenderer::Picture::Kind::symbol);
    layoutChildren();
    update();
}

void KeyFace::clearFace() {
    action_.reset();
    customIcon_.reset();
    named_.reset();
    picture_ = IconRenderer::Picture::blank();
    animated_->hide();
    symbol_->hide();
    update();
}

void KeyFace::resizeEvent(QResizeEvent*) {
    layoutChildren();
}

void KeyFace::layoutChildren() {
    const int inset = compact_ ? 3 : 2;
    animated_->setGeometry(rect().adjusted(inset, inset, -inset, -inset));
    symbol_->setGeometry(rect());
}

void KeyFace::paintEvent(QPaintEvent*) {
    if (!action_ || animated_->isVisible() || symbol_->isVisible())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QRectF bounds = rect();

    if (picture_.kind != IconRenderer::Picture::Kind::image) {
        const qreal px = compact_ ? 11 : 15;
        QColor faint(Qt::white);
        faint.setAlphaF(0.3F);
        const QString placeholder = action_->kind() == ButtonAction::Kind::nothing
                                        ? QStringLiteral("plus")
                                        : QStringLiteral("app.dashed");
        Symbols::draw(painter, placeholder, bounds.center() - QPointF(px / 2, px / 2), px, faint);
        return;
    }

    QPainterPath shape;
    if (compact_)
        shape.addEllipse(bounds);
    else
        shape.addRoundedRect(bounds, kScreenKeyRadius, kScreenKeyRadius);
    painter.setClipPath(shape);

    QRectF area = bounds;
    const bool labelled = !compact_ && picture_.caption && !picture_.caption->isEmpty();
    if (labelled) {
        const QFont font = labelFont();
        const QFontMetricsF metrics(font);
        const QRectF labelRect(bounds.left() + 2, bounds.bottom() - kLabelBottom - metrics.height(),
                               bounds.width() - 4, metrics.height());
        painter.setFont(font);
        painter.setPen(Qt::white);
        painter.drawText(labelRect, Qt::AlignHCenter | Qt::AlignVCenter | Qt::TextSingleLine,
                         metrics.elidedText(*picture_.caption, Qt::ElideRight, labelRect.width()));
        area = QRectF(bounds.left(), bounds.top() + kLabelTop, bounds.width(),
                      labelRect.top() - bounds.top() - kLabelTop);
    }

    if (picture_.tile) {
        const qreal tileInset = compact_ ? 4 : 5;
        const qreal radius = compact_ ? 5 : 8;
        const QRectF tile = area.adjusted(tileInset, tileInset, -tileInset, -tileInset);
        painter.setPen(Qt::NoPen);
        painter.setBrush(Qt::white);
        painter.drawRoundedRect(tile, radius, radius);
        const qreal inset = compact_ ? 3 : 5;
        IconRenderer::drawAspectFit(painter, picture_.image,
                                    tile.adjusted(inset, inset, -inset, -inset));
        return;
    }
    const qreal inset = labelled ? 0 : (compact_ ? 3 : 2);
    IconRenderer::drawAspectFit(painter, picture_.image,
                                area.adjusted(inset, inset, -inset, -inset));
}

} // namespace velloq
