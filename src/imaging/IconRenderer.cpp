#include "imaging/IconRenderer.h"

#include "imaging/JpegEncoder.h"
#include "imaging/Symbols.h"
#include "siteicons/SiteIcons.h"
#include "support/DesktopEntry.h"

#include <QFileInfo>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QImageReader>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QUrl>

#include <algorithm>
#include <cmath>

namespace velloq::IconRenderer {
namespace {

// 72 dpi, so that a point is a pixel, as in the dock's bitmap.
constexpr int kDotsPerMeter72 = 2835;
// Custom icons are read no larger than this: faces and previews are far smaller.
constexpr int kCustomIconMaxEdge = 512;
constexpr int kAppIconEdge = 128;

QImage loadCustomIcon(const QString& path) {
    QImageReader reader(path);
    reader.setAutoTransform(true);
    const QSize full = reader.size();
    if (full.isValid() && std::max(full.width(), full.height()) > kCustomIconMaxEdge) {
        reader.setScaledSize(
            full.scaled(kCustomIconMaxEdge, kCustomIconMaxEdge, Qt::KeepAspectRatio));
    }
    return reader.read();
}

QFont labelFont(qreal w) {
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPointSizeF(0.17 * w);
    font.setWeight(QFont::DemiBold);
    return font;
}

QImage metricsDevice() {
    QImage device(1, 1, QImage::Format_RGB32);
    device.setDotsPerMeterX(kDotsPerMeter72);
    device.setDotsPerMeterY(kDotsPerMeter72);
    return device;
}

QString elided(const QString& label, const QFontMetricsF& metrics, qreal width) {
    QString line = label;
    line.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return metrics.elidedText(line, Qt::ElideRight, width);
}

} // namespace

Picture Picture::makeImage(const QImage& image, std::optional<QString> caption, bool tile) {
    Picture p;
    p.kind = Kind::image;
    p.image = image;
    p.caption = std::move(caption);
    p.tile = tile;
    return p;
}

Picture Picture::makeSymbol(const QString& symbol, const QString& caption) {
    Picture p;
    p.kind = Kind::symbol;
    p.symbol = symbol;
    p.caption = caption;
    return p;
}

QRectF fromYUp(const QRectF& yUp, qreal height) {
    return {yUp.x(), height - yUp.y() - yUp.height(), yUp.width(), yUp.height()};
}

namespace {

// A `pixels`-square canvas filled with `background`, on which `draw` paints a face of `edge`
// points: scaled when the two differ, with the dock's 72 dpi font metrics either way.
std::optional<QImage> paintCanvas(int pixels, int edge, int rotation, QImage::Format format,
                                  const QColor& background, const DrawFunction& draw) {
    if (pixels <= 0 || edge <= 0) {
        return std::nullopt;
    }
    QImage image(pixels, pixels, format);
    if (image.isNull()) {
        return std::nullopt;
    }
    image.setDotsPerMeterX(kDotsPerMeter72);
    image.setDotsPerMeterY(kDotsPerMeter72);
    image.fill(background);
    QPainter painter(&image);
    if (!painter.isActive()) {
        return std::nullopt;
    }
    painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform |
                           QPainter::TextAntialiasing);
    if (rotation % 360 != 0) {
        // y-down: a positive angle turns clockwise, as the dock expects.
        const qreal centre = pixels / 2.0;
        painter.translate(centre, centre);
        painter.rotate(rotation);
        painter.translate(-centre, -centre);
    }
    if (pixels != edge) {
        painter.scale(qreal(pixels) / edge, qreal(pixels) / edge);
    }
    painter.save();
    draw(painter, QRectF(0, 0, edge, edge));
    painter.restore();
    painter.end();
    return image;
}

} // namespace

std::optional<QImage> canvas(int size, int rotation, const DrawFunction& draw) {
    return paintCanvas(size, size, rotation, QImage::Format_RGB32, Qt::black, draw);
}

std::optional<QByteArray> jpeg(int size, int rotation, double quality, const DrawFunction& draw) {
    const auto image = canvas(size, rotation, draw);
    if (!image) {
        return std::nullopt;
    }
    return JpegEncoder::encode(*image, quality);
}

