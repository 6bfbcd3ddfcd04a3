#include "imaging/FrameDecoder.h"
#include "MediaWriters.h"
#include "imaging/GifDelays.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QPainter>

#include <gtest/gtest.h>

#include <vector>

using namespace velloq;

namespace {

struct Decoded {
    bool result = false;
    std::vector<QImage> images;
    std::vector<double> delays;
};

Decoded decodeFile(const QString& path, int maxPixelSize = 1000) {
    Decoded d;
    d.result = FrameDecoder::decode(QUrl::fromLocalFile(path), maxPixelSize,
                                    [&](const QImage& image, double delay) {
                                        d.images.push_back(image);
                                        d.delays.push_back(delay);
                                    });
    return d;
}

QString scratch(const QString& name) {
    return QDir(test::scratchDir()).filePath(name);
}

QImage solid(int width, int height, QColor color) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(color);
    return image;
}

// Frame i of a test clip: its index in the red channel, so order and selection show.
QImage indexedFrame(int i) {
    return solid(64, 48, QColor((i * 37) % 256, 128, 64));
}

void expectColorNear(const QImage& image, QColor expected, int tolerance = 12) {
    const QColor c = image.pixelColor(image.width() / 2, image.height() / 2);
    EXPECT_NEAR(c.red(), expected.red(), tolerance);
    EXPECT_NEAR(c.green(), expected.green(), tolerance);
    EXPECT_NEAR(c.blue(), expected.blue(), tolerance);
}

// The offset of the first data sub-block of image `n` in a GIF: where its LZW codes start.
qsizetype imageDataOffset(const QByteArray& gif, int n) {
    const auto byte = [&](qsizetype at) { return static_cast<unsigned char>(gif.at(at)); };
    qsizetype at = 13;
    if (byte(10) & 0x80)
        at += 3 * (2 << (byte(10) & 0x07));
    const auto skipSubBlocks = [&] {
        while (byte(at) != 0)
            at += 1 + byte(at);
        ++at;
    };
    for (int images = 0;;) {
        const unsigned char introducer = byte(at++);
        if (introducer == 0x21) {
            ++at; // label
            skipSubBlocks();
            continue;
        }
        if (introducer != 0x2C)
            return -1;
        const unsigned char packed = byte(at + 8);
        at += 9;
        if (packed & 0x80)
            at += 3 * (2 << (packed & 0x07));
        ++at; // LZW minimum code size
        if (images++ == n)
            return at;
        skipSubBlocks();
    }
}

} // namespace

TEST(FrameDecoder, GifDelaysFollowTheStatedDelaysWithTheShortDelayRule) {
    const QString path = scratch(QStringLiteral("delays.gif"));
    ASSERT_TRUE(test::writeGif(path, 20, 10,
                               {{Qt::red, 0},
                                {Qt::green, 1},
                                {Qt::blue, 2},
                                {Qt::white, 3},
                                {Qt::red, 10},
                                {Qt::green, 150},
                                {Qt::blue, 0, false}}));
    const Decoded d = decodeFile(path);
    ASSERT_TRUE(d.result);
    ASSERT_EQ(d.delays.size(), 7u);
    EXPECT_DOUBLE_EQ(d.delays[0], 0.1); // 0 s: no usable delay
    EXPECT_DOUBLE_EQ(d.delays[1], 0.1); // 0.01 s is below 0.02 s
    EXPECT_DOUBLE_EQ(d.delays[2], 0.02);
    EXPECT_DOUBLE_EQ(d.delays[3], 0.03);
    EXPECT_DOUBLE_EQ(d.delays[4], 0.1);
    EXPECT_DOUBLE_EQ(d.delays[5], 1.5);
    EXPECT_DOUBLE_EQ(d.delays[6], 0.1); // no control block at all
    expectColorNear(d.images[0], Qt::red);
    expectColorNear(d.images[2], Qt::blue);
}

