#include "imaging/IconRenderer.h"
#include "ImagingTestUtil.h"
#include "imaging/Symbols.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QPainter>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

using namespace velloq;
using IconRenderer::Picture;

namespace {

QImage solid(int width, int height, QColor color) {
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(color);
    return image;
}

QImage faceCanvas(const Picture& picture, int size = 60, int rotation = 0) {
    const auto image = IconRenderer::faceImage(picture, size, rotation);
    return image ? *image : QImage();
}

bool isRed(QColor c) {
    return c.red() > 128 && c.green() < 100 && c.blue() < 100;
}
bool isBlue(QColor c) {
    return c.blue() > 128 && c.red() < 100 && c.green() < 100;
}
bool isWhite(QColor c) {
    return c.red() > 200 && c.green() > 200 && c.blue() > 200;
}
bool isBlack(QColor c) {
    return c.red() < 40 && c.green() < 40 && c.blue() < 40;
}

QString writeDesktopEntry(const QString& name, const QString& body) {
    const QString path = QDir(test::scratchDir()).filePath(name);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(body.toUtf8());
    return path;
}

} // namespace

TEST(IconRenderer, CaptionBandTurnsToTheLeftEdgeAtNinetyDegrees) {
    const Picture picture =
        Picture::makeSymbol(QStringLiteral("no.such.symbol"), QStringLiteral("MMMMMMMM"));
    const auto upright = IconRenderer::face(picture, 60, 0);
    const auto turned = IconRenderer::face(picture, 60, 90);
    ASSERT_TRUE(upright && turned);
    EXPECT_TRUE(upright->startsWith("\xFF\xD8"));

    const QRect flat = test::boundingBox(test::decodeJpeg(*upright), test::isBright);
    ASSERT_FALSE(flat.isEmpty());
    // Upright: the band (2, 0.08w, w - 4, 0.24w) measured from the bottom.
    EXPECT_GE(flat.top(), 40);
    EXPECT_LE(flat.bottom(), 56);
    EXPECT_GT(flat.width(), 30);

    const QImage turnedImage = test::decodeJpeg(*turned);
    EXPECT_EQ(turnedImage.size(), QSize(60, 60));
    const QRect side = test::boundingBox(turnedImage, test::isBright);
    ASSERT_FALSE(side.isEmpty());
    // A quarter turn clockwise puts the bottom band along the left edge.
    EXPECT_GE(side.left(), 3);
    EXPECT_LE(side.right(), 20);
    EXPECT_GT(side.height(), 30);
}

TEST(IconRenderer, PictureIsAspectFittedAndCentred) {
    const QImage face = faceCanvas(Picture::makeImage(solid(200, 100, Qt::red), {}, false));
    ASSERT_FALSE(face.isNull());
    const QRect red = test::boundingBox(face, isRed);
    // 57.6 x 28.8 centred at (30, 30): x 1.2 ... 58.8, y 15.6 ... 44.4.
    EXPECT_GE(red.left(), 1);
    EXPECT_LE(red.left(), 2);
    EXPECT_GE(red.right(), 57);
    EXPECT_LE(red.right(), 58);
    EXPECT_GE(red.top(), 15);
    EXPECT_LE(red.top(), 16);
    EXPECT_GE(red.bottom(), 43);
    EXPECT_LE(red.bottom(), 44);
    EXPECT_TRUE(isBlack(face.pixelColor(30, 10)));
    EXPECT_TRUE(isBlack(face.pixelColor(30, 50)));
    EXPECT_TRUE(isBlack(face.pixelColor(0, 30)));
}

