#include "DockView.h"

#include "EmulatedDock.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QWheelEvent>

#include <cmath>

namespace velloq {

namespace {
// The dock's face in millimetres.
constexpr double kBodyWidth = 128;
constexpr double kBodyHeight = 84;
constexpr double kKeyOrigin = 10;
constexpr double kKeyCap = 18;
constexpr double kKeyPitch = 24;
constexpr double kLcdInset = 2;
constexpr double kButtonDiameter = 10;
constexpr double kButtonCentreY = 66;
constexpr double kKnobDiameter = 20;
constexpr double kKnobCentreX = 103;
constexpr double kKnobPitch = 24;
constexpr double kKnobFirstCentreY = 18;
constexpr double kDragPerDetent = 14; // pixels
constexpr double kDegreesPerDetent = 15;

int keyForKey(int qtKey) {
    if (qtKey >= Qt::Key_1 && qtKey <= Qt::Key_6)
        return qtKey - Qt::Key_1;
    switch (qtKey) {
    case Qt::Key_Q:
        return 6;
    case Qt::Key_W:
        return 7;
    case Qt::Key_E:
        return 8;
    default:
        return -1;
    }
}
} // namespace

DockView::DockView(EmulatedDock* dock, QWidget* parent)
    : QWidget(parent)
    , dock_(dock) {
    setFocusPolicy(Qt::StrongFocus);
    setMinimumSize(int(kBodyWidth * 3), int(kBodyHeight * 3));
    connect(dock_, &EmulatedDock::faceChanged, this, [this] { update(); });
    connect(dock_, &EmulatedDock::brightnessChanged, this, [this] { update(); });
    connect(dock_, &EmulatedDock::awakeChanged, this, [this] { update(); });
}

QSize DockView::sizeHint() const {
    return {int(kBodyWidth * 5), int(kBodyHeight * 5)};
}

double DockView::scale() const {
    return std::min((width() - 8) / kBodyWidth, (height() - 8) / kBodyHeight);
}

QRectF DockView::keyRect(int index) const {
    const double s = scale();
    const QPointF origin((width() - kBodyWidth * s) / 2, (height() - kBodyHeight * s) / 2);
    const int column = index % 3;
    if (index < EmulatedDock::kKeys) {
        const int row = index / 3;
        return {origin.x() + (kKeyOrigin + column * kKeyPitch) * s,
                origin.y() + (kKeyOrigin + row * kKeyPitch) * s, kKeyCap * s, kKeyCap * s};
    }
    const double centreX = kKeyOrigin + column * kKeyPitch + kKeyCap / 2;
    return {origin.x() + (centreX - kButtonDiameter / 2) * s,
            origin.y() + (kButtonCentreY - kButtonDiameter / 2) * s, kButtonDiameter * s,
            kButtonDiameter * s};
}

QRectF DockView::knobRect(int knob) const {
    const double s = scale();
    const QPointF origin((width() - kBodyWidth * s) / 2, (height() - kBodyHeight * s) / 2);
    const double centreY = kKnobFirstCentreY + knob * kKnobPitch;
    return {origin.x() + (kKnobCentreX - kKnobDiameter / 2) * s,
            origin.y() + (centreY - kKnobDiameter / 2) * s, kKnobDiameter * s, kKnobDiameter * s};
}

DockView::Hit DockView::hitTest(const QPointF& position) const {
    for (int i = 0; i < 9; ++i) {
        if (keyRect(i).contains(position))
            return {Part::key, i};
    }
    for (int k = 0; k < 3; ++k) {
        const QRectF r = knobRect(k);
        const QPointF d = position - r.center();
        if (std::hypot(d.x(), d.y()) <= r.width() / 2)
            return {Part::knob, k};
    }
    return {};
}

void DockView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.fillRect(rect(), palette().window());

    const double s = scale();
    const QRectF body((width() - kBodyWidth * s) / 2, (height() - kBodyHeight * s) / 2,
                      kBodyWidth * s, kBodyHeight * s);
    p.setPen(QPen(QColor(70, 70, 76), 1.5));
    p.setBrush(QColor(38, 38, 42));
    p.drawRoundedRect(body, 6 * s, 6 * s);

