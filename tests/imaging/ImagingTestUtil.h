#pragma once

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QRect>

#include <functional>

namespace velloq::test {

inline QImage decodeJpeg(const QByteArray& bytes) {
    QImage image;
    image.loadFromData(bytes, "JPEG");
    return image.convertToFormat(QImage::Format_RGB32);
}

// The bounding box of the pixels that `match` accepts; empty when none does.
inline QRect boundingBox(const QImage& image, const std::function<bool(QColor)>& match) {
    QRect box;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (match(image.pixelColor(x, y))) {
                box |= QRect(x, y, 1, 1);
            }
        }
    }
    return box;
}

inline bool isBright(QColor c) {
    return c.red() + c.green() + c.blue() > 3 * 128;
}

} // namespace velloq::test