TEST(FrameDecoder, GifFramesStopAtThreeHundred) {
    const QString path = scratch(QStringLiteral("long.gif"));
    QList<test::GifFrame> frames;
    for (int i = 0; i < 500; ++i) {
        // Six colours in turn, so the kept frames can be told apart.
        static const QColor cycle[] = {Qt::red,   Qt::green,  Qt::blue,
                                       Qt::white, Qt::yellow, Qt::cyan};
        frames.append({cycle[i % 6], 4});
    }
    ASSERT_TRUE(test::writeGif(path, 8, 8, frames));
    const Decoded d = decodeFile(path);
    ASSERT_TRUE(d.result);
    ASSERT_EQ(d.images.size(), 300u);
    expectColorNear(d.images[0], Qt::red);
    expectColorNear(d.images[299], Qt::cyan); // 299 % 6 == 5
}

TEST(FrameDecoder, ImageFramesAreDecodedNoLargerThanTheLimit) {
    const QString path = scratch(QStringLiteral("wide.gif"));
    ASSERT_TRUE(test::writeGif(path, 200, 100, {{Qt::red, 5}, {Qt::blue, 5}}));
    const Decoded small = decodeFile(path, 50);
    ASSERT_EQ(small.images.size(), 2u);
    EXPECT_EQ(small.images[0].size(), QSize(50, 25));
    EXPECT_EQ(small.images[1].size(), QSize(50, 25));
    // A limit above the picture never enlarges it.
    const Decoded large = decodeFile(path, 630);
    ASSERT_EQ(large.images.size(), 2u);
    EXPECT_EQ(large.images[0].size(), QSize(200, 100));
}

TEST(FrameDecoder, StillPictureIsOneFrameOfATenth) {
    const QString path = scratch(QStringLiteral("still.png"));
    ASSERT_TRUE(solid(30, 20, Qt::green).save(path));
    const Decoded d = decodeFile(path);
    ASSERT_TRUE(d.result);
    ASSERT_EQ(d.images.size(), 1u);
    EXPECT_DOUBLE_EQ(d.delays[0], 0.1);
    EXPECT_EQ(d.images[0].size(), QSize(30, 20));
}

TEST(FrameDecoder, MissingOrUnreadableFilesGiveFalseAndNoFrames) {
    const Decoded missing = decodeFile(scratch(QStringLiteral("nothing-here.gif")));
    EXPECT_FALSE(missing.result);
    EXPECT_TRUE(missing.images.empty());
    const Decoded missingVideo = decodeFile(scratch(QStringLiteral("nothing-here.mp4")));
    EXPECT_FALSE(missingVideo.result);
    EXPECT_TRUE(missingVideo.images.empty());

    // An .avi goes the image path, which cannot read video.
    const QString clip = scratch(QStringLiteral("source-for-avi.mp4"));
    ASSERT_TRUE(test::writeVideo(clip, 64, 48, 5, 25, indexedFrame));
    const QString avi = scratch(QStringLiteral("clip.avi"));
    QFile::remove(avi);
    ASSERT_TRUE(QFile::copy(clip, avi));
    const Decoded d = decodeFile(avi);
    EXPECT_FALSE(d.result);
    EXPECT_TRUE(d.images.empty());
}

TEST(FrameDecoder, ExtensionTestIgnoresCase) {
    EXPECT_TRUE(FrameDecoder::isVideoPath(QStringLiteral("/a/b.mp4")));
    EXPECT_TRUE(FrameDecoder::isVideoPath(QStringLiteral("/a/b.MOV")));
    EXPECT_TRUE(FrameDecoder::isVideoPath(QStringLiteral("/a/b.M4v")));
    EXPECT_FALSE(FrameDecoder::isVideoPath(QStringLiteral("/a/b.avi")));
    EXPECT_FALSE(FrameDecoder::isVideoPath(QStringLiteral("/a/mp4")));

    const QString path = scratch(QStringLiteral("capital.MOV"));
    ASSERT_TRUE(test::writeVideo(path, 64, 48, 3, 25, indexedFrame, "mov"));
    const Decoded d = decodeFile(path);
    ASSERT_TRUE(d.result);
    EXPECT_EQ(d.images.size(), 3u);
}

