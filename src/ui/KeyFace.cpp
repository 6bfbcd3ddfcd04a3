#include "ui/KeyFace.h"

#include "imaging/Symbols.h"
#include "ui/AnimatedImage.h"
#include "ui/SymbolFace.h"

#include <QPainter>
#include <QPainterPath>

namespace velloq {

namespace {
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

// The marker of a toggle that is on, above an animated image or a round key's symbol (a screen
// key's drawing has its own).
class OnMarker final : public QWidget {
public:
    explicit OnMarker(QWidget* parent)
        : QWidget(parent) {
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        IconRenderer::drawOnMarker(painter, rect());
    }
};

} // namespace

KeyFace::KeyFace(QWidget* parent)
    : QWidget(parent)
    , animated_(new AnimatedImage(this))
    , symbol_(new SymbolFace(this))
    , onMarker_(new OnMarker(this)) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    animated_->hide();
    symbol_->hide();
    onMarker_->hide();
}

void KeyFace::setFace(const KeyLook& look, const QList<Snippet>& snippets, const QList<Page>& pages,
                      bool compact, int edge, bool force) {
    const ButtonAction& action = look.action;
    const std::optional<QString>& customIcon = look.image;
    // A toggle shows one side.
    std::optional<std::pair<bool, QString>> named =
        namedBy(action.toggleSide(look.on).value_or(action), snippets, pages);
    if (!force && action_ == action && customIcon_ == customIcon && on_ == look.on &&
        named_ == named && compact_ == compact && edge_ == edge)
        return;
    action_ = action;
    customIcon_ = customIcon;
    on_ = look.on;
    named_ = std::move(named);
    compact_ = compact;
    edge_ = edge;
    picture_ = IconRenderer::picture(look, snippets, pages);
    drawn_ = QImage();

    const bool animated = picture_.kind == IconRenderer::Picture::Kind::image && customIcon &&
                          !customIcon->isEmpty() && AnimatedImage::isAnimated(*customIcon);
    if (animated)
        animated_->setPath(*customIcon);
    animated_->setVisible(animated);
    // A screen key's symbol is part of the dock's drawing; a round key's stands alone.
    const bool symbol = compact && picture_.kind == IconRenderer::Picture::Kind::symbol;
    if (symbol)
        symbol_->setInfo({picture_.symbol, picture_.caption.value_or(QString())}, compact);
    symbol_->setVisible(symbol);
    onMarker_->setVisible(picture_.on && (animated || compact));
    onMarker_->raise();
    layoutChildren();
    update();
}

void KeyFace::followDock(DockController& controller, int key) {
    animated_->followDock(controller, key);
}

void KeyFace::clearFace() {
    action_.reset();
    customIcon_.reset();
    named_.reset();
    picture_ = IconRenderer::Picture::blank();
    drawn_ = QImage();
    animated_->hide();
    symbol_->hide();
    onMarker_->hide();
    update();
}

void KeyFace::resizeEvent(QResizeEvent*) {
    drawn_ = QImage();
    layoutChildren();
}

void KeyFace::layoutChildren() {
    // As the dock's animation frames: 2 % in from the edge.
    const int inset = compact_ ? 3 : qRound(0.02 * width());
    animated_->setGeometry(rect().adjusted(inset, inset, -inset, -inset));
    symbol_->setGeometry(rect());
    onMarker_->setGeometry(rect());
}

void KeyFace::paintEvent(QPaintEvent*) {
    if (!action_ || animated_->isVisible() || symbol_->isVisible())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QRectF bounds = rect();

    if (picture_.kind == IconRenderer::Picture::Kind::blank) {
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

    if (!compact_) {
        const qreal ratio = devicePixelRatioF();
        const int pixels = qRound(width() * ratio);
        if (drawn_.width() != pixels) {
            drawn_ = IconRenderer::previewImage(picture_, edge_, pixels).value_or(QImage());
            drawn_.setDevicePixelRatio(ratio);
        }
        painter.drawImage(bounds, drawn_);
        return;
    }

    // A round key has no screen: its picture is shown small, without a caption.
    if (picture_.tile) {
        const QRectF tile = bounds.adjusted(4, 4, -4, -4);
        painter.setPen(Qt::NoPen);
        painter.setBrush(Qt::white);
        painter.drawRoundedRect(tile, 5, 5);
        IconRenderer::drawAspectFit(painter, picture_.image, tile.adjusted(3, 3, -3, -3));
        return;
    }
    IconRenderer::drawAspectFit(painter, picture_.image, bounds.adjusted(3, 3, -3, -3));
}

} // namespace velloq