TEST(IconRenderer, CaptionedPictureMovesIntoTheUpperSquare) {
    const QImage face =
        faceCanvas(Picture::makeImage(solid(10, 10, Qt::red), QStringLiteral("Caption"), false));
    const QRect red = test::boundingBox(face, isRed);
    // (0.22w, 0.34w, 0.56w, 0.56w) from the bottom: x 13.2 ... 46.8, y 6 ... 39.6 from the top.
    EXPECT_NEAR(red.left(), 13.2, 1.0);
    EXPECT_NEAR(red.right() + 1, 46.8, 1.0);
    EXPECT_NEAR(red.top(), 6, 1.0);
    EXPECT_NEAR(red.bottom() + 1, 39.6, 1.0);
    EXPECT_FALSE(test::boundingBox(face.copy(0, 41, 60, 15), isWhite).isEmpty());
}

TEST(IconRenderer, WebsiteIconSitsOnARoundedWhiteTile) {
    const QImage face = faceCanvas(Picture::makeImage(solid(32, 32, Qt::blue), {}, true));
    ASSERT_FALSE(face.isNull());
    // Tile 0.08w ... 0.92w = 4.8 ... 55.2; icon area a further 0.0672w in: 8.83 ... 51.17.
    EXPECT_TRUE(isBlack(face.pixelColor(3, 30)));
    EXPECT_TRUE(isWhite(face.pixelColor(6, 30)));
    EXPECT_TRUE(isWhite(face.pixelColor(30, 7)));
    EXPECT_TRUE(isWhite(face.pixelColor(53, 30)));
    EXPECT_TRUE(isBlack(face.pixelColor(56, 30)));
    EXPECT_TRUE(isBlue(face.pixelColor(10, 30)));
    EXPECT_TRUE(isBlue(face.pixelColor(30, 30)));
    EXPECT_TRUE(isBlue(face.pixelColor(50, 50)));
    // Corner radius 0.1848w = 11.1: the tile's square corner stays black.
    EXPECT_TRUE(isBlack(face.pixelColor(6, 6)));
    EXPECT_TRUE(isBlack(face.pixelColor(53, 53)));
    // The icon is clipped to the rounded tile.
    const QRect blue = test::boundingBox(face, isBlue);
    EXPECT_NEAR(blue.left(), 8.83, 1.0);
    EXPECT_NEAR(blue.right() + 1, 51.17, 1.0);
}

TEST(IconRenderer, LongCaptionIsCutWithAnEllipsis) {
    const QString longCaption = QStringLiteral("A caption far too long for one key");
    const QString fitted = IconRenderer::fittedLabel(longCaption, 60);
    EXPECT_TRUE(fitted.endsWith(QChar(0x2026)));
    EXPECT_LT(fitted.size(), longCaption.size());
    EXPECT_TRUE(longCaption.startsWith(fitted.chopped(1)));
    EXPECT_EQ(IconRenderer::fittedLabel(QStringLiteral("Copy"), 60), QStringLiteral("Copy"));

    const QImage face =
        faceCanvas(Picture::makeSymbol(QStringLiteral("circle.dashed"), longCaption));
    const QRect band = test::boundingBox(face.copy(0, 40, 60, 20), test::isBright);
    EXPECT_GE(band.left(), 2);
    EXPECT_LE(band.right(), 57);
}

TEST(IconRenderer, SymbolsDrawInTheirPlaceAndUnknownNamesLeaveOnlyTheCaption) {
    const QImage plain = faceCanvas(Picture::makeSymbol(QStringLiteral("lock.fill"), QString()));
    const QRect glyph = test::boundingBox(plain, test::isBright);
    ASSERT_FALSE(glyph.isEmpty());
    // 0.5w symbol centred in the face.
    EXPECT_NEAR(glyph.center().x(), 30, 3);
    EXPECT_NEAR(glyph.center().y(), 30, 3);
    EXPECT_LE(glyph.width(), 30);

    const QImage captioned =
        faceCanvas(Picture::makeSymbol(QStringLiteral("lock.fill"), QStringLiteral("Lock")));
    const QRect upper = test::boundingBox(captioned.copy(0, 0, 60, 38), test::isBright);
    ASSERT_FALSE(upper.isEmpty());
    // 0.36w symbol centred at 0.62w from the bottom, i.e. 22.8 from the top.
    EXPECT_NEAR(upper.center().y(), 22.8, 3);

    const QImage unknown =
        faceCanvas(Picture::makeSymbol(QStringLiteral("no.such.symbol"), QStringLiteral("Lock")));
    EXPECT_TRUE(test::boundingBox(unknown.copy(0, 0, 60, 38), test::isBright).isEmpty());
    EXPECT_FALSE(test::boundingBox(unknown.copy(0, 40, 60, 20), test::isBright).isEmpty());
}

