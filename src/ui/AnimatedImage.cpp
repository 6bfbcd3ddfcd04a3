#include "ui/AnimatedImage.h"

#include "controller/DockController.h"
#include "imaging/IconRenderer.h"

#include <QImageReader>
#include <QMovie>
#include <QPaintEngine>
#include <QPainter>
#include <QTransform>

#include <algorithm>

namespace velloq {

AnimatedImage::AnimatedImage(QWidget* parent)
    : QWidget(parent) {
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

AnimatedImage::~AnimatedImage() = default;

bool AnimatedImage::isAnimated(const QString& path) {
    QImageReader reader(path);
    return reader.supportsAnimation() && reader.imageCount() > 1;
}

void AnimatedImage::setPath(const QString& path) {
    if (path == path_ && movie_)
        return;
    path_ = path;
    delete movie_;
    movie_ = new QMovie(path, QByteArray(), this);
    connect(movie_, &QMovie::frameChanged, this, [this] { update(); });
    decoded_.clear();
    shown_.reset();
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    if (isVisible())
        syncWithDock();
    if (isVisible() && !shown_)
        movie_->start();
    else
        movie_->jumpToFrame(0);
    update();
}

void AnimatedImage::followDock(DockController& controller, int key) {
    unlink();
    controller_ = &controller;
    key_ = key;
    if (isVisible()) {
        link();
        syncWithDock();
    }
}

void AnimatedImage::link() {
    unlink();
    if (!controller_)
        return;
    AnimationEngine& engine = controller_->animations();
    dockLinks_ << connect(&engine, &AnimationEngine::keyFramesChanged, this,
                          &AnimatedImage::syncWithDock)
               << connect(controller_, &DockController::isConnectedChanged, this,
                          &AnimatedImage::syncWithDock);
}

void AnimatedImage::unlink() {
    for (const QMetaObject::Connection& link : std::as_const(dockLinks_))
        disconnect(link);
    dockLinks_.clear();
}

std::optional<int> AnimatedImage::dockFrame() const {
    return shown_ ? std::optional<int>(shown_->frame) : std::nullopt;
}

bool AnimatedImage::dockHoldsKeys() const {
    return controller_ && controller_->isConnected() &&
           controller_->animations().screensaverActive();
}

void AnimatedImage::playIfShown() {
    if (!movie_ || shown_ || !isVisible() || dockHoldsKeys())
        return;
    if (movie_->state() == QMovie::Paused)
        movie_->setPaused(false);
    else if (movie_->state() == QMovie::NotRunning)
        movie_->start();
}

void AnimatedImage::syncWithDock() {
    std::optional<AnimationEngine::ShownFrame> shown;
    if (controller_ && movie_)
        shown = controller_->animations().shownFrame(key_);
    if (shown && shown->path != path_)
        shown.reset();
    if (!shown && dockHoldsKeys()) {
        if (movie_ && movie_->state() == QMovie::Running)
            movie_->setPaused(true);
        return;
    }
    if (!shown) {
        if (shown_) {
            shown_.reset();
            decoded_.clear();
            setAttribute(Qt::WA_OpaquePaintEvent, false);
            playIfShown();
            update();
        }
        return;
    }
    if (movie_->state() == QMovie::Running)
        movie_->setPaused(true);
    const bool changed = !shown_ || shown_->frame != shown->frame ||
                         shown_->tile.constData() != shown->tile.constData();
    shown_ = std::move(shown);
    if (changed)
        showDockFrame();
}

void AnimatedImage::showDockFrame() {
    const bool opaque = dockImage().format() == QImage::Format_RGB32;
    if (opaque != testAttribute(Qt::WA_OpaquePaintEvent)) {
        setAttribute(Qt::WA_OpaquePaintEvent, opaque);
        if (!opaque && parentWidget())
            parentWidget()->update(geometry()); // what lay behind shows again
    }
    update();
}

void AnimatedImage::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    ratio_ = devicePixelRatioF();
    // Linked only while shown, so a closed window costs nothing.
    link();
    syncWithDock();
    playIfShown();
}

void AnimatedImage::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    unlink();
    if (movie_ && movie_->state() == QMovie::Running)
        movie_->setPaused(true);
}

const QImage& AnimatedImage::dockImage() {
    Decoded& entry = decoded_[shown_->frame];
    const QSize pixels = (QSizeF(size()) * ratio_).toSize();
    if (entry.tile.constData() == shown_->tile.constData() && entry.image.size() == pixels &&
        entry.image.devicePixelRatio() == ratio_)
        return entry.image;
    QImage tile = QImage::fromData(shown_->tile, "JPEG");
    if (shown_->rotation % 360 != 0)
        tile = tile.transformed(QTransform().rotate(-shown_->rotation));
    // The dock's frames keep 2 % free at the edge, as this widget's place in its key does.
    const int dx = qRound(tile.width() * 0.02);
    const int dy = qRound(tile.height() * 0.02);
    tile = tile.copy(tile.rect().adjusted(dx, dy, -dx, -dy));

    QImage drawn(pixels, QImage::Format_ARGB32_Premultiplied);
    drawn.setDevicePixelRatio(ratio_);
    drawn.fill(Qt::transparent);
    {
        QPainter painter(&drawn);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        IconRenderer::drawAspectFit(painter, tile, rect());
    }
    // Opaque through and through, it is painted without blending and covers what lies behind.
    bool opaque = !pixels.isEmpty();
    for (int y = 0; opaque && y < drawn.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(drawn.constScanLine(y));
        opaque = std::all_of(line, line + drawn.width(), [](QRgb p) { return qAlpha(p) == 255; });
    }
    if (opaque)
        drawn = std::move(drawn).convertToFormat(QImage::Format_RGB32);
    entry = {shown_->tile, std::move(drawn)};
    return entry.image;
}

QSize AnimatedImage::sizeHint() const {
    return movie_ ? movie_->currentImage().size() : QSize();
}

void AnimatedImage::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (shown_)
        showDockFrame();
}

void AnimatedImage::paintEvent(QPaintEvent*) {
    if (!movie_)
        return;
    if (shown_) {
        QPainter painter(this);
        // What is painted on, the window's or a grab's: its pixel ratio is cheap to ask.
        ratio_ = painter.paintEngine()->paintDevice()->devicePixelRatioF();
        const QImage& frame = dockImage();
        painter.drawImage(QPointF(), frame);
        // Remade for another pixel ratio, it may no longer cover the widget.
        if (testAttribute(Qt::WA_OpaquePaintEvent) && frame.format() != QImage::Format_RGB32)
            showDockFrame();
        return;
    }
    const QImage frame = movie_->currentImage();
    if (frame.isNull())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    IconRenderer::drawAspectFit(painter, frame, rect());
}

} // namespace velloq
