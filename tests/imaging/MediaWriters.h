#pragma once

#include <QColor>
#include <QImage>
#include <QList>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <functional>

namespace velloq::test {

// One GIF frame: a solid colour (from a 256-entry palette) and its stated delay.
struct GifFrame {
    QColor color;
    int delayCentiseconds = 10;
    bool withControlBlock = true;
};

// One image of a GIF in full: where it lies on the screen, its own colour table if any, and
// its graphic control values. Colours are matched to the table it uses.
struct GifPart {
    QRect rect;
    QList<QColor> localColors;                 // up to 256; empty: the global 6x6x6 palette
    std::function<QColor(int x, int y)> color; // relative to the rect
    QColor transparent;                        // pixels of this colour are written transparent
    int disposal = 0;                          // 0-3 as in the file
    bool interlaced = false;
    int delayCentiseconds = 10;
};

// Writes a GIF of `parts` on a `width` x `height` screen.
bool writeGifParts(const QString& path, int width, int height, const QList<GifPart>& parts);

// Writes an animated GIF with giflib. Colours are matched to a fixed 6x6x6 palette.
bool writeGif(const QString& path, int width, int height, const QList<GifFrame>& frames);

// Writes six square GIFs into `folder`, one per screen key, each `frames` frames of 80 ms that
// blink between white and a colour of its own, looping forever; returns their paths, or
// nothing on failure.
QStringList writeBlinkingKeyGifs(const QString& folder, int edge, int frames);

// Writes pictures as GIF frames of one size, each colour matched to the same palette.
bool writeGifImages(const QString& path, const QList<QImage>& frames, int delayCentiseconds);

// Writes `count` frames from `frameAt(i)` (RGB32) as an MPEG-4 video at `fps` with FFmpeg's
// own encoder, in the container that the file name's extension picks ("mp4" when none fits),
// with `displayMatrix` (nine values as the container stores them) when one is given.
bool writeVideo(const QString& path, int width, int height, int count, int fps,
                const std::function<QImage(int)>& frameAt, const char* container = nullptr,
                const std::array<int32_t, 9>* displayMatrix = nullptr);

} // namespace velloq::test