TEST(IconRenderer, EverySymbolTheSystemUsesHasAGlyph) {
    for (const ButtonFunction function : ButtonFunction::allCases()) {
        EXPECT_TRUE(Symbols::hasGlyph(function.symbol())) << function.symbol().toStdString();
    }
    for (const QString& name : Symbols::names()) {
        EXPECT_TRUE(Symbols::hasGlyph(name)) << name.toStdString();
    }
    for (const char* name :
         {"app", "text.quote", "keyboard", "square.2.layers.3d", "globe", "circle.dashed",
          "speaker.fill", "speaker.wave.1.fill", "speaker.wave.2.fill", "speaker.wave.3.fill",
          "speaker.slash.fill", "mic.fill", "mic.slash", "mic.slash.fill", "sun.min.fill",
          "sun.max.fill"}) {
        EXPECT_TRUE(Symbols::hasGlyph(QString::fromLatin1(name))) << name;
    }
    EXPECT_FALSE(Symbols::codepoint(QStringLiteral("no.such.symbol")));
}

TEST(IconRenderer, SymbolAndCaptionFollowTheAction) {
    using IconRenderer::symbolAndLabel;
    const Snippet snippet = Snippet::make(QStringLiteral("Signature"), QStringLiteral("Bye"));
    auto pair = [](const char* a, const char* b) {
        return std::pair<QString, QString>(QString::fromUtf8(a), QString::fromUtf8(b));
    };
    EXPECT_EQ(symbolAndLabel(ButtonAction::function(ButtonFunction::copy), {}),
              pair("doc.on.doc", "Copy"));
    EXPECT_EQ(symbolAndLabel(ButtonAction::function(ButtonFunction::pasteWithoutFormatting), {}),
              pair("doc.plaintext", "Plain Paste"));
    EXPECT_EQ(symbolAndLabel(ButtonAction::function(ButtonFunction::spotlight), {}),
              pair("magnifyingglass", "Search"));
    EXPECT_EQ(symbolAndLabel(ButtonAction::function(ButtonFunction::missionControl), {}),
              pair("rectangle.3.group", "Overview"));
    EXPECT_EQ(symbolAndLabel(ButtonAction::function(ButtonFunction::toggleMicMute), {}),
              pair("mic.slash.fill", "Mic"));
    EXPECT_EQ(symbolAndLabel(ButtonAction::snippet(snippet.id), {snippet}),
              pair("text.quote", "Signature"));
    EXPECT_EQ(symbolAndLabel(ButtonAction::snippet(snippet.id), {}), pair("text.quote", "Snippet"));
    // A combination stored with the other platform's glyphs shows the Linux way.
    EXPECT_EQ(symbolAndLabel(ButtonAction::keys({40, 0x120000, QStringLiteral("⇧⌘K")}), {}),
              pair("keyboard", "Shift+Super+K"));
    EXPECT_EQ(symbolAndLabel(ButtonAction::keys({40, 0x40000, QStringLiteral("Ctrl+K")}), {}),
              pair("keyboard", "Ctrl+K"));
    EXPECT_EQ(symbolAndLabel(ButtonAction::shortcut(QString()), {}),
              pair("square.2.layers.3d", "Shortcut"));
    EXPECT_EQ(symbolAndLabel(ButtonAction::shortcut(QStringLiteral("backup")), {}),
              pair("square.2.layers.3d", "backup"));
    EXPECT_EQ(symbolAndLabel(ButtonAction::url(QStringLiteral("example.com/page")), {}),
              pair("globe", "example.com"));
    EXPECT_EQ(symbolAndLabel(ButtonAction::url(QStringLiteral("not a url")), {}),
              pair("globe", "Website"));
    EXPECT_EQ(symbolAndLabel(ButtonAction::nothing(), {}), pair("circle.dashed", ""));

    const QString named = writeDesktopEntry(
        QStringLiteral("org.example.Editor.desktop"),
        QStringLiteral("[Desktop Entry]\nType=Application\nName=Text Editor\nExec=true\n"));
    EXPECT_EQ(symbolAndLabel(ButtonAction::app(named), {}), pair("app", "Text Editor"));
    EXPECT_EQ(symbolAndLabel(ButtonAction::app(QStringLiteral("/nowhere/gone.desktop")), {}),
              pair("app", "gone"));
}

