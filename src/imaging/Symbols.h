#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QList>
#include <QString>

#include <optional>

class QPainter;
class QRectF;

namespace velloq::Symbols {

// The Material Icons codepoint that stands for a symbol name ("mic.slash.fill"), or nothing
// for a name the table does not know. Such a name draws nothing, as a missing symbol does.
std::optional<char16_t> codepoint(const QString& name);

// Every symbol name the system draws (key faces, knobs, the indicator, the window).
QList<QString> names();

// The embedded Material Icons font at `pixelSize` (fractional sizes honoured on a 72 dpi
// device, where one point is one pixel). Registers the font on first use; needs a
// QGuiApplication. Safe from any thread.
QFont font(qreal pixelSize);

// Whether the embedded font could be loaded and holds a glyph for `name`.
bool hasGlyph(const QString& name);

// The natural size of a symbol drawn at `pixelSize`: the glyph's advance by the line height.
QSizeF naturalSize(qreal pixelSize);

// Draws `name` with its natural box's top-left at `topLeft`. Draws nothing for an unknown name.
void draw(QPainter& painter, const QString& name, const QPointF& topLeft, qreal pixelSize,
          const QColor& color);

// The symbol alone on a transparent square of `pixelSize`, for the window and the indicator.
QImage image(const QString& name, int pixelSize, const QColor& color);

} // namespace velloq::Symbols
