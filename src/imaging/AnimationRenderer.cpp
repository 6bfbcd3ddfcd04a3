#include "imaging/AnimationRenderer.h"

#include "imaging/FrameDecoder.h"
#include "imaging/IconRenderer.h"
#include "imaging/JpegEncoder.h"

#include <QPainter>
#include <QTransform>

#include <cmath>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>

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
    if (scale < 0.5) {
        // Reduce by area averaging first; bilinear drawing aliases below half size.
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

namespace {

// Where the key square `cut` of a W x H canvas lands once the canvas is turned clockwise by
// `turn` (0, 90, 180 or 270) degrees.
QRect turnedRect(const QRect& cut, int turn, int width, int height) {
    const int a = cut.width();
    switch (turn) {
    case 90:
        return {height - cut.y() - a, cut.x(), a, a};
    case 180:
        return {width - cut.x() - a, height - cut.y() - a, a, a};
    case 270:
        return {cut.y(), width - cut.x() - a, a, a};
    default:
        return cut;
    }
}

} // namespace

QMap<int, QByteArray> screensaverTiles(const QImage& canvas, const ScreensaverGeometry& geometry,
                                       int rotation) {
    QMap<int, QByteArray> tiles;
    const int turn = ((rotation % 360) + 360) % 360;
    if (turn % 90 == 0 && canvas.format() == QImage::Format_RGB32) {
        // Turning each square on its own equals turning the canvas once and cutting the
        // squares where they landed; the cuts are then views, not copies.
        const QImage turned = turn == 0 ? canvas : canvas.transformed(QTransform().rotate(turn));
        for (int index = 0; index < 6; ++index) {
            const QRect cut =
                turnedRect(geometry.keyRect(index), turn, canvas.width(), canvas.height());
            if (turned.isNull() || !turned.rect().contains(cut)) {
                continue;
            }
            const QImage view(turned.constScanLine(cut.y()) + 4 * cut.x(), cut.width(),
                              cut.height(), turned.bytesPerLine(), QImage::Format_RGB32);
            if (const auto bytes = JpegEncoder::encode(view, kFrameQuality)) {
                tiles.insert(index, *bytes);
            }
        }
        return tiles;
    }
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

namespace {

// Renders screensaver frames on a second thread while the decoder reads the next ones, so a
// load costs about the larger of decoding and rendering instead of their sum. At most
// kDepth decoded frames wait; frames are rendered and appended in file order.
class RenderPipeline {
public:
    static constexpr size_t kDepth = 2;

    explicit RenderPipeline(const ScreensaverGeometry& geometry, int rotation)
        : geometry_(geometry)
        , rotation_(rotation)
        , worker_([this] { run(); }) {}

    RenderPipeline(const RenderPipeline&) = delete;
    RenderPipeline& operator=(const RenderPipeline&) = delete;

    ~RenderPipeline() { finish(); }

    void push(const QImage& frame, double delay) {
        std::unique_lock lock(mutex_);
        space_.wait(lock, [this] { return waiting_.size() < kDepth; });
        waiting_.emplace_back(frame, delay);
        ready_.notify_one();
    }

    // Waits until every pushed frame is rendered; the set is then complete.
    FrameSet finish() {
        {
            std::lock_guard lock(mutex_);
            done_ = true;
            ready_.notify_one();
        }
        if (worker_.joinable()) {
            worker_.join();
        }
        return std::move(set_);
    }

private:
    void run() {
        for (;;) {
            std::pair<QImage, double> next;
            {
                std::unique_lock lock(mutex_);
                ready_.wait(lock, [this] { return !waiting_.empty() || done_; });
                if (waiting_.empty()) {
                    return;
                }
                next = std::move(waiting_.front());
                waiting_.pop_front();
                space_.notify_one();
            }
            const auto canvas = screensaverCanvas(next.first, geometry_);
            next.first = QImage();
            if (!canvas) {
                continue; // dropped with its delay
            }
            // Kept even when some tiles failed: the others still play.
            set_.tiles.append(screensaverTiles(*canvas, geometry_, rotation_));
            set_.delays.append(next.second);
        }
    }

    const ScreensaverGeometry geometry_;
    const int rotation_;
    std::mutex mutex_;
    std::condition_variable ready_;
    std::condition_variable space_;
    std::deque<std::pair<QImage, double>> waiting_;
    bool done_ = false;
    FrameSet set_;       // written by the worker only, read after it joined
    std::thread worker_; // last: starts once everything above exists
};

} // namespace

std::optional<FrameSet> screensaverFrames(const QUrl& url, int size, int rotation) {
    const ScreensaverGeometry geometry = ScreensaverGeometry::forEdge(size);
    RenderPipeline pipeline(geometry, rotation);
    const bool read =
        FrameDecoder::decode(url, geometry.decodeLimit(), [&](const QImage& frame, double delay) {
            pipeline.push(frame, delay);
        });
    FrameSet set = pipeline.finish();
    if (!read || set.isEmpty()) {
        return std::nullopt;
    }
    return set;
}

} // namespace velloq::AnimationRenderer
