#include "e2e/TestFaces.h"

#include <QBuffer>
#include <QPainter>
#include <QRandomGenerator>
#include <QTransform>

#include <cstdlib>

namespace velloq::test {

namespace {
const QColor kQuadrants[4] = {Qt::red, Qt::green, Qt::blue, Qt::yellow};

// The mean colour of a small box, so noise pixels do not decide.
QColor meanAround(const QImage& image, int cx, int cy) {
    int r = 0, g = 0, b = 0, n = 0;
    for (int y = cy - 3; y <= cy + 3; ++y) {
        for (int x = cx - 3; x <= cx + 3; ++x) {
            const QColor c = image.pixelColor(x, y);
            r += c.red();
            g += c.green();
            b += c.blue();
            ++n;
        }
    }
    return QColor(r / n, g / n, b / n);
}

bool near(QColor a, QColor b) {
    return std::abs(a.red() - b.red()) < 70 && std::abs(a.green() - b.green()) < 70 &&
           std::abs(a.blue() - b.blue()) < 70;
}
} // namespace

QImage quadrantFace(int edge, int seed, int noise) {
    QImage image(edge, edge, QImage::Format_RGB32);
    QPainter p(&image);
    const int half = edge / 2;
    p.fillRect(0, 0, half, half, kQuadrants[0]);
    p.fillRect(half, 0, edge - half, half, kQuadrants[1]);
    p.fillRect(0, half, half, edge - half, kQuadrants[2]);
    p.fillRect(half, half, edge - half, edge - half, kQuadrants[3]);
    p.end();
    QRandomGenerator random(quint32(seed + 1));
    for (int i = 0; i < noise; ++i) {
        const int x = random.bounded(edge);
        const int y = random.bounded(edge);
        image.setPixel(x, y, qRgb(random.bounded(256), random.bounded(256), random.bounded(256)));
    }
    return image;
}

QByteArray jpeg(const QImage& image, int quality) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", quality);
    return bytes;
}

QImage rotated(const QImage& image, int degrees) {
    return degrees == 0 ? image : image.transformed(QTransform().rotate(degrees));
}

bool showsUprightQuadrants(const QImage& image) {
    if (image.isNull())
        return false;
    const int q1 = image.width() / 4;
    const int q3 = image.width() * 3 / 4;
    const int r1 = image.height() / 4;
    const int r3 = image.height() * 3 / 4;
    return near(meanAround(image, q1, r1), kQuadrants[0]) &&
           near(meanAround(image, q3, r1), kQuadrants[1]) &&
           near(meanAround(image, q1, r3), kQuadrants[2]) &&
           near(meanAround(image, q3, r3), kQuadrants[3]);
}

} // namespace velloq::test
