#include "hud/HUD.h"

#include "imaging/Symbols.h"

#include <QCursor>
#include <QFont>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace velloq {

namespace {

constexpr double frameSeconds = 1.0 / 60;
constexpr double levelAnimationSeconds = 0.12;
constexpr double padding = 16;
constexpr double stackSpacing = 9;
constexpr double rowSpacing = 10;
constexpr double symbolWidth = 20;
constexpr double barHeight = 16;
constexpr double trackHeight = 6;
constexpr double knobSize = 16;

const QColor background(30, 30, 32, 224);
const QColor primary(255, 255, 255);

QFont titleFont() {
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPixelSize(13);
    font.setWeight(QFont::DemiBold);
    return font;
}

QColor withAlpha(QColor color, double alpha) {
    color.setAlphaF(float(alpha));
    return color;
}

void drawCapsule(QPainter& painter, const QRectF& rect, const QColor& color) {
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    painter.drawRoundedRect(rect, rect.height() / 2, rect.height() / 2);
}

void paintBar(QPainter& painter, const QRectF& bar, double value, bool dimmed) {
    const double v = std::clamp(std::isnan(value) ? 0.0 : value, 0.0, 1.0);
    const double fill = v * std::max(bar.width() - knobSize, 0.0);
    const double trackTop = bar.center().y() - trackHeight / 2;
    drawCapsule(painter, QRectF(bar.left(), trackTop, bar.width(), trackHeight),
                withAlpha(primary, 0.15));
    drawCapsule(painter, QRectF(bar.left(), trackTop, fill + 8, trackHeight),
                withAlpha(primary, dimmed ? 0.25 : 0.85));
    const QRectF knob(bar.left() + fill, bar.top(), knobSize, knobSize);
    // A soft shadow: black at 0.25, radius 1.5, half a point down.
    for (int ring = 3; ring >= 1; --ring) {
        const double grow = 1.5 * ring / 3;
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0, 0, 0, int(255 * 0.25 / 3)));
        painter.drawEllipse(knob.translated(0, 0.5).adjusted(-grow, -grow, grow, grow));
    }
    painter.setBrush(Qt::white);
    painter.drawEllipse(knob);
}

// The panel: paints the indicator, takes no focus and no input.
class HudPanel final : public QWidget {
public:
    HudPanel(const HUDModel& model, const SymbolPainter& drawSymbol, const double& shownLevel)
        : QWidget(nullptr, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                               Qt::WindowDoesNotAcceptFocus | Qt::WindowTransparentForInput |
                               Qt::NoDropShadowWindowHint)
        , model_(model)
        , drawSymbol_(drawSymbol)
        , shownLevel_(shownLevel) {
        setAttribute(Qt::WA_TranslucentBackground);
        setAttribute(Qt::WA_ShowWithoutActivating);
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setFocusPolicy(Qt::NoFocus);
        setFixedSize(HUD::size);
        setWindowTitle(QStringLiteral("Velloq indicator"));
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        HUDModel shown = model_;
        if (shown.value)
            shown.value = shownLevel_;
        HUD::paint(painter, shown, drawSymbol_);
    }

private:
    const HUDModel& model_;
    const SymbolPainter& drawSymbol_;
    const double& shownLevel_;
};

} // namespace

HUD::HUD(SymbolPainter drawSymbol, Scheduler* scheduler)
    : ownScheduler_(scheduler ? nullptr : std::make_unique<QtScheduler>())
    , scheduler_(scheduler ? *scheduler : *ownScheduler_)
    , drawSymbol_(drawSymbol ? std::move(drawSymbol) : materialSymbol) {
}

void HUD::materialSymbol(QPainter& painter, const QRectF& box, const QString& symbol,
                         const QColor& color) {
    constexpr qreal pixelSize = 13;
    const QSizeF natural = Symbols::naturalSize(pixelSize);
    const QPointF topLeft(box.center().x() - natural.width() / 2,
                          box.center().y() - natural.height() / 2);
    Symbols::draw(painter, symbol, topLeft, pixelSize, color);
}

HUD::~HUD() {
    *alive_ = false;
    delete panel_.data();
}

QWidget* HUD::panel() const {
    return panel_.data();
}

double HUD::opacity() const {
    return isOnScreen_ ? opacity_ : 0.0;
}