QString shortCaption(ButtonFunction function) {
    switch (function) {
    case ButtonFunction::pasteWithoutFormatting:
        return QStringLiteral("Plain Paste");
    case ButtonFunction::lockScreen:
        return QStringLiteral("Lock");
    case ButtonFunction::sleepDisplay:
        return QStringLiteral("Sleep");
    case ButtonFunction::screenshot:
        return QStringLiteral("Screenshot");
    case ButtonFunction::screenshotTools:
        return QStringLiteral("Capture");
    case ButtonFunction::missionControl:
        return QStringLiteral("Overview");
    case ButtonFunction::showDesktop:
        return QStringLiteral("Desktop");
    case ButtonFunction::emojiPicker:
        return QStringLiteral("Emoji");
    case ButtonFunction::forceQuit:
        return QStringLiteral("Force Quit");
    case ButtonFunction::toggleDarkMode:
        return QStringLiteral("Dark Mode");
    case ButtonFunction::playPause:
        return QStringLiteral("Play");
    case ButtonFunction::nextTrack:
        return QStringLiteral("Next");
    case ButtonFunction::previousTrack:
        return QStringLiteral("Previous");
    case ButtonFunction::toggleMute:
        return QStringLiteral("Mute");
    case ButtonFunction::toggleMicMute:
        return QStringLiteral("Mic");
    default:
        return function.title();
    }
}

std::pair<QString, QString> symbolAndLabel(const ButtonAction& action,
                                           const QList<Snippet>& snippets,
                                           const QList<Page>& pages) {
    switch (action.kind()) {
    case ButtonAction::Kind::app: {
        const QString path = action.appPath().value_or(QString());
        const auto entry = DesktopEntry::read(path);
        QString name = entry ? entry->displayName() : QFileInfo(path).fileName();
        if (!entry && name.endsWith(QLatin1String(".desktop"))) {
            name.chop(8);
        }
        return {QStringLiteral("app"), name};
    }
    case ButtonAction::Kind::function: {
        const ButtonFunction function = *action.buttonFunction();
        return {function.symbol(), shortCaption(function)};
    }
    case ButtonAction::Kind::snippet: {
        const QUuid id = *action.snippetID();
        const auto found = std::find_if(snippets.begin(), snippets.end(),
                                        [&](const Snippet& s) { return s.id == id; });
        return {QStringLiteral("text.quote"),
                found != snippets.end() ? found->name : QStringLiteral("Snippet")};
    }
    case ButtonAction::Kind::keys:
        return {QStringLiteral("keyboard"), action.keyCombo()->displayText()};
    case ButtonAction::Kind::shortcut: {
        const QString name = action.shortcutName().value_or(QString());
        return {QStringLiteral("square.2.layers.3d"),
                name.isEmpty() ? QStringLiteral("Shortcut") : name};
    }
    case ButtonAction::Kind::url: {
        const auto url = SiteIcons::url(action.urlText().value_or(QString()));
        const QString host = url ? url->host() : QString();
        return {QStringLiteral("globe"), host.isEmpty() ? QStringLiteral("Website") : host};
    }
    case ButtonAction::Kind::page: {
        const QUuid id = *action.pageID();
        if (id.isNull())
            return {QStringLiteral("house.fill"), QStringLiteral("Home")};
        const auto found =
            std::find_if(pages.begin(), pages.end(), [&](const Page& p) { return p.id == id; });
        return {QStringLiteral("folder.fill"),
                found != pages.end() ? found->name : QStringLiteral("Page")};
    }
    case ButtonAction::Kind::sequence: {
        const QList<ButtonAction> steps = action.innerActions();
        const auto actions = std::count_if(steps.begin(), steps.end(), [](const ButtonAction& s) {
            return s.kind() != ButtonAction::Kind::wait;
        });
        return {QStringLiteral("list.number"), actions == 1
                                                   ? QStringLiteral("1 Action")
                                                   : QStringLiteral("%1 Actions").arg(actions)};
    }
    case ButtonAction::Kind::toggle:
        return symbolAndLabel(*action.toggleSide(false), snippets, pages);
    case ButtonAction::Kind::nothing:
    case ButtonAction::Kind::wait:
        break;
    }
    return {QStringLiteral("circle.dashed"), QString()};
}

