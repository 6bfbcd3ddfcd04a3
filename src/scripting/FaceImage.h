#pragma once

#include <QImage>
#include <QString>

#include <variant>

namespace velloq {

// An image a script gives for a key face, as read on a worker thread.
struct FaceImage {
    QImage image;          // the first frame, at most kMaxEdge on its longer side; null when
                           // only checked
    bool animated = false; // more than one frame
    static constexpr int kMaxEdge = 512;
    static constexpr qint64 kMaxBytes = 64LL * 1024 * 1024;

    // Reads the file at the absolute `path`: a regular file of at most kMaxBytes in a format
    // Velloq reads. With `decode` false only its header is read. Gives a sentence naming the
    // fault otherwise. Never blocks on a pipe or a device. Safe from any thread.
    static std::variant<FaceImage, QString> read(const QString& path, bool decode);
};

} // namespace velloq
