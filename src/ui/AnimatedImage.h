#pragma once

#include <QString>
#include <QWidget>

class QMovie;

namespace velloq {

// Shows an image file scaled to fit, keeping its proportions; an animated one plays while it
// can be seen (its window open, its tab shown) and stands still otherwise, so a closed window
// costs nothing. The surrounding layout decides the size. Loads the file again only when the
// path changes.
class AnimatedImage : public QWidget {
    Q_OBJECT

public:
    explicit AnimatedImage(QWidget* parent = nullptr);
    ~AnimatedImage() override;

    void setPath(const QString& path);
    // The path last loaded.
    const QString& path() const { return path_; }
    QMovie* movie() const { return movie_; }

    // Whether the file holds more than one frame.
    static bool isAnimated(const QString& path);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    QString path_;
    QMovie* movie_ = nullptr;
};

} // namespace velloq
