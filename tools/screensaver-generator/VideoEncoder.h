#pragma once

#include <QImage>
#include <QString>

#include <memory>

namespace velloq::screensavers {

// Writes QImage frames into an H.264 (or MPEG-4 part 2) MP4 file through libavformat.
class VideoEncoder {
public:
    struct Settings {
        int width = 0;
        int height = 0;
        int fps = 30;
        int crf = 23; // libx264 quality; mapped to a qscale for the fallback encoder
    };

    VideoEncoder();
    ~VideoEncoder();
    VideoEncoder(const VideoEncoder&) = delete;
    VideoEncoder& operator=(const VideoEncoder&) = delete;

    // Opens `path` for writing. On failure returns false and sets `error`.
    bool open(const QString& path, const Settings& settings, QString* error);
    // Appends one frame; it is converted to the encoder's pixel format.
    bool write(const QImage& frame, QString* error);
    // Flushes the encoder and writes the trailer.
    bool finish(QString* error);

    // Name of the codec in use, for the log.
    QString codecName() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace velloq::screensavers