TEST(FrameDecoder, VideoOfFourHundredFramesGivesThreeHundredAndOne) {
    const QString path = scratch(QStringLiteral("long.mp4"));
    ASSERT_TRUE(test::writeVideo(path, 64, 48, 400, 25, indexedFrame));
    const Decoded d = decodeFile(path);
    ASSERT_TRUE(d.result);
    ASSERT_EQ(d.images.size(), 301u);
    for (size_t i = 0; i < 300; ++i) {
        ASSERT_NEAR(d.delays[i], 0.04, 1e-9) << "frame " << i;
    }
    EXPECT_DOUBLE_EQ(d.delays[300], 1.0 / 25);
    EXPECT_EQ(d.images[0].size(), QSize(64, 48));
    EXPECT_EQ(d.images[0].format(), QImage::Format_RGB32);
    for (const int i : {0, 1, 150, 300}) {
        expectColorNear(d.images[static_cast<size_t>(i)], indexedFrame(i).pixelColor(0, 0), 16);
    }
}

TEST(FrameDecoder, SingleFrameVideoGetsOneOverTheFrameRate) {
    const QString path = scratch(QStringLiteral("one.mp4"));
    ASSERT_TRUE(test::writeVideo(path, 64, 48, 1, 20, indexedFrame));
    const Decoded d = decodeFile(path);
    ASSERT_TRUE(d.result);
    ASSERT_EQ(d.images.size(), 1u);
    EXPECT_DOUBLE_EQ(d.delays[0], 1.0 / 20);
}

TEST(FrameDecoder, UnknownRateFallsBackToSinglePrecisionEightHundredths) {
    EXPECT_EQ(FrameDecoder::kDefaultLastVideoDelay, 0.07999999821186066);
    EXPECT_DOUBLE_EQ(FrameDecoder::gifFrameDelay(-1), 0.1);
    EXPECT_DOUBLE_EQ(FrameDecoder::gifFrameDelay(19), 0.1);
    EXPECT_DOUBLE_EQ(FrameDecoder::gifFrameDelay(20), 0.02);
}

TEST(FrameDecoder, GifDelayScanCopesWithCutAndForeignData) {
    const QString path = scratch(QStringLiteral("scan.gif"));
    ASSERT_TRUE(test::writeGif(path, 16, 8, {{Qt::red, 7}, {Qt::blue, 0, false}, {Qt::green, 2}}));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    const auto* data = reinterpret_cast<const uchar*>(bytes.constData());
    EXPECT_EQ(GifDelays::statedDelays(data, static_cast<size_t>(bytes.size())),
              (std::vector<int>{70, -1, 20}));
    // Every cut of the file gives a prefix of the full answer and never reads past the end.
    for (qsizetype length = 0; length < bytes.size(); ++length) {
        const QByteArray cut = bytes.left(length);
        const auto delays = GifDelays::statedDelays(reinterpret_cast<const uchar*>(cut.constData()),
                                                    static_cast<size_t>(cut.size()));
        ASSERT_LE(delays.size(), 3u);
    }
    const QByteArray png = "\x89PNG\r\n\x1a\n and so on";
    EXPECT_TRUE(GifDelays::statedDelays(reinterpret_cast<const uchar*>(png.constData()),
                                        static_cast<size_t>(png.size()))
                    .empty());
}