TEST(IconRenderer, PictureChoiceFollowsTheOrderOfPrecedence) {
    using Kind = Picture::Kind;
    const QString icon = QDir(test::scratchDir()).filePath(QStringLiteral("custom.png"));
    ASSERT_TRUE(solid(40, 20, Qt::red).save(icon));
    const QString broken = QDir(test::scratchDir()).filePath(QStringLiteral("broken.png"));
    QFile file(broken);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("not a picture");
    file.close();

    const Picture custom =
        IconRenderer::picture(ButtonAction::function(ButtonFunction::copy), icon, {});
    EXPECT_EQ(custom.kind, Kind::image);
    EXPECT_FALSE(custom.caption);
    EXPECT_FALSE(custom.tile);
    EXPECT_EQ(custom.image.size(), QSize(40, 20));

    const Picture fallback =
        IconRenderer::picture(ButtonAction::function(ButtonFunction::copy), broken, {});
    EXPECT_EQ(fallback.kind, Kind::symbol);
    EXPECT_EQ(fallback.symbol, QStringLiteral("doc.on.doc"));

    EXPECT_EQ(IconRenderer::picture(ButtonAction::app(QString()), {}, {}).kind, Kind::blank);
    EXPECT_EQ(IconRenderer::picture(ButtonAction::nothing(), {}, {}).kind, Kind::blank);
    EXPECT_FALSE(IconRenderer::face(Picture::blank(), 60, 0));

    const Picture shortcut = IconRenderer::picture(ButtonAction::shortcut(QString()), {}, {});
    EXPECT_EQ(shortcut.kind, Kind::symbol);
    EXPECT_EQ(shortcut.symbol, QStringLiteral("square.2.layers.3d"));
    EXPECT_EQ(shortcut.caption, QStringLiteral("Shortcut"));

    const Picture site = IconRenderer::picture(
        ButtonAction::url(QStringLiteral("https://uncached.example.org")), {}, {});
    EXPECT_EQ(site.kind, Kind::symbol);
    EXPECT_EQ(site.symbol, QStringLiteral("globe"));
    EXPECT_EQ(site.caption, QStringLiteral("uncached.example.org"));

    // An application entry whose icon is a file shows that icon.
    const QString appIcon = QDir(test::scratchDir()).filePath(QStringLiteral("app-icon.png"));
    ASSERT_TRUE(solid(64, 64, Qt::blue).save(appIcon));
    const QString entry = writeDesktopEntry(
        QStringLiteral("org.example.Viewer.desktop"),
        QStringLiteral("[Desktop Entry]\nType=Application\nName=Viewer\nExec=true\nIcon=") +
            appIcon + QStringLiteral("\n"));
    const Picture app = IconRenderer::picture(ButtonAction::app(entry), {}, {});
    ASSERT_EQ(app.kind, Kind::image);
    EXPECT_FALSE(app.caption);
    EXPECT_TRUE(isBlue(app.image.pixelColor(app.image.width() / 2, app.image.height() / 2)));
}

