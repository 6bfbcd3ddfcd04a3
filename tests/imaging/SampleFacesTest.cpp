// Renders a sample of key faces. With VELLOQ_FACES_DIR set, also writes them as PNG files
// (and one enlarged sheet) for review: docs/faces/ holds the committed copies.
#include "imaging/IconRenderer.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <QPainterPath>

#include <gtest/gtest.h>

using namespace velloq;
using IconRenderer::Picture;

namespace {

QImage photo() {
    QImage image(320, 200, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient sky(0, 0, 0, 200);
    sky.setColorAt(0, QColor(40, 90, 200));
    sky.setColorAt(1, QColor(250, 180, 90));
    painter.fillRect(image.rect(), sky);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(QColor(255, 230, 120));
    painter.setPen(Qt::NoPen);
    painter.drawEllipse(QPointF(230, 80), 36, 36);
    painter.setBrush(QColor(30, 70, 40));
    QPainterPath hills;
    hills.moveTo(0, 200);
    hills.cubicTo(80, 110, 160, 190, 320, 120);
    hills.lineTo(320, 200);
    painter.drawPath(hills);
    return image;
}

QImage favicon() {
    QImage image(64, 64, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(QColor(230, 80, 40));
    painter.setPen(Qt::NoPen);
    painter.drawEllipse(QRectF(2, 2, 60, 60));
    painter.setBrush(Qt::white);
    painter.drawRect(QRectF(18, 16, 10, 32));
    painter.drawRect(QRectF(36, 16, 10, 32));
    return image;
}

QString appEntry() {
    const QString icon = QStringLiteral("/usr/share/icons/Adwaita/512x512/places/folder.png");
    QString iconPath = icon;
    if (!QFileInfo::exists(icon)) {
        iconPath = QDir(test::scratchDir()).filePath(QStringLiteral("files-icon.png"));
        favicon().save(iconPath);
    }
    const QString path =
        QDir(test::scratchDir()).filePath(QStringLiteral("org.example.Files.desktop"));
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(QStringLiteral("[Desktop Entry]\nType=Application\nName=Files\nExec=true\nIcon=%1\n")
                   .arg(iconPath)
                   .toUtf8());
    return path;
}

} // namespace

TEST(SampleFaces, EveryKindOfFaceRenders) {
    QList<std::pair<QString, Picture>> samples;
    for (const ButtonFunction function : ButtonFunction::allCases()) {
        samples.append({QStringLiteral("function-") + function.rawValue(),
                        IconRenderer::picture(ButtonAction::function(function), {}, {})});
    }
    samples.append(
        {QStringLiteral("app"), IconRenderer::picture(ButtonAction::app(appEntry()), {}, {})});
    samples.append({QStringLiteral("website-tile"), Picture::makeImage(favicon(), {}, true)});
    samples.append(
        {QStringLiteral("website-uncached"),
         IconRenderer::picture(ButtonAction::url(QStringLiteral("example.org")), {}, {})});
    samples.append({QStringLiteral("custom-image"), Picture::makeImage(photo(), {}, false)});
    samples.append({QStringLiteral("custom-image-captioned"),
                    Picture::makeImage(photo(), QStringLiteral("Holiday"), false)});
    samples.append({QStringLiteral("snippet"),
                    IconRenderer::picture(ButtonAction::snippet(QUuid::createUuid()), {}, {})});
    samples.append(
        {QStringLiteral("keys"),
         IconRenderer::picture(ButtonAction::keys({40, 0x120000, QStringLiteral("⇧⌘K")}), {}, {})});
    samples.append(
        {QStringLiteral("shortcut"),
         IconRenderer::picture(ButtonAction::shortcut(QStringLiteral("backup-photos")), {}, {})});

    const QString outDir = qEnvironmentVariable("VELLOQ_FACES_DIR");
    constexpr int kEdge = 64;
    constexpr int kZoom = 3;
    constexpr int kColumns = 8;
    const int rows = static_cast<int>((samples.size() + kColumns - 1) / kColumns);
    QImage sheet(kColumns * (kEdge * kZoom + 8) + 8, rows * (kEdge * kZoom + 8) + 8,
                 QImage::Format_RGB32);
    sheet.fill(QColor(70, 70, 70));
    QPainter sheetPainter(&sheet);
    for (qsizetype i = 0; i < samples.size(); ++i) {
        const auto& [name, picture] = samples[i];
        const auto face = IconRenderer::faceImage(picture, kEdge, 0);
        ASSERT_TRUE(face) << name.toStdString();
        const auto bytes = IconRenderer::face(picture, kEdge, 0);
        ASSERT_TRUE(bytes && !bytes->isEmpty()) << name.toStdString();
        const int column = static_cast<int>(i % kColumns);
        const int row = static_cast<int>(i / kColumns);
        sheetPainter.drawImage(QRect(8 + column * (kEdge * kZoom + 8),
                                     8 + row * (kEdge * kZoom + 8), kEdge * kZoom, kEdge * kZoom),
                               *face);
        if (!outDir.isEmpty()) {
            ASSERT_TRUE(face->save(QDir(outDir).filePath(name + QStringLiteral(".png"))));
        }
    }
    sheetPainter.end();
    if (!outDir.isEmpty()) {
        ASSERT_TRUE(sheet.save(QDir(outDir).filePath(QStringLiteral("sheet.png"))));
        ASSERT_TRUE(IconRenderer::menuBarImage(4).save(
            QDir(outDir).filePath(QStringLiteral("menu-bar-icon.png"))));
    }
}
