#include "imaging/Symbols.h"

#include <QFile>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPainter>
#include <QRawFont>

#include <mutex>
#include <utility>

static void initImagingResources() {
    Q_INIT_RESOURCE(imaging);
}

namespace velloq::Symbols {
namespace {

struct Entry {
    const char* name;
    const char* materialName; // the icon's name in Material Icons, for whoever edits this
    char16_t codepoint;
};

// Symbol name -> Material Icons glyph. One table for the whole system.
constexpr Entry kTable[] = {
    // Built-in functions.
    {"doc.on.doc", "content_copy", 0xe14d},
    {"scissors", "content_cut", 0xe14e},
    {"doc.on.clipboard", "content_paste", 0xe14f},
    {"doc.plaintext", "description", 0xe873},
    {"arrow.uturn.backward", "undo", 0xe166},
    {"arrow.uturn.forward", "redo", 0xe15a},
    {"selection.pin.in.out", "select_all", 0xe162},
    {"lock.fill", "lock", 0xe897},
    {"moon.fill", "bedtime", 0xef44},
    {"camera.viewfinder", "center_focus_strong", 0xe3b4},
    {"record.circle", "radio_button_checked", 0xe837},
    {"rectangle.3.group", "auto_awesome_mosaic", 0xe660},
    {"menubar.dock.rectangle", "desktop_windows", 0xe30c},
    {"magnifyingglass", "search", 0xe8b6},
    {"face.smiling", "mood", 0xe7f2},
    {"xmark.octagon", "dangerous", 0xe99a},
    {"circle.lefthalf.filled", "contrast", 0xeb37},
    {"playpause.fill", "play_circle", 0xe1c4},
    {"forward.fill", "fast_forward", 0xe01f},
    {"backward.fill", "fast_rewind", 0xe020},
    {"speaker.slash.fill", "volume_off", 0xe04f},
    {"mic.slash.fill", "mic_off", 0xe02b},
    // Other key faces.
    {"app", "check_box_outline_blank", 0xe835},
    {"text.quote", "format_quote", 0xe244},
    {"keyboard", "keyboard", 0xe312},
    {"square.2.layers.3d", "layers", 0xe53b},
    {"globe", "language", 0xe894},
    {"circle.dashed", "radio_button_unchecked", 0xe836},
    {"folder.fill", "folder", 0xe2c7},
    {"house.fill", "home", 0xe88a},
    {"list.number", "format_list_numbered", 0xe242},
    {"toggle.off", "toggle_off", 0xe9f5},
    {"toggle.on", "toggle_on", 0xe9f6},
    // Knobs and the indicator.
    {"speaker.fill", "volume_mute", 0xe04e},
    {"speaker.wave.1.fill", "volume_down", 0xe04d},
    {"speaker.wave.2.fill", "volume_up", 0xe050},
    {"speaker.wave.3.fill", "volume_up", 0xe050},
    {"mic.fill", "mic", 0xe029},
    {"mic.slash", "mic_off", 0xe02b},
    {"sun.min.fill", "brightness_low", 0xe1ad},
    {"sun.max.fill", "brightness_high", 0xe1ac},
    {"display.slash", "desktop_access_disabled", 0xe99d},
    // The window.
    {"plus", "add", 0xe145},
    {"app.dashed", "border_clear", 0xe22a},
    {"trash", "delete", 0xe872},
    {"exclamationmark.triangle.fill", "warning", 0xe002},
    {"checkmark.circle.fill", "check_circle", 0xe86c},
    {"chevron.up.chevron.down", "unfold_more", 0xe5d7},
    {"chevron.up", "expand_less", 0xe5ce},
    {"chevron.down", "expand_more", 0xe5cf},
    {"xmark", "close", 0xe5cd},
};

const QString& family() {
    static std::once_flag once;
    static QString loaded;
    std::call_once(once, [] {
        initImagingResources();
        QFile file(QStringLiteral(":/velloq/fonts/MaterialIcons-Regular.ttf"));
        if (!file.open(QIODevice::ReadOnly)) {
            return;
        }
        const int id = QFontDatabase::addApplicationFontFromData(file.readAll());
        const QStringList families = QFontDatabase::applicationFontFamilies(id);
        if (!families.isEmpty()) {
            loaded = families.first();
        }
    });
    return loaded;
}

} // namespace

std::optional<char16_t> codepoint(const QString& name) {
    for (const Entry& entry : kTable) {
        if (name == QLatin1String(entry.name)) {
            return entry.codepoint;
        }
    }
    return std::nullopt;
}

QList<QString> names() {
    QList<QString> all;
    for (const Entry& entry : kTable) {
        all.append(QString::fromLatin1(entry.name));
    }
    return all;
}

QFont font(qreal pixelSize) {
    QFont f(family());
    f.setStyleStrategy(QFont::NoFontMerging);
    f.setHintingPreference(QFont::PreferNoHinting);
    f.setPointSizeF(pixelSize);
    return f;
}

bool hasGlyph(const QString& name) {
    const auto glyph = codepoint(name);
    if (!glyph || family().isEmpty()) {
        return false;
    }
    const QRawFont raw = QRawFont::fromFont(font(24));
    return raw.isValid() && raw.supportsCharacter(QChar(*glyph));
}

QSizeF naturalSize(qreal pixelSize) {
    // Every Material Icons glyph fills the same square em box.
    return {pixelSize, pixelSize};
}

void draw(QPainter& painter, const QString& name, const QPointF& topLeft, qreal pixelSize,
          const QColor& color) {
    const auto glyph = codepoint(name);
    if (!glyph || family().isEmpty()) {
        return;
    }
    const QFont f = font(pixelSize);
    const QFontMetricsF metrics(f, painter.device());
    painter.save();
    painter.setFont(f);
    painter.setPen(color);
    // The glyph's em box sits between the ascent and the descent; centre it in the natural box.
    const qreal lineHeight = metrics.ascent() + metrics.descent();
    const qreal baseline = topLeft.y() + (pixelSize - lineHeight) / 2 + metrics.ascent();
    const qreal advance = metrics.horizontalAdvance(QChar(*glyph));
    painter.drawText(QPointF(topLeft.x() + (pixelSize - advance) / 2, baseline),
                     QString(QChar(*glyph)));
    painter.restore();
}

QImage image(const QString& name, int pixelSize, const QColor& color) {
    QImage canvas(pixelSize, pixelSize, QImage::Format_ARGB32_Premultiplied);
    canvas.setDotsPerMeterX(2835);
    canvas.setDotsPerMeterY(2835);
    canvas.fill(Qt::transparent);
    QPainter painter(&canvas);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    draw(painter, name, QPointF(0, 0), pixelSize, color);
    painter.end();
    return canvas;
}

} // namespace velloq::Symbols