void HUD::paint(QPainter& painter, const HUDModel& model, const SymbolPainter& drawSymbol) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    const QRectF panel(QPointF(0, 0), QSizeF(size));
    painter.setPen(Qt::NoPen);
    painter.setBrush(background);
    painter.drawRoundedRect(panel, cornerRadius, cornerRadius);

    const QFont font = titleFont();
    const QFontMetricsF metrics(font);
    const double titleHeight = metrics.height();
    const double contentHeight = titleHeight + stackSpacing + barHeight;
    const double top = (panel.height() - contentHeight) / 2;
    const double width = panel.width() - 2 * padding;

    painter.setFont(font);
    painter.setPen(primary);
    const QRectF titleRect(padding, top, width, titleHeight);
    painter.drawText(titleRect, Qt::AlignLeft | Qt::AlignVCenter,
                     metrics.elidedText(model.title, Qt::ElideRight, width));

    const double rowTop = top + titleHeight + stackSpacing;
    const QRectF symbolBox(padding, rowTop, symbolWidth, barHeight);
    if (drawSymbol)
        drawSymbol(painter, symbolBox, model.symbol, primary);
    const double barLeft = symbolBox.right() + rowSpacing;
    paintBar(painter, QRectF(barLeft, rowTop, panel.width() - padding - barLeft, barHeight),
             model.value.value_or(0.0), !model.value.has_value());
    painter.restore();
}

void HUD::ensurePanel() {
    if (panel_)
        return;
    panel_ = new HudPanel(model_, drawSymbol_, levelShown_);
}

void HUD::show(const QString& symbol, const QString& title, std::optional<double> value) {
    const double now = scheduler_.now();
    // The bar eases to the new level over 0.12 s.
    const double target = value.value_or(0.0);
    if (model_.value && value && isOnScreen_) {
        levelFrom_ = levelShown_;
        levelStart_ = now;
        levelAnimating_ = true;
    } else {
        levelShown_ = target;
        levelAnimating_ = false;
    }
    levelTo_ = target;
    model_.symbol = symbol;
    model_.title = title;
    model_.value = value;

    ensurePanel();
    ++generation_;

    if (isOnScreen_) {
        // Cuts a fade-out short; the panel stays where it is.
        fade_ = Fade::none;
        opacity_ = 1;
        panel_->setWindowOpacity(1);
    } else {
        isOnScreen_ = true;
        position();
        opacity_ = 0;
        panel_->setWindowOpacity(0);
        panel_->show();
        panel_->raise();
        fade_ = Fade::in;
        fadeStart_ = now;
    }
    panel_->update();
    startFrames();

    const int generation = generation_;
    std::weak_ptr<bool> alive = alive_;
    scheduler_.schedule(holdSeconds, [this, alive, generation] {
        if (!alive.expired() && *alive.lock())
            fadeOut(generation);
    });
}

void HUD::position() {
    QScreen* screen = QGuiApplication::screenAt(QCursor::pos());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect visible = screen->availableGeometry();
    panel_->move(visible.x() + visible.width() - size.width() - 10, visible.y() + 8);
}

void HUD::startFrames() {
    if (framesRunning_ || (fade_ == Fade::none && !levelAnimating_))
        return;
    framesRunning_ = true;
    std::weak_ptr<bool> alive = alive_;
    scheduler_.schedule(frameSeconds, [this, alive] {
        if (!alive.expired() && *alive.lock())
            frame();
    });
}

void HUD::frame() {
    framesRunning_ = false;
    if (!panel_)
        return;
    const double now = scheduler_.now();
    if (fade_ == Fade::in) {
        const double t = (now - fadeStart_) / fadeInSeconds;
        opacity_ = std::clamp(t, 0.0, 1.0);
        if (t >= 1)
            fade_ = Fade::none;
    } else if (fade_ == Fade::out) {
        const double t = std::clamp((now - fadeStart_) / fadeOutSeconds, 0.0, 1.0);
        opacity_ = fadeFrom_ * (1 - t);
        if (t >= 1)
            fade_ = Fade::none;
    }
    panel_->setWindowOpacity(opacity_);
    if (levelAnimating_) {
        const double t = std::clamp((now - levelStart_) / levelAnimationSeconds, 0.0, 1.0);
        const double eased = 1 - (1 - t) * (1 - t); // ease-out
        levelShown_ = levelFrom_ + (levelTo_ - levelFrom_) * eased;
        if (t >= 1)
            levelAnimating_ = false;
        panel_->update();
    }
    startFrames();
}

void HUD::fadeOut(int generation) {
    if (!panel_ || generation != generation_)
        return;
    fade_ = Fade::out;
    fadeStart_ = scheduler_.now();
    fadeFrom_ = opacity_;
    startFrames();
    std::weak_ptr<bool> alive = alive_;
    scheduler_.schedule(fadeOutSeconds, [this, alive, generation] {
        if (!alive.expired() && *alive.lock())
            finishFadeOut(generation);
    });
}

void HUD::finishFadeOut(int generation) {
    if (!panel_ || generation != generation_)
        return;
    fade_ = Fade::none;
    opacity_ = 0;
    panel_->setWindowOpacity(0);
    panel_->hide();
    isOnScreen_ = false;
}

} // namespace velloq
