#pragma once

#include <QWidget>

#include <functional>

class QLabel;
class QSlider;

namespace velloq {

// A caption showing a setting's value, with a slider under it that moves in fixed steps.
class ValueSlider : public QWidget {
    Q_OBJECT

public:
    ValueSlider(double minimum, double maximum, double step, std::function<QString(double)> caption,
                QWidget* parent = nullptr);

    // Shows `value` (from the configuration) without announcing it.
    void setValue(double value);

    QSlider* slider() const { return slider_; }
    // A setting's value as the captions show it: the whole part, e.g. "72" for 72.9.
    static QString wholeNumber(double value);
    QLabel* caption() const { return caption_; }

Q_SIGNALS:
    // The user moved the slider to `value`; one signal per step.
    void valueMoved(double value);

private:
    double minimum_;
    double step_;
    std::function<QString(double)> captionFor_;
    QLabel* caption_;
    QSlider* slider_;
};

} // namespace velloq
