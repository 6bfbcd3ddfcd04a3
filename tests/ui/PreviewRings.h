#pragma once

// Which elements of the dock preview show a ring (selected, focused or drop target), read from
// their pixels: the ring is drawn in the accent colour in the room above the face.

#include "controller/Selection.h"
#include "ui/DeviceMockView.h"

#include <QImage>
#include <QList>
#include <QWidget>

#include <cmath>
#include <cstdlib>

namespace velloq::test {

inline bool showsRing(QWidget* element) {
    const QImage image = element->grab().toImage();
    const QColor accent = element->palette().color(QPalette::Highlight);
    const qreal ratio = image.devicePixelRatio();
    const int middle = image.width() / 2;
    const int reach = int(std::lround(4 * ratio));
    int hits = 0;
    for (int y = 0; y < reach; ++y) {
        for (int x = middle - reach; x <= middle + reach; ++x) {
            const QColor c = image.pixelColor(x, y);
            const int distance = std::abs(c.red() - accent.red()) +
                                 std::abs(c.green() - accent.green()) +
                                 std::abs(c.blue() - accent.blue());
            hits += distance < 60 ? 1 : 0;
        }
    }
    return hits >= 3;
}

// The elements (keys 0-8, knobs 0-2) that show a ring.
inline QList<Selection> ringed(const DeviceMockView& preview) {
    QList<Selection> shown;
    for (int index = 0; index < 9; ++index) {
        if (showsRing(preview.element(Selection::key(index))))
            shown << Selection::key(index);
    }
    for (int index = 0; index < 3; ++index) {
        if (showsRing(preview.element(Selection::knob(index))))
            shown << Selection::knob(index);
    }
    return shown;
}

} // namespace velloq::test
