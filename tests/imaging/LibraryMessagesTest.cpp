#include "imaging/FrameDecoder.h"
#include "support/Log.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QLoggingCategory>
#include <QTemporaryFile>

#include <gtest/gtest.h>

extern "C" {
#include <libavutil/log.h>
}

#include <cstdio>
#include <unistd.h>

using namespace velloq;

namespace {

// What the process writes to stderr while it lives.
class StderrCapture {
public:
    StderrCapture() {
        std::fflush(stderr);
        if (file_.open()) {
            saved_ = ::dup(STDERR_FILENO);
            ::dup2(file_.handle(), STDERR_FILENO);
        }
    }
    ~StderrCapture() { restore(); }
    StderrCapture(const StderrCapture&) = delete;
    StderrCapture& operator=(const StderrCapture&) = delete;

    QStringList lines() {
        restore();
        file_.seek(0);
        return QString::fromUtf8(file_.readAll()).split(u'\n', Qt::SkipEmptyParts);
    }

private:
    void restore() {
        if (saved_ < 0)
            return;
        std::fflush(stderr);
        ::dup2(saved_, STDERR_FILENO);
        ::close(saved_);
        saved_ = -1;
    }

    QTemporaryFile file_;
    int saved_ = -1;
};

} // namespace

TEST(LibraryMessages, WarningsAndWorseGoThroughTheLogAndNothingElseReachesStderr) {
    // An MP4 with its media data but no index, as an interrupted recording leaves one.
    const QString cut = QDir(test::scratchDir()).filePath(QStringLiteral("no-index.mp4"));
    QFile file(cut);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray("\0\0\0\x18"
                          "ftypisom\0\0\x02\0"
                          "isommp41"
                          "\0\0\0\x10"
                          "mdat",
                          32) +
               QByteArray(8, '\0'));
    file.close();

    routeLibraryMessages();
    LogCapture log;
    StderrCapture err;
    EXPECT_FALSE(FrameDecoder::decode(QUrl::fromLocalFile(cut), 64, [](const QImage&, double) {}));
    const QLoggingCategory imageIo("qt.gui.imageio");
    qCWarning(imageIo) << "not an image";
    qWarning("plain warning");
    qDebug("debug chatter");
    qInfo("info chatter");
    av_log(nullptr, AV_LOG_INFO, "ffmpeg info\n");
    av_log(nullptr, AV_LOG_WARNING, "ffmpeg warning in ");
    av_log(nullptr, AV_LOG_WARNING, "two parts\n");
    const QStringList printed = err.lines();

    EXPECT_TRUE(log.contains(QStringLiteral("moov atom not found")));
    EXPECT_EQ(log.count(QStringLiteral("qt.gui.imageio: not an image")), 1);
    EXPECT_EQ(log.count(QStringLiteral("plain warning")), 1);
    EXPECT_EQ(log.count(QStringLiteral("ffmpeg warning in two parts")), 1);
    for (const char* quiet : {"debug chatter", "info chatter", "ffmpeg info"})
        EXPECT_FALSE(log.contains(QString::fromLatin1(quiet))) << quiet;
    ASSERT_FALSE(printed.isEmpty());
    for (const QString& line : printed)
        EXPECT_TRUE(line.startsWith(QStringLiteral("[Velloq] "))) << line.toStdString();
}
