#pragma once

#include <QImage>
#include <QList>
#include <QSize>
#include <QString>

namespace velloq::screensavers {

// One built-in screensaver: a picture that is a pure function of the loop phase, so the
// last frame runs seamlessly into the first.
struct Scene {
    QString name;                               // also the file name, without ".mp4"
    double seconds;                             // length of one loop
    void (*draw)(QImage& canvas, double phase); // phase in [0, 1)
};

// The scenes are drawn in a 224 x 144 design space: the six keys of a 64 px dock with the
// 16 px frame between them (keys at x 0, 80, 160 and y 0, 80), so the important shapes can
// be kept on the keys rather than in the bands between them.
inline constexpr QSize kDesignSize{224, 144};

QList<Scene> scenes();

} // namespace velloq::screensavers
