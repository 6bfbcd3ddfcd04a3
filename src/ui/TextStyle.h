#pragma once

#include <QColor>
#include <QIcon>
#include <QString>

class QLabel;
class QWidget;

namespace velloq {

// The few text styles of the editors and settings: a headline, body text and the smaller
// callout and caption sizes, in the primary or the dimmed secondary colour.
namespace TextStyle {

enum class Size { headline, body, callout, caption };

// A label of that size; `secondary` dims it; `wrap` lets long text break into lines.
QLabel* label(const QString& text, Size size, bool secondary, QWidget* parent, bool wrap = false);

// Gives `widget` the font of `size`.
void setSize(QWidget* widget, Size size);

// Colours `label`'s text.
void setColor(QLabel* label, const QColor& color);

// The dimmed text colour of `widget`'s palette.
QColor secondaryColor(const QWidget* widget);

// The colour of a warning's text, readable on `widget`'s light or dark window colour.
QColor warningColor(const QWidget* widget);

// A symbol as a label's picture, at the height of its text.
void setSymbol(QLabel* label, const QString& symbol, const QColor& color);

// `text` for a button, check box or menu item, which would take "&" for a shortcut marker.
QString literal(QString text);

// A symbol as a button icon, in `widget`'s text colour.
QIcon symbolIcon(const QString& symbol, const QWidget* widget);

} // namespace TextStyle

} // namespace velloq
