#pragma once

#include "controller/AnimationEngine.h"

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QMap>
#include <QMetaObject>
#include <QString>
#include <QWidget>

#include <optional>

class QMovie;

namespace velloq {

class DockController;

// Shows an image file scaled to fit, keeping its proportions; an animated one plays while it
// can be seen (its window open, its tab shown) and stands still otherwise, so a closed window
// costs nothing. The surrounding layout decides the size. Loads the file again only when the
// path changes. A key's image can follow the dock: while the dock plays the same file on that
// key, it shows the frames made for the dock, as the dock shows them, instead of decoding its
// own.
class AnimatedImage : public QWidget {
    Q_OBJECT

public:
    explicit AnimatedImage(QWidget* parent = nullptr);
    ~AnimatedImage() override;

    void setPath(const QString& path);
    // The path last loaded.
    const QString& path() const { return path_; }
    QMovie* movie() const { return movie_; }

    // Follows key `key` of the controller's dock from now on.
    void followDock(DockController& controller, int key);
    // The frame of the dock's animation shown; nothing while the image plays by itself.
    std::optional<int> dockFrame() const;

    // Whether the file holds more than one frame.
    static bool isAnimated(const QString& path);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    // Follows the dock when it plays this file on the key, else plays the file.
    void syncWithDock();
    // The dock's key animations wait while it plays the screensaver; so does the preview, on
    // the frame it shows.
    bool dockHoldsKeys() const;
    void playIfShown();
    void link();
    void unlink();
    // The dock's tile of the frame shown, turned upright, inside its margin, drawn as this
    // widget shows it at its pixel size; made once per frame and size.
    const QImage& dockImage();
    // Shows the dock's frame next: while it covers the whole widget (an opaque frame, as the
    // dock's always are), nothing behind it is painted again for each frame.
    void showDockFrame();

    QString path_;
    QMovie* movie_ = nullptr;
    DockController* controller_ = nullptr;
    int key_ = -1;
    QList<QMetaObject::Connection> dockLinks_; // only while shown
    std::optional<AnimationEngine::ShownFrame> shown_;
    struct Decoded {
        QByteArray tile; // held, so its bytes identify it
        QImage image;    // RGB32 when it covers the widget
    };
    QMap<int, Decoded> decoded_; // by frame
    qreal ratio_ = 1;            // the pixel ratio they are made for, as last painted
};

} // namespace velloq
