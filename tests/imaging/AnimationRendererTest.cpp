#include "imaging/AnimationRenderer.h"
#include "ImagingTestUtil.h"
#include "MediaWriters.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <cmath>

using namespace velloq;
using AnimationRenderer::ScreensaverGeometry;

namespace {

QString scratch(const QString& name) {
    return QDir(test::scratchDir()).filePath(name);
}

// Red grows with x and green with y, so every spot of a tile tells where it came from.
QImage gradient(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            image.setPixelColor(x, y, QColor(x * 255 / (width - 1), y * 255 / (height - 1), 0));
        }
    }
    return image;
}

// The gradient colour at picture position (px, py) of a 100 x 100 picture.
QColor expectedAt(double px, double py) {
    auto level = [](double v) { return std::clamp(v * 255.0 / 99.0, 0.0, 255.0); };
    return QColor(static_cast<int>(std::lround(level(px - 0.5))),
                  static_cast<int>(std::lround(level(py - 0.5))), 0);
}

void expectNear(QColor actual, QColor expected, const std::string& where) {
    EXPECT_NEAR(actual.red(), expected.red(), 14) << where;
    EXPECT_NEAR(actual.green(), expected.green(), 14) << where;
}

} // namespace

TEST(AnimationRenderer, ScreensaverGeometryFollowsTheKeyEdge) {
    const auto a60 = ScreensaverGeometry::forEdge(60);
    EXPECT_EQ(a60.gap, 15);
    EXPECT_EQ(a60.width, 210);
    EXPECT_EQ(a60.height, 135);
    EXPECT_EQ(a60.decodeLimit(), 630);
    const auto a64 = ScreensaverGeometry::forEdge(64);
    EXPECT_EQ(a64.gap, 16);
    EXPECT_EQ(a64.width, 224);
    EXPECT_EQ(a64.height, 144);
    EXPECT_EQ(a64.decodeLimit(), 672);
    EXPECT_EQ(ScreensaverGeometry::forEdge(62).gap, 16); // 15.5 rounds away from zero
    EXPECT_EQ(a60.keyRect(0), QRect(0, 0, 60, 60));
    EXPECT_EQ(a60.keyRect(4), QRect(75, 75, 60, 60));
    EXPECT_EQ(a60.keyRect(5), QRect(150, 75, 60, 60));
}

// A 100 x 100 picture on a 60 px model is scaled to 210 x 210 and centred on the 210 x 135
// canvas, so 37.5 rows go at the top and the bottom; key 0 shows canvas 0...60, key 4
// 75...135 by 75...135 and key 5 150...210 by 75...135.
TEST(AnimationRenderer, ScreensaverCutsSixKeysFromTheFilledCanvas) {
    const QString path = scratch(QStringLiteral("square.png"));
    ASSERT_TRUE(gradient(100, 100).save(path));
    const auto set = AnimationRenderer::screensaverFrames(QUrl::fromLocalFile(path), 60, 0);
    ASSERT_TRUE(set);
    ASSERT_EQ(set->count(), 1);
    EXPECT_EQ(set->delays, QList<double>{0.1});
    ASSERT_EQ(set->tiles[0].keys(), (QList<int>{0, 1, 2, 3, 4, 5}));

    const auto geometry = ScreensaverGeometry::forEdge(60);
    for (const int key : {0, 1, 2, 3, 4, 5}) {
        const QImage tile = test::decodeJpeg(set->tiles[0].value(key));
        ASSERT_EQ(tile.size(), QSize(60, 60));
        const QRect cut = geometry.keyRect(key);
        for (const int tx : {3, 30, 56}) {
            for (const int ty : {3, 30, 56}) {
                const double cx = cut.x() + tx + 0.5;
                const double cy = cut.y() + ty + 0.5;
                expectNear(tile.pixelColor(tx, ty), expectedAt(cx / 2.1, (cy + 37.5) / 2.1),
                           "key " + std::to_string(key) + " at " + std::to_string(tx) + "," +
                               std::to_string(ty));
            }
        }
    }
}

TEST(AnimationRenderer, EachScreensaverTileTurnsOnItsOwn) {
    const QString path = scratch(QStringLiteral("square-turned.png"));
    ASSERT_TRUE(gradient(100, 100).save(path));
    const auto set = AnimationRenderer::screensaverFrames(QUrl::fromLocalFile(path), 60, 90);
    ASSERT_TRUE(set);
    const auto geometry = ScreensaverGeometry::forEdge(60);
    for (const int key : {0, 4, 5}) {
        const QImage tile = test::decodeJpeg(set->tiles[0].value(key));
        const QRect cut = geometry.keyRect(key);
        for (const int tx : {3, 30, 56}) {
            for (const int ty : {3, 56}) {
                // Turned clockwise: the tile's (tx, ty) shows the cut's (ty, 59 - tx).
                const double cx = cut.x() + ty + 0.5;
                const double cy = cut.y() + (59 - tx) + 0.5;
                expectNear(tile.pixelColor(tx, ty), expectedAt(cx / 2.1, (cy + 37.5) / 2.1),
                           "key " + std::to_string(key));
            }
        }
    }
}

