#include "ui/AnimatedImage.h"

#include "imaging/IconRenderer.h"

#include <QImageReader>
#include <QMovie>
#include <QPainter>

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
    if (isVisible())
        movie_->start();
    else
        movie_->jumpToFrame(0);
    update();
}

void AnimatedImage::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!movie_)
        return;
    if (movie_->state() == QMovie::Paused)
        movie_->setPaused(false);
    else if (movie_->state() == QMovie::NotRunning)
        movie_->start();
}

void AnimatedImage::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    if (movie_ && movie_->state() == QMovie::Running)
        movie_->setPaused(true);
}

QSize AnimatedImage::sizeHint() const {
    return movie_ ? movie_->currentImage().size() : QSize();
}

void AnimatedImage::paintEvent(QPaintEvent*) {
    if (!movie_)
        return;
    const QImage frame = movie_->currentImage();
    if (frame.isNull())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    IconRenderer::drawAspectFit(painter, frame, rect());
}

} // namespace velloq