TEST(FrameDecoder, GifFramesAreComposedAsBrowsersShowThem) {
    const QString path = scratch(QStringLiteral("composed.gif"));
    const auto part = [](QRect rect, std::function<QColor(int, int)> color) {
        test::GifPart made;
        made.rect = rect;
        made.color = std::move(color);
        return made;
    };
    const auto fill = [](QColor c) { return [c](int, int) { return c; }; };
    test::GifPart background = part(QRect(0, 0, 40, 20), fill(Qt::red));
    background.disposal = 1; // keep
    test::GifPart square = part(QRect(11, 6, 10, 10), fill(Qt::blue));
    square.localColors = {Qt::blue, Qt::black};
    square.interlaced = true;
    square.disposal = 2; // back to transparent
    test::GifPart half = part(QRect(0, 0, 20, 20), [](int x, int) {
        return x < 10 ? QColor(Qt::black) : QColor(Qt::green);
    });
    half.transparent = Qt::black;
    half.disposal = 3; // back to what was before it
    const test::GifPart corner = part(QRect(30, 0, 10, 10), fill(Qt::white));
    ASSERT_TRUE(test::writeGifParts(path, 40, 20, {background, square, half, corner}));

    const Decoded full = decodeFile(path);
    ASSERT_EQ(full.images.size(), 4u);
    EXPECT_EQ(full.images[0].format(), QImage::Format_ARGB32_Premultiplied);
    const auto at = [&](size_t frame, int x, int y) { return full.images[frame].pixelColor(x, y); };
    EXPECT_EQ(at(1, 15, 10), QColor(Qt::blue)); // its own colour table, not the global one
    EXPECT_EQ(at(1, 5, 5), QColor(Qt::red));
    EXPECT_EQ(at(2, 5, 5), QColor(Qt::red)); // transparent pixels show the canvas
    EXPECT_EQ(at(2, 15, 10), QColor(Qt::green));
    EXPECT_EQ(at(2, 20, 10).alpha(), 0); // the square was cleared
    EXPECT_EQ(at(2, 25, 10), QColor(Qt::red));
    EXPECT_EQ(at(3, 15, 10).alpha(), 0); // the half frame was undone
    EXPECT_EQ(at(3, 5, 5), QColor(Qt::red));
    EXPECT_EQ(at(3, 35, 5), QColor(Qt::white));

    // At half size a canvas pixel averages the two source pixels it stands for.
    const Decoded half2 = decodeFile(path, 20);
    ASSERT_EQ(half2.images.size(), 4u);
    EXPECT_EQ(half2.images[1].size(), QSize(20, 10));
    const QColor edge = half2.images[1].pixelColor(5, 3);
    EXPECT_NEAR(edge.red(), 128, 2);
    EXPECT_NEAR(edge.blue(), 128, 2);
    EXPECT_EQ(edge.alpha(), 255);
    EXPECT_EQ(half2.images[1].pixelColor(7, 5), QColor(Qt::blue));
}

TEST(FrameDecoder, GifPixelsSurviveFullCodeTablesAndStringsAcrossLines) {
    // Noise fills the code table again and again; a short repeating pattern makes strings
    // much longer than a line, read interlaced; two colours give the smallest code size.
    const auto noise = [](int x, int y) {
        const uint32_t h =
            (uint32_t(x) * 73856093u ^ uint32_t(y) * 19349663u) * 2654435761u; // wraps by design
        return QColor(51 * static_cast<int>(h % 6), 51 * static_cast<int>((h >> 8) % 6),
                      51 * static_cast<int>((h >> 16) % 6));
    };
    const auto stripes = [](int x, int y) { return QColor(51 * ((x + 3 * y) % 5), 102, 0); };
    const auto checks = [](int x, int y) {
        return (x / 3 + y) % 2 != 0 ? QColor(Qt::white) : QColor(Qt::black);
    };
    QList<test::GifPart> parts;
    for (const auto& color :
         {std::function<QColor(int, int)>(noise), std::function(stripes), std::function(checks)}) {
        test::GifPart part;
        part.rect = QRect(0, 0, 211, 157);
        part.color = color;
        parts.append(part);
    }
    parts[1].interlaced = true;
    parts[2].localColors = {Qt::black, Qt::white};
    const QString path = scratch(QStringLiteral("dense.gif"));
    ASSERT_TRUE(test::writeGifParts(path, 211, 157, parts));

    const Decoded d = decodeFile(path);
    ASSERT_EQ(d.images.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        int wrong = 0;
        for (int y = 0; y < 157; ++y) {
            for (int x = 0; x < 211; ++x)
                wrong +=
                    d.images[i].pixelColor(x, y) != parts[static_cast<qsizetype>(i)].color(x, y);
        }
        EXPECT_EQ(wrong, 0) << "image " << i;
    }
}

