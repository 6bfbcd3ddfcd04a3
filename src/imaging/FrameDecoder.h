#pragma once

#include <QImage>
#include <QString>
#include <QUrl>

#include <functional>

namespace velloq::FrameDecoder {

inline constexpr int kMaxImageFrames = 300;
// Video reading stops after this many frames; the frame then held back still follows.
inline constexpr int kMaxVideoFrames = 300;
inline constexpr double kMinVideoDelay = 0.02;
inline constexpr double kDefaultImageDelay = 0.1;
// The single-precision 0.08 used when a video has no usable frame rate.
inline constexpr double kDefaultLastVideoDelay = static_cast<double>(0.08f);

// One frame and the seconds it stays on screen. Called on the decoding thread, in order.
using FrameCallback = std::function<void(const QImage& image, double delay)>;

// Decodes the file behind `url` frame by frame, each no larger than `maxPixelSize` on its
// longer edge: "mp4", "mov" and "m4v" (any case) through the video path, everything else
// through the image path. True when the file could be read.
// Runs on the calling thread; safe on any thread.
bool decode(const QUrl& url, int maxPixelSize, const FrameCallback& each);

// Animated and still images: at most 300 frames, each no larger than `maxPixelSize` on its
// longer edge, GIF delays as the file states them (below 0.02 s: 0.1 s).
bool decodeImage(const QUrl& url, int maxPixelSize, const FrameCallback& each);

// Video frames as RGB32, upright as the stream's display matrix says, no larger than
// `maxPixelSize` on their longer edge (not positive: their own size): at most `maxFrames` + 1,
// delays from consecutive time stamps (at least 0.02 s), the last 1 / average frame rate.
bool decodeVideo(const QUrl& url, const FrameCallback& each, int maxPixelSize = 0,
                 int maxFrames = kMaxVideoFrames);

// `size` reduced so its longer edge is at most `maxPixelSize` (not positive: no limit);
// never enlarged, never below 1 x 1.
QSize limitedSize(QSize size, int maxPixelSize);

// Whether the path takes the video path.
bool isVideoPath(const QString& path);

// The delay rule for a GIF frame that states `milliseconds` (negative: none stated).
double gifFrameDelay(int milliseconds);

} // namespace velloq::FrameDecoder
