#pragma once

#include "imaging/FrameSet.h"

#include <QImage>
#include <QRect>
#include <QUrl>

#include <optional>

namespace velloq::AnimationRenderer {

inline constexpr double kFrameQuality = 0.8;

// The six keys as one screen for key edge `a`: gaps of round(a / 4) between the keys stand
// for the frame between them, so the picture runs on across it.
struct ScreensaverGeometry {
    int edge = 0;
    int gap = 0;
    int width = 0;
    int height = 0;

    static ScreensaverGeometry forEdge(int edge);
    // Key i's square on the canvas, counted from the top-left: column i % 3, row i / 3.
    QRect keyRect(int index) const;
    // The image path decodes no larger than this.
    int decodeLimit() const { return 3 * width; }
};

// One key's animation: every frame aspect-fitted on the key's turned canvas, JPEG at 0.8,
// keyed 0. Nothing when the file cannot be decoded or no frame survives. Runs on the calling
// thread; meant for a worker.
std::optional<FrameSet> buttonFrames(const QUrl& url, int size, int rotation);

// One animation over all six keys: each frame aspect-filled on the unrotated canvas, cut
// into six squares, each turned on its own and encoded at 0.8. A frame keeps the tiles that
// rendered. Nothing when the file cannot be decoded or no frame survives.
std::optional<FrameSet> screensaverFrames(const QUrl& url, int size, int rotation);

// The steps for one decoded frame, exposed for tests and the benchmark.
std::optional<QByteArray> buttonTile(const QImage& frame, int size, int rotation);
// The aspect-filled W x H canvas of one frame (unrotated).
std::optional<QImage> screensaverCanvas(const QImage& frame, const ScreensaverGeometry& geometry);
// The six tiles cut from a screensaver canvas; a tile that fails is left out.
QMap<int, QByteArray> screensaverTiles(const QImage& canvas, const ScreensaverGeometry& geometry,
                                       int rotation);
// Tile `index` before encoding: the cut square turned by `rotation`.
std::optional<QImage> screensaverTileImage(const QImage& canvas,
                                           const ScreensaverGeometry& geometry, int index,
                                           int rotation);

} // namespace velloq::AnimationRenderer