TEST(FrameDecoder, AHugeGifIsDecodedStraightToTheLimit) {
    // Past what a full-size decode may allocate (about 5800 x 5800).
    const QString path = scratch(QStringLiteral("huge.gif"));
    ASSERT_TRUE(test::writeGif(path, 6000, 6000, {{Qt::red, 5}, {Qt::blue, 7}}));
    const Decoded d = decodeFile(path, 128);
    ASSERT_TRUE(d.result);
    ASSERT_EQ(d.images.size(), 2u);
    EXPECT_EQ(d.images[0].size(), QSize(128, 128));
    expectColorNear(d.images[0], Qt::red, 0);
    expectColorNear(d.images[1], Qt::blue, 0);
    EXPECT_DOUBLE_EQ(d.delays[1], 0.07);
}

TEST(FrameDecoder, AnImageFrameThatFailsIsSkipped) {
    const QString path = scratch(QStringLiteral("broken.gif"));
    ASSERT_TRUE(test::writeGif(path, 16, 16, {{Qt::red, 10}, {Qt::green, 20}, {Qt::blue, 30}}));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    QByteArray bytes = file.readAll();
    const qsizetype data = imageDataOffset(bytes, 1);
    ASSERT_GT(data, 0);
    // Codes that point past the table: the frame cannot be decoded.
    for (int i = 1; i <= static_cast<unsigned char>(bytes[data]); ++i)
        bytes[data + i] = '\xff';
    file.seek(0);
    file.write(bytes);
    file.close();

    const Decoded d = decodeFile(path);
    ASSERT_TRUE(d.result);
    ASSERT_EQ(d.images.size(), 2u);
    expectColorNear(d.images[0], Qt::red, 0);
    expectColorNear(d.images[1], Qt::blue, 0);
    EXPECT_DOUBLE_EQ(d.delays[1], 0.3);
}

TEST(FrameDecoder, VideoFramesAreReducedToTheLimit) {
    const QString path = scratch(QStringLiteral("large.mp4"));
    ASSERT_TRUE(test::writeVideo(path, 640, 480, 2, 25,
                                 [](int) { return solid(640, 480, QColor(200, 40, 40)); }));
    const Decoded d = decodeFile(path, 64);
    ASSERT_EQ(d.images.size(), 2u);
    EXPECT_EQ(d.images[0].size(), QSize(64, 48));
    expectColorNear(d.images[0], QColor(200, 40, 40));
}

TEST(FrameDecoder, APortraitPhoneVideoIsTurnedUpright) {
    // Stored on its side, left half red, with the matrix a phone writes when held upright.
    const QString path = scratch(QStringLiteral("portrait.mp4"));
    const auto sideways = [](int) {
        QImage image = solid(64, 48, Qt::blue);
        QPainter(&image).fillRect(0, 0, 32, 48, Qt::red);
        return image;
    };
    // 16.16 fixed point; a = 0, b = 1, c = -1, d = 0: turn a quarter clockwise to show.
    const std::array<int32_t, 9> phone = {0, 1 << 16, 0, -(1 << 16), 0, 0, 0, 0, 1 << 30};
    ASSERT_TRUE(test::writeVideo(path, 64, 48, 2, 25, sideways, nullptr, &phone));
    const Decoded d = decodeFile(path, 32);
    ASSERT_EQ(d.images.size(), 2u);
    ASSERT_EQ(d.images[0].size(), QSize(24, 32));
    const QColor top = d.images[0].pixelColor(12, 4);
    const QColor bottom = d.images[0].pixelColor(12, 28);
    EXPECT_GT(top.red(), 180);
    EXPECT_LT(top.blue(), 80);
    EXPECT_GT(bottom.blue(), 180);
    EXPECT_LT(bottom.red(), 80);
}
