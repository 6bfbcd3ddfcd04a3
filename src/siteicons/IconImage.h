#pragma once

#include <QByteArray>
#include <QImage>

#include <optional>

namespace velloq {

// A downloaded icon that decodes, with the width that ranks it among the candidates.
struct IconImage {
    QImage image;  // the widest representation, ready to draw
    int width = 0; // pixels; for an ICO the widest entry, for an SVG its declared width
};

// Decodes icon bytes in any format Qt reads (ICO, PNG, JPEG, GIF, SVG, WebP ...).
// Gives nothing when no image can be read. Safe on any thread.
std::optional<IconImage> decodeIconImage(const QByteArray& data);

} // namespace velloq