TEST(IconRenderer, JpegPipelineFillsBlackAndTurnsClockwise) {
    // A mark in the top-left corner goes to the top-right after a quarter turn clockwise.
    const auto draw = [](QPainter& painter, const QRectF&) {
        painter.fillRect(QRectF(0, 0, 20, 20), Qt::white);
    };
    const auto upright = IconRenderer::canvas(64, 0, draw);
    const auto turned = IconRenderer::canvas(64, 90, draw);
    const auto back = IconRenderer::canvas(64, -270, draw);
    ASSERT_TRUE(upright && turned && back);
    EXPECT_EQ(upright->format(), QImage::Format_RGB32);
    EXPECT_EQ(test::boundingBox(*upright, isWhite), QRect(0, 0, 20, 20));
    EXPECT_EQ(test::boundingBox(*turned, isWhite), QRect(44, 0, 20, 20));
    EXPECT_EQ(test::boundingBox(*back, isWhite), QRect(44, 0, 20, 20));
    EXPECT_TRUE(isBlack(upright->pixelColor(40, 40)));

    const auto bytes = IconRenderer::jpeg(64, 90, 0.9, draw);
    ASSERT_TRUE(bytes);
    const QImage decoded = test::decodeJpeg(*bytes);
    EXPECT_EQ(decoded.size(), QSize(64, 64));
    EXPECT_TRUE(isWhite(decoded.pixelColor(54, 10)));
    EXPECT_TRUE(isBlack(decoded.pixelColor(10, 10)));
    EXPECT_FALSE(IconRenderer::jpeg(0, 0, 0.9, draw));
}

TEST(IconRenderer, MenuBarIconReadsOnLightAndDarkPanels) {
    const QImage icon = IconRenderer::menuBarImage(1);
    EXPECT_EQ(icon.size(), QSize(24, 16));
    EXPECT_EQ(IconRenderer::menuBarImage(2).size(), QSize(48, 32));
    bool light = false;
    bool dark = false;
    for (int y = 0; y < icon.height(); ++y) {
        for (int x = 0; x < icon.width(); ++x) {
            const QColor c = icon.pixelColor(x, y);
            if (c.alpha() > 200 && c.lightness() > 200) {
                light = true;
            }
            if (c.alpha() > 200 && c.lightness() < 60) {
                dark = true;
            }
        }
    }
    EXPECT_TRUE(light);
    EXPECT_TRUE(dark);
    EXPECT_EQ(icon.pixelColor(0, 0).alpha(), 0);
    EXPECT_FALSE(IconRenderer::menuBarIcon().isNull());
}

TEST(IconRenderer, FacesRenderTheSameOnWorkerThreads) {
    const QList<Picture> pictures = {
        Picture::makeSymbol(QStringLiteral("doc.on.doc"), QStringLiteral("Copy")),
        Picture::makeSymbol(QStringLiteral("mic.slash.fill"), QString()),
        Picture::makeImage(solid(200, 100, Qt::red), QStringLiteral("Caption"), false),
        Picture::makeImage(solid(32, 32, Qt::blue), {}, true),
    };
    QList<QByteArray> expected;
    for (const Picture& picture : pictures) {
        expected.append(IconRenderer::face(picture, 64, 90).value_or(QByteArray()));
    }
    std::atomic<int> mismatches = 0;
    std::vector<std::thread> workers;
    for (int t = 0; t < 3; ++t) {
        workers.emplace_back([&] {
            for (int round = 0; round < 10; ++round) {
                for (qsizetype i = 0; i < pictures.size(); ++i) {
                    if (IconRenderer::face(pictures[i], 64, 90) != expected[i]) {
                        ++mismatches;
                    }
                }
            }
        });
    }
    for (std::thread& worker : workers) {
        worker.join();
    }
    EXPECT_EQ(mismatches.load(), 0);
}
