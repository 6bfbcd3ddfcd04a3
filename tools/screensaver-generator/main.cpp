// Draws the built-in screensavers and encodes them as MP4 loops.
//
//   velloq-screensaver-generator OUTPUT_DIR [--preview DIR]
//
// --preview also writes a few frames of each scene as PNG files, for looking at them.
#include "Scenes.h"
#include "VideoEncoder.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

extern "C" {
#include <libavutil/log.h>
}

#include <cstdio>

namespace {

using namespace velloq::screensavers;

// Twice the 64 px dock's canvas: the players crop and scale it down to their canvas.
constexpr int kScale = 2;
constexpr int kFps = 30;
constexpr qint64 kMaxBytes = 450 * 1024; // keeps each file well under 500 KB

QImage frame(const Scene& scene, int index, int count) {
    QImage canvas(kDesignSize * kScale, QImage::Format_RGB32);
    canvas.fill(Qt::black);
    scene.draw(canvas, double(index) / count);
    return canvas;
}

// The frame as the dock shows it: the bands between the keys are bezel.
QImage masked(QImage image) {
    QPainter p(&image);
    p.scale(kScale, kScale);
    const QColor bezel(40, 40, 44);
    p.fillRect(QRectF(64, 0, 16, 144), bezel);
    p.fillRect(QRectF(144, 0, 16, 144), bezel);
    p.fillRect(QRectF(0, 64, 224, 16), bezel);
    return image;
}

bool encode(const Scene& scene, const QString& path, int crf, QString* error) {
    VideoEncoder encoder;
    const VideoEncoder::Settings settings{kDesignSize.width() * kScale,
                                          kDesignSize.height() * kScale, kFps, crf};
    if (!encoder.open(path, settings, error))
        return false;
    const int count = int(scene.seconds * kFps);
    for (int i = 0; i < count; ++i) {
        if (!encoder.write(frame(scene, i, count), error))
            return false;
    }
    return encoder.finish(error);
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    av_log_set_level(AV_LOG_ERROR);
    const QStringList args = QCoreApplication::arguments().mid(1);
    if (args.isEmpty() || args.size() == 2 || (args.size() == 3 && args[1] != "--preview")) {
        std::fprintf(stderr, "usage: velloq-screensaver-generator OUTPUT_DIR [--preview DIR]\n");
        return 2;
    }
    const QDir output(args[0]);
    const QString preview = args.size() == 3 ? args[2] : QString();
    if (!QDir().mkpath(output.path()) || (!preview.isEmpty() && !QDir().mkpath(preview))) {
        std::fprintf(stderr, "cannot create the output folders\n");
        return 1;
    }

    for (const Scene& scene : scenes()) {
        const QString path = output.filePath(scene.name + QStringLiteral(".mp4"));
        const int count = int(scene.seconds * kFps);
        if (!preview.isEmpty()) {
            for (const int i : {0, count / 4, count / 2, 3 * count / 4, count - 1}) {
                const QString png = QStringLiteral("%1/%2-%3.png")
                                        .arg(preview, scene.name)
                                        .arg(i, 3, 10, QLatin1Char('0'));
                frame(scene, i, count).save(png);
                masked(frame(scene, i, count)).save(png.chopped(4) + QStringLiteral("-keys.png"));
            }
        }
        // Raise the quantiser until the file fits the size budget.
        for (int crf = 22;; crf += 2) {
            QString error;
            if (!encode(scene, path, crf, &error)) {
                std::fprintf(stderr, "%s: %s\n", qPrintable(path), qPrintable(error));
                return 1;
            }
            const qint64 size = QFileInfo(path).size();
            if (size <= kMaxBytes || crf >= 40) {
                std::printf("%s: %d frames, %.1f s, crf %d, %lld bytes\n", qPrintable(path), count,
                            scene.seconds, crf, static_cast<long long>(size));
                break;
            }
        }
    }
    return 0;
}
