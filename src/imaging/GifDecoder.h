#pragma once

#include <QIODevice>
#include <QImage>
#include <QString>

#include <functional>

namespace velloq::GifDecoder {

// One composed frame: the picture as it shows after image `index` of the file, and the
// delay that image's control block states in milliseconds (-1 when it has none).
using FrameCallback = std::function<void(const QImage& frame, int index, int statedDelayMs)>;

// Whether the file starts like a GIF.
bool isGif(const QString& path);

// Decodes a GIF line by line straight into a canvas whose longer edge is at most
// `maxPixelSize` (the full size when that is not positive or the picture is smaller), so the
// full-size picture never exists in memory. Frames are composed as browsers show them
// (disposal, transparency, interlacing, local colour tables) and handed out one at a time as
// ARGB32_Premultiplied. An image that fails to decode is skipped and decoding goes on with
// the next; at most `maxImages` images of the file are read. False when the file cannot be
// opened as a GIF or holds no image.
bool decode(const QString& path, int maxPixelSize, int maxImages, const FrameCallback& each);

// The same from an open, seekable device (an image that fails is stepped past by reading
// again from the start).
bool decode(QIODevice& device, int maxPixelSize, int maxImages, const FrameCallback& each);

} // namespace velloq::GifDecoder