TEST(AnimationRenderer, WideVideoFillsTheHeightAndTrimsTheSides) {
    // 16:9 on a 64 px model: 224 x 144 canvas, scale 1.6, 16 columns cut on each side.
    const auto geometry = ScreensaverGeometry::forEdge(64);
    QImage frame(160, 90, QImage::Format_RGB32);
    frame.fill(Qt::blue);
    for (int y = 0; y < 90; ++y) {
        for (int x = 0; x < 10; ++x) {
            frame.setPixelColor(x, y, Qt::red);        // 0...10 -> canvas -16...0: cut away
            frame.setPixelColor(x + 10, y, Qt::green); // 10...20 -> canvas 0...16
        }
    }
    const auto canvas = AnimationRenderer::screensaverCanvas(frame, geometry);
    ASSERT_TRUE(canvas);
    EXPECT_EQ(canvas->size(), QSize(224, 144));
    EXPECT_EQ(canvas->pixelColor(2, 0), QColor(Qt::green));
    EXPECT_EQ(canvas->pixelColor(2, 143), QColor(Qt::green));
    EXPECT_EQ(canvas->pixelColor(30, 72), QColor(Qt::blue));
    EXPECT_EQ(canvas->pixelColor(221, 72), QColor(Qt::blue));
}

TEST(AnimationRenderer, ButtonFramesAreKeyedZeroWithTheDecodersDelays) {
    const QString path = scratch(QStringLiteral("button.gif"));
    ASSERT_TRUE(test::writeGif(path, 200, 100, {{Qt::red, 5}, {Qt::green, 0}, {Qt::blue, 25}}));
    const auto set = AnimationRenderer::buttonFrames(QUrl::fromLocalFile(path), 64, 90);
    ASSERT_TRUE(set);
    ASSERT_EQ(set->count(), 3);
    EXPECT_EQ(set->delays, (QList<double>{0.05, 0.1, 0.25}));
    for (const auto& tiles : set->tiles) {
        EXPECT_EQ(tiles.keys(), QList<int>{0});
    }
    // Aspect-fitted into the 2 % inset, then turned: the wide picture stands upright.
    const QImage first = test::decodeJpeg(set->tiles[0].value(0));
    ASSERT_EQ(first.size(), QSize(64, 64));
    const QRect red = test::boundingBox(first, [](QColor c) { return c.red() > 128; });
    EXPECT_NEAR(red.width(), 30.72, 2);
    EXPECT_NEAR(red.height(), 61.44, 2);
}

TEST(AnimationRenderer, VideoScreensaverKeepsEveryFrameAndUndecodableFilesGiveNothing) {
    const QString clip = scratch(QStringLiteral("saver.mp4"));
    ASSERT_TRUE(test::writeVideo(clip, 160, 90, 12, 30, [](int i) {
        QImage image(160, 90, QImage::Format_RGB32);
        image.fill(i % 2 ? Qt::white : Qt::black);
        return image;
    }));
    const auto set = AnimationRenderer::screensaverFrames(QUrl::fromLocalFile(clip), 64, 90);
    ASSERT_TRUE(set);
    EXPECT_EQ(set->count(), 12);
    EXPECT_EQ(set->tiles[11].size(), 6);
    EXPECT_DOUBLE_EQ(set->delays[11], 1.0 / 30);

    const QString junk = scratch(QStringLiteral("junk.gif"));
    QFile file(junk);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("GIF89a but nothing else that makes sense");
    file.close();
    EXPECT_FALSE(AnimationRenderer::screensaverFrames(QUrl::fromLocalFile(junk), 60, 0));
    EXPECT_FALSE(AnimationRenderer::buttonFrames(QUrl::fromLocalFile(junk), 60, 0));
    EXPECT_FALSE(AnimationRenderer::buttonFrames(
        QUrl::fromLocalFile(scratch(QStringLiteral("absent.mp4"))), 60, 0));
}

TEST(AnimationRenderer, OddAnglesTurnEachTileAboutItsCentre) {
    const auto geometry = ScreensaverGeometry::forEdge(60);
    const auto canvas = AnimationRenderer::screensaverCanvas(gradient(100, 100), geometry);
    ASSERT_TRUE(canvas);
    const auto tiles = AnimationRenderer::screensaverTiles(*canvas, geometry, 45);
    ASSERT_EQ(tiles.size(), 6);
    for (const int key : {0, 5}) {
        const QImage tile = test::decodeJpeg(tiles.value(key));
        ASSERT_EQ(tile.size(), QSize(60, 60));
        // The turned square leaves the corners black; its centre stays where it was.
        EXPECT_LT(tile.pixelColor(1, 1).red() + tile.pixelColor(1, 1).green(), 40);
        const QRect cut = geometry.keyRect(key);
        expectNear(tile.pixelColor(30, 30),
                   expectedAt((cut.x() + 30) / 2.1, (cut.y() + 30 + 37.5) / 2.1),
                   "centre of key " + std::to_string(key));
    }
}
