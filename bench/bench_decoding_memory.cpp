// Peak memory of decoding large media at the screensaver's decode limit: a 5000 x 5000 and a
// 10000 x 10000 GIF and a 4K clip. Each figure is the rise of the peak resident set over the
// resident set just before, against the 100 MB target.
#include "MediaWriters.h"
#include "imaging/AnimationRenderer.h"
#include "imaging/FrameDecoder.h"

#include <QFile>
#include <QGuiApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QTemporaryDir>

#include <cstdio>
#include <malloc.h>

using namespace velloq;

namespace {

constexpr double kTargetMiB = 100;

// A field of /proc/self/status in MiB.
double statusMiB(const char* field) {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) {
        return -1;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(field)) {
            return line.mid(static_cast<qsizetype>(qstrlen(field)))
                       .trimmed()
                       .split(' ')[0]
                       .toDouble() /
                   1024;
        }
    }
    return -1;
}

// Starts a new peak: the resident set's high-water mark is reset to what is resident now.
bool resetPeak() {
    malloc_trim(0);
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    return clear.open(QIODevice::WriteOnly) && clear.write("5") == 1;
}

void measure(const char* what, const QString& path) {
    const auto geometry = AnimationRenderer::ScreensaverGeometry::forEdge(64);
    if (!resetPeak()) {
        std::printf("%s: cannot reset the peak (needs /proc/self/clear_refs)\n", what);
        return;
    }
    const double idle = statusMiB("VmRSS:");
    int frames = 0;
    const bool read = FrameDecoder::decode(QUrl::fromLocalFile(path), geometry.decodeLimit(),
                                           [&](const QImage&, double) { ++frames; });
    const double rise = statusMiB("VmHWM:") - idle;
    std::printf("%-40s peak %7.1f MiB above idle (%s, %d frames)  target %.0f MiB  ratio %.2f\n",
                what, rise, read ? "read" : "not read", frames, kTargetMiB, rise / kTargetMiB);
}

QImage gradient(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient fill(0, 0, width, height);
    fill.setColorAt(0, QColor(20, 40, 120));
    fill.setColorAt(1, QColor(240, 160, 60));
    painter.fillRect(image.rect(), fill);
    painter.end();
    return image;
}

} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    QTemporaryDir dir;
    if (!dir.isValid()) {
        return 1;
    }
    const QString gif5k = dir.filePath(QStringLiteral("5000.gif"));
    const QString gif10k = dir.filePath(QStringLiteral("10000.gif"));
    const QString clip = dir.filePath(QStringLiteral("4k.mp4"));
    const QList<test::GifFrame> twoFrames = {{Qt::red, 10}, {Qt::blue, 10}};
    bool written = test::writeGif(gif5k, 5000, 5000, twoFrames) &&
                   test::writeGif(gif10k, 10000, 10000, twoFrames);
    {
        const QImage frame = gradient(3840, 2160);
        written = written && test::writeVideo(clip, 3840, 2160, 20, 25, [&](int) { return frame; });
    }
    if (!written) {
        std::printf("could not write the test media\n");
        return 1;
    }
    measure("GIF 5000 x 5000, 2 frames", gif5k);
    measure("GIF 10000 x 10000, 2 frames", gif10k);
    measure("MP4 3840 x 2160, 20 frames", clip);
    return 0;
}
