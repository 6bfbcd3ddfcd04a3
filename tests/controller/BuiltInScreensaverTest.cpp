#include "config/DockConfig.h"
#include "imaging/AnimationRenderer.h"
#include "imaging/FrameDecoder.h"

#include <QFileInfo>
#include <QImage>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

using namespace velloq;

namespace {

// Mean absolute difference per channel between two frames of one size.
double difference(const QImage& a, const QImage& b) {
    const QImage x = a.convertToFormat(QImage::Format_RGB32);
    const QImage y = b.convertToFormat(QImage::Format_RGB32);
    double sum = 0;
    for (int row = 0; row < x.height(); ++row) {
        const auto* p = reinterpret_cast<const QRgb*>(x.constScanLine(row));
        const auto* q = reinterpret_cast<const QRgb*>(y.constScanLine(row));
        for (int col = 0; col < x.width(); ++col) {
            sum += std::abs(qRed(p[col]) - qRed(q[col])) +
                   std::abs(qGreen(p[col]) - qGreen(q[col])) +
                   std::abs(qBlue(p[col]) - qBlue(q[col]));
        }
    }
    return sum / (3.0 * x.width() * x.height());
}

class BuiltInScreensaverTest : public ::testing::TestWithParam<const char*> {};

} // namespace

// Each built-in animation is a short, small loop whose last frame runs into its first as
// smoothly as any frame into the next, and it cuts into six tiles.
TEST_P(BuiltInScreensaverTest, IsASmallSeamlessLoopForTheSixKeys) {
    DockConfig config;
    config.screensaverAnimation = QString::fromLatin1(GetParam());
    const std::optional<QString> path = config.screensaverURL();
    ASSERT_TRUE(path);
    EXPECT_LT(QFileInfo(*path).size(), 500 * 1024);

    QImage first;
    QImage previous;
    double steepest = 0;
    double total = 0;
    int frames = 0;
    ASSERT_TRUE(FrameDecoder::decodeVideo(
        QUrl::fromLocalFile(*path), [&](const QImage& image, double delay) {
            if (first.isNull())
                first = image;
            else
                steepest = std::max(steepest, difference(previous, image));
            previous = image;
            total += delay;
            ++frames;
        }));
    EXPECT_GE(total, 4.0);
    EXPECT_LE(total, 10.0);
    EXPECT_GT(frames, 60);
    // Shape of the six keys with the frame between them: 210 x 135 and 224 x 144 alike.
    EXPECT_NEAR(double(first.width()) / first.height(), 224.0 / 144.0, 0.01);
    EXPECT_GT(steepest, 0.0);
    EXPECT_LE(difference(previous, first), steepest * 1.5);

    const auto set = AnimationRenderer::screensaverFrames(QUrl::fromLocalFile(*path), 60, 90);
    ASSERT_TRUE(set);
    EXPECT_EQ(set->count(), frames);
    for (const auto& tiles : set->tiles)
        ASSERT_EQ(tiles.size(), 6);
}

INSTANTIATE_TEST_SUITE_P(Animations, BuiltInScreensaverTest,
                         ::testing::Values("Sports Car", "Apple", "Space Junk"));
