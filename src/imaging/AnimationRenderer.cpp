#include "imaging/AnimationRenderer.h"

#include "imaging/FrameDecoder.h"
#include "imaging/IconRenderer.h"
#include "imaging/JpegEncoder.h"

#include <QPainter>
#include <QTransform>

#include <cmath>

namespace velloq::AnimationRenderer {

ScreensaverGeometry ScreensaverGeometry::forEdge(int edge) {
    ScreensaverGeometry g;
    g.edge = edge;
    g.gap = static_cast<int>(std::lround(edge * 0.25)); // halves away from zero
    g.width = 3 * edge + 2 * g.gap;
    g.height = 2 * edge + g.gap;
    return g;
}

QRect ScreensaverGeometry::keyRect(int index) const {
    const int column = index % 3;
    const int row = index / 3;
    return {column * (edge + gap), row * (edge + gap), edge, edge};
}

std::optional<QByteArray> buttonTile(const QImage& frame, int size, int rotation) {
    return IconRenderer::jpeg(
        size, rotation, kFrameQuality, [&](QPainter& painter, const QRectF& rect) {
            const qreal dx = rect.width() * 0.02;
            const qreal dy = rect.height() * 0.02;
            IconRenderer::drawAspectFit(painter, frame, rect.adjusted(dx, dy, -dx, -dy));
        });
}

std::optional<FrameSet> buttonFrames(const QUrl& url, int size, int rotation) {
    FrameSet set;
    const bool read = FrameDecoder::decode(url, 2 * size, [&](const QImage& frame, double delay) {
        const auto bytes = buttonTile(frame, size, rotation);
        if (!bytes) {
            return; // a frame that fails is dropped with its delay
        }
        set.tiles.append(QMap<int, QByteArray>{{0, *bytes}});
        set.delays.append(delay);
    });
    if (!read || set.isEmpty()) {
        return std::nullopt;
    }
    return set;
}

std::optional<QImage> screensaverCanvas(const QImage& frame, const ScreensaverGeometry& geometry) {
    QImage canvas(geometry.width, geometry.height, QImage::Format_RGB32);
    if (canvas.isNull()) {
        return std::nullopt;
    }
    canvas.fill(Qt::black);
    QPainter painter(&canvas);
    if (!painter.isActive()) {
        return std::nullopt;
    }
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QRectF whole(0, 0, geometry.width, geometry.height);
    if (frame.width() <= 0 || frame.height() <= 0) {
        painter.drawImage(whole, frame);
        return canvas;
    }
    const qreal scale = std::max(whole.width() / frame.width(), whole.height() / frame.height());
    const QSizeF drawn(frame.width() * scale, frame.height() * scale);
    const QRectF target((whole.width() - drawn.width()) / 2, (whole.height() - drawn.height()) / 2,
                        drawn.width(), drawn.height());
    if (scale < 0.66) {
        // Reduce by area averaging first; bilinear drawing aliases on a large reduction.
        const QImage reduced = frame.scaled(static_cast<int>(std::ceil(drawn.width())),
                                            static_cast<int>(std::ceil(drawn.height())),
                                            Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        painter.drawImage(target, reduced);
    } else {
        painter.drawImage(target, frame);
    }
    painter.end();
    return canvas;
}

std::optional<QImage> screensaverTileImage(const QImage& canvas,
                                           const ScreensaverGeometry& geometry, int index,
                                           int rotation) {
    const QRect cut = geometry.keyRect(index);
    if (!canvas.rect().contains(cut)) {
        return std::nullopt;
    }
    const int turn = ((rotation % 360) + 360) % 360;
    if (turn % 90 == 0) {
        // Quarter turns are exact pixel moves; no need to paint.
        QImage square = canvas.copy(cut);
        if (square.isNull()) {
            return std::nullopt;
        }
        if (turn != 0) {
            square = square.transformed(QTransform().rotate(turn));
        }
        return square.isNull() ? std::nullopt : std::optional<QImage>(square);
    }
    return IconRenderer::canvas(geometry.edge, rotation,
                                [&](QPainter& painter, const QRectF& rect) {
                                    painter.drawImage(rect, canvas, QRectF(cut));
                                });
}

QMap<int, QByteArray> screensaverTiles(const QImage& canvas, const ScreensaverGeometry& geometry,
                                       int rotation) {
    QMap<int, QByteArray> tiles;
    for (int index = 0; index < 6; ++index) {
        const auto image = screensaverTileImage(canvas, geometry, index, rotation);
        if (!image) {
            continue;
        }
        if (const auto bytes = JpegEncoder::encode(*image, kFrameQuality)) {
            tiles.insert(index, *bytes);
        }
    }
    return tiles;
}

std::optional<FrameSet> screensaverFrames(const QUrl& url, int size, int rotation) {
    const ScreensaverGeometry geometry = ScreensaverGeometry::forEdge(size);
    FrameSet set;
    const bool read =
        FrameDecoder::decode(url, geometry.decodeLimit(), [&](const QImage& frame, double delay) {
            const auto canvas = screensaverCanvas(frame, geometry);
            if (!canvas) {
                return;
            }
            // Kept even when some tiles failed: the others still play.
            set.tiles.append(screensaverTiles(*canvas, geometry, rotation));
            set.delays.append(delay);
        });
    if (!read || set.isEmpty()) {
        return std::nullopt;
    }
    return set;
}

} // namespace velloq::AnimationRenderer
