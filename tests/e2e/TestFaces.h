#pragma once

#include <QByteArray>
#include <QColor>
#include <QImage>

namespace velloq::test {

// An upright face with four differently coloured quadrants (red, green / blue, yellow, top
// row first) and a little noise from `seed`, so images differ and span several reports.
QImage quadrantFace(int edge, int seed = 0, int noise = 0);
QByteArray jpeg(const QImage& image, int quality = 90);
// `image` turned clockwise by `degrees`, as Velloq sends faces.
QImage rotated(const QImage& image, int degrees);
// True when the image shows quadrantFace's colours in the upright places.
bool showsUprightQuadrants(const QImage& image);

} // namespace velloq::test