Picture picture(const ButtonAction& action, const std::optional<QString>& customIcon,
                const QList<Snippet>& snippets, const QList<Page>& pages) {
    if (customIcon && !customIcon->isEmpty()) {
        const QImage image = loadCustomIcon(*customIcon);
        if (!image.isNull()) {
            return Picture::makeImage(image, std::nullopt, false);
        }
    }
    switch (action.kind()) {
    case ButtonAction::Kind::app: {
        const QString path = action.appPath().value_or(QString());
        if (path.isEmpty()) {
            return Picture::blank();
        }
        // An entry without a usable icon shows the "app" symbol with its name instead.
        if (const auto entry = DesktopEntry::read(path)) {
            const QIcon icon = entry->icon();
            if (!icon.isNull()) {
                const QImage image = icon.pixmap(QSize(kAppIconEdge, kAppIconEdge)).toImage();
                if (!image.isNull()) {
                    return Picture::makeImage(image, std::nullopt, false);
                }
            }
        }
        break;
    }
    case ButtonAction::Kind::nothing:
    case ButtonAction::Kind::wait:
        return Picture::blank();
    case ButtonAction::Kind::toggle:
        return picture(KeyLook{action, std::nullopt, false}, snippets, pages);
    case ButtonAction::Kind::url: {
        const auto icon = SiteIcons::shared().icon(action.urlText().value_or(QString()));
        if (icon && !icon->isNull()) {
            return Picture::makeImage(*icon, std::nullopt, true);
        }
        break;
    }
    default:
        // Shortcut keys have no application icon here, so they take the symbol face.
        break;
    }
    const auto [symbol, caption] = symbolAndLabel(action, snippets, pages);
    return Picture::makeSymbol(symbol, caption);
}

Picture picture(const KeyLook& look, const QList<Snippet>& snippets, const QList<Page>& pages) {
    const std::optional<ButtonAction> side = look.action.toggleSide(look.on);
    if (!side)
        return picture(look.action, look.image, snippets, pages);
    Picture p = picture(*side, look.image, snippets, pages);
    if (p.kind == Picture::Kind::blank) {
        // A side that does nothing still shows which way the switch stands.
        p = Picture::makeSymbol(
            look.on ? QStringLiteral("toggle.on") : QStringLiteral("toggle.off"), QString());
    }
    p.on = look.on;
    return p;
}

void drawOnMarker(QPainter& painter, const QRectF& rect) {
    const qreal w = rect.width();
    const qreal d = 0.2 * w;
    const QRectF dot(rect.right() - 0.06 * w - d, rect.top() + 0.06 * w, d, d);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Qt::black, std::max(1.0, 0.03 * w)));
    painter.setBrush(QColor(0x30, 0xD1, 0x58));
    painter.drawEllipse(dot);
    painter.restore();
}

