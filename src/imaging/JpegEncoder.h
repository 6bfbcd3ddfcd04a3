#pragma once

#include <QByteArray>
#include <QImage>

#include <optional>

namespace velloq::JpegEncoder {

// Quality factor 0...1 as the encoders' 0...100 scale (0.9 -> 90).
int qualityPercent(double quality);

// Baseline JPEG, 4:2:0, through TurboJPEG. `image` is converted to RGB32 when it is not
// already; the alpha byte is ignored. Absent on any failure. Safe from any thread.
std::optional<QByteArray> encode(const QImage& image, double quality);

// The same through Qt's JPEG writer; kept for the benchmark that chose TurboJPEG.
std::optional<QByteArray> encodeWithQt(const QImage& image, double quality);

} // namespace velloq::JpegEncoder
