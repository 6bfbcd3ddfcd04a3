#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>

namespace velloq {

// Frames ready to send: each frame maps key index -> JPEG bytes, with a parallel list of
// seconds per frame. A button animation holds key 0 only; a screensaver holds keys 0-5
// (a frame may lack a key whose tile failed to render).
struct FrameSet {
    QList<QMap<int, QByteArray>> tiles;
    QList<double> delays;

    qsizetype count() const { return tiles.size(); }
    bool isEmpty() const { return tiles.isEmpty(); }
};

} // namespace velloq