void drawAspectFit(QPainter& painter, const QImage& image, const QRectF& target) {
    if (image.isNull()) {
        return;
    }
    if (image.width() <= 0 || image.height() <= 0) {
        painter.drawImage(target, image);
        return;
    }
    const qreal scale = std::min(target.height() / image.height(), target.width() / image.width());
    const QSizeF drawn(image.width() * scale, image.height() * scale);
    const QRectF rect(target.center().x() - drawn.width() / 2,
                      target.center().y() - drawn.height() / 2, drawn.width(), drawn.height());
    if (scale < 0.66) {
        // Bilinear drawing aliases on a large reduction; reduce by area averaging first.
        const QImage reduced =
            image.scaled(std::max(1, static_cast<int>(std::ceil(drawn.width()))),
                         std::max(1, static_cast<int>(std::ceil(drawn.height()))),
                         Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        painter.drawImage(rect, reduced);
        return;
    }
    painter.drawImage(rect, image);
}

QString fittedLabel(const QString& label, qreal w) {
    const QImage device = metricsDevice();
    return elided(label, QFontMetricsF(labelFont(w), &device), w - 4);
}

void drawLabel(QPainter& painter, const QString& label, const QRectF& rect) {
    const qreal w = rect.width();
    const QFont font = labelFont(w);
    const QFontMetricsF metrics(font, painter.device());
    QRectF band = fromYUp(QRectF(2, 0.08 * w, w - 4, 0.24 * w), w);
    band.translate(rect.topLeft());
    painter.save();
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(band, Qt::AlignHCenter | Qt::AlignTop, elided(label, metrics, band.width()));
    painter.restore();
}

void drawSymbol(QPainter& painter, const QString& symbol, const QString& label,
                const QRectF& rect) {
    const qreal w = rect.width();
    const bool captioned = !label.isEmpty();
    const qreal pointSize = (captioned ? 0.36 : 0.5) * w;
    const QSizeF natural = Symbols::naturalSize(pointSize);
    const qreal c = captioned ? 0.62 : 0.5;
    const QRectF box = fromYUp(QRectF((w - natural.width()) / 2, c * w - natural.height() / 2,
                                      natural.width(), natural.height()),
                               w);
    Symbols::draw(painter, symbol, box.topLeft() + rect.topLeft(), pointSize, Qt::white);
    if (captioned) {
        drawLabel(painter, label, rect);
    }
}

void drawPicture(QPainter& painter, const Picture& picture, const QRectF& rect) {
    drawPictureOnly(painter, picture, rect);
    if (picture.on && picture.kind != Picture::Kind::blank)
        drawOnMarker(painter, rect);
}

void drawPictureOnly(QPainter& painter, const Picture& picture, const QRectF& rect) {
    const qreal w = rect.width();
    switch (picture.kind) {
    case Picture::Kind::blank:
        return;
    case Picture::Kind::symbol:
        drawSymbol(painter, picture.symbol, picture.caption.value_or(QString()), rect);
        return;
    case Picture::Kind::image:
        break;
    }
    QRectF area = rect.adjusted(0.02 * w, 0.02 * w, -0.02 * w, -0.02 * w);
    if (picture.caption && !picture.caption->isEmpty()) {
        drawLabel(painter, *picture.caption, rect);
        area =
            fromYUp(QRectF(0.22 * w, 0.34 * w, 0.56 * w, 0.56 * w), w).translated(rect.topLeft());
    }
    if (!picture.tile) {
        drawAspectFit(painter, picture.image, area);
        return;
    }
    const qreal inset = 0.06 * w;
    const QRectF tile = area.adjusted(inset, inset, -inset, -inset);
    const qreal radius = 0.22 * tile.width();
    QPainterPath rounded;
    rounded.addRoundedRect(tile, radius, radius);
    painter.save();
    painter.fillPath(rounded, Qt::white);
    painter.setClipPath(rounded);
    const qreal iconInset = 0.08 * tile.width();
    drawAspectFit(painter, picture.image,
                  tile.adjusted(iconInset, iconInset, -iconInset, -iconInset));
    painter.restore();
}

std::optional<QImage> faceImage(const Picture& picture, int size, int rotation) {
    if (picture.kind == Picture::Kind::blank) {
        return std::nullopt;
    }
    return canvas(size, rotation, [&](QPainter& painter, const QRectF& rect) {
        drawPicture(painter, picture, rect);
    });
}

std::optional<QImage> previewImage(const Picture& picture, int edge, int pixels) {
    if (picture.kind == Picture::Kind::blank) {
        return std::nullopt;
    }
    return paintCanvas(
        pixels, edge, 0, QImage::Format_ARGB32_Premultiplied, Qt::transparent,
        [&](QPainter& painter, const QRectF& rect) { drawPicture(painter, picture, rect); });
}

std::optional<QByteArray> face(const Picture& picture, int size, int rotation) {
    const auto image = faceImage(picture, size, rotation);
    if (!image) {
        return std::nullopt;
    }
    return JpegEncoder::encode(*image, kFaceQuality);
}

QImage menuBarImage(qreal scale) {
    const QSize pixels(static_cast<int>(std::lround(24 * scale)),
                       static_cast<int>(std::lround(16 * scale)));
    QImage image(pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(scale, scale);
    // Trays here do not recolour template images, so the marks sit on their own dark plate.
    const QColor plate(32, 32, 32, 230);
    const QColor mark(245, 245, 245);
    QPainterPath outline;
    outline.addRoundedRect(QRectF(1, 1.5, 22, 13), 2, 2);
    painter.fillPath(outline, plate);
    painter.setPen(QPen(mark, 1.2));
    painter.drawPath(outline);
    painter.setPen(Qt::NoPen);
    painter.setBrush(mark);
    for (const qreal y : {3.5, 6.9}) {
        for (const qreal x : {3.5, 6.9, 10.3}) {
            painter.drawRoundedRect(QRectF(x, y, 2.8, 2.8), 0.5, 0.5);
        }
    }
    painter.drawEllipse(QRectF(15, 3.3, 5.4, 5.4));
    for (const qreal x : {3.7, 7.1, 10.5, 14.6, 18.2}) {
        painter.drawEllipse(QRectF(x, 10.6, 2.4, 2.4));
    }
    painter.end();
    return image;
}

QIcon menuBarIcon() {
    static const QIcon icon = [] {
        QIcon made;
        for (const qreal scale : {1.0, 2.0, 3.0}) {
            made.addPixmap(QPixmap::fromImage(menuBarImage(scale)));
        }
        return made;
    }();
    return icon;
}

} // namespace velloq::IconRenderer