    const double light = std::clamp(dock_->brightness(), 0, 100) / 100.0;
    for (int i = 0; i < EmulatedDock::kKeys; ++i) {
        const QRectF cap = keyRect(i);
        const bool pressed = pressedMask_ & (1 << i);
        p.setPen(QPen(pressed ? QColor(120, 170, 255) : QColor(20, 20, 22), pressed ? 3 : 1));
        p.setBrush(QColor(24, 24, 26));
        p.drawRoundedRect(cap, 1.5 * s, 1.5 * s);
        const QRectF lcd =
            cap.adjusted(kLcdInset * s, kLcdInset * s, -kLcdInset * s, -kLcdInset * s);
        p.fillRect(lcd, Qt::black);
        const QImage face = dock_->face(i);
        if (!face.isNull()) {
            p.setOpacity(light);
            p.drawImage(lcd, face);
            p.setOpacity(1);
        }
    }
    for (int i = EmulatedDock::kKeys; i < 9; ++i) {
        const bool pressed = pressedMask_ & (1 << i);
        p.setPen(QPen(pressed ? QColor(120, 170, 255) : QColor(15, 15, 16), pressed ? 3 : 1));
        p.setBrush(pressed ? QColor(60, 60, 66) : QColor(78, 78, 84));
        p.drawEllipse(keyRect(i));
    }
    for (int k = 0; k < 3; ++k) {
        const QRectF r = knobRect(k);
        const bool pressed = pressedMask_ & (1 << (9 + k));
        QRadialGradient gradient(r.center() - QPointF(r.width() / 6, r.height() / 6), r.width());
        gradient.setColorAt(0, QColor(150, 150, 156));
        gradient.setColorAt(1, QColor(50, 50, 54));
        p.setPen(QPen(k == currentKnob_ && hasFocus() ? QColor(120, 170, 255) : QColor(15, 15, 16),
                      pressed ? 3.5 : 1.5));
        p.setBrush(gradient);
        p.drawEllipse(pressed ? r.adjusted(1, 1, -1, -1) : r);
        const double angle = (knobAngle_[k] - 90) * M_PI / 180;
        const QPointF tip =
            r.center() + QPointF(std::cos(angle), std::sin(angle)) * r.width() * 0.4;
        p.setPen(QPen(QColor(235, 235, 240), 2.5, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(r.center() + (tip - r.center()) * 0.45, tip);
    }
}

void DockView::press(const Hit& hit) {
    if (hit.part == Part::key) {
        dock_->pressKey(hit.index);
        pressedMask_ |= 1 << hit.index;
    } else if (hit.part == Part::knob) {
        dock_->pressKnob(hit.index);
        pressedMask_ |= 1 << (9 + hit.index);
    }
    update();
}

void DockView::release(const Hit& hit) {
    if (hit.part == Part::key) {
        dock_->releaseKey(hit.index);
        pressedMask_ &= ~(1 << hit.index);
    } else if (hit.part == Part::knob) {
        dock_->releaseKnob(hit.index);
        pressedMask_ &= ~(1 << (9 + hit.index));
    }
    update();
}

void DockView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    setFocus();
    mouseDown_ = hitTest(event->position());
    dragged_ = false;
    dragStartX_ = event->position().x();
    // A knob press is sent on release, unless the mouse dragged the knob round instead.
    if (mouseDown_.part == Part::key)
        press(mouseDown_);
    if (mouseDown_.part == Part::knob)
        currentKnob_ = mouseDown_.index;
}

void DockView::mouseMoveEvent(QMouseEvent* event) {
    if (mouseDown_.part != Part::knob)
        return;
    const double dx = event->position().x() - dragStartX_;
    const int detents = int(dx / kDragPerDetent);
    if (detents == 0)
        return;
    dragged_ = true;
    dragStartX_ += detents * kDragPerDetent;
    dock_->turnKnob(mouseDown_.index, detents);
    knobAngle_[mouseDown_.index] += detents * kDegreesPerDetent;
    update();
}

void DockView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    if (mouseDown_.part == Part::key)
        release(mouseDown_);
    else if (mouseDown_.part == Part::knob && !dragged_) {
        press(mouseDown_);
        release(mouseDown_);
    }
    mouseDown_ = {};
}

void DockView::wheelEvent(QWheelEvent* event) {
    const Hit hit = hitTest(event->position());
    if (hit.part != Part::knob)
        return;
    currentKnob_ = hit.index;
    wheelRemainder_ += event->angleDelta().y() / 120.0;
    const int detents = int(wheelRemainder_);
    if (detents == 0)
        return;
    wheelRemainder_ -= detents;
    dock_->turnKnob(hit.index, detents);
    knobAngle_[hit.index] += detents * kDegreesPerDetent;
    update();
}

void DockView::keyPressEvent(QKeyEvent* event) {
    const int key = keyForKey(event->key());
    if (key >= 0) {
        if (!event->isAutoRepeat() && !(heldKeys_ & (1 << key))) {
            heldKeys_ |= 1 << key;
            press({Part::key, key});
        }
        return;
    }
    switch (event->key()) {
    case Qt::Key_Up:
        currentKnob_ = (currentKnob_ + 2) % 3;
        update();
        return;
    case Qt::Key_Down:
        currentKnob_ = (currentKnob_ + 1) % 3;
        update();
        return;
    case Qt::Key_Left:
    case Qt::Key_Right: {
        const int step = event->key() == Qt::Key_Right ? 1 : -1;
        dock_->turnKnob(currentKnob_, step);
        knobAngle_[currentKnob_] += step * kDegreesPerDetent;
        update();
        return;
    }
    case Qt::Key_Space:
        if (!event->isAutoRepeat())
            press({Part::knob, currentKnob_});
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}

void DockView::keyReleaseEvent(QKeyEvent* event) {
    if (event->isAutoRepeat())
        return;
    const int key = keyForKey(event->key());
    if (key >= 0 && (heldKeys_ & (1 << key))) {
        heldKeys_ &= ~(1 << key);
        release({Part::key, key});
        return;
    }
    if (event->key() == Qt::Key_Space) {
        release({Part::knob, currentKnob_});
        return;
    }
    QWidget::keyReleaseEvent(event);
}

} // namespace velloq
