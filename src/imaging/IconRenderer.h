#pragma once

#include "config/ActionModel.h"
#include "config/DockConfig.h"

#include <QByteArray>
#include <QIcon>
#include <QImage>
#include <QList>
#include <QRectF>
#include <QString>

#include <functional>
#include <optional>
#include <utility>

class QPainter;

namespace velloq::IconRenderer {

inline constexpr double kFaceQuality = 0.9;

// What a key shows: a picture (with an optional caption; `tile` only for website icons), a
// symbol with a caption (possibly empty), or nothing.
struct Picture {
    enum class Kind { blank, image, symbol };

    Kind kind = Kind::blank;
    QImage image;
    std::optional<QString> caption; // image: optional caption; symbol: always set
    bool tile = false;
    QString symbol;
    bool on = false; // a toggle that is on: a marker in the top right corner

    static Picture blank() { return {}; }
    static Picture makeImage(const QImage& image, std::optional<QString> caption, bool tile);
    static Picture makeSymbol(const QString& symbol, const QString& caption);
};

// Paints into `rect` = (0, 0, size, size). The painter is already turned for the dock and
// uses Qt's y-down coordinates; positions given y-up are converted once with `fromYUp`.
using DrawFunction = std::function<void(QPainter& painter, const QRectF& rect)>;

// A rectangle given with y measured from the bottom of a box of `height`, in y-down form.
QRectF fromYUp(const QRectF& yUp, qreal height);

// The face canvas before encoding: size x size RGB32, opaque black, turned clockwise by
// `rotation` degrees about its centre, high-quality interpolation, then `draw`. One point is
// one pixel. Absent when the canvas cannot be made. Safe from any thread.
std::optional<QImage> canvas(int size, int rotation, const DrawFunction& draw);

// `canvas` encoded as JPEG at `quality` (0...1). Absent when drawing or encoding fails.
std::optional<QByteArray> jpeg(int size, int rotation, double quality, const DrawFunction& draw);

// What the key shows: its custom icon if it loads, else what its action calls for.
// Main thread (application icons come from the icon theme).
// `snippets` and `pages` name the keys that paste or open one.
Picture picture(const ButtonAction& action, const std::optional<QString>& customIcon,
                const QList<Snippet>& snippets, const QList<Page>& pages = {});
// The same for a key as DockConfig::lookOf() gives it: a toggle shows the side that runs
// next (a switch when that side does nothing), marked when on.
Picture picture(const KeyLook& look, const QList<Snippet>& snippets, const QList<Page>& pages);

// The marker of a toggle that is on, in the top right corner of `rect`.
void drawOnMarker(QPainter& painter, const QRectF& rect);

// The symbol name and caption that stand in when there is no picture.
std::pair<QString, QString> symbolAndLabel(const ButtonAction& action,
                                           const QList<Snippet>& snippets,
                                           const QList<Page>& pages = {});

// The short caption of a function on its key ("Plain Paste"), else its title.
QString shortCaption(ButtonFunction function);

// The face painter. `rect` is the whole face; only its width counts.
void drawPicture(QPainter& painter, const Picture& picture, const QRectF& rect);
// The same without the marker of a toggle that is on.
void drawPictureOnly(QPainter& painter, const Picture& picture, const QRectF& rect);
void drawSymbol(QPainter& painter, const QString& symbol, const QString& label, const QRectF& rect);
void drawLabel(QPainter& painter, const QString& label, const QRectF& rect);

// The caption as drawn in a face of width `w`: cut at the tail with "…" to fit its band.
QString fittedLabel(const QString& label, qreal w);

// Draws `image` aspect-fitted and centred in `target`; stretched when it has no size.
void drawAspectFit(QPainter& painter, const QImage& image, const QRectF& target);

// A key face: the picture painted on the model's canvas, JPEG at quality 0.9. Absent for a
// blank picture or when rendering fails. Safe from any thread.
std::optional<QByteArray> face(const Picture& picture, int size, int rotation);
// The same face before encoding, for previews.
std::optional<QImage> faceImage(const Picture& picture, int size, int rotation);
// The face a dock with `edge`-pixel keys shows, upright on a transparent `pixels`-square image:
// the same drawing scaled, so a caption is cut exactly where the dock cuts it. Absent for a
// blank picture or when rendering fails. Safe from any thread.
std::optional<QImage> previewImage(const Picture& picture, int edge, int pixels);

// The tray icon (24 x 16, plus a double-density copy): a dock outline with six keys and
// knobs, white marks on a dark plate so that it reads on light and dark panels. Made once.
// Main thread.
QIcon menuBarIcon();
// The tray icon drawn at `scale` (1 = 24 x 16 pixels). Safe from any thread.
QImage menuBarImage(qreal scale);

} // namespace velloq::IconRenderer
