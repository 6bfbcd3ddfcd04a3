#pragma once

#include <QPointF>
#include <QRectF>
#include <QWidget>

namespace velloq {

class EmulatedDock;

// The dock drawn to scale: six screen keys showing the committed faces (upright, dimmed by
// the brightness), three round buttons and three knobs. Mouse: click presses, the wheel or a
// horizontal drag turns a knob. Keyboard: 1-6 the screen keys, q/w/e the buttons, Up/Down
// choose a knob, Left/Right turn it and Space presses it.
class DockView : public QWidget {
    Q_OBJECT
public:
    explicit DockView(EmulatedDock* dock, QWidget* parent = nullptr);

    QSize sizeHint() const override;
    QRectF keyRect(int index) const; // 0-5 screen keys, 6-8 round buttons
    QRectF knobRect(int knob) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

private:
    enum class Part { none, key, knob };
    struct Hit {
        Part part = Part::none;
        int index = -1; // key index 0-8, or knob 0-2
    };

    double scale() const; // pixels per millimetre
    Hit hitTest(const QPointF& position) const;
    void press(const Hit& hit);
    void release(const Hit& hit);

    EmulatedDock* dock_;
    Hit mouseDown_;
    bool dragged_ = false;
    double dragStartX_ = 0;
    double wheelRemainder_ = 0;
    int currentKnob_ = 0;
    int heldKeys_ = 0;    // bit per key index pressed from the keyboard
    int pressedMask_ = 0; // bit per key index, and 1 << (9 + knob), drawn pressed
    double knobAngle_[3] = {0, 0, 0};
};

} // namespace velloq
